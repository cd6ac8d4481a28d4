// A program that the driver starts and watches.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace gui_test {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with loopback endpoints and `arguments` (already
    // quoted where needed).
    bool Start(const std::wstring& program, const std::wstring& arguments = {});
    DWORD Id() const { return info_.dwProcessId; }
    bool Running() const;
    // The exit code, or nothing when the process still runs after `timeoutMs`.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
    // Ends the process if it still runs; true when it had to be ended.
    bool Kill();

private:
    PROCESS_INFORMATION info_{};
};

}  // namespace gui_test
