// The main window as a terminal: a status line with a progress bar, the
// version, the device state and the rate of a file transfer, and prompts in
// place of the buttons. Runs an event loop on the calling thread, which is
// the view's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "app/console/transfer_rate.h"
#include "app/main_view.h"
#include "app/ui_main_module_dlg.h"
#include "app/view_task_queue.h"
#include "platform/report_sink.h"

namespace app {

class ConsoleView : public MainView {
public:
    // `autoYes`: accept the instructions, press UPDATE once it is enabled and
    // acknowledge message boxes without waiting for a key. `language`: the
    // main window's text set (MainWindowTexts) whose instructions it shows.
    ConsoleView(bool autoYes, int language, std::FILE* out);

    // Runs the window until it closes; false when start-up ended the process.
    bool Run(CUIMainModuleDlg& dialog);

    void SetControlText(int controlId, const std::u16string& text) override;
    void EnableControl(int controlId, bool enable) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    void ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon) override;
    bool RunWelcomeDialog() override;
    void StartTimer(int timerId, uint32_t periodMs) override;
    void KillTimer(int timerId) override;
    void EnableCloseMenu(bool enable) override;
    void PostClose() override;
    bool RunOnViewThread(const std::function<void()>& task) override;

    // A raw-bytes report of a file transfer, on the view's thread.
    void ShowTransfer(const platform::TransferBytes& bytes);

private:
    struct Timer {
        uint32_t periodMs = 0;
        uint64_t dueMs = 0;
    };

    void RunDueTimers(CUIMainModuleDlg& dialog);
    void HandleInput(CUIMainModuleDlg& dialog);
    // A line typed by the user; empty optional at the end of input.
    std::optional<std::string> ReadLine();
    void Render(bool force);
    void FinishLine();
    std::string Text(int controlId) const;

    const bool autoYes_;
    const int language_;
    std::FILE* out_;
    const bool interactive_;
    bool inputOpen_ = true;
    ViewTaskQueue tasks_;
    std::atomic<bool> closeRequested_{false};

    std::map<int, std::u16string> texts_;
    std::map<int, bool> enabled_;
    std::map<int, Timer> timers_;
    int progressHigh_ = 100;
    int progress_ = 0;
    bool updatePressed_ = false;
    TransferRate transferRate_;
    std::string lastRendered_;
    bool lineOpen_ = false;
};

}  // namespace app
