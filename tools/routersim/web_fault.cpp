#include "routersim/web_fault.h"

#include <array>
#include <utility>

namespace routersim {
namespace {

constexpr std::array<std::pair<WebFault, std::string_view>, 7> kNames{{
    {WebFault::kNone, "none"},
    {WebFault::kLowerCase, "lowercase"},
    {WebFault::kFail, "fail"},
    {WebFault::kSilent, "silent"},
    {WebFault::kCloseEarly, "close-early"},
    {WebFault::kCloseMidHeader, "close-mid-header"},
    {WebFault::kRefuse, "refuse"},
}};

}  // namespace

std::optional<WebFault> ParseWebFault(std::string_view name)
{
    for (const auto& [fault, text] : kNames) {
        if (text == name) return fault;
    }
    return std::nullopt;
}

std::string_view WebFaultName(WebFault fault)
{
    for (const auto& [candidate, text] : kNames) {
        if (candidate == fault) return text;
    }
    return "unknown";
}

}  // namespace routersim
