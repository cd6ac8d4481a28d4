#include "driver_steps.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "screen_capture.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr int kWelcomeHeading = 1127;
constexpr int kWelcomeLastText = 1135;
const std::wstring kWelcomeHeadingText = L"Informacao importante!";
const std::wstring kWelcomeLastTextText = L"- Clique \"OK\" quando voce tiver realizado todas as instrucoes.";

}  // namespace

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

namespace {

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

}  // namespace

std::wstring SimulatorRouterOption()
{
    const std::wstring router = Environment(L"FLASHDESK_GUI_ROUTER");
    return router.empty() ? router : L"--router " + router;
}

std::filesystem::path SimulatorReceivedFolder()
{
    return WindowsPath(Environment(L"FLASHDESK_GUI_RECEIVED"));
}

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first || !second) return false;
    const std::string left((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
    const std::string right((std::istreambuf_iterator<char>(second)), std::istreambuf_iterator<char>());
    return left == right;
}

bool AcceptInstructions(CheckLog& log, const ChildProcess& app, const std::filesystem::path& artifacts)
{
    const HWND welcome = WaitForWindow(
        app, [](HWND w) { return IsDialog(w) && ItemText(w, kWelcomeHeading) == kWelcomeHeadingText; }, kStartTimeoutMs);
    if (!log.Check(welcome != nullptr, "instructions dialog shown")) return false;
    ExpectText(log, "instructions text 1127", ItemText(welcome, kWelcomeHeading), kWelcomeHeadingText);
    ExpectText(log, "instructions text 1135", ItemText(welcome, kWelcomeLastText), kWelcomeLastTextText);
    ExpectText(log, "instructions OK button", ItemText(welcome, IDOK), L"OK");
    ExpectText(log, "instructions Cancel button", ItemText(welcome, IDCANCEL), L"CANCELAR");
    Screenshot(log, artifacts / "1-instructions.bmp");
    Click(GetDlgItem(welcome, IDOK));
    return true;
}

}  // namespace gui_test
