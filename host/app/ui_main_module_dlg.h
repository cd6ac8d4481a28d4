// The main window's logic (dialog 102): start-up, the UPDATE press, the
// reports of the workers, the status animation, closing, and the two
// workflow threads. A front end owns the window and forwards its events.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "app/instruction_texts.h"
#include "app/main_view.h"
#include "app/workflow_ports.h"
#include "platform/named_mutex.h"
#include "platform/report_sink.h"
#include "platform/stop_signal.h"

namespace app {

inline constexpr int kPortSlots = 8;
inline constexpr int kDeviceStateNone = 1;
inline constexpr int kDeviceStateReady = 2;
inline constexpr int32_t kRendezvousPort = 4536;

struct PortEntry {
    int32_t downloadKind = 0;
    int32_t portNumber = 0;
    std::u16string version;  // at most 255 characters
    std::u16string paramText;
    int deviceState = 0;
    std::u16string nvPath;
    std::u16string versionPath;
    std::u16string xmlLogPath;
};

class CUIMainModuleDlg : public platform::ReportSink {
public:
    // `programName`: the program's file name without extension (message
    // captions); `language`: the main window's text set (MainWindowTexts).
    CUIMainModuleDlg(MainView& view, WorkflowPorts ports, std::u16string programName, int language = kWelcomeLanguage);
    // Stops both workflow threads at their next safe point and waits for them.
    ~CUIMainModuleDlg() override;
    CUIMainModuleDlg(const CUIMainModuleDlg&) = delete;
    CUIMainModuleDlg& operator=(const CUIMainModuleDlg&) = delete;

    enum class InitOutcome {
        kRunning,         // the window runs (prepared, or start-up stopped silently)
        kExitProcess,     // second instance or instructions cancelled: exit code 0
    };
    // The window's start-up sequence, on the view's thread.
    InitOutcome OnInitDialog();

    // Window events, on the view's thread.
    void OnUpdatePressed();
    void OnTimer(int timerId);
    // True when the window may close now (the work folder is then removed).
    bool OnClose();
    int OnServiceReport(const platform::ServiceReport& report);

    // From any thread: delivers the report on the view's thread and waits.
    void SendReport(const platform::ServiceReport& report) override;
    void ShowMessageBox(const std::u16string& text) override;

    void SetProgress(int port, int percent);
    void SetStatusText(const std::u16string& text);
    void RefreshVersionInfo(int port);

    // Where each run's logs are kept after the window has closed; empty
    // (the default): not kept. Set before OnInitDialog.
    void SetKeptLogsRoot(std::u16string root) { keptLogsRoot_ = std::move(root); }
    // The folder that holds this run's kept logs; empty before the run ends
    // or when they could not be kept. Read after the window has closed.
    const std::u16string& KeptRunFolder() const { return keptRunFolder_; }

    // For the front ends and tests.
    const std::u16string& WorkDir() const { return workDir_; }
    const PortEntry& Slot(int port) const { return slots_[port]; }
    const std::u16string& LogBuffer(int port) const { return logBuffers_[port]; }
    bool DownloadFinished() const { return downloadFinished_.load(); }
    int DownloadResult() const { return downloadResult_.load(); }
    bool Busy() const { return busy_[0].load() != 0; }

private:
    void DeviceWatchThread();
    void DownloadProcessThread();
    void StartDownload();
    void PrepareConfig();
    void ResetPort(int port);
    void AppendLog(int port, const std::u16string& text);
    void WriteRunLogs(int port);
    // Copies the run log, the port log, the session log and the diagnostic
    // lines into the run's kept folder.
    void KeepRunLogs(const std::u16string& keptFolder, const std::u16string& runLog, const std::u16string& portLog);
    // Shows what to check while the router does not connect back (empty:
    // nothing any more), on the status line instead of the animation, and
    // writes it to the run log.
    void ShowConnectBackHint(int port, const std::u16string& hint);
    std::u16string LoadHint(std::u16string_view key) { return ports_.service.LoadHint(key); }
    // Runs `task` on the view's thread unless the watch thread has been told
    // to stop; false when it did not run.
    bool WatchAct(const std::function<void()>& task);

    MainView& view_;
    WorkflowPorts ports_;
    std::u16string programName_;
    std::unique_ptr<platform::NamedMutex> instanceGuard_;

    const int language_;
    std::u16string workDir_;
    int curPort_ = 0;
    std::atomic<int> factoryMode_{0};
    std::atomic<int> downloadResult_{0};
    std::atomic<bool> downloadFinished_{false};
    int timerId_ = 0;
    int tickCount_ = 0;
    int logEnabled_ = 0;
    std::u16string connectBackHint_;
    std::u16string keptLogsRoot_;
    std::u16string keptRunFolder_;
    std::array<PortEntry, kPortSlots> slots_{};
    std::array<std::atomic<int>, kPortSlots> busy_{};
    std::array<std::u16string, kPortSlots> logBuffers_{};

    platform::StopSignal watchStop_;
    // Raised when the watch thread has left (or never started): the
    // download thread's first request waits for it, so that a request the
    // watch thread had under way when UPDATE was pressed has ended first.
    platform::StopSignal watchEnded_;
    platform::StopSignal downloadStop_;
    std::thread watchThread_;
    std::thread downloadThread_;
};

}  // namespace app
