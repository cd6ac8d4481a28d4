// The message loop of the main window, which runs as a modeless dialog.
#pragma once

#include <windows.h>

namespace app::winui {

// Runs until WM_QUIT. Return and Escape pressed in the dialog or any of its
// controls are dropped before the dialog manager can turn them into OK or
// Cancel, so neither key closes the window.
void RunModelessLoop(HWND dialog);

}  // namespace app::winui
