// The port operations of the workflow threads, carried out by the download
// service's link container.
#pragma once

#include "app/workflow_ports.h"
#include "download/download_service.h"

namespace app {

class ServiceLinkPorts final : public LinkPortOps {
public:
    explicit ServiceLinkPorts(download::CDownloadService& service) : service_(service) {}

    bool IsPortOpen(int port) override { return service_.IsPortOpen(port); }
    void ClosePort(int port) override { service_.ClosePort(port); }
    bool InitPort(int port) override { return service_.InitPort(port); }
    devlink::AnnounceState Announcing() override { return service_.Link().Server().Announcing(); }
    std::u16string SessionLogPath() override { return service_.Link().Server().Log().Path(); }

private:
    download::CDownloadService& service_;
};

}  // namespace app
