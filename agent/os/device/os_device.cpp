// The real device: fixed paths as they stand, the kernel's MTD interface,
// the system shell, the restart call, and the public keys built in.
#include "os.h"

#include "trusted_keys.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
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

int os_rmdir(const char* path)
{
    return ::rmdir(path);
}

int os_unlink(const char* path)
{
    return ::unlink(path);
}

int os_rename(const char* from, const char* to)
{
    return std::rename(from, to);
}

int os_symlink(const char* target, const char* link_path)
{
    return ::symlink(target, link_path);
}

ssize_t os_readlink(const char* path, char* buffer, size_t size)
{
    return ::readlink(path, buffer, size);
}

int os_lstat(const char* path, struct stat* st)
{
    return ::lstat(path, st);
}

int os_chown(const char* path, uid_t owner, gid_t group)
{
    return ::chown(path, owner, group);
}

int os_chmod(const char* path, mode_t mode)
{
    return ::chmod(path, mode);
}

int os_statfs(const char* path, struct statfs* st)
{
    return ::statfs(path, st);
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

ssize_t os_mtd_read(int fd, void* data, size_t size, off_t offset)
{
    return ::pread(fd, data, size, offset);
}

int os_mtd_is_bad(int fd, uint64_t offset)
{
    loff_t at = static_cast<loff_t>(offset);
    return ::ioctl(fd, MEMGETBADBLOCK, &at);
}

int os_mtd_mark_bad(int fd, uint64_t offset)
{
    loff_t at = static_cast<loff_t>(offset);
    return ::ioctl(fd, MEMSETBADBLOCK, &at);
}

int os_mount(const char* device, const char* folder, const char* type, unsigned long flags)
{
    return ::mount(device, folder, type, flags, nullptr);
}

int os_umount(const char* folder)
{
    return ::umount(folder);
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

int os_trusted_key_text(int index, char* text, size_t size)
{
    for (int i = 0; kvr_device_trusted_keys[i] != nullptr; ++i) {
        if (i != index) continue;
        size_t length = std::strlen(kvr_device_trusted_keys[i]);
        if (length >= size) return -1;
        std::memcpy(text, kvr_device_trusted_keys[i], length + 1);
        return static_cast<int>(length);
    }
    return -1;
}
