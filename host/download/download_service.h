// The one object through which the workflow threads drive an update: it
// prepares ports and starts the rendezvous server, reads the device's
// version, and runs a mode-0 download (file check, modem upgrade, Linux
// image, finish) on a port, reporting every stage to the main window.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/download_service_ops.h"
#include "download/download_service_settings.h"
#include "download/download_step.h"
#include "download/language_manager.h"
#include "download/qualcomm_service.h"
#include "payload/download_service_config.h"
#include "platform/report_sink.h"

namespace download {

// The outcome of the last mode-0 download of a port.
enum PortResult : int32_t {
    kPortResultNone = 0,
    kPortResultSucceeded = 1,
    kPortResultFailed = 2,
};

class CDownloadService : public DownloadServiceOps {
public:
    explicit CDownloadService(DownloadServiceSettings settings);
    ~CDownloadService() override;
    CDownloadService(const CDownloadService&) = delete;
    CDownloadService& operator=(const CDownloadService&) = delete;

    // The main window (m_hWnd), which receives the reports of the service and
    // of the configuration reader; may be null.
    void SetWindow(platform::ReportSink* window);

    int LoadConfig(const std::u16string& folder) override;
    int PreparePort(int port) override;
    int GetVersion(int port, std::u16string& version) override;
    void ShowDeviceName(int port, const std::u16string& version) override;
    int Download(const DownloadRequest& request, uint32_t& errorCode) override;
    void SetLanguageFile(const std::u16string& path) override;
    std::u16string LoadHint(std::u16string_view key) override;
    void SetPortLog(int port, const std::u16string& path) override;
    std::mutex& PortTableLock() override { return portTableLock_; }
    bool IsNetworkLink() const override { return link_->Kind() == kLinkNetwork; }

    // Once per process: 0 when the server runs, -1 when it could not start
    // (the next call tries again).
    int StartDownloadServer();
    void RunDeleteArp();
    int Operation_Download(uint32_t& errorCode, const DownloadRequest& request);
    int CheckBeforeDownload();

    // The port operations of the workflow threads.
    bool InitPort(int port) { return link_->InitPort(port) == 1; }
    bool IsPortOpen(int port) { return link_->PortControl(port, 1) == 0; }
    void ClosePort(int port) { link_->PortControl(port, 0); }

    // The port's entry of portResults; none for a port not prepared.
    PortResult LastResult(int port);
    CBIWcdmaQualcommService& Link() { return *link_; }
    payload::DownloadServiceConfig& Config() { return *config_; }

private:
    DownloadStep Step(int port, devlink::CNetPacket& engine);
    // Operation_Download, then Operation_UpgradeLinux, then Operation_Finish.
    int RunMode0(const DownloadRequest& request, uint32_t& errorCode, devlink::CNetPacket& engine);
    void RecordResult(int port, int result);
    void ForgetResult(int port);

    platform::ReportSink* m_hWnd = nullptr;
    std::mutex portTableLock_;
    std::unique_ptr<payload::DownloadServiceConfig> config_;
    // Guards the server start.
    std::mutex startLock_;
    // Guards portResults.
    std::mutex resultsLock_;
    std::unique_ptr<CBIWcdmaQualcommService> link_;
    std::vector<PortResult> portResults;
    std::unique_ptr<CLanguageManager> language_;
    web::ArpCommand arpCommand_;
    bool startedServer_ = false;
};

}  // namespace download
