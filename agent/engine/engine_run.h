// What one engine run carries: the agent's context, the heap, the partition
// and the mode; and the engine's result codes.
#pragma once

#include "engine_heap.h"

#include <cstdint>

struct flash_ctx;

struct kvr_engine_run {
    flash_ctx* ctx;
    kvr_heap heap;
    const char* part_name;
    bool verify;
};

// Engine results (0 is success).
constexpr uint32_t KVR_ENGINE_ERR_PARAMS = 0xDE000001;      // parameter block unusable
constexpr uint32_t KVR_ENGINE_ERR_HEADER = 0xDE000002;      // not a delta of this version, or inconsistent
constexpr uint32_t KVR_ENGINE_ERR_DELTA_HASH = 0xDE000003;  // delta bytes damaged
constexpr uint32_t KVR_ENGINE_ERR_NO_MEMORY = 0xDE000004;   // heap exhausted
constexpr uint32_t KVR_ENGINE_ERR_SOURCE = 0xDE000005;      // flash is neither the source nor a resumable state
constexpr uint32_t KVR_ENGINE_ERR_DECODE = 0xDE000006;      // frame or operations malformed
constexpr uint32_t KVR_ENGINE_ERR_TARGET = 0xDE000007;      // a built block or the result misses its hash
constexpr uint32_t KVR_ENGINE_ERR_IO = 0xDE000008;          // a callback failed
constexpr uint32_t KVR_ENGINE_ERR_UNSUPPORTED = 0xDE000009; // delta kind differs from the partition's
constexpr uint32_t KVR_ENGINE_ERR_BLOCK_SIZE = 0xDE00000A;  // flash block size differs from the delta's
constexpr uint32_t KVR_ENGINE_ERR_NO_SPACE = 0xDE00000B;    // file system lacks the free space the update needs

// Allocates from the run's heap; traces and returns null when it is full.
void* kvr_engine_alloc(kvr_engine_run* run, uint64_t size);
