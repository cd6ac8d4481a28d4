#include "link/diag_frame.h"

#include <array>
#include <utility>

namespace devlink {
namespace {

constexpr uint16_t kFcsInitial = 0xFFFF;
constexpr uint16_t kFcsGoodFinal = 0xF0B8;

constexpr std::array<uint16_t, 256> MakeFcsTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned index = 0; index < table.size(); ++index) {
        unsigned value = index;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0x8408 : value >> 1;
        table[index] = static_cast<uint16_t>(value);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kFcsTable = MakeFcsTable();

// The first and last rows of the table printed in RFC 1662.
static_assert(kFcsTable[0x01] == 0x1189 && kFcsTable[0x07] == 0x74BF && kFcsTable[0x08] == 0x8C48);
static_assert(kFcsTable[0xF8] == 0x7BC7 && kFcsTable[0xFF] == 0x0F78);

uint16_t FcsRun(uint16_t fcs, std::span<const uint8_t> bytes)
{
    for (uint8_t byte : bytes) fcs = static_cast<uint16_t>((fcs >> 8) ^ kFcsTable[(fcs ^ byte) & 0xFF]);
    return fcs;
}

void PutEscaped(std::vector<uint8_t>& frame, uint8_t byte)
{
    if (byte == kFrameFlag || byte == kFrameEscape) {
        frame.push_back(kFrameEscape);
        frame.push_back(byte ^ 0x20);
    } else {
        frame.push_back(byte);
    }
}

// A 0x7D with nothing after it is kept as it is.
std::vector<uint8_t> Unescaped(std::span<const uint8_t> bytes)
{
    std::vector<uint8_t> plain;
    plain.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kFrameEscape && i + 1 < bytes.size()) {
            plain.push_back(bytes[++i] ^ 0x20);
        } else {
            plain.push_back(bytes[i]);
        }
    }
    return plain;
}

}  // namespace

uint16_t Fcs16(std::span<const uint8_t> bytes)
{
    return static_cast<uint16_t>(~FcsRun(kFcsInitial, bytes));
}

bool FcsIsGood(std::span<const uint8_t> bodyAndFcs)
{
    return FcsRun(kFcsInitial, bodyAndFcs) == kFcsGoodFinal;
}

std::vector<uint8_t> BuildFrame(std::span<const uint8_t> body)
{
    const uint16_t fcs = Fcs16(body);
    std::vector<uint8_t> frame;
    frame.reserve(body.size() + 3);
    for (uint8_t byte : body) PutEscaped(frame, byte);
    PutEscaped(frame, static_cast<uint8_t>(fcs));
    PutEscaped(frame, static_cast<uint8_t>(fcs >> 8));
    frame.push_back(kFrameFlag);
    if (frame.size() > kMaxFrameBytes) return {};
    return frame;
}

UnframeResult UnframeAndCheck(std::span<const uint8_t> received)
{
    UnframeResult result;
    size_t end = received.size();
    while (end >= 2 && received[end - 2] == kFrameFlag) --end;
    std::vector<uint8_t> plain = Unescaped(received.first(end));
    if (plain.empty() || plain.back() != kFrameFlag) {
        result.error = u"the Received Data is Wrong without End Flag(0x7e)";
        return result;
    }
    plain.pop_back();
    // Fewer bytes than the FCS itself cannot hold a checked body.
    if (plain.size() < 2 || !FcsIsGood(plain)) {
        result.error = u"the Received Data is Wrong with Wrong CRC Checksum";
        return result;
    }
    plain.resize(plain.size() - 2);
    result.ok = true;
    result.body = std::move(plain);
    return result;
}

}  // namespace devlink
