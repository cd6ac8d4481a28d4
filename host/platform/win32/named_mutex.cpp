#include "platform/named_mutex.h"

#include <windows.h>

#include "win32/wide.h"

namespace platform {

NamedMutex::NamedMutex(const std::u16string& name)
{
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, Wide(name));
    if (mutex == nullptr) return;
    alreadyExisted_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
    handle_ = reinterpret_cast<intptr_t>(mutex);
}

NamedMutex::~NamedMutex() { Close(); }

void NamedMutex::Close()
{
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace platform
