// Writes the content of a new or changed file: its frames are unpacked one
// at a time; copies read the old file and add the difference bytes, literals
// are taken as they are.
#pragma once

#include "fs_delta_reader.h"

// Writes op's content into out_path (created or truncated) and syncs it;
// copies read source_path (null for a new file). chunk: KVR_FS_CHUNK bytes.
// The SHA-256 of the bytes written goes to digest.
uint32_t kvr_fs_build_file(kvr_engine_run* run, const kvr_fs_tables& tables, const kvr_fs_op& op,
                           const char* source_path, const char* out_path, uint8_t* chunk,
                           uint8_t digest[KVR_DELTA_HASH_SIZE]);
