// The update package: a 16-byte header (magic 0x55AA5588, entry count), a
// table of 40-byte entries (name, length, offset) and the members' bytes,
// all integers little-endian.
#pragma once

#include <cstdint>

constexpr uint32_t KVR_PACKAGE_MAGIC = 0x55AA5588;
constexpr int KVR_PACKAGE_HEADER_SIZE = 16;
constexpr int KVR_PACKAGE_ENTRY_SIZE = 40;
constexpr int KVR_PACKAGE_NAME_SIZE = 32;
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
