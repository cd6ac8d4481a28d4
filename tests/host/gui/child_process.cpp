#include "child_process.h"

namespace gui_test {
namespace {

// flashdesk under test never sees the router's real addresses: the web
// interface points at a loopback port where nothing listens, the link side
// stays on loopback too, and the ARP cache flush is a command that does
// nothing.
constexpr wchar_t kLoopbackEndpoints[] =
    L"--router 127.0.0.1:9 --announce 127.0.0.1:13536 --listen-port 14536 --host-filter 127.0 --arp-command rem";
constexpr UINT kKilledExitCode = 99;
constexpr DWORD kKillWaitMs = 5000;

}  // namespace

ChildProcess::~ChildProcess()
{
    if (info_.hThread != nullptr) CloseHandle(info_.hThread);
    if (info_.hProcess != nullptr) CloseHandle(info_.hProcess);
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + program + L"\" " + kLoopbackEndpoints;
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_) != FALSE;
}

bool ChildProcess::Running() const
{
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const
{
    if (info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(info_.hProcess, &code)) return std::nullopt;
    return code;
}

bool ChildProcess::Kill()
{
    if (!Running()) return false;
    TerminateProcess(info_.hProcess, kKilledExitCode);
    WaitForSingleObject(info_.hProcess, kKillWaitMs);
    return true;
}

}  // namespace gui_test
