// The raw flash operations of an open partition, with their log lines and
// the engine's error values: whole-block write with one retry, image read,
// bad-block query and mark. Addresses with the top bit set belong to the
// engine's bad-block-table area, not to the flash.
#pragma once

#include "flash_ctx.h"

#include <cstdint>

constexpr uint32_t KVR_TABLE_AREA = 0x80000000;

// Erases the block at the address and writes one block of data there; each
// step is tried again once after the caches are dropped. 0 or 0x80000021.
uint32_t kvr_flash_write_block(flash_ctx* ctx, uint32_t address, const unsigned char* data);

// Reads size bytes from the address; whole aligned pages straight into the
// destination, others through the block buffer. 0 or 0x80000023.
uint32_t kvr_flash_read_image(flash_ctx* ctx, unsigned char* destination, uint32_t address, uint32_t size);

// 0 for a good block (and for a table-area block), -1 for a bad one or a
// failed query.
int kvr_flash_is_bad_block(flash_ctx* ctx, uint32_t block);

// Marks the block that holds the address bad; table-area addresses are only
// logged. 0 or -1.
int kvr_flash_mark_bad(flash_ctx* ctx, uint32_t address);
