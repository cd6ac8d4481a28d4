// An in-memory partition behind the engine callbacks: a flat NAND of whole
// erase blocks, one backup block, the delta, counters, and a power cut at the
// Nth write (the write is torn and every later callback fails, as if the
// device had stopped). The file callbacks (temp_fs.cpp) count their changes
// as writes too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct mem_flash {
    std::vector<uint8_t> flash;
    uint32_t block_size = 0;
    std::vector<uint8_t> backup; // empty until the first backup write
    std::vector<uint8_t> delta;
    std::vector<uint8_t> heap;
    long cut_at_write = -1; // 0-based write (block or backup) that is torn; -1 none
    bool cut = false;
    long writes = 0;        // block and backup writes started
    long block_writes = 0;
    long backup_writes = 0;
    std::string trace;
    uint32_t last_percent = 0;
    uint32_t free_space = UINT32_MAX; // what DE_GetAvailableFreeSpace reports
    long writes_at_space_query = -1;  // writes before the last free-space query
};

// Counts a write; true when it is the one cut (the flash is then cut).
bool mem_flash_cut_now(mem_flash* flash);

// Partition of `size` bytes (a multiple of the block size), erased, holding `image`.
mem_flash make_mem_flash(const std::vector<uint8_t>& image, uint32_t size, uint32_t block_size);

// Runs the engine on the partition: verify when verify is true, else apply.
uint32_t run_engine(mem_flash* flash, bool verify, uint32_t heap_size = 0xA00000);
// The same for a file-system partition mounted at mount_path.
uint32_t run_fs_engine(mem_flash* flash, bool verify, const char* mount_path, const char* tmp_path,
                       uint32_t heap_size = 0xA00000);

// Peak heap the last run traced, in bytes (0 when not traced).
uint32_t traced_heap_peak(const mem_flash& flash);
