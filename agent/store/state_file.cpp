#include "state_file.h"

#include "os.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool sync_folder_of(const char* path)
{
    char folder[PATH_MAX];
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return true;
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= sizeof folder) return false;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    int fd = os_open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    os_close(fd);
    return synced;
}

} // namespace

state_file_result state_file_write(const char* path, const char* mode, const void* data, size_t size)
{
    char temporary[PATH_MAX];
    int n = std::snprintf(temporary, sizeof temporary, "%s.new", path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof temporary) {
        errno = ENAMETOOLONG;
        return STATE_FILE_OPEN_FAILED;
    }
    FILE* file = os_fopen(temporary, mode);
    if (file == nullptr) return STATE_FILE_OPEN_FAILED;
    bool ok = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    int saved = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && os_rename(temporary, path) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        os_unlink(temporary);
        errno = saved;
        return STATE_FILE_WRITE_FAILED;
    }
    return sync_folder_of(path) ? STATE_FILE_OK : STATE_FILE_WRITE_FAILED;
}
