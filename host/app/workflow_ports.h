// The operations of the router web commands, the download service, the
// device link and the payload that the main window and its two workflow
// threads use. The real implementations live in the layers below.
#pragma once

#include <optional>
#include <string>

#include "download/download_service_ops.h"
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
};

// A message box that a check wants shown (OK button).
struct UserMessage {
    std::u16string text;
    std::u16string caption;
    bool informationIcon = false;
};

class FirmwarePayload {
public:
    virtual ~FirmwarePayload() = default;
    // Unpacks download.xml, lan_ENG.ini and the firmware files into
    // `workDir`; a file that cannot be written gives its message.
    virtual std::optional<UserMessage> ExtractPayload(const std::u16string& workDir) = 0;
    // The check at the UPDATE press: the message of the first missing file.
    virtual std::optional<UserMessage> CheckFirmwareFiles(const std::u16string& folder) = 0;
    // Points the path keys of download.xml in `nvPath` at the work folder.
    virtual void RewriteConfigPaths(const std::u16string& nvPath, const std::u16string& versionPath) = 0;
};

struct WorkflowPorts {
    web::RouterWebCommands& web;
    download::DownloadServiceOps& service;
    LinkPortOps& link;
    FirmwarePayload& payload;
};

}  // namespace app
