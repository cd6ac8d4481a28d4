// What the main window's logic needs from a front end: the Win32 dialog or
// the terminal. Every call except RunOnViewThread is made on the view's own
// thread; worker threads reach the view only through RunOnViewThread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace app {

class MainView {
public:
    virtual ~MainView() = default;

    virtual void SetControlText(int controlId, const std::u16string& text) = 0;
    virtual void EnableControl(int controlId, bool enable) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // A modal message box with an OK button.
    virtual void ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon) = 0;
    // The instructions dialog; true when it ended with OK.
    virtual bool RunWelcomeDialog() = 0;
    virtual void StartTimer(int timerId, uint32_t periodMs) = 0;
    virtual void KillTimer(int timerId) = 0;
    // Greys or restores the Close item of the window's system menu.
    virtual void EnableCloseMenu(bool enable) = 0;
    // Queues a close request, as a posted WM_CLOSE does.
    virtual void PostClose() = 0;

    // Runs `task` on the view's thread and waits for it, as SendMessage does.
    // Returns false, without running it, once the view is gone.
    virtual bool RunOnViewThread(const std::function<void()>& task) = 0;
};

}  // namespace app
