#include "link/link_block.h"

#include <algorithm>

#include "link/block_layout.h"
#include "link/little_endian.h"

namespace devlink {
namespace {

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
    WriteLe16(block, offset + kPayloadSize, message.tail16);
}

void GetData(std::span<const uint8_t, kBlockSize> block, size_t offset, LinkMessage& message)
{
    std::copy_n(block.begin() + offset, kPayloadSize, message.payload.begin());
    message.tail16 = ReadLe16(block, offset + kPayloadSize);
}

}  // namespace

std::array<uint8_t, kDataCapacity> LinkMessage::Data() const
{
    std::array<uint8_t, kDataCapacity> data{};
    std::copy(payload.begin(), payload.end(), data.begin());
    WriteLe16(data, kPayloadSize, tail16);
    return data;
}

void LinkMessage::SetData(std::span<const uint8_t> bytes)
{
    std::array<uint8_t, kDataCapacity> data{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kDataCapacity), data.begin());
    std::copy_n(data.begin(), kPayloadSize, payload.begin());
    tail16 = ReadLe16(data, kPayloadSize);
}

LinkBlock EncodeBlock(const LinkMessage& message)
{
    LinkBlock block{};
    block[kTypeAt] = message.type;
    WriteLe32(block, kParamAt, message.param);
    WriteLe32(block, kSeqAt, message.seq);
    if (OneOf(message.type, kEncodedWithPayload)) {
        PutData(block, kDataAt, message);
        WriteLe32(block, kLengthAt, message.length);
        WriteLe32(block, kAux1At, message.aux1);
        WriteLe32(block, kAux2At, message.aux2);
    } else if (message.type == kCmdIpMac) {
        WriteLe32(block, kIpMacArg1At, message.arg1);
        WriteLe32(block, kIpMacArg2At, message.arg2);
        WriteLe32(block, kIpMacArg3At, message.arg3);
        WriteLe16(block, kIpMacArg4At, message.arg4);
    } else if (message.type == kCmdAnnounce) {
        WriteLe32(block, kAnnounceArg1At, message.arg1);
        WriteLe32(block, kAnnounceArg2At, message.arg2);
    }
    return block;
}

bool DecodeBlock(std::span<const uint8_t, kBlockSize> block, LinkMessage& message)
{
    message = LinkMessage{};
    message.type = block[kTypeAt];
    message.param = ReadLe32(block, kParamAt);
    message.seq = ReadLe32(block, kSeqAt);
    if (OneOf(message.type, kDecodedWithPayload)) {
        GetData(block, kDataAt, message);
        message.length = ReadLe32(block, kLengthAt);
        message.aux1 = ReadLe32(block, kAux1At);
        message.aux2 = ReadLe32(block, kAux2At);
        return true;
    }
    if (message.type == kCmdIpMac) {
        message.arg1 = ReadLe32(block, kIpMacArg1At);
        message.arg2 = ReadLe32(block, kIpMacArg2At);
        message.arg3 = ReadLe32(block, kIpMacArg3At);
        message.arg4 = ReadLe16(block, kIpMacArg4At);
        GetData(block, kIpMacDataAt, message);
        message.length = ReadLe32(block, kIpMacLengthAt);
        message.aux1 = ReadLe32(block, kIpMacAux1At);
        message.aux2 = ReadLe32(block, kIpMacAux2At);
        return true;
    }
    if (message.type == kCmdAnnounce) {
        message.arg1 = ReadLe32(block, kAnnounceArg1At);
        message.arg2 = ReadLe32(block, kAnnounceArg2At);
        message.length = ReadLe32(block, kAnnounceLengthAt);
        message.aux1 = ReadLe32(block, kAnnounceAux1At);
        message.aux2 = ReadLe32(block, kAnnounceAux2At);
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
