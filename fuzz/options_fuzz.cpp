// Command-line options and endpoint texts: the first input any integrator's
// script hands to flashdesk. Arguments are separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/options.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= input.size(); ++i) {
        if (i == input.size() || input[i] == '\0') {
            args.push_back(input.substr(start, i - start));
            start = i + 1;
        }
    }
    for (const app::FrontEnd frontEnd : {app::FrontEnd::kWindow, app::FrontEnd::kConsole}) {
        const app::ParsedOptions parsed = app::ParseOptions(args, frontEnd);
        if (parsed.options.has_value() == !parsed.error.empty()) __builtin_trap();
        if (!parsed.options) continue;
        const platform::Endpoints& endpoints = parsed.options->endpoints;
        if (endpoints.router.port == 0 || endpoints.announce.port == 0 || endpoints.listenPort == 0) __builtin_trap();
        const int language = parsed.options->language;
        if (language != app::kLanguageEnglish && language != app::kLanguageGerman && language != app::kLanguagePortuguese) __builtin_trap();
    }

    // Text conversion must round-trip whatever valid UTF-16 it produced.
    const std::u16string wide = platform::Utf8ToUtf16(input);
    if (platform::Utf8ToUtf16(platform::Utf16ToUtf8(wide)) != wide) __builtin_trap();
    return 0;
}
