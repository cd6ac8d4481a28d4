#include "payload/markup_document.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "payload/markup_encoding.h"
#include "payload/markup_log.h"
#include "payload/markup_parser.h"
#include "payload/markup_text.h"
#include "platform/files.h"
#include "platform/text.h"

namespace payload {
namespace {

constexpr uint32_t kFileModes = kReadingFile | kWritingFile;

constexpr std::u16string_view kCdataStart = u"<![CDATA[";

// Where the markup that starts at `lt` and ends with `terminator` ends,
// not beyond `end`.
size_t SkipPast(std::u16string_view text, size_t lt, std::u16string_view terminator, size_t end)
{
    const size_t at = text.substr(0, end).find(terminator, lt + 2);
    return at == std::u16string_view::npos ? end : at + terminator.size();
}

}  // namespace

MarkupDocument::MarkupDocument() : index_(1) {}

bool MarkupDocument::LoadFile(const std::u16string& path)
{
    const std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
    if (!bytes) {
        log_.clear();
        AddLogEntry(log_, u"file_error", path + u": the file cannot be opened or read");
        text_.clear();
        encoding_.clear();
        flags_ = 0;
        index_.assign(1, MarkupElement{});
        current_ = child_ = 0;
        return false;
    }
    LoadBytes(*bytes);
    return true;
}

void MarkupDocument::LoadBytes(std::span<const uint8_t> bytes)
{
    log_.clear();
    flags_ = kReadingFile;
    DecodedFile file = DecodeFile(bytes, log_);
    text_ = std::move(file.text);
    encoding_ = std::move(file.encoding);
    flags_ = file.mark;
    if (!ParseMarkup(text_, index_, log_)) flags_ |= kIllFormed;
    current_ = child_ = 0;
}

bool MarkupDocument::SaveFile(const std::u16string& path)
{
    const std::vector<uint8_t> bytes = SaveBytes();
    flags_ |= kWritingFile;
    const bool written = platform::WriteWholeFile(path, bytes.data(), bytes.size());
    flags_ &= ~kWritingFile;
    if (!written) {
        AddLogEntry(log_, u"file_error", path + u": the file cannot be written");
        return false;
    }
    AddLogEntry(log_, u"write", encoding_ + u' ' + platform::Utf8ToUtf16(std::to_string(bytes.size())));
    return true;
}

std::vector<uint8_t> MarkupDocument::SaveBytes()
{
    if (encoding_.empty()) encoding_ = DeclaredEncoding(text_);
    if (encoding_.empty()) encoding_ = u"UTF-8";
    return EncodeFile(text_, encoding_, flags_ & kEncodingMarks, log_);
}

bool MarkupDocument::FindChild(std::u16string_view name)
{
    if ((flags_ & kFileModes) != 0) return false;
    if (current_ == 0) {
        if (index_[0].firstChild == 0) return false;
        current_ = index_[0].firstChild;
        child_ = 0;
    }
    uint32_t candidate = child_ != 0 ? index_[child_].nextSibling : index_[current_].firstChild;
    for (; candidate != 0; candidate = index_[candidate].nextSibling) {
        if (ElementName(text_, index_[candidate]) == name) {
            child_ = candidate;
            return true;
        }
    }
    return false;
}

bool MarkupDocument::EnterChild()
{
    if ((flags_ & kFileModes) != 0 || child_ == 0) return false;
    current_ = child_;
    child_ = 0;
    return true;
}

bool MarkupDocument::LeaveElement()
{
    if ((flags_ & kFileModes) != 0 || current_ == 0 || index_[current_].parent == 0) return false;
    child_ = current_;
    current_ = index_[current_].parent;
    return true;
}

std::u16string_view MarkupDocument::Content(const MarkupElement& element) const
{
    const size_t from = element.start + element.startTagLength;
    const size_t to = element.End() - element.endTagLength;
    return std::u16string_view(text_).substr(from, to - from);
}

std::u16string MarkupDocument::ChildData() const
{
    if (child_ == 0) return {};
    const MarkupElement& element = index_[child_];
    const std::u16string_view text = text_;
    const size_t end = element.End() - element.endTagLength;
    size_t pos = element.start + element.startTagLength;
    uint32_t next = element.firstChild;
    std::u16string data;
    while (pos < end) {
        const size_t lt = std::min(text.substr(0, end).find(u'<', pos), end);
        data += DecodeReferences(text.substr(pos, lt - pos));
        if (lt == end) break;
        while (next != 0 && index_[next].start < lt) next = index_[next].nextSibling;
        const std::u16string_view rest = text.substr(lt, end - lt);
        if (next != 0 && index_[next].start == lt) {
            pos = index_[next].End();
        } else if (rest.starts_with(kCdataStart)) {
            const size_t from = lt + kCdataStart.size();
            const size_t close = std::min(text.substr(0, end).find(u"]]>", from), end);
            data += text.substr(from, close - from);
            pos = std::min(close + 3, end);
        } else if (rest.starts_with(u"<!--")) {
            pos = SkipPast(text, lt + 2, u"-->", end);
        } else if (rest.starts_with(u"<?")) {
            pos = SkipPast(text, lt, u"?>", end);
        } else {
            data += u'<';
            pos = lt + 1;
        }
    }
    return data;
}

bool MarkupDocument::ReplaceData(std::u16string_view data)
{
    if ((flags_ & kFileModes) != 0 || current_ == 0) return false;
    MarkupElement& element = index_[current_];
    if (element.firstChild != 0) return false;
    const std::u16string escaped = EscapeData(data);
    const bool emptyElement = element.endTagLength == 0 && element.length == element.startTagLength &&
                              text_[element.start + element.startTagLength - 2] == u'/';
    if (!emptyElement) {
        const size_t from = element.start + element.startTagLength;
        Resize(current_, from, Content(element).size(), escaped);
        return true;
    }
    // "<name .../>" becomes "<name ...>data</name>".
    const std::u16string name = ElementName(text_, element);
    const std::u16string_view tag = std::u16string_view(text_).substr(element.start, element.startTagLength - 2);
    const std::u16string replacement = std::u16string(tag) + u'>' + escaped + u"</" + name + u'>';
    const uint32_t startTagLength = element.startTagLength - 1;
    Resize(current_, element.start, element.startTagLength, replacement);
    element.startTagLength = startTagLength;
    element.endTagLength = static_cast<uint32_t>(name.size() + 3);
    return true;
}

// Replaces `oldLength` characters at `from` inside element `id` and moves
// the elements after it and the ends of its ancestors.
void MarkupDocument::Resize(uint32_t id, size_t from, size_t oldLength, std::u16string_view replacement)
{
    const uint32_t start = index_[id].start;
    const uint32_t end = index_[id].End();
    const auto delta = static_cast<uint32_t>(replacement.size() - oldLength);
    text_.replace(from, oldLength, replacement);
    for (uint32_t i = 1; i < index_.size(); ++i) {
        MarkupElement& other = index_[i];
        if (i == id) {
            other.length += delta;
        } else if (other.start >= end) {
            other.start += delta;
        } else if (other.start < start && other.End() >= end) {
            other.length += delta;
        }
    }
    index_[0].length = static_cast<uint32_t>(text_.size());
}

}  // namespace payload
