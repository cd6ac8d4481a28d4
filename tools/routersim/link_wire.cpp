#include "routersim/link_wire.h"

#include <algorithm>

#include "link/block_layout.h"
#include "link/little_endian.h"

namespace routersim {

LinkRequest ReadRequest(std::span<const uint8_t, kBlockSize> block)
{
    LinkRequest request;
    request.type = block[devlink::kTypeAt];
    request.param = devlink::ReadLe32(block, devlink::kParamAt);
    request.seq = devlink::ReadLe32(block, devlink::kSeqAt);
    std::copy_n(block.begin() + devlink::kDataAt, kDataCapacity, request.data.begin());
    request.length = devlink::ReadLe32(block, devlink::kLengthAt);
    request.aux1 = devlink::ReadLe32(block, devlink::kAux1At);
    request.aux2 = devlink::ReadLe32(block, devlink::kAux2At);
    return request;
}

LinkBlock HeaderBlock(uint8_t type, uint32_t seq)
{
    LinkBlock block{};
    block[devlink::kTypeAt] = type;
    devlink::WriteLe32(block, devlink::kSeqAt, seq);
    return block;
}

LinkBlock DataBlock(uint8_t type, uint32_t seq, std::span<const uint8_t> data, uint32_t length)
{
    LinkBlock block = HeaderBlock(type, seq);
    std::copy_n(data.begin(), std::min(data.size(), kDataCapacity), block.begin() + devlink::kDataAt);
    devlink::WriteLe32(block, devlink::kLengthAt, length);
    return block;
}

uint32_t SeqOf(const LinkBlock& block)
{
    return devlink::ReadLe32(block, devlink::kSeqAt);
}

void SetSeq(LinkBlock& block, uint32_t seq)
{
    devlink::WriteLe32(block, devlink::kSeqAt, seq);
}

}  // namespace routersim
