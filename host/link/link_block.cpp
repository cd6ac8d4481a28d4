#include "link/link_block.h"

#include <algorithm>

namespace devlink {
namespace {

void Put32(LinkBlock& block, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put16(LinkBlock& block, size_t offset, uint16_t value)
{
    block[offset] = static_cast<uint8_t>(value);
    block[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t Get32(std::span<const uint8_t, kBlockSize> block, size_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | block[offset + i];
    return value;
}

uint16_t Get16(std::span<const uint8_t, kBlockSize> block, size_t offset)
{
    return static_cast<uint16_t>(block[offset] | (block[offset + 1] << 8));
}

template <size_t N>
bool OneOf(uint8_t type, const uint8_t (&types)[N])
{
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

constexpr uint8_t kEncodedWithPayload[] = {0x01, 0x04, 0x41, 0x52, 0x91, 0x98, 0x99, 0xF0, 0xF1, 0xF2};
constexpr uint8_t kDecodedWithPayload[] = {0x01, 0x04, 0x43, 0x61, 0x98, 0x99, 0xF0, 0xF1, 0xF2};
constexpr uint8_t kDecodedHeaderOnly[] = {0x02, 0x08, 0x20, 0x21, 0x30, 0x31, 0x41, 0xFF};

void PutData(LinkBlock& block, size_t offset, const LinkMessage& message)
{
    std::copy(message.payload.begin(), message.payload.end(), block.begin() + offset);
    Put16(block, offset + kPayloadSize, message.tail16);
}

void GetData(std::span<const uint8_t, kBlockSize> block, size_t offset, LinkMessage& message)
{
    std::copy_n(block.begin() + offset, kPayloadSize, message.payload.begin());
    message.tail16 = Get16(block, offset + kPayloadSize);
}

}  // namespace

std::array<uint8_t, kDataCapacity> LinkMessage::Data() const
{
    std::array<uint8_t, kDataCapacity> data{};
    std::copy(payload.begin(), payload.end(), data.begin());
    data[kPayloadSize] = static_cast<uint8_t>(tail16);
    data[kPayloadSize + 1] = static_cast<uint8_t>(tail16 >> 8);
    return data;
}

void LinkMessage::SetData(std::span<const uint8_t> bytes)
{
    const size_t count = std::min(bytes.size(), kDataCapacity);
    payload.fill(0);
    std::copy_n(bytes.begin(), std::min(count, kPayloadSize), payload.begin());
    const uint8_t low = count > kPayloadSize ? bytes[kPayloadSize] : 0;
    const uint8_t high = count > kPayloadSize + 1 ? bytes[kPayloadSize + 1] : 0;
    tail16 = static_cast<uint16_t>(low | (high << 8));
}

LinkBlock EncodeBlock(const LinkMessage& message)
{
    LinkBlock block{};
    block[0] = message.type;
    Put32(block, 1, message.param);
    Put32(block, 5, message.seq);
    if (OneOf(message.type, kEncodedWithPayload)) {
        PutData(block, 9, message);
        Put32(block, 1359, message.length);
        Put32(block, 1363, message.aux1);
        Put32(block, 1367, message.aux2);
    } else if (message.type == kCmdIpMac) {
        Put32(block, 9, message.arg1);
        Put32(block, 13, message.arg2);
        Put32(block, 17, message.arg3);
        Put16(block, 21, message.arg4);
    } else if (message.type == kCmdAnnounce) {
        Put32(block, 9, message.arg1);
        Put32(block, 13, message.arg2);
    }
    return block;
}

bool DecodeBlock(std::span<const uint8_t, kBlockSize> block, LinkMessage& message)
{
    message = LinkMessage{};
    message.type = block[0];
    message.param = Get32(block, 1);
    message.seq = Get32(block, 5);
    if (OneOf(message.type, kDecodedWithPayload)) {
        GetData(block, 9, message);
        message.length = Get32(block, 1359);
        message.aux1 = Get32(block, 1363);
        message.aux2 = Get32(block, 1367);
        return true;
    }
    if (message.type == kCmdIpMac) {
        message.arg1 = Get32(block, 9);
        message.arg2 = Get32(block, 13);
        message.arg3 = Get32(block, 17);
        message.arg4 = Get16(block, 21);
        GetData(block, 29, message);
        message.length = Get32(block, 1373);
        message.aux1 = Get32(block, 1377);
        message.aux2 = Get32(block, 1381);
        return true;
    }
    if (message.type == kCmdAnnounce) {
        message.arg1 = Get32(block, 9);
        message.arg2 = Get32(block, 13);
        message.length = Get32(block, 17);
        message.aux1 = Get32(block, 21);
        message.aux2 = Get32(block, 25);
        return true;
    }
    return OneOf(message.type, kDecodedHeaderOnly);
}

LinkMessage AnnouncementMessage(uint16_t tcpPort, uint32_t hostAddress)
{
    LinkMessage message;
    message.type = kCmdAnnounce;
    message.param = 114;
    message.seq = 108;
    message.arg1 = tcpPort;
    message.arg2 = hostAddress;
    return message;
}

}  // namespace devlink
