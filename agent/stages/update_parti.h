// One partition updated (op_mode 0) or verified (op_mode 1) by the delta
// update engine from the package member at offset, length.
#pragma once

#include "flash_ctx.h"

#include <cstdint>

int kvr_dua_update_parti(const char* part_name, const char* package_path, uint32_t member_offset,
                         uint32_t member_length, int32_t part_type, int op_mode, kvr_progress_fn progress);
