// The update package (its container in package_format.h): the header check,
// member lookup and the extraction of members.
#pragma once

#include "package_format.h"

#include <cstdint>

constexpr int KVR_PACKAGE_SPLIT_MAX = 32;

struct package_header {
    uint32_t magic;
    int32_t count;
    uint8_t reserved[8];
};

struct package_entry {
    char name[KVR_PACKAGE_NAME_SIZE];
    uint32_t length;
    uint32_t offset;
};

int verify_package(const char* package_path);

// 1-based position of the member in the table with its entry copied out,
// 0 when no entry has that name, -1 on an error.
int get_infile_info(const char* package_path, const char* name, package_entry* entry_out);

int package_split_file(const char* package_path, const char* name, const char* out_path);

// Writes every member into the folder and the index "split_file_info".
int package_split_all(const char* package_path, const char* target_dir);
