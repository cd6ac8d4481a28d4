#include "payload/markup_encoding.h"

#include <algorithm>
#include <optional>

#include "payload/markup_code_pages.h"
#include "payload/markup_log.h"
#include "platform/text.h"

namespace payload {
namespace {

// Bytes looked at for a mark or a declaration before the whole file is read.
constexpr size_t kSniffBytes = 1024;

std::u16string Number(size_t value)
{
    return platform::Utf8ToUtf16(std::to_string(value));
}

std::u16string Lowered(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    }
    return out;
}

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The value of attribute `name` in the tag text `tag`, which is lower-cased.
std::optional<std::u16string_view> AttributeValue(std::u16string_view tag, std::u16string_view name)
{
    size_t pos = 0;
    while ((pos = tag.find(name, pos)) != std::u16string_view::npos) {
        size_t at = pos + name.size();
        const bool separate = pos > 0 && IsBlank(tag[pos - 1]);
        pos = at;
        while (at < tag.size() && IsBlank(tag[at])) ++at;
        if (!separate || at >= tag.size() || tag[at] != u'=') continue;
        ++at;
        while (at < tag.size() && IsBlank(tag[at])) ++at;
        if (at >= tag.size()) return std::nullopt;
        const char16_t quote = tag[at];
        if (quote == u'"' || quote == u'\'') {
            const size_t end = tag.find(quote, at + 1);
            if (end == std::u16string_view::npos) return std::nullopt;
            return tag.substr(at + 1, end - at - 1);
        }
        size_t end = at;
        while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != u'>' && tag[end] != u'/') ++end;
        return tag.substr(at, end - at);
    }
    return std::nullopt;
}

std::u16string XmlDeclarationEncoding(std::u16string_view lower)
{
    const size_t start = lower.find(u"<?xml");
    if (start == std::u16string_view::npos) return {};
    const size_t end = lower.find(u"?>", start);
    if (end == std::u16string_view::npos) return {};
    const std::optional<std::u16string_view> value = AttributeValue(lower.substr(start, end - start), u"encoding");
    return value ? std::u16string(*value) : std::u16string();
}

std::u16string MetaCharset(std::u16string_view lower)
{
    const size_t html = lower.find(u"<html");
    if (html == std::u16string_view::npos) return {};
    const size_t head = lower.find(u"<head", html);
    if (head == std::u16string_view::npos) return {};
    size_t pos = head;
    while ((pos = lower.find(u"<meta", pos)) != std::u16string_view::npos) {
        const size_t end = std::min(lower.find(u'>', pos), lower.size());
        const std::u16string_view tag = lower.substr(pos, end - pos);
        pos = end;
        const std::optional<std::u16string_view> equiv = AttributeValue(tag, u"http-equiv");
        if (!equiv || *equiv != u"content-type") continue;
        const std::optional<std::u16string_view> content = AttributeValue(tag, u"content");
        if (!content) continue;
        const size_t charset = content->find(u"charset=");
        if (charset == std::u16string_view::npos) continue;
        std::u16string_view value = content->substr(charset + 8);
        value = value.substr(0, std::min(value.find(u';'), value.size()));
        return std::u16string(value);
    }
    return {};
}

std::u16string DecodeUtf16(std::span<const uint8_t> bytes, bool bigEndian, std::u16string& log)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    size_t nulls = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = bigEndian ? static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1])
                                    : static_cast<char16_t>(bytes[i + 1] << 8 | bytes[i]);
        if (unit == 0) {
            ++nulls;
        } else {
            text += unit;
        }
    }
    if (nulls != 0) AddLogEntry(log, u"nulls_removed", Number(nulls));
    if (bigEndian) AddLogEntry(log, u"endian_swap", Number(text.size()));
    return text;
}

std::u16string DecodeBytes(std::span<const uint8_t> bytes, DecodedFile& file, std::u16string& log)
{
    std::string narrow;
    narrow.reserve(bytes.size());
    for (uint8_t byte : bytes) {
        if (byte != 0) narrow += static_cast<char>(byte);
    }
    if (narrow.size() != bytes.size()) AddLogEntry(log, u"nulls_removed", Number(bytes.size() - narrow.size()));
    if (file.encoding.empty()) {
        file.encoding = platform::IsValidUtf8(narrow) ? std::u16string(u"UTF-8") : std::u16string(kAnsiEncoding);
        AddLogEntry(log, u"utf8_detection", file.encoding);
    }
    const uint32_t codePage = CodePageOf(file.encoding);
    std::u16string text = codePage == kCodePageUtf8 ? platform::Utf8ToUtf16(narrow)
                                                    : platform::CodePageToUtf16(codePage, narrow);
    AddLogEntry(log, u"converted_to", u"UTF-16 " + Number(text.size()));
    return text;
}

void AppendUnits(std::u16string_view text, bool bigEndian, std::vector<uint8_t>& out)
{
    for (char16_t unit : text) {
        const auto high = static_cast<uint8_t>(unit >> 8);
        const auto low = static_cast<uint8_t>(unit & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
}

}  // namespace

DecodedFile DecodeFile(std::span<const uint8_t> bytes, std::u16string& log)
{
    DecodedFile file;
    std::span<const uint8_t> body = bytes;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        file.encoding = u"UTF-8", file.mark = kMarkUtf8, body = bytes.subspan(3);
    } else if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        file.encoding = u"UTF-16LE", file.mark = kMarkUtf16Le, body = bytes.subspan(2);
    } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        file.encoding = u"UTF-16BE", file.mark = kMarkUtf16Be, body = bytes.subspan(2);
    } else {
        const std::span<const uint8_t> sniff = bytes.first(std::min(bytes.size(), kSniffBytes));
        const std::u16string sniffed = platform::Utf8ToUtf16({reinterpret_cast<const char*>(sniff.data()), sniff.size()});
        file.encoding = DeclaredEncoding(sniffed);
        if (file.encoding.empty() && !bytes.empty() && bytes[0] == '<') file.encoding = u"UTF-8";
    }
    const bool utf16 = file.mark == kMarkUtf16Le || file.mark == kMarkUtf16Be;
    file.text = utf16 ? DecodeUtf16(body, file.mark == kMarkUtf16Be, log) : DecodeBytes(body, file, log);
    AddLogEntry(log, u"read", file.encoding + u' ' + Number(bytes.size()));
    return file;
}

std::vector<uint8_t> EncodeFile(std::u16string_view text, std::u16string_view encoding, uint32_t mark, std::u16string& log)
{
    std::vector<uint8_t> out;
    if (mark == kMarkUtf16Le || mark == kMarkUtf16Be) {
        const bool bigEndian = mark == kMarkUtf16Be;
        AppendUnits(u"\uFEFF", bigEndian, out);
        AppendUnits(text, bigEndian, out);
        return out;
    }
    if (mark == kMarkUtf8) out = {0xEF, 0xBB, 0xBF};
    const uint32_t codePage = CodePageOf(encoding);
    const bool utf8 = codePage == kCodePageUtf8;
    const std::string bytes = utf8 ? platform::Utf16ToUtf8(text) : platform::Utf16ToCodePage(codePage, text);
    AddLogEntry(log, u"converted_from", std::u16string(encoding) + u' ' + Number(bytes.size()));
    const std::u16string back = utf8 ? platform::Utf8ToUtf16(bytes) : platform::CodePageToUtf16(codePage, bytes);
    if (back != text) AddLogEntry(log, u"conversion_loss", std::u16string(encoding));
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::u16string DeclaredEncoding(std::u16string_view text)
{
    const std::u16string lower = Lowered(text);
    std::u16string encoding = XmlDeclarationEncoding(lower);
    if (encoding.empty()) encoding = MetaCharset(lower);
    return encoding;
}

}  // namespace payload
