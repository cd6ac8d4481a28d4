#include "platform/profile_string.h"

#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

std::u16string Decode(std::span<const uint8_t> file)
{
    if (file.size() >= 2 && (file[0] == 0xFF && file[1] == 0xFE)) {
        std::u16string text;
        for (size_t i = 2; i + 1 < file.size(); i += 2) text += static_cast<char16_t>(file[i] | (file[i + 1] << 8));
        return text;
    }
    if (file.size() >= 2 && (file[0] == 0xFE && file[1] == 0xFF)) {
        std::u16string text;
        for (size_t i = 2; i + 1 < file.size(); i += 2) text += static_cast<char16_t>((file[i] << 8) | file[i + 1]);
        return text;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToUtf16(bytes.substr(3));
    return AnsiToUtf16(bytes);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char16_t Folded(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<std::u16string> ParseProfileString(std::span<const uint8_t> file, std::u16string_view section, std::u16string_view key)
{
    const std::u16string text = Decode(file);
    bool inSection = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line = Trim(std::u16string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const size_t close = line.find(u']');
            inSection = close != std::u16string_view::npos && SameIgnoringCase(Trim(line.substr(1, close - 1)), Trim(section));
            continue;
        }
        if (!inSection) continue;
        const size_t equals = line.find(u'=');
        const std::u16string_view name = Trim(line.substr(0, equals));
        if (!SameIgnoringCase(name, Trim(key))) continue;
        if (equals == std::u16string_view::npos) return std::u16string();
        std::u16string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::u16string(value);
    }
    return std::nullopt;
}

}  // namespace platform
