// The fields of an application/x-www-form-urlencoded body.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace routersim {

using FormFields = std::map<std::string, std::string, std::less<>>;

// Splits at '&' and '=', decoding '+' and %XX escapes; a malformed escape is
// kept as it stands. Of repeated names the first one counts.
FormFields ParseFormFields(std::string_view body);

}  // namespace routersim
