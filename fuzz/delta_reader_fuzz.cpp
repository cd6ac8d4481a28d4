// The engine's delta reader on arbitrary delta bytes: verify, then apply, on
// a small in-memory partition.
#include "mem_flash.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bytes(6 * 4096 + 100);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t((i * 131) ^ (i >> 7));
        return bytes;
    }();
    mem_flash flash = make_mem_flash(image, 8 * 4096, 4096);
    flash.delta.assign(data, data + size);
    if (run_engine(&flash, true, 1u << 20) == 0) run_engine(&flash, false, 1u << 20);
    return 0;
}
