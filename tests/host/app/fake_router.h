// A scripted router for the workflow tests: every answer is set by the test
// and every call is counted and recorded with the thread that made it, its
// start and end on the clock and in the order of events shared with the
// test view. Web requests and link queries take clock time, as the real
// ones do (they sleep on the clock), so that the watch loop never spins.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/workflow_ports.h"
#include "platform/clock.h"
#include "platform/report_sink.h"
#include "test_view.h"

// One call of the workflow to the fake router.
struct RouterCall {
    std::string name;
    std::thread::id thread;
    uint64_t startSeq = 0;
    uint64_t endSeq = 0;  // 0 while under way
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    // A request that reaches the router (web or link), not a local step.
    bool request = false;
};

class FakeRouter : public web::RouterWebCommands,
                   public download::DownloadServiceOps,
                   public app::LinkPortOps,
                   public payload::FirmwarePayload {
public:
    // What the real requests take: the web commands' ARP pause and answer,
    // a link query, a transfer.
    static constexpr uint32_t kWebRequestMs = 1000;
    static constexpr uint32_t kLinkQueryMs = 500;
    static constexpr uint32_t kTransferMs = 1000;

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
    // Requests that began while another one was under way.
    std::atomic<int> overlappingRequests{0};
    // What the server announces; guarded by versionMutex.
    devlink::AnnounceState announcing{true, 0x6401a8c0, "eth1", "192.168", 0, 4536};
    std::u16string languageFile;
    std::u16string portLogPath;
    download::DownloadRequest lastRequest;

    void SetWebVersion(const std::u16string& text)
    {
        std::lock_guard<std::mutex> lock(versionMutex);
        webVersion = text;
    }

    std::vector<RouterCall> Calls()
    {
        std::lock_guard<std::mutex> lock(callsMutex_);
        return calls_;
    }
    // The thread that made the first call named `name`, or none.
    std::thread::id ThreadOf(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(callsMutex_);
        for (const RouterCall& call : calls_) {
            if (call.name == name) return call.thread;
        }
        return {};
    }
    // The names of the calls under way.
    std::string UnderWay()
    {
        std::lock_guard<std::mutex> lock(callsMutex_);
        std::string names;
        for (const RouterCall& call : calls_) {
            if (call.endSeq == 0) names += (names.empty() ? "" : "+") + call.name;
        }
        return names;
    }

    bool SendDataToGetCurMode() override
    {
        const Mark mark(*this, "mode query", true);
        ++modeQueries;
        UseWebClient(u"mode query");
        platform::SleepMs(kWebRequestMs);
        std::lock_guard<std::mutex> lock(versionMutex);
        workMode_ = !webReachable ? u"Invalid mode" : factoryMode ? u"Factory mode" : u"Work mode";
        return true;
    }
    std::u16string WorkModeText() const override { return workMode_; }
    bool SendDataToGetVersion(std::u16string& version) override
    {
        const Mark mark(*this, "version query", true);
        ++versionQueries;
        version.clear();
        UseWebClient(u"version query");
        platform::SleepMs(kWebRequestMs);
        if (!webReachable) return false;
        std::lock_guard<std::mutex> lock(versionMutex);
        if (webVersion.find(u"fail") != std::u16string::npos) return false;
        const size_t colon = webVersion.rfind(u':');
        version = colon == std::u16string::npos ? webVersion : webVersion.substr(colon + 1);
        return !version.empty();
    }
    bool SwitchToFactory() override
    {
        const Mark mark(*this, "switch", true);
        ++switchCalls;
        UseWebClient(u"switch");
        platform::SleepMs(kWebRequestMs);
        if (!webReachable || !switchSucceeds) return false;
        factoryMode = true;
        return true;
    }
    void RunDeleteArp() override
    {
        const Mark mark(*this, "arp flush", false);
        ++arpCalls;
    }

    int LoadConfig(const std::u16string&) override { return ++loadConfigCalls, 1; }
    int PreparePort(int) override
    {
        const Mark mark(*this, "prepare port", false);
        return ++preparePortCalls, 0;
    }
    int GetVersion(int, std::u16string& version) override
    {
        const Mark mark(*this, "link version", true);
        ++getVersionCalls;
        platform::SleepMs(kLinkQueryMs);
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
        const Mark mark(*this, "show name", false);
        if (sink == nullptr) return;
        const std::u16string name = version.find(u"KR710M") != std::u16string::npos ? u"NAME:" + version : version;
        sink->SendReport(platform::ServiceReport{platform::kReportVersion, port, name.c_str(), 0});
    }
    int Download(const download::DownloadRequest& request, uint32_t& errorCode) override
    {
        const Mark mark(*this, "download", true);
        ++downloadCalls;
        lastRequest = request;
        if (sink != nullptr) {
            for (int32_t percent : {1, 50, 99}) {
                sink->SendReport(platform::ServiceReport{platform::kReportProgress, request.port, &percent, 4});
                platform::SleepMs(kTransferMs / 3);
            }
        }
        if (downloadResult != 0) errorCode = 10;
        return downloadResult;
    }
    void SetLanguageFile(const std::u16string& path) override { languageFile = path; }
    std::u16string LoadHint(std::u16string_view key) override { return u"<" + std::u16string(key) + u">"; }
    void SetPortLog(int, const std::u16string& path) override
    {
        const Mark mark(*this, "port log", false);
        ++portLogCalls;
        portLogPath = path;
    }
    std::mutex& PortTableLock() override { return portTableLock_; }
    bool IsNetworkLink() const override { return true; }

    bool IsPortOpen(int) override { return portOpen_; }
    void ClosePort(int) override
    {
        const Mark mark(*this, "close port", true);
        ++closePortCalls;
        if (onClosePort) onClosePort();
        portOpen_ = false;
    }
    bool InitPort(int) override
    {
        const Mark mark(*this, "init port", true);
        ++initPortCalls;
        portOpen_ = linkOpens && factoryMode;
        return portOpen_;
    }
    devlink::AnnounceState Announcing() override
    {
        std::lock_guard<std::mutex> lock(versionMutex);
        return announcing;
    }
    std::u16string SessionLogPath() override { return {}; }

    std::vector<payload::UserMessage> ExtractPayload(const std::u16string&) override { return {}; }
    std::optional<payload::UserMessage> CheckFirmwareFiles(const std::u16string& folder) override
    {
        if (firmwarePresent) return std::nullopt;
        return payload::UserMessage{folder + u" is not exist.", u"Software flashdesk For KR880+", true};
    }
    void RewriteConfigPaths(const std::u16string&, const std::u16string&) override { ++rewriteCalls; }

    std::atomic<bool> portOpen_{false};

private:
    // Records a call from its start to its end.
    class Mark {
    public:
        Mark(FakeRouter& router, const char* name, bool request) : router_(router), request_(request)
        {
            RouterCall call;
            call.name = name;
            call.thread = std::this_thread::get_id();
            call.startMs = platform::MonotonicMs();
            call.request = request;
            if (request && router_.requestsUnderWay_++ > 0) ++router_.overlappingRequests;
            std::lock_guard<std::mutex> lock(router_.callsMutex_);
            call.startSeq = NextEventSeq();
            index_ = router_.calls_.size();
            router_.calls_.push_back(std::move(call));
        }
        ~Mark()
        {
            if (request_) --router_.requestsUnderWay_;
            std::lock_guard<std::mutex> lock(router_.callsMutex_);
            RouterCall& call = router_.calls_[index_];
            call.endMs = platform::MonotonicMs();
            call.endSeq = NextEventSeq();
        }
        Mark(const Mark&) = delete;
        Mark& operator=(const Mark&) = delete;

    private:
        FakeRouter& router_;
        bool request_;
        size_t index_ = 0;
    };

    // The web client's state, which the real client keeps without a lock
    // (one thread at a time uses it): under ThreadSanitizer two threads
    // using the web commands at once are a reported race here too.
    void UseWebClient(const char16_t* body) { webBody_ = body; }

    std::u16string workMode_ = u"Invalid mode";
    std::u16string webBody_;
    std::mutex portTableLock_;
    std::mutex callsMutex_;
    std::vector<RouterCall> calls_;
    std::atomic<int> requestsUnderWay_{0};
};
