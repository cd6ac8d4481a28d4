#include "app/run_log.h"

#include <cstdio>

namespace app {
namespace {

std::u16string ZeroFilled(const char* text)
{
    std::u16string out;
    for (const char* c = text; *c != '\0'; ++c) out += *c == ' ' ? u'0' : static_cast<char16_t>(*c);
    return out;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::u16string LogTimePrefix(const platform::LocalTime& time)
{
    char text[64];
    std::snprintf(text, sizeof text, "%2d:%2d:%2d:", time.hour, time.minute, time.second);
    return ZeroFilled(text);
}

std::u16string LogFileStamp(const platform::LocalTime& time)
{
    char text[64];
    std::snprintf(text, sizeof text, "%4d%2d%2d%2d%2d", time.year, time.month, time.day, time.hour, time.minute);
    return ZeroFilled(text);
}

std::vector<uint8_t> SerializeLogText(const std::u16string& text)
{
    std::vector<uint8_t> out{0xFF, 0xFE, 0xFF};
    const auto length = static_cast<uint32_t>(text.size());
    if (length <= 254) {
        PutLittleEndian(out, length, 1);
    } else if (length <= 0xFFFD) {
        out.push_back(0xFF);
        PutLittleEndian(out, length, 2);
    } else {
        out.push_back(0xFF);
        PutLittleEndian(out, 0xFFFF, 2);
        PutLittleEndian(out, length, 4);
    }
    for (char16_t c : text) PutLittleEndian(out, c, 2);
    return out;
}

}  // namespace app
