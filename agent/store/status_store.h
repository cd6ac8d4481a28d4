// The update status ("/cache/kvr_fota/dua/update_status") and the path of
// the registered package ("/cache/kvr_fota/dua/delta_file_conf").
#pragma once

#include "status_values.h"

#include <cstddef>

constexpr size_t KVR_DELTA_PATH_SIZE = 128;

int kvr_dua_set_update_status(int status);

// The stored status, or -1.
int kvr_dua_get_update_status(void);

// Paths longer than 127 characters or holding white space are refused.
int set_delta_file_path(const char* path);

// Reads the stored path into a buffer of KVR_DELTA_PATH_SIZE bytes.
int get_delta_file_path(char* path);
