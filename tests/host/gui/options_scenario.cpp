#include <string>

#include "driver_steps.h"
#include "scenarios.h"
#include "window_query.h"

namespace gui_test {
namespace {

constexpr int kUsageErrorExitCode = 2;

void CheckVersionBox(CheckLog& log, const std::wstring& program)
{
    ChildProcess app;
    if (!log.Check(app.Start(program, L"--version --yes"), "flashdesk --version --yes started")) return;
    const HWND box = WaitForMessageBox(app, L"flashdesk ", kStartTimeoutMs);
    log.Check(box != nullptr, "version shown in a message box", Narrow(ItemText(box, kMessageBoxTextId)));
    ExpectExit(log, "version box closes itself and the program ends", app, 0);
    if (app.Kill()) log.Check(false, "flashdesk --version still running; ended by the driver");
}

void CheckUsageError(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts)
{
    ChildProcess app;
    if (!log.Check(app.Start(program, L"--no-such-option"), "flashdesk --no-such-option started")) return;
    const HWND box = WaitForMessageBox(app, L"flashdesk: unknown option: --no-such-option", kStartTimeoutMs);
    if (log.Check(box != nullptr, "usage error shown in a message box")) {
        log.Check(ItemText(box, kMessageBoxTextId).find(L"usage: flashdesk [options]") != std::wstring::npos,
                  "usage error box holds the usage text");
        Screenshot(log, artifacts / "6-usage-error.bmp");
        Click(GetDlgItem(box, IDOK));
    }
    ExpectExit(log, "usage error ends the program", app, kUsageErrorExitCode);
    if (app.Kill()) log.Check(false, "flashdesk --no-such-option still running; ended by the driver");
}

}  // namespace

void RunOptionsScenario(CheckLog& log, const std::wstring& program, const std::filesystem::path& artifacts)
{
    CheckVersionBox(log, program);
    CheckUsageError(log, program, artifacts);
}

}  // namespace gui_test
