#include "app/win32/message_box.h"

#include <cwchar>

#include "platform/win32/wide.h"

namespace app::winui {
namespace {

constexpr UINT kPressOkDelayMs = 1500;
constexpr UINT_PTR kPressOkTimer = 1;

// The box is found through a CBT hook on this thread: the first dialog
// window activated while MessageBoxW runs is the box itself.
struct PendingBox {
    HHOOK hook = nullptr;
    HWND owner = nullptr;
    bool armed = false;
};
thread_local PendingBox pending;

void CALLBACK PressOk(HWND box, UINT, UINT_PTR timerId, DWORD)
{
    KillTimer(box, timerId);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool IsDialogWindow(HWND window)
{
    wchar_t className[16] = {};
    return GetClassNameW(window, className, 16) > 0 && std::wcscmp(className, L"#32770") == 0;
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && !pending.armed) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (window != pending.owner && IsDialogWindow(window)) {
            pending.armed = true;
            SetTimer(window, kPressOkTimer, kPressOkDelayMs, PressOk);
        }
    }
    return CallNextHookEx(pending.hook, code, wParam, lParam);
}

}  // namespace

int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT flags, bool pressOkItself)
{
    if (!pressOkItself) return MessageBoxW(owner, platform::Wide(text), platform::Wide(caption), flags);
    // A box may open while another one waits (a worker's report shows one).
    const PendingBox outer = pending;
    pending = PendingBox{SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, GetCurrentThreadId()), owner, false};
    const int result = MessageBoxW(owner, platform::Wide(text), platform::Wide(caption), flags);
    if (pending.hook != nullptr) UnhookWindowsHookEx(pending.hook);
    pending = outer;
    return result;
}

}  // namespace app::winui
