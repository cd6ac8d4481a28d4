// What the main window and its workflow threads ask of the download
// service, and the record the download thread hands it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace download {

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

}  // namespace download
