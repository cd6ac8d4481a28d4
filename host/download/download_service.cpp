#include "download/download_service.h"

#include <atomic>

#include "download/device_name.h"
#include "download/file_check.h"
#include "download/linux_upgrade.h"
#include "download/modem_upgrade.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace download {
namespace {

constexpr uint32_t kBeforeVersionMs = 500;
constexpr uint32_t kAfterModemMs = 2000;
constexpr uint32_t kFilesMissingCode = 1;
constexpr uint32_t kModemStepFailedCode = 10;
constexpr char16_t kArpTag[] = u"KR880+ ---------> ";

// The rendezvous server runs once per process; the service that started it
// clears the flag when it stops the server with itself.
std::atomic<bool> serverStarted{false};

std::u16string Number(int value)
{
    std::u16string text;
    for (char digit : std::to_string(value)) text += static_cast<char16_t>(digit);
    return text;
}

}  // namespace

CDownloadService::CDownloadService(DownloadServiceSettings settings)
    : config_(std::make_unique<payload::DownloadServiceConfig>()),
      link_(std::make_unique<CBIWcdmaQualcommService>(std::move(settings.server))),
      language_(std::make_unique<CLanguageManager>()),
      arpCommand_(std::move(settings.arpCommand))
{
}

CDownloadService::~CDownloadService()
{
    config_.reset();
    language_.reset();
    link_.reset();
    if (startedServer_) serverStarted = false;
}

void CDownloadService::SetWindow(platform::ReportSink* window)
{
    m_hWnd = window;
    config_->m_hWnd = window;
}

int CDownloadService::LoadConfig(const std::u16string& folder) { return config_->Load(folder); }

int CDownloadService::PreparePort(int port)
{
    if (port < 0 || port >= kPortCount) {
        platform::DebugOutput(u"KR880+ ---------> PreparePort: no port " + Number(port));
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(resultsLock_);
        if (portResults.size() <= static_cast<size_t>(port)) portResults.resize(static_cast<size_t>(port) + 1, kPortResultNone);
    }
    std::lock_guard<std::mutex> lock(startLock_);
    return StartDownloadServer() == 0 ? 0 : -1;
}

int CDownloadService::StartDownloadServer()
{
    if (serverStarted) return 0;
    if (link_->Server().InitInstance() != 0) {
        platform::DebugOutput(u"KR710 InitInstance failed");
        platform::DebugOutput(u"KR880+ ---------> StartDownloadServer failed");
        return -1;
    }
    platform::DebugOutput(u"KR710 SwitchCommPort...");
    link_->SetKind(kLinkNetwork);
    serverStarted = true;
    startedServer_ = true;
    RunDeleteArp();
    return 0;
}

void CDownloadService::RunDeleteArp() { web::RunDeleteArp(arpCommand_, kArpTag); }

int CDownloadService::GetVersion(int port, std::u16string& version)
{
    platform::SleepMs(kBeforeVersionMs);
    ForgetResult(port);
    std::u16string text;
    if (!link_->QueryVersion(port, text)) {
        version = u"NULL";
        return -1;
    }
    version = text;
    return 0;
}

void CDownloadService::ShowDeviceName(int port, const std::u16string& version)
{
    ServiceReporter(m_hWnd, port).DeviceName(DeviceNameForVersion(version));
}

void CDownloadService::SetLanguageFile(const std::u16string& path) { language_->SetFile(path); }

std::u16string CDownloadService::LoadHint(std::u16string_view key) { return language_->GetString(key); }

void CDownloadService::SetPortLog(int port, const std::u16string& path)
{
    devlink::CNetPacket* engine = link_->Engine(port);
    if (engine == nullptr || engine->WritePortLog(path) == 0) {
        platform::DebugOutput(u"KR880+ ---------> SetPortLog: cannot write " + path);
    }
}

int CDownloadService::Download(const DownloadRequest& request, uint32_t& errorCode)
{
    const ServiceReporter reporter(m_hWnd, request.port);
    reporter.Text(u"CDownloadService::Download Enter");
    int result = -1;
    devlink::CNetPacket* engine = link_->Engine(request.port);
    if (engine == nullptr) {
        platform::DebugOutput(u"KR880+ ---------> Download: no port " + Number(request.port));
        errorCode = kFilesMissingCode;
    } else {
        link_->ClearReplies(request.port);
        config_->m_nMode = request.mode;
        if (request.mode == 0) {
            result = RunMode0(request, errorCode, *engine);
        } else {
            platform::DebugOutput(u"KR880+ ---------> Download: mode " + Number(request.mode) + u" is not supported");
            errorCode = kFilesMissingCode;
        }
        if (config_->m_nMode == 0) RecordResult(request.port, result);
    }
    reporter.Text(u"CDownloadService::Download Leave");
    return result;
}

int CDownloadService::RunMode0(const DownloadRequest& request, uint32_t& errorCode, devlink::CNetPacket& engine)
{
    int result = Operation_Download(errorCode, request);
    if (result != 0) return result;
    platform::DebugOutput(u"KR880+ ---------> Operation_UpgradeLinux START");
    const DownloadStep step = Step(request.port, engine);
    result = Operation_UpgradeLinux(step, errorCode);
    if (result != 0) return result;
    return Operation_Finish(step, errorCode);
}

int CDownloadService::Operation_Download(uint32_t& errorCode, const DownloadRequest& request)
{
    devlink::CNetPacket* engine = link_->Engine(request.port);
    if (engine == nullptr) {
        errorCode = kFilesMissingCode;
        return -1;
    }
    const DownloadStep step = Step(request.port, *engine);
    step.reporter.Text(u"CDownloadService::Operation_Download Enter");
    step.reporter.Progress(1);
    config_->m_strVersionFilePath = request.firmwareFolder;
    if (CheckBeforeDownload() == 0) {
        config_->m_bValid = 0;
        errorCode = kFilesMissingCode;
        return -1;
    }
    const bool modemUpgraded = QueryModemState(step) == 1 && SendModemImage(step, errorCode) == 1 &&
                               SendModemChecksum(step, errorCode) == 1 && UpgradeModemSoftware(step) == 1;
    if (!modemUpgraded) {
        errorCode = kModemStepFailedCode;
        return -1;
    }
    platform::SleepMs(kAfterModemMs);
    step.reporter.Text(u"CDownloadService::Operation_Download Leave");
    return 0;
}

int CDownloadService::CheckBeforeDownload()
{
    return download::CheckBeforeDownload(*config_, *language_, ServiceReporter(m_hWnd, 0));
}

PortResult CDownloadService::LastResult(int port)
{
    std::lock_guard<std::mutex> lock(resultsLock_);
    if (port < 0 || static_cast<size_t>(port) >= portResults.size()) return kPortResultNone;
    return portResults[static_cast<size_t>(port)];
}

DownloadStep CDownloadService::Step(int port, devlink::CNetPacket& engine)
{
    return DownloadStep{*link_, engine, port, *config_, *language_, ServiceReporter(m_hWnd, port)};
}

void CDownloadService::RecordResult(int port, int result)
{
    std::lock_guard<std::mutex> lock(resultsLock_);
    if (portResults.size() <= static_cast<size_t>(port)) portResults.resize(static_cast<size_t>(port) + 1, kPortResultNone);
    portResults[static_cast<size_t>(port)] = result == 0 ? kPortResultSucceeded : kPortResultFailed;
}

void CDownloadService::ForgetResult(int port)
{
    std::lock_guard<std::mutex> lock(resultsLock_);
    if (port < 0 || static_cast<size_t>(port) >= portResults.size()) return;
    portResults[static_cast<size_t>(port)] = kPortResultNone;
}

}  // namespace download
