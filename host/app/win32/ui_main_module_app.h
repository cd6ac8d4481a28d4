// The application object of flashdesk.exe: registers the common controls,
// wires the core to its stand-ins and runs the main window.
#pragma once

#include <windows.h>

#include "app/options.h"

namespace app::winui {

class CUIMainModuleApp {
public:
    CUIMainModuleApp(HINSTANCE instance, Options options);

    // Runs the main window to its end. Like an application object whose work
    // is its dialog, returns false: the process ends afterwards.
    bool InitInstance();

    // After InitInstance: 1 when the window could not be created or a
    // download ran and failed, otherwise 0.
    int ExitCode() const { return exitCode_; }

private:
    const HINSTANCE instance_;
    const Options options_;
    int exitCode_ = 0;
};

}  // namespace app::winui
