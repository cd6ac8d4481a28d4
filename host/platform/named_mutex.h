// A system-wide named mutex used as the single-instance guard
// (CreateMutexW on Windows; an advisory file lock in the temporary folder
// elsewhere). The guard is held for the life of the object.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class NamedMutex {
public:
    explicit NamedMutex(const std::u16string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // True when another holder had created the mutex before this object.
    bool AlreadyExisted() const { return alreadyExisted_; }
    // Lets go of the guard at once (the destructor does the same).
    void Close();

private:
    intptr_t handle_ = -1;  // HANDLE on Windows, file descriptor elsewhere
    bool alreadyExisted_ = false;
};

}  // namespace platform
