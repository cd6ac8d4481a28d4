// The engine's bad-block-table area: one erase block of memory in the flash
// context (table_buffer), kept whole in a file under the bad-block folder
// (table_file) after every change.
#pragma once

#include "flash_ctx.h"

// Names the partition's table file, allocates the buffer and loads it: a
// stored table of exactly one block is taken as it is; a missing file, or
// one of any other size (logged), gives an all-0xFF table. 0 or -1.
int kvr_bbm_table_load(flash_ctx* ctx, const char* part_name);

// Writes the whole buffer to the table file; 0 or -1.
int kvr_bbm_table_store(flash_ctx* ctx);
