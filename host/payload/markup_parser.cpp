#include "payload/markup_parser.h"

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "payload/markup_log.h"

namespace payload {
namespace {

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool StartsStartTag(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || c >= u'a' || c == u':' || c == u'_';
}

// Quote states of a start tag scan, as bits.
constexpr uint8_t kOutside = 0x1;
constexpr uint8_t kInDouble = 0x2;
constexpr uint8_t kInSingle = 0x4;

size_t NameEnd(std::u16string_view text, size_t from)
{
    while (from < text.size() && !IsBlank(text[from]) && text[from] != u'/' && text[from] != u'>') ++from;
    return from;
}

class Parser {
public:
    Parser(const std::u16string& text, MarkupIndex& index, std::u16string& log) : text_(text), index_(index), log_(log) {}

    bool Run()
    {
        index_.assign(1, MarkupElement{});
        index_[0].length = static_cast<uint32_t>(text_.size());
        open_.assign(1, 0);
        failedStates_.assign(text_.size(), 0);
        failedDoctypeStates_.assign(text_.size(), 0);
        size_t pos = 0;
        while (pos < text_.size()) {
            const size_t lt = text_.find(u'<', pos);
            if (lt == std::u16string_view::npos) break;
            pos = Token(lt);
        }
        while (open_.size() > 1) CloseUnended(static_cast<uint32_t>(text_.size()));
        if (index_[0].firstChild == 0) {
            Problem(u"no_root_element");
        } else if (index_[index_[0].firstChild].nextSibling != 0) {
            Problem(u"root_has_sibling");
        }
        return wellFormed_;
    }

private:
    // Handles the token at `lt` and returns where scanning goes on.
    size_t Token(size_t lt)
    {
        if (lt + 1 >= text_.size()) return Unterminated(lt, u"tag");
        const char16_t c = text_[lt + 1];
        if (StartsStartTag(c)) return StartTag(lt);
        if (c == u'/') return EndTag(lt);
        if (c == u'?') return Skip(lt, 2, u"?>", u"processing_instruction");
        if (c != u'!') return TokenError(lt, u"first_tag_syntax");
        const std::u16string_view rest = std::u16string_view(text_).substr(lt + 2);
        if (rest.starts_with(u"--")) return Skip(lt, 4, u"-->", u"comment");
        if (rest.starts_with(u"-")) return TokenError(lt, u"comment_tag_syntax");
        if (rest.starts_with(u"[C")) return Skip(lt, 4, u"]]>", u"cdata_section");
        if (rest.starts_with(u"[")) return TokenError(lt, u"cdata_section_syntax");
        if (rest.starts_with(u"D")) return Doctype(lt);
        return TokenError(lt, u"exclamation_tag_syntax");
    }

    size_t StartTag(size_t lt)
    {
        const size_t gt = StartTagEnd(lt + 1);
        if (gt == std::u16string_view::npos) return Unterminated(lt, u"start_tag");
        const uint32_t parent = open_.back();
        const auto id = static_cast<uint32_t>(index_.size());
        MarkupElement element;
        element.start = static_cast<uint32_t>(lt);
        element.startTagLength = static_cast<uint32_t>(gt + 1 - lt);
        element.length = element.startTagLength;
        element.level = static_cast<uint32_t>(open_.size() - 1);
        element.parent = parent;
        index_.push_back(element);
        LinkLastChild(parent, id);
        if (text_[gt - 1] != u'/') Open(id);
        return gt + 1;
    }

    // The ">" that ends a start tag scanned from `from`, outside quotes.
    // The positions and quote states of a failed scan are remembered: a
    // later scan reaching one of them in the same state fails as well.
    size_t StartTagEnd(size_t from)
    {
        uint8_t state = kOutside;
        std::vector<std::pair<size_t, uint8_t>> path;
        for (size_t pos = from; pos < text_.size() && (failedStates_[pos] & state) == 0; ++pos) {
            path.emplace_back(pos, state);
            const char16_t c = text_[pos];
            if (state == kOutside) {
                if (c == u'>') return pos;
                if (c == u'"') state = kInDouble;
                if (c == u'\'') state = kInSingle;
            } else if ((state == kInDouble && c == u'"') || (state == kInSingle && c == u'\'')) {
                state = kOutside;
            }
        }
        for (const auto& [pos, failedState] : path) failedStates_[pos] |= failedState;
        return std::u16string_view::npos;
    }

    void Open(uint32_t id)
    {
        open_.push_back(id);
        ++openNames_[ElementName(text_, index_[id])];
    }

    void Close()
    {
        const auto name = openNames_.find(ElementName(text_, index_[open_.back()]));
        if (--name->second == 0) openNames_.erase(name);
        open_.pop_back();
    }

    void LinkLastChild(uint32_t parent, uint32_t id)
    {
        const uint32_t first = index_[parent].firstChild;
        if (first == 0) {
            index_[parent].firstChild = id;
            index_[id].prevSibling = id;
            return;
        }
        const uint32_t last = index_[first].prevSibling;
        index_[last].nextSibling = id;
        index_[id].prevSibling = last;
        index_[first].prevSibling = id;
    }

    size_t EndTag(size_t lt)
    {
        const size_t gt = Find(u">", lt + 2);
        if (gt == std::u16string_view::npos) return Unterminated(lt, u"end_tag");
        const std::u16string_view name = std::u16string_view(text_).substr(lt + 2, NameEnd(text_, lt + 2) - (lt + 2));
        if (!openNames_.contains(std::u16string(name))) {
            Problem(u"lone_end_tag", name);
            return gt + 1;
        }
        size_t depth = open_.size() - 1;
        while (ElementName(text_, index_[open_[depth]]) != name) --depth;
        while (open_.size() - 1 > depth) CloseUnended(static_cast<uint32_t>(lt));
        MarkupElement& element = index_[open_.back()];
        element.length = static_cast<uint32_t>(gt + 1) - element.start;
        element.endTagLength = static_cast<uint32_t>(gt + 1 - lt);
        Close();
        return gt + 1;
    }

    void CloseUnended(uint32_t at)
    {
        MarkupElement& element = index_[open_.back()];
        element.length = at - element.start;
        element.state |= kElementUnended;
        Problem(u"unended_start_tag", ElementName(text_, element));
        Close();
    }

    // A document type declaration ends with the ">" after its internal
    // subset. Failed scans are remembered as for start tags; the quote
    // state bits are shifted by 3 inside the subset.
    size_t Doctype(size_t lt)
    {
        bool subset = false;
        char16_t quote = 0;
        std::vector<std::pair<size_t, uint8_t>> path;
        for (size_t pos = lt + 2; pos < text_.size(); ++pos) {
            const uint8_t quoteState = quote == 0 ? kOutside : quote == u'"' ? kInDouble : kInSingle;
            const auto state = static_cast<uint8_t>(subset ? quoteState << 3 : quoteState);
            if ((failedDoctypeStates_[pos] & state) != 0) break;
            path.emplace_back(pos, state);
            const char16_t c = text_[pos];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (!subset && c == u'[') {
                subset = true;
            } else if (subset && c == u']') {
                subset = false;
            } else if (subset && c == u'<' && pos + 1 < text_.size() && text_[pos + 1] == u'!') {
                pos = SubsetDeclaration(pos);
            } else if (!subset && c == u'>') {
                return pos + 1;
            }
        }
        for (const auto& [pos, failedState] : path) failedDoctypeStates_[pos] |= failedState;
        return Unterminated(lt, u"doctype");
    }

    // Checks the declaration at `lt` inside a document type subset; returns
    // the last position it covers.
    size_t SubsetDeclaration(size_t lt)
    {
        const std::u16string_view rest = std::u16string_view(text_).substr(lt + 2);
        if (rest.starts_with(u"--")) {
            const size_t end = Find(u"-->", lt + 4);
            return end == std::u16string_view::npos ? text_.size() : end + 2;
        }
        if (rest.empty() || (rest[0] != u'E' && rest[0] != u'A' && rest[0] != u'N')) {
            Problem(u"doctype_tag_syntax");
        }
        return lt + 1;
    }

    size_t Skip(size_t lt, size_t bodyFrom, std::u16string_view terminator, std::u16string_view kind)
    {
        const size_t end = Find(terminator, lt + bodyFrom);
        if (end == std::u16string_view::npos) return Unterminated(lt, kind);
        return end + terminator.size();
    }

    // Finds `what` from `from`. A search that failed once fails from every
    // later position too, so it is not repeated.
    size_t Find(std::u16string_view what, size_t from)
    {
        const auto known = notFoundAfter_.find(std::u16string(what));
        if (known != notFoundAfter_.end() && from >= known->second) return std::u16string_view::npos;
        const size_t at = from <= text_.size() ? text_.find(what, from) : std::u16string_view::npos;
        if (at == std::u16string_view::npos) notFoundAfter_[std::u16string(what)] = from;
        return at;
    }

    size_t Unterminated(size_t lt, std::u16string_view kind)
    {
        Problem(u"unterminated_tag_syntax", kind);
        return lt + 1;
    }

    size_t TokenError(size_t lt, std::u16string_view name)
    {
        Problem(name);
        return lt + 1;
    }

    void Problem(std::u16string_view name, std::u16string_view values = {})
    {
        AddLogEntry(log_, name, values);
        wellFormed_ = false;
    }

    const std::u16string& text_;
    MarkupIndex& index_;
    std::u16string& log_;
    std::vector<uint32_t> open_;
    std::map<std::u16string, size_t> openNames_;
    std::vector<uint8_t> failedStates_;
    std::vector<uint8_t> failedDoctypeStates_;
    std::map<std::u16string, size_t> notFoundAfter_;
    bool wellFormed_ = true;
};

}  // namespace

bool ParseMarkup(const std::u16string& text, MarkupIndex& index, std::u16string& log)
{
    return Parser(text, index, log).Run();
}

std::u16string ElementName(const std::u16string& text, const MarkupElement& element)
{
    const size_t from = element.start + 1;
    if (from >= text.size()) return {};
    return text.substr(from, NameEnd(text, from) - from);
}

}  // namespace payload
