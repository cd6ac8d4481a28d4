// The steps the scenarios share: recognising flashdesk's windows, checking
// control texts, pressing buttons and keys, and taking screenshots.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "check_log.h"
#include "child_process.h"

namespace gui_test {

inline constexpr DWORD kStartTimeoutMs = 60000;
inline constexpr DWORD kExitTimeoutMs = 30000;
inline constexpr int kMessageBoxTextId = 0xFFFF;

// A path in Unix form (as ctest passes it) reached through drive Z:.
std::wstring WindowsPath(const std::wstring& path);
// %TEMP%\KR880+NewVersion, the program's work folder.
std::filesystem::path WorkFolder();

bool IsDialog(HWND window);
// A dialog of `process` whose title starts with "flashdesk".
HWND WaitForMainWindow(const ChildProcess& process);
// A message box of `process` whose text starts with `text`.
HWND WaitForMessageBox(const ChildProcess& process, const std::wstring& text, DWORD timeoutMs);

bool ExpectText(CheckLog& log, const std::string& name, const std::wstring& actual, const std::wstring& expected);
// Waits `settleMs` for painting to finish, then saves the screen.
void Screenshot(CheckLog& log, const std::filesystem::path& file, DWORD settleMs = 1500);
void Click(HWND button);
void PressKey(HWND target, WPARAM key, UINT scanCode);
// "--router ADDR" for the simulator that the test runner started
// (FLASHDESK_GUI_ROUTER); empty when none runs.
std::wstring SimulatorRouterOption();
// Where the simulator keeps the files it received (FLASHDESK_GUI_RECEIVED).
std::filesystem::path SimulatorReceivedFolder();
// True when both files exist and hold the same bytes.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);
// Checks the instructions dialog's texts, saves a screenshot and presses OK.
bool AcceptInstructions(CheckLog& log, const ChildProcess& app, const std::filesystem::path& artifacts);
void ExpectExit(CheckLog& log, const std::string& name, const ChildProcess& process, DWORD expectedCode);

}  // namespace gui_test
