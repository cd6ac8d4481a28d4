#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/text.h"

namespace platform {

// The name becomes a lock file in the temporary folder; the kernel drops the
// lock when the holder ends, however it ends.
NamedMutex::NamedMutex(const std::u16string& name)
{
    std::string file;
    for (char c : Utf16ToUtf8(name)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        file += plain ? c : '_';
    }
    const std::u16string temp = TempFolder();
    const std::string path = (temp.empty() ? std::string("/tmp/") : Utf16ToUtf8(temp)) + "." + file + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    handle_ = fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) alreadyExisted_ = true;
}

NamedMutex::~NamedMutex() { Close(); }

void NamedMutex::Close()
{
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform
