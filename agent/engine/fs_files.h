// File helpers of the file-system update: paths under the mount path and the
// hash of a file's content, through the agent's file callbacks.
#pragma once

#include "delta_format.h"

#include <cstdint>

struct flash_ctx;

constexpr uint32_t KVR_FS_PATH_SIZE = 1024;   // an engine path buffer
constexpr uint32_t KVR_FS_CHUNK = 64 * 1024;  // a file read or write piece

// base, a "/" unless base ends with one, and the relative text into out
// (KVR_FS_PATH_SIZE bytes); false when it does not fit.
bool kvr_fs_join(const char* base, const uint8_t* relative, uint32_t size, char* out);

// Size and SHA-256 of the file at path, read in pieces through chunk
// (KVR_FS_CHUNK bytes); false when it cannot be opened or read as a file.
bool kvr_fs_hash_file(flash_ctx* ctx, const char* path, uint8_t* chunk, uint32_t* size,
                      uint8_t digest[KVR_DELTA_HASH_SIZE]);

// The file at path has this size and hash.
bool kvr_fs_file_holds(flash_ctx* ctx, const char* path, uint8_t* chunk, uint32_t size,
                       const uint8_t hash[KVR_DELTA_HASH_SIZE]);
