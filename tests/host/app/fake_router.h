// A scripted router for the workflow tests: every answer is set by the test
// and every call is counted. Web requests and link queries take a little
// scaled time, as the real ones do, so that the watch loop never spins.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/workflow_ports.h"
#include "platform/clock.h"
#include "platform/report_sink.h"

class FakeRouter : public web::RouterWebCommands,
                   public download::DownloadServiceOps,
                   public app::LinkPortOps,
                   public payload::FirmwarePayload {
public:
    app::WorkflowPorts Ports() { return app::WorkflowPorts{*this, *this, *this, *this}; }

    // Settings.
    std::atomic<bool> webReachable{true};
    std::atomic<bool> factoryMode{false};
    std::atomic<bool> switchSucceeds{true};
    std::atomic<bool> linkOpens{true};
    std::atomic<int> downloadResult{0};
    std::atomic<bool> firmwarePresent{true};
    std::atomic<bool> linkVersionFails{false};
    std::mutex versionMutex;
    std::u16string webVersion = u"WEB:EN_PELA_BR_KR710MV1.0.0B15";
    std::u16string linkVersion = u"EN_PELA_BR_KR710MV1.0.0B15";
    // Runs inside ClosePort, while the workflow holds the port table lock.
    std::function<void()> onClosePort;
    platform::ReportSink* sink = nullptr;

    // Counters.
    std::atomic<int> modeQueries{0}, versionQueries{0}, switchCalls{0}, arpCalls{0};
    std::atomic<int> preparePortCalls{0}, getVersionCalls{0}, downloadCalls{0}, initPortCalls{0}, closePortCalls{0};
    std::atomic<int> loadConfigCalls{0}, rewriteCalls{0}, portLogCalls{0};
    std::u16string languageFile;
    std::u16string portLogPath;
    download::DownloadRequest lastRequest;

    void SetWebVersion(const std::u16string& text)
    {
        std::lock_guard<std::mutex> lock(versionMutex);
        webVersion = text;
    }

    bool SendDataToGetCurMode() override
    {
        ++modeQueries;
        platform::SleepMs(1000);
        std::lock_guard<std::mutex> lock(versionMutex);
        workMode_ = !webReachable ? u"Invalid mode" : factoryMode ? u"Factory mode" : u"Work mode";
        return true;
    }
    std::u16string WorkModeText() const override { return workMode_; }
    bool SendDataToGetVersion(std::u16string& version) override
    {
        ++versionQueries;
        version.clear();
        platform::SleepMs(1000);
        if (!webReachable) return false;
        std::lock_guard<std::mutex> lock(versionMutex);
        if (webVersion.find(u"fail") != std::u16string::npos) return false;
        const size_t colon = webVersion.rfind(u':');
        version = colon == std::u16string::npos ? webVersion : webVersion.substr(colon + 1);
        return !version.empty();
    }
    bool SwitchToFactory() override
    {
        ++switchCalls;
        platform::SleepMs(1000);
        if (!webReachable || !switchSucceeds) return false;
        factoryMode = true;
        return true;
    }
    void RunDeleteArp() override { ++arpCalls; }

    int LoadConfig(const std::u16string&) override { return ++loadConfigCalls, 1; }
    int PreparePort(int) override { return ++preparePortCalls, 0; }
    int GetVersion(int, std::u16string& version) override
    {
        ++getVersionCalls;
        platform::SleepMs(500);
        if (factoryMode && portOpen_ && !linkVersionFails) {
            std::lock_guard<std::mutex> lock(versionMutex);
            version = linkVersion;
            return 0;
        }
        version = u"NULL";
        return -1;
    }
    void ShowDeviceName(int port, const std::u16string& version) override
    {
        if (sink == nullptr) return;
        const std::u16string name = version.find(u"KR710M") != std::u16string::npos ? u"NAME:" + version : version;
        sink->SendReport(platform::ServiceReport{platform::kReportVersion, port, name.c_str(), 0});
    }
    int Download(const download::DownloadRequest& request, uint32_t& errorCode) override
    {
        ++downloadCalls;
        lastRequest = request;
        if (sink != nullptr) {
            for (int32_t percent : {1, 50, 99}) sink->SendReport(platform::ServiceReport{platform::kReportProgress, request.port, &percent, 4});
        }
        if (downloadResult != 0) errorCode = 10;
        return downloadResult;
    }
    void SetLanguageFile(const std::u16string& path) override { languageFile = path; }
    std::u16string LoadHint(std::u16string_view key) override { return u"<" + std::u16string(key) + u">"; }
    void SetPortLog(int, const std::u16string& path) override
    {
        ++portLogCalls;
        portLogPath = path;
    }
    std::mutex& PortTableLock() override { return portTableLock_; }
    bool IsNetworkLink() const override { return true; }

    bool IsPortOpen(int) override { return portOpen_; }
    void ClosePort(int) override
    {
        ++closePortCalls;
        if (onClosePort) onClosePort();
        portOpen_ = false;
    }
    bool InitPort(int) override
    {
        ++initPortCalls;
        portOpen_ = linkOpens && factoryMode;
        return portOpen_;
    }

    std::vector<payload::UserMessage> ExtractPayload(const std::u16string&) override { return {}; }
    std::optional<payload::UserMessage> CheckFirmwareFiles(const std::u16string& folder) override
    {
        if (firmwarePresent) return std::nullopt;
        return payload::UserMessage{folder + u" is not exist.", u"Software flashdesk For KR880+", true};
    }
    void RewriteConfigPaths(const std::u16string&, const std::u16string&) override { ++rewriteCalls; }

    std::atomic<bool> portOpen_{false};

private:
    std::u16string workMode_ = u"Invalid mode";
    std::mutex portTableLock_;
};
