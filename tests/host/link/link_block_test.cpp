#include <gtest/gtest.h>

#include "link/link_block.h"

namespace {

using devlink::kBlockSize;
using devlink::LinkBlock;
using devlink::LinkMessage;

uint32_t At32(const LinkBlock& block, size_t offset)
{
    return block[offset] | (block[offset + 1] << 8) | (block[offset + 2] << 16) | (static_cast<uint32_t>(block[offset + 3]) << 24);
}

LinkMessage Filled(uint8_t type)
{
    LinkMessage message;
    message.type = type;
    message.param = 0x11223344;
    message.seq = 0x55667788;
    message.arg1 = 0x01020304;
    message.arg2 = 0x05060708;
    message.arg3 = 0x090A0B0C;
    message.arg4 = 0x0D0E;
    for (size_t i = 0; i < message.payload.size(); ++i) message.payload[i] = static_cast<uint8_t>(i * 13 + 1);
    message.tail16 = 0xBEEF;
    message.length = 1350;
    message.aux1 = 0xA1A2A3A4;
    message.aux2 = 0xB1B2B3B4;
    return message;
}

// What the device sends for types that carry data: a block laid out as the
// host decoder reads it.
LinkBlock DeviceDataBlock(const LinkMessage& message)
{
    LinkBlock block{};
    block[0] = message.type;
    for (int i = 0; i < 4; ++i) {
        block[1 + i] = static_cast<uint8_t>(message.param >> (8 * i));
        block[5 + i] = static_cast<uint8_t>(message.seq >> (8 * i));
        block[1359 + i] = static_cast<uint8_t>(message.length >> (8 * i));
        block[1363 + i] = static_cast<uint8_t>(message.aux1 >> (8 * i));
        block[1367 + i] = static_cast<uint8_t>(message.aux2 >> (8 * i));
    }
    const auto data = message.Data();
    std::copy(data.begin(), data.end(), block.begin() + 9);
    return block;
}

TEST(LinkBlock, AnnouncementBytesAtTheirOffsets)
{
    const uint32_t address = 0x6401A8C0;  // 192.168.1.100 as in_addr holds it on this host
    const LinkBlock block = devlink::EncodeBlock(devlink::AnnouncementMessage(4536, address));
    EXPECT_EQ(block[0], 0x6A);
    EXPECT_EQ(At32(block, 1), 114u);
    EXPECT_EQ(At32(block, 5), 108u);
    EXPECT_EQ(At32(block, 9), 4536u);
    EXPECT_EQ(block[13], 192);
    EXPECT_EQ(block[14], 168);
    EXPECT_EQ(block[15], 1);
    EXPECT_EQ(block[16], 100);
    for (size_t i = 17; i < kBlockSize; ++i) ASSERT_EQ(block[i], 0) << i;
}

TEST(LinkBlock, HostDataTypesCarryPayloadTailAndWords)
{
    for (uint8_t type : {0x01, 0x04, 0x41, 0x52, 0x91, 0x98, 0x99, 0xF0, 0xF1, 0xF2}) {
        const LinkMessage message = Filled(type);
        const LinkBlock block = devlink::EncodeBlock(message);
        EXPECT_EQ(block[0], type);
        EXPECT_EQ(At32(block, 1), message.param);
        EXPECT_EQ(At32(block, 5), message.seq);
        EXPECT_TRUE(std::equal(message.payload.begin(), message.payload.end(), block.begin() + 9)) << int(type);
        EXPECT_EQ(block[1357], 0xEF);
        EXPECT_EQ(block[1358], 0xBE);
        EXPECT_EQ(At32(block, 1359), 1350u);
        EXPECT_EQ(At32(block, 1363), message.aux1);
        EXPECT_EQ(At32(block, 1367), message.aux2);
        for (size_t i = 1371; i < kBlockSize; ++i) ASSERT_EQ(block[i], 0);
    }
}

TEST(LinkBlock, IpMacAndHeaderOnlyEncodings)
{
    const LinkBlock ipMac = devlink::EncodeBlock(Filled(0x40));
    EXPECT_EQ(At32(ipMac, 9), 0x01020304u);
    EXPECT_EQ(At32(ipMac, 13), 0x05060708u);
    EXPECT_EQ(At32(ipMac, 17), 0x090A0B0Cu);
    EXPECT_EQ(ipMac[21], 0x0E);
    EXPECT_EQ(ipMac[22], 0x0D);
    for (size_t i = 23; i < kBlockSize; ++i) ASSERT_EQ(ipMac[i], 0);

    for (uint8_t type : {0x1F, 0x61, 0x86, 0x90, 0x96, 0x97, 0xFF}) {
        const LinkBlock block = devlink::EncodeBlock(Filled(type));
        EXPECT_EQ(block[0], type);
        EXPECT_EQ(At32(block, 5), 0x55667788u);
        for (size_t i = 9; i < kBlockSize; ++i) ASSERT_EQ(block[i], 0) << int(type);
    }
}

TEST(LinkBlock, DeviceDataTypesRoundTrip)
{
    for (uint8_t type : {0x01, 0x04, 0x43, 0x61, 0x98, 0x99, 0xF0, 0xF1, 0xF2}) {
        const LinkMessage sent = Filled(type);
        LinkMessage got;
        ASSERT_TRUE(devlink::DecodeBlock(DeviceDataBlock(sent), got)) << int(type);
        EXPECT_EQ(got.type, type);
        EXPECT_EQ(got.param, sent.param);
        EXPECT_EQ(got.seq, sent.seq);
        EXPECT_EQ(got.payload, sent.payload);
        EXPECT_EQ(got.tail16, sent.tail16);
        EXPECT_EQ(got.length, sent.length);
        EXPECT_EQ(got.aux1, sent.aux1);
        EXPECT_EQ(got.aux2, sent.aux2);
        EXPECT_EQ(got.arg1, 0u);
    }
}

TEST(LinkBlock, DeviceIpMacAndAnnouncementLayouts)
{
    LinkBlock block{};
    block[0] = 0x40;
    block[9] = 1;
    block[13] = 2;
    block[17] = 3;
    block[21] = 4;
    block[29] = 0x55;
    block[1373] = 7;
    block[1377] = 8;
    block[1381] = 9;
    LinkMessage got;
    ASSERT_TRUE(devlink::DecodeBlock(block, got));
    EXPECT_EQ(got.arg1, 1u);
    EXPECT_EQ(got.arg2, 2u);
    EXPECT_EQ(got.arg3, 3u);
    EXPECT_EQ(got.arg4, 4u);
    EXPECT_EQ(got.payload[0], 0x55);
    // The data area of this layout reaches over the words after it, which
    // are read from their own offsets all the same.
    EXPECT_EQ(got.payload[1373 - 29], 7);
    EXPECT_EQ(got.length, 7u);
    EXPECT_EQ(got.aux1, 8u);
    EXPECT_EQ(got.aux2, 9u);

    LinkBlock announce{};
    announce[0] = 0x6A;
    announce[9] = 0xC4;
    announce[10] = 0x11;
    announce[17] = 5;
    announce[21] = 6;
    announce[25] = 7;
    ASSERT_TRUE(devlink::DecodeBlock(announce, got));
    EXPECT_EQ(got.arg1, 4548u);
    EXPECT_EQ(got.length, 5u);
    EXPECT_EQ(got.aux1, 6u);
    EXPECT_EQ(got.aux2, 7u);
}

TEST(LinkBlock, HeaderOnlyAndUnknownTypesKeepTheirHeader)
{
    for (uint8_t type : {0x02, 0x08, 0x20, 0x21, 0x30, 0x31, 0x41, 0xFF}) {
        LinkBlock block{};
        block.fill(0xAB);
        block[0] = type;
        LinkMessage got;
        EXPECT_TRUE(devlink::DecodeBlock(block, got)) << int(type);
        EXPECT_EQ(got.seq, 0xABABABABu);
        EXPECT_EQ(got.length, 0u);
        EXPECT_EQ(got.payload[0], 0);
    }
    for (uint8_t type : {0x00, 0x1F, 0x86, 0x90, 0x96, 0x97, 0x77}) {
        LinkBlock block{};
        block.fill(0xCD);
        block[0] = type;
        block[5] = 2;
        block[6] = 0;
        block[7] = 0;
        block[8] = 0;
        LinkMessage got;
        EXPECT_FALSE(devlink::DecodeBlock(block, got)) << int(type);
        EXPECT_EQ(got.type, type);
        EXPECT_EQ(got.param, 0xCDCDCDCDu);
        EXPECT_EQ(got.seq, 2u);
        EXPECT_EQ(got.length, 0u);
    }
}

TEST(LinkBlock, DataSpillsIntoTheTailWord)
{
    LinkMessage message;
    std::vector<uint8_t> bytes(1350);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    message.SetData(bytes);
    EXPECT_EQ(message.tail16, static_cast<uint16_t>(bytes[1348] | (bytes[1349] << 8)));
    const auto data = message.Data();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data.begin()));
    message.SetData(std::vector<uint8_t>(2000, 0xEE));
    EXPECT_EQ(message.tail16, 0xEEEE);
    message.SetData(std::vector<uint8_t>(3, 1));
    EXPECT_EQ(message.payload[3], 0);
    EXPECT_EQ(message.tail16, 0);
}

}  // namespace
