// The main window on Win32: dialog 102 run modeless on the calling thread,
// with the portable core's MainView calls carried out on it. The window
// forwards its events to the core; the core owns the behaviour.
#pragma once

#include <windows.h>

#include <atomic>

#include "app/main_view.h"
#include "app/ui_main_module_dlg.h"

namespace app::winui {

class MainWindow : public MainView {
public:
    // `unattended` (--yes): message boxes and the instructions dialog press
    // OK themselves, and UPDATE is pressed whenever it becomes enabled.
    MainWindow(HINSTANCE instance, bool unattended);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and runs it until it is destroyed; false when it
    // could not be created. The calling thread is the view's thread. Start-up
    // ending the process (second instance, instructions cancelled) exits here.
    bool Run(CUIMainModuleDlg& core);

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

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnInitDialog(HWND dialog);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Draws the icon in the middle of the minimised window; false otherwise.
    bool PaintMinimised();

    const HINSTANCE instance_;
    const bool unattended_;
    const DWORD viewThread_;
    // Null before creation and from WM_DESTROY on; read by worker threads.
    std::atomic<HWND> window_{nullptr};
    CUIMainModuleDlg* core_ = nullptr;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

}  // namespace app::winui
