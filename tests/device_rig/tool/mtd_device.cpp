#include "mtd_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int open_mtd(const char* path, mtd_info_user& info)
{
    int fd = open(path, O_RDWR);
    if (fd < 0) {
        std::fprintf(stderr, "rig_tool: open %s: %s\n", path, std::strerror(errno));
        return -1;
    }
    if (ioctl(fd, MEMGETINFO, &info) != 0) {
        std::fprintf(stderr, "rig_tool: MEMGETINFO %s: %s\n", path, std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

int mtd_is_bad(int fd, uint32_t offset)
{
    long long at = offset;
    return ioctl(fd, MEMGETBADBLOCK, &at);
}

int mtd_erase(int fd, uint32_t offset, uint32_t size)
{
    erase_info_user erase = {offset, size};
    return ioctl(fd, MEMERASE, &erase);
}
