#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "link/diag_errors.h"
#include "link/diag_frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::u16string kNoEndFlag = u"the Received Data is Wrong without End Flag(0x7e)";
const std::u16string kBadCrc = u"the Received Data is Wrong with Wrong CRC Checksum";

Bytes Ascii(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Bit by bit, as RFC 1662 defines the FCS, to check the table-driven one.
uint16_t BitwiseFcs(const Bytes& bytes)
{
    uint16_t fcs = 0xFFFF;
    for (uint8_t byte : bytes) {
        fcs ^= byte;
        for (int bit = 0; bit < 8; ++bit) fcs = (fcs & 1) ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408) : fcs >> 1;
    }
    return static_cast<uint16_t>(~fcs);
}

bool IsFlagOrEscape(uint8_t byte)
{
    return byte == 0x7E || byte == 0x7D;
}

// The frame as the wire carries it, escaped by hand.
Bytes ExpectedFrame(const Bytes& body)
{
    const uint16_t fcs = BitwiseFcs(body);
    Bytes plain = body;
    plain.push_back(static_cast<uint8_t>(fcs));
    plain.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes frame;
    for (uint8_t byte : plain) {
        if (IsFlagOrEscape(byte)) {
            frame.push_back(0x7D);
            frame.push_back(byte ^ 0x20);
        } else {
            frame.push_back(byte);
        }
    }
    frame.push_back(0x7E);
    return frame;
}

Bytes WithFcs(Bytes bytes, uint16_t fcs)
{
    bytes.push_back(static_cast<uint8_t>(fcs));
    bytes.push_back(static_cast<uint8_t>(fcs >> 8));
    return bytes;
}

void ExpectRefused(const Bytes& received, const std::u16string& error)
{
    const devlink::UnframeResult result = devlink::UnframeAndCheck(received);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.body.empty());
    EXPECT_EQ(result.error, error);
}

TEST(DiagFrame, FcsOfTheCheckString)
{
    const Bytes check = Ascii("123456789");
    EXPECT_EQ(devlink::Fcs16(check), 0x906E);
    EXPECT_EQ(devlink::Fcs16({}), 0x0000);
    EXPECT_TRUE(devlink::FcsIsGood(WithFcs(check, 0x906E)));
    EXPECT_FALSE(devlink::FcsIsGood(WithFcs(check, 0x6E90)));
    EXPECT_FALSE(devlink::FcsIsGood(check));
}

TEST(DiagFrame, FcsMatchesTheBitwiseDefinition)
{
    std::mt19937 random(1662);
    for (int round = 0; round < 200; ++round) {
        Bytes bytes(random() % 64);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
        ASSERT_EQ(devlink::Fcs16(bytes), BitwiseFcs(bytes));
        ASSERT_TRUE(devlink::FcsIsGood(WithFcs(bytes, BitwiseFcs(bytes))));
    }
}

TEST(DiagFrame, FrameOfTheCheckString)
{
    const Bytes body = Ascii("123456789");
    Bytes expected = body;
    expected.insert(expected.end(), {0x6E, 0x90, 0x7E});
    EXPECT_EQ(devlink::BuildFrame(body), expected);
}

TEST(DiagFrame, FlagAndEscapeInTheBodyAreEscaped)
{
    const Bytes body = {0x4B, 0x7E, 0x00, 0x7D, 0x5E, 0x5D, 0x20};
    const Bytes frame = devlink::BuildFrame(body);
    const Bytes head = {0x4B, 0x7D, 0x5E, 0x00, 0x7D, 0x5D, 0x5E, 0x5D, 0x20};
    ASSERT_GE(frame.size(), head.size() + 3);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), frame.begin()));
    EXPECT_EQ(frame, ExpectedFrame(body));
}

TEST(DiagFrame, FcsBytesAreEscapedToo)
{
    for (const uint8_t wanted : {0x7E, 0x7D}) {
        for (const bool lowByte : {true, false}) {
            Bytes body = {0x7E, 0x7D, 0x00, 0x00};
            bool found = false;
            for (unsigned value = 0; value < 0x10000 && !found; ++value) {
                body[2] = static_cast<uint8_t>(value);
                body[3] = static_cast<uint8_t>(value >> 8);
                const uint16_t fcs = devlink::Fcs16(body);
                found = (lowByte ? static_cast<uint8_t>(fcs) : static_cast<uint8_t>(fcs >> 8)) == wanted;
            }
            ASSERT_TRUE(found);
            const Bytes frame = devlink::BuildFrame(body);
            EXPECT_EQ(frame, ExpectedFrame(body));
            EXPECT_EQ(std::count(frame.begin(), frame.end(), uint8_t{0x7E}), 1);
            const devlink::UnframeResult result = devlink::UnframeAndCheck(frame);
            EXPECT_TRUE(result.ok);
            EXPECT_EQ(result.body, body);
        }
    }
}

TEST(DiagFrame, RandomBodiesSurviveTheRoundTrip)
{
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        Bytes body(random() % 600);
        for (uint8_t& byte : body) {
            const unsigned pick = random() % 8;
            byte = pick == 0 ? 0x7E : pick == 1 ? 0x7D : static_cast<uint8_t>(random());
        }
        const Bytes frame = devlink::BuildFrame(body);
        ASSERT_EQ(frame, ExpectedFrame(body));
        ASSERT_EQ(std::count(frame.begin(), frame.end(), uint8_t{0x7E}), 1);
        const devlink::UnframeResult result = devlink::UnframeAndCheck(frame);
        ASSERT_TRUE(result.ok) << round;
        ASSERT_EQ(result.body, body);
        ASSERT_TRUE(result.error.empty());
    }
}

TEST(DiagFrame, EmptyBodyIsTheFcsAlone)
{
    const Bytes frame = devlink::BuildFrame({});
    EXPECT_EQ(frame, (Bytes{0x00, 0x00, 0x7E}));
    const devlink::UnframeResult result = devlink::UnframeAndCheck(frame);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.body.empty());
}

TEST(DiagFrame, DoubledClosingFlagCollapses)
{
    const Bytes body = {0x0C, 0x7E, 0x14};
    for (int extra = 1; extra <= 3; ++extra) {
        Bytes received = devlink::BuildFrame(body);
        received.insert(received.end(), extra, 0x7E);
        const devlink::UnframeResult result = devlink::UnframeAndCheck(received);
        EXPECT_TRUE(result.ok) << extra;
        EXPECT_EQ(result.body, body);
    }
}

TEST(DiagFrame, ByteRightAfterTheClosingFlagIsDropped)
{
    const Bytes body = {0x0C, 0x01};
    for (const uint8_t after : {0x00, 0x7D, 0xFF}) {
        Bytes received = devlink::BuildFrame(body);
        received.push_back(after);
        const devlink::UnframeResult result = devlink::UnframeAndCheck(received);
        EXPECT_TRUE(result.ok) << int(after);
        EXPECT_EQ(result.body, body);
    }
    Bytes twoAfter = devlink::BuildFrame(body);
    twoAfter.insert(twoAfter.end(), {0x00, 0x00});
    ExpectRefused(twoAfter, kNoEndFlag);
}

TEST(DiagFrame, MissingEndFlagIsRefused)
{
    Bytes received = devlink::BuildFrame(Ascii("123456789"));
    received.pop_back();
    ExpectRefused(received, kNoEndFlag);
    ExpectRefused({}, kNoEndFlag);
    ExpectRefused({0x13}, kNoEndFlag);
}

TEST(DiagFrame, EscapedFlagIsNoEndFlag)
{
    Bytes received = devlink::BuildFrame(Ascii("123456789"));
    received.insert(received.end() - 1, 0x7D);
    ExpectRefused(received, kNoEndFlag);
}

TEST(DiagFrame, LoneTrailingEscapeIsKeptAndRefused)
{
    ExpectRefused({0x7D}, kNoEndFlag);
    ExpectRefused({0x31, 0x32, 0x7D}, kNoEndFlag);
    ExpectRefused({0x7D, 0x5E, 0x7D}, kNoEndFlag);
    Bytes received = devlink::BuildFrame(Ascii("123456789"));
    received.back() = 0x7D;
    ExpectRefused(received, kNoEndFlag);
}

TEST(DiagFrame, CorruptedByteIsRefused)
{
    const Bytes frame = devlink::BuildFrame(Ascii("123456789"));
    for (size_t at = 0; at + 1 < frame.size(); ++at) {
        Bytes received = frame;
        received[at] ^= 0x01;
        ExpectRefused(received, kBadCrc);
    }
}

TEST(DiagFrame, FlagWithTooFewBytesBeforeItIsRefused)
{
    ExpectRefused({0x7E}, kBadCrc);
    ExpectRefused({0x7E, 0x7E}, kBadCrc);
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (IsFlagOrEscape(static_cast<uint8_t>(byte))) continue;
        ExpectRefused({static_cast<uint8_t>(byte), 0x7E}, kBadCrc);
    }
}

// A body of plain bytes whose last byte is chosen so that the FCS needs no escape.
Bytes PlainBody(size_t size)
{
    Bytes body(size, 0x11);
    for (unsigned last = 0; last < 256; ++last) {
        body.back() = static_cast<uint8_t>(last);
        const uint16_t fcs = devlink::Fcs16(body);
        if (!IsFlagOrEscape(body.back()) && !IsFlagOrEscape(static_cast<uint8_t>(fcs)) && !IsFlagOrEscape(static_cast<uint8_t>(fcs >> 8)))
            return body;
    }
    return {};
}

TEST(DiagFrame, FrameFitsOneLinkMessage)
{
    const Bytes fits = PlainBody(devlink::kMaxFrameBytes - 3);
    ASSERT_FALSE(fits.empty());
    const Bytes frame = devlink::BuildFrame(fits);
    EXPECT_EQ(frame.size(), devlink::kMaxFrameBytes);
    EXPECT_TRUE(devlink::UnframeAndCheck(frame).ok);

    const Bytes tooLong = PlainBody(devlink::kMaxFrameBytes - 2);
    ASSERT_FALSE(tooLong.empty());
    EXPECT_TRUE(devlink::BuildFrame(tooLong).empty());

    Bytes escapedTooLong = fits;
    escapedTooLong[0] = 0x7E;
    EXPECT_TRUE(devlink::BuildFrame(escapedTooLong).empty());
    EXPECT_TRUE(devlink::BuildFrame(Bytes(devlink::kMaxFrameBytes / 2, 0x7D)).empty());
}

TEST(DiagErrors, TextForEachErrorCode)
{
    EXPECT_EQ(devlink::DiagErrorText(0x13), u"Bad command");
    EXPECT_EQ(devlink::DiagErrorText(0x14), u"The Request packet has invalid or inconsistent parameters");
    EXPECT_EQ(devlink::DiagErrorText(0x15), u"The Request packet has an invalid length");
    EXPECT_EQ(devlink::DiagErrorText(0x18), u"the DMSS isn't in a particular mode");
    EXPECT_EQ(devlink::DiagErrorText(0x42), u"the correct SPC has not yet been entered to unlock service programming");
    EXPECT_EQ(devlink::DiagErrorText(0x47), u"the correct Security Password has not yet been entered to unlock the phone");
    const Bytes known = {0x13, 0x14, 0x15, 0x18, 0x42, 0x47};
    for (unsigned value = 0; value < 256; ++value) {
        const uint8_t code = static_cast<uint8_t>(value);
        if (std::find(known.begin(), known.end(), code) != known.end()) continue;
        EXPECT_EQ(devlink::DiagErrorText(code), u"unknow reason") << value;
    }
}

TEST(DiagErrors, HexOfTheSentBytes)
{
    EXPECT_EQ(devlink::HexBytes(Bytes{0x00, 0x7E, 0xAB, 0x0F, 0xF0, 0x9C}), u"007EAB0FF09C");
    EXPECT_EQ(devlink::HexBytes({}), u"");
}

}  // namespace
