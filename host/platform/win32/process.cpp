#include "platform/process.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/clock.h"
#include "win32/wide.h"

namespace platform {

bool RunHidden(const std::u16string& program, const std::u16string& parameters, uint32_t waitMs)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = Wide(program);
    info.lpParameters = Wide(parameters);
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info)) return false;
    if (info.hProcess != nullptr) {
        const uint64_t ms = ScaledMicroseconds(waitMs) / 1000;
        ::WaitForSingleObject(info.hProcess, static_cast<DWORD>(ms));
        ::CloseHandle(info.hProcess);
    }
    return true;
}

}  // namespace platform
