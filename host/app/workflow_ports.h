// The operations of the router web commands, the download service, the
// device link and the payload that the main window and its two workflow
// threads use. The real implementations live in the layers below.
#pragma once

#include <string>

#include "download/download_service_ops.h"
#include "link/host_address.h"
#include "payload/firmware_payload.h"
#include "web/router_web_commands.h"

namespace app {

class LinkPortOps {
public:
    virtual ~LinkPortOps() = default;
    // Keyed port operation 1: whether the port is open.
    virtual bool IsPortOpen(int port) = 0;
    // Keyed port operation 0: close the port.
    virtual void ClosePort(int port) = 0;
    // Claims the router's connection and proves it; true when the port is open.
    virtual bool InitPort(int port) = 0;
    // What the rendezvous server announces and how many routers connected.
    virtual devlink::AnnounceState Announcing() = 0;
    // The server's session log file; empty when it has none.
    virtual std::u16string SessionLogPath() = 0;
};

struct WorkflowPorts {
    web::RouterWebCommands& web;
    download::DownloadServiceOps& service;
    LinkPortOps& link;
    payload::FirmwarePayload& payload;
};

}  // namespace app
