#include "routersim/md5.h"

#include <cmath>
#include <vector>

namespace routersim {
namespace {

constexpr size_t kBlockBytes = 64;

// Left-rotation amounts per round and step.
constexpr std::array<uint32_t, 64> kShift = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// T[i] = floor(2^32 * |sin(i + 1)|).
std::array<uint32_t, 64> SineTable()
{
    std::array<uint32_t, 64> table{};
    for (size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(static_cast<double>(i + 1))) * 4294967296.0));
    }
    return table;
}

uint32_t RotateLeft(uint32_t value, uint32_t count)
{
    return (value << count) | (value >> (32 - count));
}

void Compress(std::array<uint32_t, 4>& state, const uint8_t* block)
{
    static const std::array<uint32_t, 64> kSine = SineTable();
    std::array<uint32_t, 16> words{};
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
                   static_cast<uint32_t>(block[4 * i + 2]) << 16 | static_cast<uint32_t>(block[4 * i + 3]) << 24;
    }
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];
    for (size_t i = 0; i < 64; ++i) {
        uint32_t mixed = 0;
        size_t word = 0;
        switch (i / 16) {
        case 0:
            mixed = (b & c) | (~b & d);
            word = i;
            break;
        case 1:
            mixed = (b & d) | (c & ~d);
            word = (5 * i + 1) % 16;
            break;
        case 2:
            mixed = b ^ c ^ d;
            word = (3 * i + 5) % 16;
            break;
        default:
            mixed = c ^ (b | ~d);
            word = (7 * i) % 16;
            break;
        }
        const uint32_t next = b + RotateLeft(a + mixed + kSine[i] + words[word], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

Md5Digest Md5(std::span<const uint8_t> bytes)
{
    std::array<uint32_t, 4> state = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    const size_t whole = bytes.size() / kBlockBytes * kBlockBytes;
    for (size_t at = 0; at < whole; at += kBlockBytes) Compress(state, bytes.data() + at);

    // The rest, the 0x80 marker, zeros up to 56 mod 64 and the bit length.
    std::vector<uint8_t> tail(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end());
    tail.push_back(0x80);
    while (tail.size() % kBlockBytes != 56) tail.push_back(0);
    const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    for (size_t i = 0; i < 8; ++i) tail.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    for (size_t at = 0; at < tail.size(); at += kBlockBytes) Compress(state, tail.data() + at);

    Md5Digest digest{};
    for (size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

std::string Md5Hex(std::span<const uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : Md5(bytes)) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace routersim
