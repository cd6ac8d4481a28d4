// The update status ("/cache/kvr_fota/dua/update_status") and the path of
// the registered package ("/cache/kvr_fota/dua/delta_file_conf").
#pragma once

#include <cstddef>

enum {
    KVR_STATUS_SUCCESS = 0,
    KVR_STATUS_FAILED = 1,
    KVR_STATUS_REGISTERED = 6,
    KVR_STATUS_BAD_PACKAGE = 7,
    KVR_STATUS_UNDER_WAY = 9,
};

constexpr size_t KVR_DELTA_PATH_SIZE = 128;

int kvr_dua_set_update_status(int status);

// The stored status, or -1.
int kvr_dua_get_update_status(void);

// Paths longer than 127 characters or holding white space are refused.
int set_delta_file_path(const char* path);

// Reads the stored path into a buffer of KVR_DELTA_PATH_SIZE bytes.
int get_delta_file_path(char* path);
