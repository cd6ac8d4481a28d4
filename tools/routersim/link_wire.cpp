#include "routersim/link_wire.h"

#include <algorithm>

namespace routersim {
namespace {

constexpr size_t kParamAt = 1;
constexpr size_t kSeqAt = 5;
constexpr size_t kDataAt = 9;
constexpr size_t kLengthAt = kDataAt + kDataCapacity;
constexpr size_t kAux1At = kLengthAt + 4;
constexpr size_t kAux2At = kAux1At + 4;

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void Put32(LinkBlock& block, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

LinkRequest ReadRequest(std::span<const uint8_t, kBlockSize> block)
{
    LinkRequest request;
    request.type = block[0];
    request.param = Get32(block, kParamAt);
    request.seq = Get32(block, kSeqAt);
    std::copy_n(block.begin() + kDataAt, kDataCapacity, request.data.begin());
    request.length = Get32(block, kLengthAt);
    request.aux1 = Get32(block, kAux1At);
    request.aux2 = Get32(block, kAux2At);
    return request;
}

LinkBlock HeaderBlock(uint8_t type, uint32_t seq)
{
    LinkBlock block{};
    block[0] = type;
    Put32(block, kSeqAt, seq);
    return block;
}

LinkBlock DataBlock(uint8_t type, uint32_t seq, std::span<const uint8_t> data, uint32_t length)
{
    LinkBlock block = HeaderBlock(type, seq);
    std::copy_n(data.begin(), std::min(data.size(), kDataCapacity), block.begin() + kDataAt);
    Put32(block, kLengthAt, length);
    return block;
}

uint32_t SeqOf(const LinkBlock& block)
{
    return Get32(block, kSeqAt);
}

void SetSeq(LinkBlock& block, uint32_t seq)
{
    Put32(block, kSeqAt, seq);
}

}  // namespace routersim
