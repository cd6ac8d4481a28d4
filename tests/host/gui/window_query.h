// Finding the windows of another process and reading their controls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "child_process.h"

namespace gui_test {

// The first visible top-level window of `processId` for which `match` holds.
HWND FindWindowOf(DWORD processId, const std::function<bool(HWND)>& match);

// Polls FindWindowOf every 100 ms until a window is found, the process has
// ended or `timeoutMs` has passed; null when none was found.
HWND WaitForWindow(const ChildProcess& process, const std::function<bool(HWND)>& match, DWORD timeoutMs);

std::wstring ClassName(HWND window);
// The text through WM_GETTEXT, which the system carries across processes.
std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int controlId);

}  // namespace gui_test
