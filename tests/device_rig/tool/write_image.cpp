// An old image put on a partition block by block at its raw addresses, as
// the agent reads it back; factory bad blocks are left as they are.
#include "mtd_device.h"
#include "rig_tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

int rig_write(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: rig_tool write DEVICE IMAGE\n");
        return 2;
    }
    mtd_info_user info = {};
    int fd = open_mtd(argv[0], info);
    if (fd < 0) return 1;
    FILE* image = std::fopen(argv[1], "rb");
    if (image == nullptr) {
        std::fprintf(stderr, "rig_tool write: cannot read %s\n", argv[1]);
        close(fd);
        return 1;
    }
    std::vector<unsigned char> block(info.erasesize);
    int result = 0;
    for (uint32_t offset = 0; offset < info.size; offset += info.erasesize) {
        std::fill(block.begin(), block.end(), 0xFF);
        size_t got = std::fread(block.data(), 1, block.size(), image);
        if (got == 0) break;
        if (mtd_is_bad(fd, offset) > 0) {
            std::fprintf(stderr, "rig_tool write: %s: bad block at 0x%08x left as it is\n", argv[0], offset);
            continue;
        }
        if (mtd_erase(fd, offset, info.erasesize) != 0 ||
            pwrite(fd, block.data(), block.size(), offset) != static_cast<ssize_t>(block.size())) {
            std::fprintf(stderr, "rig_tool write: %s at 0x%08x: %s\n", argv[0], offset, std::strerror(errno));
            result = 1;
            break;
        }
    }
    if (result == 0 && !std::feof(image) && std::fgetc(image) != EOF) {
        std::fprintf(stderr, "rig_tool write: %s is larger than %s\n", argv[1], argv[0]);
        result = 1;
    }
    std::fclose(image);
    close(fd);
    return result;
}
