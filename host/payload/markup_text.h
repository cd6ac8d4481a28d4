// Character data of markup: decoding references and CDATA sections, and
// escaping text written into an element.
#pragma once

#include <string>
#include <string_view>

namespace payload {

// Decodes "&...;" references in `text`: the five markup entities, numeric
// references and the named entities of the built-in table. A reference that
// is not understood stays as it is.
std::u16string DecodeReferences(std::u16string_view text);

// Writes "<", "&" and ">" as "&lt;", "&amp;" and "&gt;".
std::u16string EscapeData(std::u16string_view text);

}  // namespace payload
