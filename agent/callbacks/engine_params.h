// The engine's parameter block for one partition.
#pragma once

#include "flash_ctx.h"

#include <cstdint>

// Allocates the engine heap into the context, fills the parameter block and
// its descriptor, and mounts the file system of a file-system partition (or,
// when verifying "system", links the running system under the mount folder).
// 0 or -1; on -1 the caller unmounts and frees the heap.
int kvr_dua_delib_param_init(uintptr_t* params, flash_ctx* ctx, const char* part_name, int32_t part_type,
                             int op_mode);
