// Partitions by name in "/proc/mtd", and whole-partition erase.
#pragma once

// The MTD number of the partition with exactly this name, or -1.
int ml_get_mtd_block_num(const char* name);

// Erases the whole partition with "busybox flash_eraseall"; the shell's
// result, or -1 when the command doesn't fit its buffer.
int ml_flashEraseBlockMTD(int number);
