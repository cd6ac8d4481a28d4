#include "link/host_address.h"

#include <cstdio>

namespace devlink {
namespace {

std::string AdapterText(const std::string& adapter) { return adapter.empty() ? "adapter unknown" : "adapter " + adapter; }

std::string AdapterOf(const std::vector<platform::LocalAddress>& locals, uint32_t address)
{
    for (const platform::LocalAddress& local : locals) {
        if (local.address == address && !local.adapter.empty()) return local.adapter;
    }
    return {};
}

}  // namespace

std::string DottedAddress(uint32_t address)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

HostAddressChoice ChooseHostAddress(const std::vector<platform::LocalAddress>& locals, uint32_t router, uint32_t routeAnswer,
                                    std::string_view filter)
{
    HostAddressChoice choice;
    const std::string filterText(filter);
    auto passes = [&filter](uint32_t address) { return DottedAddress(address).find(filter) != std::string::npos; };
    for (const platform::LocalAddress& local : locals) {
        choice.diagnostics.push_back("KR710 device ip is " + DottedAddress(local.address) + ". (" + AdapterText(local.adapter) + ")");
    }
    const std::string routerText = router == 0 ? std::string("unknown") : DottedAddress(router);
    if (routeAnswer != 0 && passes(routeAnswer)) {
        choice.address = routeAnswer;
        choice.adapter = AdapterOf(locals, routeAnswer);
        choice.diagnostics.push_back("KR710 route to router " + routerText + " leaves by " + DottedAddress(routeAnswer) + " (" +
                                     AdapterText(choice.adapter) + "), which contains \"" + filterText + "\": announcing it");
        choice.diagnostics.push_back("KR710 get host ip success by " + filterText + ".");
        return choice;
    }
    if (routeAnswer == 0) {
        choice.diagnostics.push_back("KR710 no route to router " + routerText + ": taking the first address that contains \"" + filterText + "\"");
    } else {
        choice.diagnostics.push_back("KR710 route to router " + routerText + " leaves by " + DottedAddress(routeAnswer) +
                                     ", which does not contain \"" + filterText + "\": taking the first address that does");
    }
    for (const platform::LocalAddress& local : locals) {
        if (!passes(local.address)) continue;
        choice.address = local.address;
        choice.adapter = local.adapter;
        choice.diagnostics.push_back("KR710 announcing " + DottedAddress(local.address) + " (" + AdapterText(local.adapter) + ")");
        choice.diagnostics.push_back("KR710 get host ip success by " + filterText + ".");
        return choice;
    }
    choice.diagnostics.push_back("KR710 get host ip fail");
    return choice;
}

}  // namespace devlink
