// Builds the element index of a markup text. Ill-formed markup never stops
// the parse: every problem is recorded in the log and the index is complete.
#pragma once

#include <string>

#include "payload/markup_index.h"

namespace payload {

// Replaces `index` with the elements of `text`; false when anything was
// ill-formed.
bool ParseMarkup(const std::u16string& text, MarkupIndex& index, std::u16string& log);

// The tag name in the start tag of `element`.
std::u16string ElementName(const std::u16string& text, const MarkupElement& element);

}  // namespace payload
