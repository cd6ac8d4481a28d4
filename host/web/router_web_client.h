// The router's web commands over HTTP: form posts to /goform/goform_process
// on the router's address, each after an ARP cache flush.
#pragma once

#include <string>

#include "platform/endpoints.h"
#include "web/arp_flush.h"
#include "web/router_web_commands.h"

namespace web {

inline constexpr char16_t kModeSwitchBody[] = u"goformId=SwitchFactoryMode&SwitchCMD=Open";
inline constexpr char16_t kModeQueryBody[] = u"goformId=SwitchFactoryMode&SwitchCMD=Query";
inline constexpr char16_t kVersionBody[] = u"goformId=GetVersion";

class RouterWebClient : public RouterWebCommands {
public:
    // `routerAddress`: "192.168.1.1", or "ADDR:PORT" when the port is not 80.
    RouterWebClient(std::string routerAddress, ArpCommand arpCommand);

    bool SendDataToGetCurMode() override;
    std::u16string WorkModeText() const override { return workMode_; }
    bool SendDataToGetVersion(std::u16string& version) override;
    bool SwitchToFactory() override;
    void RunDeleteArp() override;

    std::string CommandUrl() const;

private:
    // Flushes the ARP cache and posts the current body; the answer's body.
    bool Post(const std::u16string& operation, std::u16string& answer);

    std::string routerAddress_;
    ArpCommand arpCommand_;
    std::u16string currentBody_ = kModeSwitchBody;
    std::u16string workMode_;
};

// "192.168.1.1" for port 80, "ADDR:PORT" otherwise.
std::string RouterAddress(const platform::HostPort& router);

}  // namespace web
