#include "payload/markup_text.h"

#include <array>
#include <cstdint>
#include <optional>

namespace payload {
namespace {

struct NamedEntity {
    std::u16string_view name;
    char16_t value;
};

// The markup entities and the HTML names most often met in configuration
// texts.
constexpr std::array<NamedEntity, 33> kNamedEntities{{
    {u"lt", u'<'},        {u"gt", u'>'},         {u"amp", u'&'},        {u"quot", u'"'},
    {u"apos", u'\''},     {u"nbsp", 0x00A0},     {u"iexcl", 0x00A1},    {u"cent", 0x00A2},
    {u"pound", 0x00A3},   {u"curren", 0x00A4},   {u"yen", 0x00A5},      {u"brvbar", 0x00A6},
    {u"sect", 0x00A7},    {u"uml", 0x00A8},      {u"copy", 0x00A9},     {u"ordf", 0x00AA},
    {u"laquo", 0x00AB},   {u"not", 0x00AC},      {u"shy", 0x00AD},      {u"reg", 0x00AE},
    {u"macr", 0x00AF},    {u"deg", 0x00B0},      {u"plusmn", 0x00B1},   {u"micro", 0x00B5},
    {u"para", 0x00B6},    {u"middot", 0x00B7},   {u"raquo", 0x00BB},    {u"times", 0x00D7},
    {u"divide", 0x00F7},  {u"ndash", 0x2013},    {u"mdash", 0x2014},    {u"euro", 0x20AC},
    {u"trade", 0x2122},
}};

// Longest reference body looked at between "&" and ";".
constexpr size_t kMaxReferenceLength = 10;

std::optional<uint32_t> NumericReference(std::u16string_view body)
{
    int base = 10;
    size_t i = 1;
    if (body.size() > 1 && (body[1] == u'x' || body[1] == u'X')) {
        base = 16;
        i = 2;
    }
    if (i >= body.size()) return std::nullopt;
    uint32_t value = 0;
    for (; i < body.size(); ++i) {
        const char16_t c = body[i];
        uint32_t digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * static_cast<uint32_t>(base) + digit;
        if (value > 0x10FFFF) return std::nullopt;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

bool AppendReference(std::u16string_view body, std::u16string& out)
{
    if (body.starts_with(u"#")) {
        const std::optional<uint32_t> value = NumericReference(body);
        if (!value) return false;
        if (*value >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((*value - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((*value - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(*value);
        }
        return true;
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (entity.name == body) {
            out += entity.value;
            return true;
        }
    }
    return false;
}

}  // namespace

std::u16string DecodeReferences(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t amp = text.find(u'&', pos);
        if (amp == std::u16string_view::npos) break;
        out += text.substr(pos, amp - pos);
        const size_t semicolon = text.substr(amp + 1, kMaxReferenceLength + 1).find(u';');
        if (semicolon != std::u16string_view::npos && AppendReference(text.substr(amp + 1, semicolon), out)) {
            pos = amp + semicolon + 2;
        } else {
            out += u'&';
            pos = amp + 1;
        }
    }
    out += text.substr(pos);
    return out;
}

std::u16string EscapeData(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'<') {
            out += u"&lt;";
        } else if (c == u'&') {
            out += u"&amp;";
        } else if (c == u'>') {
            out += u"&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace payload
