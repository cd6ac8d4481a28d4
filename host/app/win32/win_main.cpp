// flashdesk.exe: the window front end of the firmware update.
#include <windows.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "app/win32/command_line.h"
#include "app/win32/message_box.h"
#include "app/win32/ui_main_module_app.h"
#include "platform/text.h"

namespace {

constexpr int kUsageError = 2;

void ShowText(const std::string& text, UINT icon, bool pressOkItself)
{
    app::winui::ShowMessageBox(nullptr, platform::Utf8ToUtf16(text), app::ProductTitle(), MB_OK | icon, pressOkItself);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const std::string programName = platform::Utf16ToUtf8(app::winui::ProgramName());
    const app::ParsedOptions parsed = app::ParseOptions(app::winui::ProcessArguments(), app::FrontEnd::kWindow);
    if (!parsed.options) {
        ShowText(programName + ": " + parsed.error + "\n\n" + app::UsageText(programName, app::FrontEnd::kWindow), MB_ICONERROR, false);
        return kUsageError;
    }
    const app::Options& options = *parsed.options;
    if (options.help) {
        ShowText(app::UsageText(programName, app::FrontEnd::kWindow), MB_ICONINFORMATION, options.yes);
        return 0;
    }
    if (options.version) {
        ShowText(platform::Utf16ToUtf8(app::ProductTitle()), MB_ICONINFORMATION, options.yes);
        return 0;
    }
    app::winui::CUIMainModuleApp theApp(instance, options);
    theApp.InitInstance();
    return theApp.ExitCode();
}
