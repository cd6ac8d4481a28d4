// The flash context: one open partition, its package member, its geometry,
// its buffers, its engine trace log and where its progress goes, for the
// time of one engine run.
#pragma once

#include "log.h"

#include <cstdint>
#include <cstdio>

typedef void (*kvr_progress_fn)(int percent);

constexpr int KVR_MTD_PATH_SIZE = 128;
constexpr int KVR_TABLE_FILE_SIZE = 128;

struct flash_ctx {
    FILE* package;
    uint32_t member_offset;
    uint32_t member_length;
    uint32_t total_size;
    uint32_t pages_per_block;
    uint32_t block_size;
    uint32_t page_size;
    uint32_t oob_size;
    char table_file[KVR_TABLE_FILE_SIZE];
    unsigned char* table_buffer;
    int fd;
    unsigned char* block_buffer;
    kvr_log_file* engine_log;
    void* engine_heap;
    kvr_progress_fn progress;
};

// The context of the partition under way, for the callbacks that get none.
extern flash_ctx* g_kvr_flash_ctx;

// Writes "/dev/mtd/mtd<n>" (or "/dev/block/mtdblock<n>" when a block device
// is wanted) of the partition named so, in any letter case, into path
// (KVR_MTD_PATH_SIZE bytes); 0, or -1 when not found or "/proc/mtd" can't be
// read. Lines are read 49 characters at a time, so a longer line is seen in
// pieces and its name doesn't match.
int kvr_dua_mtd_find(const char* name, char* path, int want_block_device);

// Fills the zeroed context: package opened, member recorded, device opened
// (read-only when verifying), geometry read, block buffer and engine trace
// log ready; makes it the process-wide context. 0 or -1 (nothing left open).
int kvr_dua_delib_init(flash_ctx* ctx, const char* device_path, const char* package_path, uint32_t member_offset,
                       uint32_t member_length, int op_mode);

// Releases the context in order: table buffer freed, engine trace log
// closed, block buffer freed, device closed, package closed.
void kvr_dua_delib_release(flash_ctx* ctx);

// Runs "sync" and the page-cache drop through the shell.
void kvr_dua_drop_caches(void);

// A line of the engine trace log of the context.
#define KVR_ENGINE_TRACE(ctx, ...) \
    kvr_fatal_log_message_file(&(ctx)->engine_log, KVR_ENGINE_LOG_PATH, __LINE__, __func__, __VA_ARGS__)
