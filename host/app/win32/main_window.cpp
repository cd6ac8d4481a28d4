#include "app/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>


#include "app/control_ids.h"
#include "app/options.h"
#include "app/win32/message_box.h"
#include "app/win32/modeless_loop.h"
#include "app/win32/welcome_dialog.h"
#include "platform/clock.h"
#include "platform/report_sink.h"
#include "platform/win32/wide.h"

namespace app::winui {
namespace {

// wParam 0, lParam a ViewTask*: runs the task on the window's thread.
constexpr UINT kWmRunTask = WM_APP + 1;

struct ViewTask {
    const std::function<void()>* task = nullptr;
    bool ran = false;
};

HICON LoadMainIcon(HINSTANCE instance, int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN_ICON), IMAGE_ICON, GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, bool unattended)
    : instance_(instance), unattended_(unattended), viewThread_(GetCurrentThreadId())
{
}

bool MainWindow::Run(CUIMainModuleDlg& core)
{
    core_ = &core;
    const HWND dialog = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (dialog == nullptr) return false;
    ShowWindow(dialog, SW_SHOWNORMAL);
    RunModelessLoop(dialog);
    return true;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return reinterpret_cast<MainWindow*>(lParam)->OnInitDialog(dialog);
    }
    auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return window == nullptr ? FALSE : window->OnMessage(message, wParam, lParam);
}

INT_PTR MainWindow::OnInitDialog(HWND dialog)
{
    window_ = dialog;
    SetWindowTextW(dialog, platform::Wide(ProductTitle()));
    largeIcon_ = LoadMainIcon(instance_, SM_CXICON, SM_CYICON);
    smallIcon_ = LoadMainIcon(instance_, SM_CXSMICON, SM_CYSMICON);
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    if (core_->OnInitDialog() == CUIMainModuleDlg::InitOutcome::kExitProcess) ExitProcess(0);
    return TRUE;
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND dialog = window_;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_UPDATE_BUTTON || HIWORD(wParam) != BN_CLICKED) return FALSE;
        core_->OnUpdatePressed();
        return TRUE;
    case WM_TIMER:
        core_->OnTimer(static_cast<int>(wParam));
        return TRUE;
    case WM_CLOSE:
        if (core_->OnClose()) DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(0);
        return TRUE;
    case WM_PAINT:
        return PaintMinimised();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(largeIcon_);
    case kWmRunTask: {
        auto* call = reinterpret_cast<ViewTask*>(lParam);
        (*call->task)();
        call->ran = true;
        return TRUE;
    }
    case platform::kWmServiceReport: {
        const int result = core_->OnServiceReport(*reinterpret_cast<const platform::ServiceReport*>(wParam));
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

bool MainWindow::PaintMinimised()
{
    const HWND dialog = window_;
    if (!IsIconic(dialog)) return false;
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(dialog, &paint);
    SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(dialog, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, largeIcon_);
    EndPaint(dialog, &paint);
    return true;
}

void MainWindow::SetControlText(int controlId, const std::u16string& text)
{
    SetDlgItemTextW(window_, controlId, platform::Wide(text));
}

void MainWindow::EnableControl(int controlId, bool enable)
{
    const HWND control = GetDlgItem(window_, controlId);
    const bool wasEnabled = IsWindowEnabled(control) != FALSE;
    EnableWindow(control, enable);
    if (unattended_ && controlId == IDC_UPDATE_BUTTON && enable && !wasEnabled) {
        PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_UPDATE_BUTTON, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    }
}

void MainWindow::SetProgressRange(int low, int high)
{
    SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void MainWindow::SetProgressPosition(int position)
{
    SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainWindow::ShowMessage(const std::u16string& text, const std::u16string& caption, bool informationIcon)
{
    ShowMessageBox(window_, text, caption, MB_OK | (informationIcon ? MB_ICONINFORMATION : 0u), unattended_);
}

bool MainWindow::RunWelcomeDialog() { return winui::RunWelcomeDialog(instance_, window_, unattended_); }

void MainWindow::StartTimer(int timerId, uint32_t periodMs)
{
    const auto scaledMs = static_cast<UINT>(std::max<uint64_t>(1, platform::ScaledMicroseconds(periodMs) / 1000));
    SetTimer(window_, static_cast<UINT_PTR>(timerId), scaledMs, nullptr);
}

void MainWindow::KillTimer(int timerId) { ::KillTimer(window_, static_cast<UINT_PTR>(timerId)); }

void MainWindow::EnableCloseMenu(bool enable)
{
    EnableMenuItem(GetSystemMenu(window_, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::PostClose() { PostMessageW(window_, WM_CLOSE, 0, 0); }

bool MainWindow::RunOnViewThread(const std::function<void()>& task)
{
    const HWND dialog = window_;
    if (dialog == nullptr) return false;
    if (GetCurrentThreadId() == viewThread_) {
        task();
        return true;
    }
    // SendMessageW fails at once, leaving `ran` false, once the window is gone.
    ViewTask call{&task};
    SendMessageW(dialog, kWmRunTask, 0, reinterpret_cast<LPARAM>(&call));
    return call.ran;
}

}  // namespace app::winui
