// Misbehaviours the simulated web interface can show, so that the host's
// handling of each one can be tested.
#pragma once

#include <optional>
#include <string_view>

namespace routersim {

enum class WebFault {
    kNone,
    kLowerCase,       // markers and result words in lower case; the version as usual
    kFail,            // every command fails in the router's own words
    kSilent,          // the request is read and never answered
    kCloseEarly,      // the connection closes right after the request, with no answer
    kCloseMidHeader,  // the answer stops in the middle of its header
    kRefuse,          // nothing listens: connections are refused
};

// The names used on the command line: none, lowercase, fail, silent,
// close-early, close-mid-header, refuse.
std::optional<WebFault> ParseWebFault(std::string_view name);
std::string_view WebFaultName(WebFault fault);

}  // namespace routersim
