// "flash_eraseall" as the router's busybox has it: every erase block of the
// device erased, factory bad blocks skipped.
#include "mtd_device.h"
#include "rig_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int rig_eraseall(int argc, char** argv)
{
    bool quiet = argc == 2 && std::strcmp(argv[0], "-q") == 0;
    if (argc != (quiet ? 2 : 1)) {
        std::fprintf(stderr, "usage: flash_eraseall [-q] MTD_DEVICE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    mtd_info_user info = {};
    int fd = open_mtd(path, info);
    if (fd < 0) return 1;
    int result = 0;
    for (uint32_t offset = 0; offset < info.size; offset += info.erasesize) {
        int bad = mtd_is_bad(fd, offset);
        if (bad < 0) {
            std::fprintf(stderr, "%s: MTD get bad block failed at 0x%08x: %s\n", path, offset, std::strerror(errno));
            result = 1;
            break;
        }
        if (bad > 0) {
            if (!quiet) std::printf("\nSkipping bad block at 0x%08x", offset);
            continue;
        }
        if (mtd_erase(fd, offset, info.erasesize) != 0) {
            std::fprintf(stderr, "%s: MTD Erase failure at 0x%08x: %s\n", path, offset, std::strerror(errno));
            result = 1;
            break;
        }
        if (!quiet)
            std::printf("\rErasing %u Kibyte @ %x -- %2u %% complete.", info.erasesize / 1024, offset,
                        static_cast<unsigned>(100ull * (offset + info.erasesize) / info.size));
    }
    if (!quiet && result == 0) std::printf("\n");
    close(fd);
    return result;
}
