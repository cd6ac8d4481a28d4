// The device-watch thread and the download thread of the main window.
#include "app/connect_back_hint.h"
#include "app/control_ids.h"
#include "app/ui_main_module_dlg.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace app {
namespace {

constexpr char16_t kNoVersion[] = u"NULL";
constexpr size_t kVersionLimit = 255;
constexpr int kSwitchAttempts = 10;
constexpr uint32_t kSwitchPauseMs = 2000;
constexpr int kPortAttempts = 1000;
constexpr uint32_t kPortPauseMs = 500;
constexpr uint32_t kVersionSettleMs = 5000;
constexpr int kVersionAttempts = 10;
constexpr uint32_t kVersionPauseMs = 3000;
constexpr uint32_t kWatchEndPollMs = 1000;

std::u16string Number(int value)
{
    std::u16string out;
    for (char c : std::to_string(value)) out += static_cast<char16_t>(c);
    return out;
}

}  // namespace

bool CUIMainModuleDlg::WatchAct(const std::function<void()>& task)
{
    bool ran = false;
    view_.RunOnViewThread([&] {
        if (watchStop_.Requested()) return;
        task();
        ran = true;
    });
    return ran;
}

void CUIMainModuleDlg::ResetPort(int port)
{
    std::lock_guard<std::mutex> lock(ports_.service.PortTableLock());
    if (ports_.service.IsNetworkLink() && ports_.link.IsPortOpen(port)) ports_.link.ClosePort(port);
}

void CUIMainModuleDlg::DeviceWatchThread()
{
    struct EndMark {
        platform::StopSignal& ended;
        ~EndMark() { ended.Request(); }
    } endMark{watchEnded_};
    const int port = curPort_;
    const bool started = WatchAct([this, port] {
        factoryMode_ = 0;
        SetStatusText(LoadHint(u"ID_HINT_SEARCHPORT"));
        view_.EnableControl(IDC_UPDATE_BUTTON, false);
        PortEntry& slot = slots_[port];
        slot.portNumber = kRendezvousPort;
        slot.version = kNoVersion;
        slot.deviceState = kDeviceStateNone;
        view_.SetControlText(IDC_DEVICE_STATE, LoadHint(u"ID_HINT_NODEVICE"));
        RefreshVersionInfo(port);
        SetProgress(port, 0);
    });
    if (!started) return;
    ports_.web.RunDeleteArp();
    if (watchStop_.Requested()) return;
    ports_.service.PreparePort(port);

    while (!watchStop_.Requested()) {
        std::u16string readVersion;
        if (factoryMode_ == 0 && ports_.web.SendDataToGetCurMode() && ports_.web.WorkModeText() == u"Work mode") {
            if (watchStop_.Requested()) return;
            if (ports_.web.SendDataToGetVersion(readVersion) && !WatchAct([this] { factoryMode_ = 0; })) return;
        } else {
            if (watchStop_.Requested()) return;
            if (ports_.service.GetVersion(port, readVersion) == 0) {
                platform::DebugOutput(u"KR710  GetVersion successfully +++++ 1 +++++ is Factory Mode");
                if (!WatchAct([this] { factoryMode_ = 1; })) return;
            } else {
                if (watchStop_.Requested()) return;
                ResetPort(port);
                if (watchStop_.Requested()) return;
                ports_.link.InitPort(port);
                if (watchStop_.Requested()) return;
                const int mode = ports_.service.GetVersion(port, readVersion) == 0 ? 1 : 0;
                if (!WatchAct([this, mode] { factoryMode_ = mode; })) return;
            }
        }

        if (!readVersion.empty() && readVersion != kNoVersion) {
            const bool shown = WatchAct([this, port, &readVersion] {
                PortEntry& slot = slots_[port];
                slot.version = readVersion.substr(0, kVersionLimit);
                slot.deviceState = kDeviceStateReady;
                view_.SetControlText(IDC_DEVICE_STATE, LoadHint(u"ID_HINT_CONNECTED"));
                SetStatusText(LoadHint(u"ID_HINT_ALREADY"));
                view_.EnableControl(IDC_UPDATE_BUTTON, true);
                RefreshVersionInfo(port);
            });
            // The device name reaches the window as a report: it goes
            // through the view thread too, so that it is dropped after a press.
            if (!shown || !WatchAct([this, port, &readVersion] { ports_.service.ShowDeviceName(port, readVersion); })) return;
            if (!watchStop_.SleepFor(500)) return;
        } else {
            const bool shown = WatchAct([this, port] {
                PortEntry& slot = slots_[port];
                slot.version = kNoVersion;
                slot.deviceState = kDeviceStateNone;
                view_.SetControlText(IDC_DEVICE_STATE, LoadHint(u"ID_HINT_NODEVICE"));
                view_.EnableControl(IDC_UPDATE_BUTTON, false);
                RefreshVersionInfo(port);
                SetStatusText(LoadHint(u"ID_HINT_SEARCHPORT"));
            });
            if (!shown || !WatchAct([this, port] { ports_.service.ShowDeviceName(port, std::u16string(28, u' ')); })) return;
        }
    }
}

void CUIMainModuleDlg::DownloadProcessThread()
{
    const int port = curPort_;
    const PortEntry& slot = slots_[port];
    download::DownloadRequest request;
    request.reserved = slot.portNumber;
    request.port = port;
    request.mode = slot.downloadKind;
    request.firmwareFolder = slot.versionPath.substr(0, 260);
    request.nvFolder = slot.nvPath.substr(0, 260);
    request.shortText = slot.paramText.substr(0, 16);
    uint32_t errorCode = 0;
    platform::DebugOutput(u"KR880+ --------> enter download.");
    // The watch thread was told to stop at the press; whatever it had under
    // way (a web request, a link query) ends within its own limits.
    while (watchEnded_.SleepFor(kWatchEndPollMs)) {
    }

    bool runDownload = true;
    if (factoryMode_ == 0) {
        for (int attempt = 1; attempt <= kSwitchAttempts; ++attempt) {
            if (ports_.web.SwitchToFactory()) break;
            if (attempt < kSwitchAttempts && !downloadStop_.SleepFor(kSwitchPauseMs)) return;
        }
        view_.RunOnViewThread([this, port] { SetProgress(port, 1); });
        bool opened = false;
        ConnectBackHint hint;
        for (int attempt = 1; attempt <= kPortAttempts && !opened; ++attempt) {
            platform::DebugOutput(u"KR880+ --------> before call InitPort(" + Number(attempt) + u") in DownloadProcessThread.");
            ResetPort(port);
            opened = ports_.link.InitPort(port);
            if (opened) break;
            if (const std::optional<std::u16string> text = hint.Check(platform::MonotonicMs(), ports_.link.Announcing())) {
                ShowConnectBackHint(port, *text);
            }
            if (!downloadStop_.SleepFor(kPortPauseMs)) return;
        }
        ShowConnectBackHint(port, u"");
        if (!opened) {
            downloadResult_ = 1;
            runDownload = false;
        }
    }

    if (runDownload) {
        downloadResult_ = ports_.service.Download(request, errorCode);
        if (!downloadStop_.SleepFor(kVersionSettleMs)) return;
        std::u16string version;
        bool read = false;
        for (int attempt = 1; attempt <= kVersionAttempts && !read; ++attempt) {
            read = ports_.web.SendDataToGetVersion(version);
            if (!read && attempt < kVersionAttempts && !downloadStop_.SleepFor(kVersionPauseMs)) return;
        }
        view_.RunOnViewThread([&] {
            slots_[port].version = read ? version.substr(0, kVersionLimit) : std::u16string(kNoVersion);
            RefreshVersionInfo(port);
        });
    }
    downloadFinished_ = true;

    const bool succeeded = downloadResult_ == 0;
    view_.RunOnViewThread([this, port, succeeded] {
        busy_[port] = 0;
        if (timerId_ != 0) {
            view_.KillTimer(timerId_);
            timerId_ = 0;
        }
        SetStatusText(LoadHint(succeeded ? u"ID_HINT_DOWNLOADSUCCESS" : u"ID_HINT_DOWNLOADFAIL"));
    });
    if (succeeded) {
        const int32_t percent = 100;
        SendReport(platform::ServiceReport{platform::kReportProgress, port, &percent, 4});
    }
    WriteRunLogs(port);
    view_.RunOnViewThread([this, succeeded] {
        // "Sucesso!" and the texts without accents: kept as the device's software expects it.
        view_.ShowMessage(succeeded ? u"Sucesso!\nReinicie o roteador para comecar a utiliza-lo. \nO programa de atualizacao deve ser "
                                      u"reiniciado se voce quiser atualizar outro dispositivo."
                                    : u"Falha!\nReinicie o programa e tente novamente. Leia o arquivo de ajuda se o erro persistir.",
                          programName_, true);
    });
    const int32_t zero = 0;
    SendReport(platform::ServiceReport{platform::kReportProgress, port, &zero, 4});
    view_.RunOnViewThread([this] {
        view_.SetControlText(IDC_DEVICE_STATE, LoadHint(u"ID_HINT_NODEVICE"));
        SetStatusText(LoadHint(u"ID_HINT_SEARCHPORT"));
        view_.EnableCloseMenu(true);
    });
    downloadStop_.SleepFor(100);
    view_.RunOnViewThread([this] { view_.PostClose(); });
}

}  // namespace app
