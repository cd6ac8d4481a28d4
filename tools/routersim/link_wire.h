// Link blocks as the router sees them: the requests it reads and the
// answers it writes, 1440 bytes each with little-endian fields. Data blocks
// carry their bytes at 9, the count at 1359 and two more words after it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link/link_block.h"

namespace routersim {

using devlink::kBlockSize;
using devlink::kDataCapacity;
using devlink::LinkBlock;

struct LinkRequest {
    uint8_t type = 0;
    uint32_t param = 0;
    uint32_t seq = 0;
    std::array<uint8_t, kDataCapacity> data{};
    uint32_t length = 0;
    uint32_t aux1 = 0;
    uint32_t aux2 = 0;  // a start block's file size
};

// Every field read at its data-block offset, whatever the type.
LinkRequest ReadRequest(std::span<const uint8_t, kBlockSize> block);

// Type and seq, the rest zero: the answer to commands and CMD_IP_MAC.
LinkBlock HeaderBlock(uint8_t type, uint32_t seq);
// Up to kDataCapacity bytes of `data` at 9 and `length` at 1359.
LinkBlock DataBlock(uint8_t type, uint32_t seq, std::span<const uint8_t> data, uint32_t length);
uint32_t SeqOf(const LinkBlock& block);
void SetSeq(LinkBlock& block, uint32_t seq);

}  // namespace routersim
