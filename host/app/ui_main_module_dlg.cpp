#include "app/ui_main_module_dlg.h"

#include "app/control_ids.h"
#include "app/instruction_texts.h"
#include "app/kept_logs.h"
#include "app/run_log.h"
#include "platform/debug_output.h"
#include "platform/diagnostic_journal.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace app {
namespace {

constexpr char16_t kInstanceMutexName[] = u"KVRKR880+,CDC149A3-EA15-4a6c-ADA6-71F04D81FCF9";
constexpr char16_t kPromptCaption[] = u"Prompt";
// The window copies report texts into a buffer of 256 characters.
constexpr size_t kReportTextLimit = 255;

std::u16string ReportText(const void* data)
{
    const auto* text = static_cast<const char16_t*>(data);
    if (text == nullptr) return {};
    std::u16string out;
    for (size_t i = 0; i < kReportTextLimit && text[i] != u'\0'; ++i) out += text[i];
    return out;
}

}  // namespace

CUIMainModuleDlg::CUIMainModuleDlg(MainView& view, WorkflowPorts ports, std::u16string programName, int language)
    : view_(view), ports_(ports), programName_(std::move(programName)), language_(language)
{
}

CUIMainModuleDlg::~CUIMainModuleDlg()
{
    watchStop_.Request();
    downloadStop_.Request();
    if (watchThread_.joinable()) watchThread_.join();
    if (downloadThread_.joinable()) downloadThread_.join();
}

CUIMainModuleDlg::InitOutcome CUIMainModuleDlg::OnInitDialog()
{
    instanceGuard_ = std::make_unique<platform::NamedMutex>(kInstanceMutexName);
    if (instanceGuard_->AlreadyExisted()) {
        view_.ShowMessage(u"Ainda processando.", programName_, false);
        instanceGuard_->Close();
        return InitOutcome::kExitProcess;
    }
    if (!view_.RunWelcomeDialog()) {
        instanceGuard_->Close();
        return InitOutcome::kExitProcess;
    }
    for (const ControlText& entry : MainWindowTexts(language_)) {
        view_.SetControlText(entry.controlId, std::u16string(entry.text));
    }

    const std::u16string temp = platform::TempFolder();
    if (temp.empty()) return InitOutcome::kRunning;
    const std::u16string workDir = temp + u"KR880+NewVersion";
    if (!platform::CreateFolder(workDir)) return InitOutcome::kRunning;
    workDir_ = workDir;
    if (!platform::CreateFolder(workDir_ + platform::kPathSeparator + u"EFSNV")) return InitOutcome::kRunning;

    PortEntry& slot = slots_[0];
    slot.versionPath = workDir_;
    slot.xmlLogPath = workDir_;
    for (const payload::UserMessage& failure : ports_.payload.ExtractPayload(workDir_)) {
        view_.ShowMessage(failure.text, failure.caption, failure.informationIcon);
    }
    slot.nvPath = workDir_;
    // The configuration is prepared twice, around the language file: kept as
    // the device's software expects it.
    PrepareConfig();
    ports_.service.SetLanguageFile(workDir_ + platform::kPathSeparator + u"lan_ENG.ini");
    PrepareConfig();
    logEnabled_ = 1;
    RefreshVersionInfo(0);
    watchThread_ = std::thread([this] { DeviceWatchThread(); });
    return InitOutcome::kRunning;
}

void CUIMainModuleDlg::PrepareConfig()
{
    ports_.payload.RewriteConfigPaths(slots_[0].nvPath, slots_[0].versionPath);
    ports_.service.LoadConfig(workDir_);
}

void CUIMainModuleDlg::OnUpdatePressed()
{
    logBuffers_[0].clear();
    const PortEntry& slot = slots_[0];
    if (slot.deviceState != kDeviceStateReady) {
        view_.ShowMessage(u"Please insert your device", kPromptCaption, false);
        return;
    }
    if (slot.versionPath.empty()) {
        view_.ShowMessage(u"Please select the version path!", kPromptCaption, false);
        return;
    }
    if (slot.xmlLogPath.empty()) {
        view_.ShowMessage(u"Please select the XML Log path!", kPromptCaption, false);
        return;
    }
    if (slot.version.find(u"EN_PELA_BR_KR710M") == std::u16string::npos) {
        view_.ShowMessage(u"Version Check Fail , Please Check device and Retry!", kPromptCaption, false);
        return;
    }
    if (std::optional<payload::UserMessage> missing = ports_.payload.CheckFirmwareFiles(slot.versionPath)) {
        view_.ShowMessage(missing->text, missing->caption, missing->informationIcon);
        return;
    }
    PrepareConfig();
    if (timerId_ == 0) {
        view_.StartTimer(IDT_STATUS_ANIMATION, 1000);
        timerId_ = IDT_STATUS_ANIMATION;
        tickCount_ = 0;
    }
    StartDownload();
}

void CUIMainModuleDlg::StartDownload()
{
    view_.EnableCloseMenu(false);
    busy_[0] = 1;
    view_.EnableControl(IDC_UPDATE_BUTTON, false);
    // The watch thread acts on the window only through this thread, which
    // drops its requests from now on; it leaves at its next safe point.
    watchStop_.Request();
    curPort_ = 0;
    SetProgress(0, 0);
    if (!watchThread_.joinable()) watchEnded_.Request();
    if (slots_[0].downloadKind <= 3 && !downloadThread_.joinable()) {
        downloadThread_ = std::thread([this] { DownloadProcessThread(); });
    }
}

void CUIMainModuleDlg::OnTimer(int timerId)
{
    if (timerId != IDT_STATUS_ANIMATION) return;
    ++tickCount_;
    if (!connectBackHint_.empty()) {
        SetStatusText(connectBackHint_);
        return;
    }
    SetStatusText(u"Atualizando " + std::u16string(static_cast<size_t>(tickCount_ % 6) + 1, u'.'));
}

bool CUIMainModuleDlg::OnClose()
{
    if (busy_[0] == 1) {
        view_.ShowMessage(u"Processando.", u"Aviso", false);
        return false;
    }
    if (!workDir_.empty()) platform::DeleteTree(workDir_);
    return true;
}

int CUIMainModuleDlg::OnServiceReport(const platform::ServiceReport& report)
{
    const bool slotPort = report.port >= 0 && report.port < kPortSlots;
    switch (report.kind) {
    case platform::kReportProgress:
        if (report.data != nullptr) SetProgress(report.port, *static_cast<const int32_t*>(report.data));
        break;
    case platform::kReportStatus:
        if (slotPort) AppendLog(report.port, ReportText(report.data));
        break;
    case platform::kReportMain:
        AppendLog(0, ReportText(report.data));
        break;
    case platform::kReportVersion:
        if (slotPort) {
            const std::u16string text = ReportText(report.data);
            view_.SetControlText(IDC_VERSION_FIELD, text);
            AppendLog(report.port, text);
        }
        break;
    default:
        break;
    }
    return 0;
}

void CUIMainModuleDlg::SendReport(const platform::ServiceReport& report)
{
    view_.RunOnViewThread([this, &report] { OnServiceReport(report); });
}

void CUIMainModuleDlg::ShowMessageBox(const std::u16string& text)
{
    view_.RunOnViewThread([this, &text] { view_.ShowMessage(text, u"", false); });
}

void CUIMainModuleDlg::SetProgress(int port, int percent)
{
    if (port != 0) return;
    if (percent != 0) {
        view_.SetProgressPosition(percent);
    } else {
        view_.SetProgressRange(0, 100);
        view_.SetProgressPosition(0);
    }
    const int shown = percent > 100 ? 100 : percent;
    std::u16string text;
    for (char c : std::to_string(shown)) text += static_cast<char16_t>(c);
    view_.SetControlText(IDC_PERCENT_TEXT, text + u"%");
}

void CUIMainModuleDlg::SetStatusText(const std::u16string& text) { view_.SetControlText(IDC_STATUS_LINE, text); }

void CUIMainModuleDlg::RefreshVersionInfo(int port)
{
    if (port == 0) view_.SetControlText(IDC_VERSION_FIELD, u"");
}

void CUIMainModuleDlg::AppendLog(int port, const std::u16string& text)
{
    logBuffers_[port] += LogTimePrefix(platform::CurrentLocalTime()) + text + u"\n";
}

void CUIMainModuleDlg::WriteRunLogs(int port)
{
    if (logEnabled_ != 1) return;
    const platform::LocalTime now = platform::CurrentLocalTime();
    const std::u16string stamp = LogFileStamp(now);
    const std::u16string keptFolder = NewKeptRunFolder(keptLogsRoot_, KeptRunStamp(now));
    std::u16string buffer;
    view_.RunOnViewThread([&] {
        if (!keptFolder.empty()) AppendLog(port, u"Registros desta execucao guardados em " + keptFolder);
        buffer = logBuffers_[port];
    });
    const std::vector<uint8_t> bytes = SerializeLogText(buffer);
    const std::u16string runLog = workDir_ + platform::kPathSeparator + stamp + u".txt";
    platform::WriteWholeFile(runLog, bytes.data(), bytes.size());
    const std::u16string logFolder = workDir_ + platform::kPathSeparator + u"Log";
    platform::CreateFolder(logFolder);
    const std::u16string portLog = logFolder + platform::kPathSeparator + stamp + u"_Port.txt";
    ports_.service.SetPortLog(port, portLog);
    if (!keptFolder.empty()) KeepRunLogs(keptFolder, runLog, portLog);
}

void CUIMainModuleDlg::KeepRunLogs(const std::u16string& keptFolder, const std::u16string& runLog, const std::u16string& portLog)
{
    std::vector<KeptFile> files;
    for (const std::u16string& path : {runLog, portLog, ports_.link.SessionLogPath()}) {
        if (path.empty()) continue;
        const size_t nameStart = path.find_last_of(platform::kPathSeparator);
        files.push_back({nameStart == std::u16string::npos ? path : path.substr(nameStart + 1), path});
    }
    if (FillKeptRunFolder(keptFolder, files, platform::DiagnosticText())) {
        platform::DebugOutput(u"KR880+ --------> logs of this run kept in " + keptFolder);
        keptRunFolder_ = keptFolder;
    } else {
        platform::DebugOutput(u"KR880+ --------> could not keep the logs of this run in " + keptFolder);
    }
}

void CUIMainModuleDlg::ShowConnectBackHint(int port, const std::u16string& hint)
{
    if (!hint.empty()) platform::DebugOutput(u"KR880+ --------> " + hint);
    view_.RunOnViewThread([&] {
        connectBackHint_ = hint;
        if (hint.empty()) return;
        SetStatusText(hint);
        AppendLog(port, hint);
    });
}

}  // namespace app
