// A stand-in for the router's link side and the download service, so that
// the window flow runs before the real link and download layers are wired
// in. Without `present` no link ever opens.
#pragma once

#include <atomic>
#include <mutex>

#include "app/workflow_ports.h"
#include "platform/report_sink.h"

namespace app {

struct StandinSettings {
    bool present = false;
    std::u16string version = u"EN_PELA_BR_KR710MV1.0.0B15";
    bool downloadSucceeds = true;
};

class StandinRouter : public download::DownloadServiceOps, public LinkPortOps {
public:
    explicit StandinRouter(StandinSettings settings) : settings_(std::move(settings)) {}
    void SetReportSink(platform::ReportSink* sink) { sink_ = sink; }
    WorkflowPorts Ports(web::RouterWebCommands& web, payload::FirmwarePayload& files)
    {
        return WorkflowPorts{web, *this, *this, files};
    }

    int LoadConfig(const std::u16string& folder) override;
    void SetLanguageFile(const std::u16string& path) override;
    void SetPortLog(int port, const std::u16string& path) override;
    int PreparePort(int port) override;
    int GetVersion(int port, std::u16string& version) override;
    void ShowDeviceName(int port, const std::u16string& version) override;
    int Download(const download::DownloadRequest& request, uint32_t& errorCode) override;
    std::u16string LoadHint(std::u16string_view key) override;
    std::mutex& PortTableLock() override { return portTableLock_; }
    bool IsNetworkLink() const override { return true; }

    bool IsPortOpen(int port) override;
    void ClosePort(int port) override;
    bool InitPort(int port) override;

private:
    void Report(int32_t kind, int port, const void* data);

    StandinSettings settings_;
    platform::ReportSink* sink_ = nullptr;
    std::mutex portTableLock_;
    std::atomic<bool> portOpen_{false};
};

}  // namespace app
