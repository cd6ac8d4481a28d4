// Blocks as the router sends them: any 1440 bytes must decode without harm,
// and for the types both directions share, encoding the decoded message
// must give back the bytes it was read from.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/link_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    devlink::LinkBlock block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    devlink::LinkMessage message;
    const bool known = devlink::DecodeBlock(block, message);
    if (message.type != block[0]) __builtin_trap();
    const uint8_t shared[] = {0x01, 0x04, 0x98, 0x99, 0xF0, 0xF1, 0xF2};
    if (known && std::find(std::begin(shared), std::end(shared), message.type) != std::end(shared)) {
        const devlink::LinkBlock again = devlink::EncodeBlock(message);
        if (!std::equal(again.begin(), again.begin() + 1371, block.begin())) __builtin_trap();
    }
    return 0;
}
