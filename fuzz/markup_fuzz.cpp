// Bytes as a markup file may hold them: any input must load, every element
// must be reachable by the cursor without harm, replaced data must read back
// as written, and the document must save again.
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "payload/markup_document.h"

namespace {

constexpr size_t kMaxNames = 8;
constexpr int kMaxDepth = 16;
const std::u16string kReplacement = u"a&b<c>]]>&amp;";

// Tag names appearing in the text, to look children up by.
std::vector<std::u16string> TagNames(const std::u16string& text)
{
    std::set<std::u16string> names;
    for (size_t lt = text.find(u'<'); lt != std::u16string::npos && names.size() < kMaxNames; lt = text.find(u'<', lt + 1)) {
        size_t end = lt + 1;
        while (end < text.size() && text[end] != u' ' && text[end] != u'>' && text[end] != u'/' && text[end] != u'<') ++end;
        if (end > lt + 1) names.insert(text.substr(lt + 1, end - lt - 1));
    }
    return {names.begin(), names.end()};
}

void Walk(const payload::MarkupDocument& document, const std::vector<std::u16string>& names, int depth)
{
    if (depth == 0) return;
    for (const std::u16string& name : names) {
        payload::MarkupDocument probe = document;
        while (probe.FindChild(name)) {
            probe.ChildData();
            if (!probe.EnterChild()) __builtin_trap();
            Walk(probe, names, depth - 1);
            if (!probe.LeaveElement()) __builtin_trap();
        }
    }
}

// Replaces the data of the first child of each name that has no children
// of its own, and checks that it reads back unchanged.
void ReplaceEach(payload::MarkupDocument& document, const std::vector<std::u16string>& names)
{
    for (const std::u16string& name : names) {
        if (!document.FindChild(name) || !document.EnterChild()) continue;
        const bool replaced = document.ReplaceData(kReplacement);
        if (!document.LeaveElement()) __builtin_trap();
        if (replaced && document.ChildData() != kReplacement) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    payload::MarkupDocument document;
    document.LoadBytes(std::span<const uint8_t>(data, size));
    const std::vector<std::u16string> names = TagNames(document.Text());
    Walk(document, names, kMaxDepth);
    ReplaceEach(document, names);
    const std::vector<uint8_t> saved = document.SaveBytes();
    payload::MarkupDocument again;
    again.LoadBytes(saved);
    Walk(again, names, 2);
    return 0;
}
