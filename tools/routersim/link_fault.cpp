#include "routersim/link_fault.h"

#include <charconv>

namespace routersim {
namespace {

// The value after "name:", when `text` starts with it.
std::optional<std::string_view> ValueOf(std::string_view text, std::string_view name)
{
    if (!text.starts_with(name) || text.size() <= name.size() + 1 || text[name.size()] != ':') return std::nullopt;
    return text.substr(name.size() + 1);
}

}  // namespace

std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

bool AddLinkFault(std::string_view name, LinkFaults& faults)
{
    if (name == "silent") {
        faults.silentAll = true;
        return true;
    }
    if (name == "unknown-first") {
        faults.unknownFirst = true;
        return true;
    }
    if (name == "wrong-seq") {
        faults.wrongSeq = true;
        return true;
    }
    if (name == "diag-bad-fcs" || name == "diag-no-flag") {
        faults.diagBreak = name == "diag-bad-fcs" ? DiagBreak::kBadFcs : DiagBreak::kNoEndFlag;
        return true;
    }
    if (const auto type = ValueOf(name, "refuse")) {
        const auto value = ParseNumber(*type, 0xFF);
        if (value) faults.refused.set(*value);
        return value.has_value();
    }
    if (const auto type = ValueOf(name, "silent")) {
        const auto value = ParseNumber(*type, 0xFF);
        if (value) faults.silent.set(*value);
        return value.has_value();
    }
    if (const auto type = ValueOf(name, "drop")) {
        const auto value = ParseNumber(*type, 0xFF);
        if (value) faults.dropped.set(*value);
        return value.has_value();
    }
    if (const auto bytes = ValueOf(name, "drop-after")) {
        faults.dropAfterBytes = ParseNumber(*bytes, UINT64_MAX);
        return faults.dropAfterBytes.has_value();
    }
    if (const auto seed = ValueOf(name, "random")) {
        const auto value = ParseNumber(*seed, UINT32_MAX);
        if (value) faults.randomSeed = static_cast<uint32_t>(*value);
        return value.has_value();
    }
    return false;
}

}  // namespace routersim
