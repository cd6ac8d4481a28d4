// The program's message boxes. In an unattended run (--yes) a box is still
// shown, so that it can be seen and captured, and presses its own OK after
// a short while, so that nobody has to be there to close it.
#pragma once

#include <windows.h>

#include <string>

namespace app::winui {

// MessageBoxW owned by `owner` with the given MB_ flags; returns its result.
int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT flags, bool pressOkItself);

}  // namespace app::winui
