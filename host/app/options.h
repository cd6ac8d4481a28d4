// The command line shared by both front ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/instruction_texts.h"
#include "platform/endpoints.h"

namespace app {

// The program reading the command line: --language is the console's alone,
// the window always shows its Portuguese texts.
enum class FrontEnd { kWindow, kConsole };

struct Options {
    platform::Endpoints endpoints;
    // Press UPDATE as soon as it is enabled and accept the instructions and
    // message boxes without a person.
    bool yes = false;
    // The console's instruction texts: kLanguageEnglish, kLanguageGerman or
    // kLanguagePortuguese.
    int language = kWelcomeLanguage;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<Options> options;  // empty on a usage error
    std::string error;               // the reason, for a usage error
};

// `args` excludes the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args, FrontEnd frontEnd);

std::string UsageText(const std::string& programName, FrontEnd frontEnd);
// "flashdesk" and the product version.
std::u16string ProductTitle();

}  // namespace app
