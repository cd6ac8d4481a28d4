// The simulated device: every path is mapped into KVR_FOTA_ROOT, MTD
// character devices follow the NAND rules of sim_mtd, the shell is sim_shell,
// and a restart is counted in "<root>/sim/restarts" before the process ends.
// KVR_SIM_REBOOT_FAIL=1 makes the restart request fail (EPERM).
#include "os/os.h"

#include "os/sim/sim_mtd.h"
#include "os/sim/sim_root.h"
#include "os/sim/sim_shell.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int os_init(void)
{
    return sim_root_init();
}

FILE* os_fopen(const char* path, const char* mode)
{
    char real[PATH_MAX];
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
    return sim_map(path, real, sizeof real) == 0 ? ::mkdir(real, mode) : -1;
}

int os_unlink(const char* path)
{
    char real[PATH_MAX];
    return sim_map(path, real, sizeof real) == 0 ? ::unlink(real) : -1;
}

int os_rename(const char* from, const char* to)
{
    char real_from[PATH_MAX];
    char real_to[PATH_MAX];
    if (sim_map(from, real_from, sizeof real_from) != 0 || sim_map(to, real_to, sizeof real_to) != 0) return -1;
    return std::rename(real_from, real_to);
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
    char folder[PATH_MAX];
    char counter[PATH_MAX];
    if (sim_map("/sim", folder, sizeof folder) != 0 || sim_map("/sim/restarts", counter, sizeof counter) != 0) return -1;
    mkdir(folder, 0700);
    long restarts = 0;
    if (FILE* in = std::fopen(counter, "r")) {
        if (std::fscanf(in, "%ld", &restarts) != 1) restarts = 0;
        std::fclose(in);
    }
    FILE* out = std::fopen(counter, "w");
    if (out == nullptr) return -1;
    std::fprintf(out, "%ld\n", restarts + 1);
    std::fflush(out);
    fsync(fileno(out));
    std::fclose(out);
    _exit(0);
}
