// The simulated device: every path is mapped into KVR_FOTA_ROOT, MTD
// character devices follow the NAND rules of sim_mtd (with the faults of
// sim_fault; the calls that change files count as file operations for its
// power cuts), yaffs2 mounts are the folders of sim_mount, owners are kept by
// sim_owner, the shell is sim_shell, and a restart is counted in
// "<root>/sim/restarts" before the process ends.
// KVR_SIM_REBOOT_FAIL=1 makes the restart request fail (EPERM).
// Symbolic links: an absolute target is stored mapped into the root and read
// back as the device path; a relative target with a ".." component is
// refused (EACCES), so that no link leads out of the root.
#include "os.h"

#include "sim_fault.h"
#include "sim_mount.h"
#include "sim_mtd.h"
#include "sim_owner.h"
#include "sim_root.h"
#include "sim_shell.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A call that changes the device's files: the power may go before it.
void file_operation(void)
{
    if (sim_file_op_cuts()) sim_power_cut();
}

bool changes_file(const char* fopen_mode)
{
    return fopen_mode != nullptr && (std::strchr(fopen_mode, 'w') != nullptr || std::strchr(fopen_mode, 'a') != nullptr);
}

} // namespace

int os_init(void)
{
    if (sim_root_init() != 0) return -1;
    const char* boot = std::getenv("KVR_SIM_BOOT");
    if (boot != nullptr && std::strcmp(boot, "1") == 0) sim_unmount_all();
    return 0;
}

FILE* os_fopen(const char* path, const char* mode)
{
    char real[PATH_MAX];
    if (changes_file(mode)) file_operation();
    return sim_map(path, real, sizeof real) == 0 ? std::fopen(real, mode) : nullptr;
}

int os_open(const char* path, int flags, mode_t mode)
{
    int number = path ? sim_mtd_number(path) : -1;
    if (number >= 0) {
        sim_mtd_part part;
        if (sim_mtd_lookup(number, &part) != 0) {
            errno = ENOENT;
            return -1;
        }
        int fd = sim_mtd_open(part, flags);
        if (fd >= 0 && !sim_mtd_track(fd, part)) {
            ::close(fd);
            errno = EMFILE;
            return -1;
        }
        return fd;
    }
    char real[PATH_MAX];
    if (flags & (O_CREAT | O_TRUNC | O_APPEND)) file_operation();
    return sim_map(path, real, sizeof real) == 0 ? ::open(real, flags, mode) : -1;
}

int os_close(int fd)
{
    sim_mtd_forget(fd);
    return ::close(fd);
}

int os_access(const char* path, int how)
{
    char real[PATH_MAX];
    return sim_map(path, real, sizeof real) == 0 ? ::access(real, how) : -1;
}

int os_mkdir(const char* path, mode_t mode)
{
    char real[PATH_MAX];
    file_operation();
    return sim_map(path, real, sizeof real) == 0 ? ::mkdir(real, mode) : -1;
}

int os_rmdir(const char* path)
{
    char real[PATH_MAX];
    file_operation();
    return sim_map(path, real, sizeof real) == 0 ? ::rmdir(real) : -1;
}

int os_unlink(const char* path)
{
    char real[PATH_MAX];
    file_operation();
    return sim_map(path, real, sizeof real) == 0 ? ::unlink(real) : -1;
}

int os_rename(const char* from, const char* to)
{
    char real_from[PATH_MAX];
    char real_to[PATH_MAX];
    file_operation();
    if (sim_map(from, real_from, sizeof real_from) != 0 || sim_map(to, real_to, sizeof real_to) != 0) return -1;
    return std::rename(real_from, real_to);
}

int os_symlink(const char* target, const char* link_path)
{
    char real_link[PATH_MAX];
    char real_target[PATH_MAX];
    file_operation();
    if (target == nullptr || sim_map(link_path, real_link, sizeof real_link) != 0) return -1;
    if (target[0] != '/') {
        if (sim_path_climbs(target)) {
            errno = EACCES;
            return -1;
        }
        return ::symlink(target, real_link);
    }
    return sim_map(target, real_target, sizeof real_target) == 0 ? ::symlink(real_target, real_link) : -1;
}

ssize_t os_readlink(const char* path, char* buffer, size_t size)
{
    char real[PATH_MAX];
    char target[PATH_MAX];
    if (sim_map(path, real, sizeof real) != 0) return -1;
    ssize_t n = ::readlink(real, target, sizeof target);
    if (n < 0) return -1;
    size_t root = std::strlen(sim_root());
    size_t skip = static_cast<size_t>(n) > root && std::strncmp(target, sim_root(), root) == 0 && target[root] == '/'
                      ? root
                      : 0;
    size_t length = static_cast<size_t>(n) - skip;
    if (length > size) length = size;
    std::memcpy(buffer, target + skip, length);
    return static_cast<ssize_t>(length);
}

int os_lstat(const char* path, struct stat* st)
{
    char real[PATH_MAX];
    if (sim_map(path, real, sizeof real) != 0 || ::lstat(real, st) != 0) return -1;
    sim_owner_apply(st);
    return 0;
}

int os_chown(const char* path, uid_t owner, gid_t group)
{
    char real[PATH_MAX];
    file_operation();
    return sim_map(path, real, sizeof real) == 0 ? sim_owner_set(real, owner, group) : -1;
}

int os_chmod(const char* path, mode_t mode)
{
    char real[PATH_MAX];
    file_operation();
    return sim_map(path, real, sizeof real) == 0 ? ::chmod(real, mode) : -1;
}

int os_statfs(const char* path, struct statfs* st)
{
    char real[PATH_MAX];
    return sim_map(path, real, sizeof real) == 0 ? ::statfs(real, st) : -1;
}

int os_mtd_info(int fd, mtd_info_user* info)
{
    const sim_mtd_part* part = sim_mtd_tracked(fd);
    if (part == nullptr) {
        errno = ENOTTY;
        return -1;
    }
    *info = {};
    info->type = MTD_NANDFLASH;
    info->flags = MTD_CAP_NANDFLASH;
    info->size = part->size;
    info->erasesize = part->erasesize;
    info->writesize = part->writesize;
    info->oobsize = part->oobsize;
    return 0;
}

int os_mtd_erase(int fd, uint32_t start, uint32_t length)
{
    const sim_mtd_part* part = sim_mtd_tracked(fd);
    if (part == nullptr) {
        errno = ENOTTY;
        return -1;
    }
    return sim_mtd_erase(fd, *part, start, length);
}

ssize_t os_mtd_write(int fd, const void* data, size_t size, off_t offset)
{
    const sim_mtd_part* part = sim_mtd_tracked(fd);
    return part ? sim_mtd_program(fd, *part, data, size, offset) : ::pwrite(fd, data, size, offset);
}

ssize_t os_mtd_read(int fd, void* data, size_t size, off_t offset)
{
    return ::pread(fd, data, size, offset);
}

int os_mtd_is_bad(int fd, uint64_t offset)
{
    const sim_mtd_part* part = sim_mtd_tracked(fd);
    if (part == nullptr) {
        errno = ENOTTY;
        return -1;
    }
    return sim_mtd_is_bad(*part, offset);
}

int os_mtd_mark_bad(int fd, uint64_t offset)
{
    const sim_mtd_part* part = sim_mtd_tracked(fd);
    if (part == nullptr) {
        errno = ENOTTY;
        return -1;
    }
    return sim_mtd_mark_bad(*part, offset);
}

int os_mount(const char* device, const char* folder, const char* type, unsigned long)
{
    return sim_mount(device, folder, type);
}

int os_umount(const char* folder)
{
    return sim_umount(folder);
}

int os_shell(const char* command)
{
    return sim_shell(command);
}

void os_sync(void)
{
    sim_sync();
}

int os_reboot(void)
{
    const char* fail = std::getenv("KVR_SIM_REBOOT_FAIL");
    if (sim_root() == nullptr || (fail != nullptr && *fail != '\0' && *fail != '0')) {
        errno = EPERM;
        return -1;
    }
    if (sim_count_event("restarts") < 0) return -1;
    _exit(0);
}
