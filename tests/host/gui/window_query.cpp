#include "window_query.h"

#include <vector>

namespace gui_test {
namespace {

constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kPollMs = 100;

struct Search {
    DWORD processId;
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || !(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindWindowOf(DWORD processId, const std::function<bool(HWND)>& match)
{
    Search search{processId, &match, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const ChildProcess& process, const std::function<bool(HWND)>& match, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (const HWND window = FindWindowOf(process.Id(), match)) return window;
        if (!process.Running() || GetTickCount64() >= deadline) return nullptr;
        Sleep(kPollMs);
    }
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = {};
    const int length = GetClassNameW(window, name, 64);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (window == nullptr || !SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied)) {
        return {};
    }
    return std::wstring(buffer.data(), copied);
}

std::wstring ItemText(HWND dialog, int controlId) { return WindowText(GetDlgItem(dialog, controlId)); }

}  // namespace gui_test
