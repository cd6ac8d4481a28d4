// The command line shared by both front ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/endpoints.h"

namespace app {

struct Options {
    platform::Endpoints endpoints;
    // Press UPDATE as soon as it is enabled and accept the instructions and
    // message boxes without a person.
    bool yes = false;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<Options> options;  // empty on a usage error
    std::string error;               // the reason, for a usage error
};

// `args` excludes the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

std::string UsageText(const std::string& programName);
// "flashdesk" and the product version.
std::u16string ProductTitle();

}  // namespace app
