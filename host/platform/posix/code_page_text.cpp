#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

std::u16string Latin1ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

std::string Utf16ToLatin1(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out += c <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

// iconv's name for a Windows code page; empty for the ANSI code page.
std::string IconvName(uint32_t codePage)
{
    switch (codePage) {
    case kAnsiCodePage: return {};
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 28605: return "ISO-8859-15";
    case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    default: break;
    }
    if (codePage > 28590 && codePage < 28600) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; an input unit that cannot be converted is
    // skipped (`skip` bytes) and `replacement` is written in its place.
    std::string Run(std::string_view in, size_t skip, std::string_view replacement)
    {
        std::string out;
        char buffer[4096];
        auto* source = const_cast<char*>(in.data());
        size_t left = in.size();
        while (left != 0) {
            char* target = buffer;
            size_t room = sizeof buffer;
            const size_t result = iconv(handle_, &source, &left, &target, &room);
            out.append(buffer, static_cast<size_t>(target - buffer));
            if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
            const size_t step = std::min(skip, left);
            source += step;
            left -= step;
            out += replacement;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        char* target = buffer;
        size_t room = sizeof buffer;
        iconv(handle_, nullptr, nullptr, &target, &room);
        out.append(buffer, static_cast<size_t>(target - buffer));
        return out;
    }

private:
    iconv_t handle_;
};

}  // namespace

std::u16string CodePageToUtf16(uint32_t codePage, std::string_view text)
{
    const std::string name = IconvName(codePage);
    if (name.empty()) return Latin1ToUtf16(text);
    Converter converter("UTF-16LE", name);
    if (!converter.Valid()) return Latin1ToUtf16(text);
    const std::string units = converter.Run(text, 1, std::string_view("\xFD\xFF", 2));
    std::u16string out(units.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(units[2 * i]) |
                                       static_cast<unsigned char>(units[2 * i + 1]) << 8);
    }
    return out;
}

std::string Utf16ToCodePage(uint32_t codePage, std::u16string_view text)
{
    const std::string name = IconvName(codePage);
    if (name.empty()) return Utf16ToLatin1(text);
    Converter converter(name, "UTF-16LE");
    if (!converter.Valid()) return Utf16ToLatin1(text);
    std::string units;
    units.reserve(text.size() * 2);
    for (char16_t unit : text) {
        units += static_cast<char>(unit & 0xFF);
        units += static_cast<char>(unit >> 8);
    }
    return converter.Run(units, 2, "?");
}

}  // namespace platform
