// The element index of a markup document. Entry 0 stands for the document
// itself; the others are its elements in the order their start tags appear.
#pragma once

#include <cstdint>
#include <vector>

namespace payload {

struct MarkupElement {
    uint32_t start = 0;        // offset of "<" of the start tag
    uint32_t length = 0;       // start tag, content and end tag
    uint32_t startTagLength = 0;
    uint32_t endTagLength = 0;  // 0 for an empty or unended element
    uint32_t level = 0;
    uint32_t state = 0;
    uint32_t parent = 0;
    uint32_t firstChild = 0;
    uint32_t nextSibling = 0;
    // For a first child: the last child of its parent.
    uint32_t prevSibling = 0;

    uint32_t End() const { return start + length; }
};

// Set on an element whose end tag was missing.
inline constexpr uint32_t kElementUnended = 0x1;

using MarkupIndex = std::vector<MarkupElement>;

}  // namespace payload
