#include "payload/config_values.h"

#include <limits>

namespace payload {
namespace {

bool IsWhiteSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int DigitValue(char16_t c, int base)
{
    int value = base;
    if (c >= u'0' && c <= u'9') value = c - u'0';
    if (c >= u'a' && c <= u'z') value = c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') value = c - u'A' + 10;
    return value < base ? value : -1;
}

struct ParsedNumber {
    bool negative = false;
    bool overflow = false;
    uint64_t magnitude = 0;
};

// Reads digits of `base` while the magnitude still fits in 33 bits, which
// is enough to tell every overflow of a 32-bit result.
ParsedNumber ParseNumber(std::u16string_view text, int base)
{
    ParsedNumber number;
    size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) number.negative = text[i++] == u'-';
    if (base == 16 && i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        DigitValue(text[i + 2], 16) >= 0) {
        i += 2;
    }
    constexpr uint64_t kLimit = uint64_t{1} << 33;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) break;
        number.magnitude = number.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (number.magnitude >= kLimit) {
            number.overflow = true;
            number.magnitude = kLimit;
        }
    }
    return number;
}

}  // namespace

int32_t ParseInteger(std::u16string_view text)
{
    const ParsedNumber number = ParseNumber(text, 10);
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    const int64_t value = number.negative ? -static_cast<int64_t>(number.magnitude) : static_cast<int64_t>(number.magnitude);
    if (value > kMax) return static_cast<int32_t>(kMax);
    if (value < kMin) return static_cast<int32_t>(kMin);
    return static_cast<int32_t>(value);
}

uint32_t ParseHex(std::u16string_view text)
{
    const ParsedNumber number = ParseNumber(text, 16);
    if (number.overflow || number.magnitude > std::numeric_limits<uint32_t>::max()) {
        return std::numeric_limits<uint32_t>::max();
    }
    const auto value = static_cast<uint32_t>(number.magnitude);
    return number.negative ? 0u - value : value;
}

uint8_t ParseByte(std::u16string_view text)
{
    return static_cast<uint8_t>(static_cast<uint32_t>(ParseInteger(text)) & 0xFFu);
}

std::vector<std::u16string> SplitKeepingEmpty(std::u16string_view text, char16_t separator)
{
    std::vector<std::u16string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::u16string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::u16string TrimSpaces(std::u16string_view text)
{
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    const size_t last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(first, last - first + 1));
}

}  // namespace payload
