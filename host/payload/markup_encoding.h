// The byte encodings of markup files: recognising the encoding of the bytes
// read from a file and producing the bytes written back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

// Document flags telling which byte-order mark the file had.
inline constexpr uint32_t kMarkUtf8 = 0x04;
inline constexpr uint32_t kMarkUtf16Le = 0x01;
inline constexpr uint32_t kMarkUtf16Be = 0x80;
inline constexpr uint32_t kEncodingMarks = kMarkUtf8 | kMarkUtf16Le | kMarkUtf16Be;

inline constexpr std::u16string_view kAnsiEncoding = u"ANSI";

struct DecodedFile {
    std::u16string text;
    std::u16string encoding;
    uint32_t mark = 0;  // one of the mark flags, or 0
};

// Decodes the whole content of a file, recording each step in `log`.
DecodedFile DecodeFile(std::span<const uint8_t> bytes, std::u16string& log);

// Encodes `text` for a file in `encoding`, with the byte-order mark that
// `mark` names.
std::vector<uint8_t> EncodeFile(std::u16string_view text, std::u16string_view encoding, uint32_t mark, std::u16string& log);

// The encoding named by the "xml" declaration or the HTML "meta" element of
// `text`; empty when there is none.
std::u16string DeclaredEncoding(std::u16string_view text);

}  // namespace payload
