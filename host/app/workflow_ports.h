// The operations of the router web commands, the download service, the
// device link and the payload that the main window and its two workflow
// threads use. The real implementations live in the layers below.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "web/router_web_commands.h"

namespace app {

// The record the download thread hands to the download service.
struct DownloadRequest {
    int32_t reserved = 0;
    int32_t port = 0;
    int32_t mode = 0;
    std::u16string firmwareFolder;  // at most 260 characters
    std::u16string nvFolder;        // at most 260 characters
    std::u16string shortText;       // at most 16 characters
};

class DownloadServiceOps {
public:
    virtual ~DownloadServiceOps() = default;
    virtual int LoadConfig(const std::u16string& folder) = 0;
    // 0, or -1 when the rendezvous server could not start.
    virtual int PreparePort(int port) = 0;
    // 0 with the version read over the link; -1 with "NULL" otherwise.
    virtual int GetVersion(int port, std::u16string& version) = 0;
    virtual void ShowDeviceName(int port, const std::u16string& version) = 0;
    // 0 on success, non-zero on failure; `errorCode` is the user's result code.
    virtual int Download(const DownloadRequest& request, uint32_t& errorCode) = 0;
    // Gives the language table its file; later calls change nothing.
    virtual void SetLanguageFile(const std::u16string& path) = 0;
    // The language table's text for `key`; empty when absent.
    virtual std::u16string LoadHint(std::u16string_view key) = 0;
    // Has the port's packet engine write its port log text to `path`.
    virtual void SetPortLog(int port, const std::u16string& path) = 0;
    // Held by the workflow threads while they close a port before reopening.
    virtual std::mutex& PortTableLock() = 0;
    // True when the link runs over network sessions.
    virtual bool IsNetworkLink() const = 0;
};

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
    DownloadServiceOps& service;
    LinkPortOps& link;
    FirmwarePayload& payload;
};

}  // namespace app
