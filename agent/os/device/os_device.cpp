// The real device: fixed paths as they stand, the kernel's MTD interface,
// the system shell and the restart call.
#include "os/os.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <unistd.h>

int os_init(void)
{
    return 0;
}

FILE* os_fopen(const char* path, const char* mode)
{
    return std::fopen(path, mode);
}

int os_open(const char* path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int os_close(int fd)
{
    return ::close(fd);
}

int os_access(const char* path, int how)
{
    return ::access(path, how);
}

int os_mkdir(const char* path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int os_unlink(const char* path)
{
    return ::unlink(path);
}

int os_rename(const char* from, const char* to)
{
    return std::rename(from, to);
}

int os_mtd_info(int fd, mtd_info_user* info)
{
    return ::ioctl(fd, MEMGETINFO, info);
}

int os_mtd_erase(int fd, uint32_t start, uint32_t length)
{
    erase_info_user erase = {start, length};
    return ::ioctl(fd, MEMERASE, &erase);
}

ssize_t os_mtd_write(int fd, const void* data, size_t size, off_t offset)
{
    return ::pwrite(fd, data, size, offset);
}

int os_shell(const char* command)
{
    return std::system(command);
}

void os_sync(void)
{
    ::sync();
}

int os_reboot(void)
{
    return ::reboot(RB_AUTOBOOT);
}
