#include <string>

#include "driver_steps.h"
#include "scenarios.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr int kUpdateButton = 1002;
constexpr DWORD kPollMs = 50;

bool WaitUntilEnabled(const ChildProcess& app, HWND button)
{
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    while (app.Running() && GetTickCount64() < deadline) {
        if (IsWindowEnabled(button)) return true;
        Sleep(kPollMs);
    }
    return false;
}

}  // namespace

void RunMissingFileScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts)
{
    ChildProcess app;
    const std::wstring router = SimulatorRouterOption();
    if (log.Check(!router.empty() && app.Start(program, router), "flashdesk started against the simulator", Narrow(router)) &&
        AcceptInstructions(log, app, artifacts)) {
        const HWND main = WaitForMainWindow(app);
        const HWND update = main != nullptr ? GetDlgItem(main, kUpdateButton) : nullptr;
        if (log.Check(update != nullptr && WaitUntilEnabled(app, update), "update button enabled by the router")) {
            const std::filesystem::path boot = WorkFolder() / L"uboot.img";
            std::error_code error;
            log.Check(std::filesystem::remove(boot, error), "uboot.img deleted from the work folder", Narrow(boot.wstring()));
            Click(update);
            const std::wstring expected = boot.wstring() + L" is not exist, please select again.";
            const HWND box = WaitForMessageBox(app, boot.wstring(), kStartTimeoutMs);
            if (log.Check(box != nullptr, "missing file message shown")) {
                ExpectText(log, "missing file message text", ItemText(box, kMessageBoxTextId), expected);
                ExpectText(log, "missing file message caption", WindowText(box), L"Software flashdesk For KR880+");
                Screenshot(log, artifacts / "6-missing-uboot.bmp");
                Click(GetDlgItem(box, IDOK));
            }
            log.Check(IsWindowEnabled(update) != FALSE, "nothing started: update button still enabled");
            PostMessageW(main, WM_CLOSE, 0, 0);
            ExpectExit(log, "WM_CLOSE ends the program", app, 0);
        }
    }
    if (app.Kill()) log.Check(false, "flashdesk still running at the end; ended by the driver");
}

}  // namespace gui_test
