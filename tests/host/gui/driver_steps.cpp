#include "driver_steps.h"

#include <optional>

#include "screen_capture.h"
#include "window_query.h"

namespace gui_test {

std::wstring WindowsPath(const std::wstring& path)
{
    if (path.empty() || path.front() != L'/') return path;
    std::wstring out = L"Z:" + path;
    for (wchar_t& c : out) {
        if (c == L'/') c = L'\\';
    }
    return out;
}

std::filesystem::path WorkFolder()
{
    std::error_code error;
    return std::filesystem::temp_directory_path(error) / L"KR880+NewVersion";
}

bool IsDialog(HWND window) { return ClassName(window) == L"#32770"; }

HWND WaitForMainWindow(const ChildProcess& process)
{
    return WaitForWindow(
        process, [](HWND w) { return IsDialog(w) && WindowText(w).starts_with(L"flashdesk"); }, kStartTimeoutMs);
}

HWND WaitForMessageBox(const ChildProcess& process, const std::wstring& text, DWORD timeoutMs)
{
    return WaitForWindow(
        process, [&text](HWND w) { return IsDialog(w) && ItemText(w, kMessageBoxTextId).starts_with(text); }, timeoutMs);
}

bool ExpectText(CheckLog& log, const std::string& name, const std::wstring& actual, const std::wstring& expected)
{
    const bool same = actual == expected;
    return log.Check(same, name, "\"" + Narrow(actual) + "\"" + (same ? "" : " expected \"" + Narrow(expected) + "\""));
}

void Screenshot(CheckLog& log, const std::filesystem::path& file, DWORD settleMs)
{
    Sleep(settleMs);
    log.Check(SaveScreenshot(file), "screenshot " + file.filename().string());
}

void Click(HWND button)
{
    SetForegroundWindow(GetParent(button));
    PostMessageW(button, BM_CLICK, 0, 0);
}

void PressKey(HWND target, WPARAM key, UINT scanCode)
{
    PostMessageW(target, WM_KEYDOWN, key, static_cast<LPARAM>(1u | (scanCode << 16)));
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(1u | (scanCode << 16) | 0xC0000000u));
}

void ExpectExit(CheckLog& log, const std::string& name, const ChildProcess& process, DWORD expectedCode)
{
    const std::optional<DWORD> code = process.WaitForExit(kExitTimeoutMs);
    log.Check(code && *code == expectedCode, name, code ? "exit code " + std::to_string(*code) : "still running");
}

}  // namespace gui_test
