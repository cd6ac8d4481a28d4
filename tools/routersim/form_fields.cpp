#include "routersim/form_fields.h"

#include <optional>

namespace routersim {
namespace {

std::optional<int> HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

std::string Decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
            continue;
        }
        if (c == '%' && i + 2 < text.size()) {
            const auto high = HexDigit(text[i + 1]);
            const auto low = HexDigit(text[i + 2]);
            if (high && low) {
                out.push_back(static_cast<char>(*high * 16 + *low));
                i += 2;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

FormFields ParseFormFields(std::string_view body)
{
    FormFields fields;
    while (!body.empty()) {
        const size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const std::string name = Decode(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? std::string() : Decode(pair.substr(eq + 1));
        fields.emplace(name, value);
    }
    return fields;
}

}  // namespace routersim
