// The instructions dialog (234), shown modal before the main window starts.
#pragma once

#include <windows.h>

namespace app::winui {

// True when the dialog ended with OK. With `pressOkItself` (an unattended
// run) the dialog shows and then accepts itself.
bool RunWelcomeDialog(HINSTANCE instance, HWND owner, bool pressOkItself);

}  // namespace app::winui
