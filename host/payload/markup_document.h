// An XML text held in memory as UTF-16 with an index of its elements, and a
// cursor that walks them. Files are read in the encoding their mark,
// declaration or content shows and written back in the same encoding.
// Ill-formed markup never fails a load; what was wrong goes to the result
// log, and the index still covers every element found.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "payload/markup_index.h"

namespace payload {

// Document flags besides the encoding marks of markup_encoding.h.
inline constexpr uint32_t kReadingFile = 0x10;
inline constexpr uint32_t kWritingFile = 0x20;
inline constexpr uint32_t kIllFormed = 0x100;

class MarkupDocument {
public:
    MarkupDocument();

    // False when the file cannot be read; the document is then empty.
    bool LoadFile(const std::u16string& path);
    bool SaveFile(const std::u16string& path);
    // The same as LoadFile and SaveFile for the bytes of a file.
    void LoadBytes(std::span<const uint8_t> bytes);
    std::vector<uint8_t> SaveBytes();

    // The next child of the current element named `name`, after the current
    // child; with no current element the first top-level element becomes
    // current first.
    bool FindChild(std::u16string_view name);
    bool EnterChild();
    bool LeaveElement();
    // Character data of the current child: references decoded, CDATA
    // sections as they stand.
    std::u16string ChildData() const;
    // Replaces the content of the current element, which must have no child
    // elements, by `data` escaped.
    bool ReplaceData(std::u16string_view data);

    const std::u16string& Text() const { return text_; }
    const std::u16string& ResultLog() const { return log_; }
    uint32_t Flags() const { return flags_; }
    const std::u16string& Encoding() const { return encoding_; }

private:
    std::u16string_view Content(const MarkupElement& element) const;
    void Resize(uint32_t id, size_t from, size_t oldLength, std::u16string_view replacement);

    std::u16string text_;
    std::u16string log_;
    std::u16string encoding_;
    uint32_t flags_ = 0;
    MarkupIndex index_;
    uint32_t current_ = 0;
    uint32_t child_ = 0;
};

}  // namespace payload
