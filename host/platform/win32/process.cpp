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
        const HANDLE process = info.hProcess;
        WaitOutsideFor(waitMs, [process](uint64_t realUs) {
            const uint64_t ms = realUs / 1000;
            return ::WaitForSingleObject(process, static_cast<DWORD>(ms > 0xFFFFFFF0u ? 0xFFFFFFF0u : ms)) == WAIT_OBJECT_0;
        });
        ::CloseHandle(info.hProcess);
    }
    return true;
}

}  // namespace platform
