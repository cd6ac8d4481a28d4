#include "mtd_lookup.h"

#include "os.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kMtdTextSize = 2048;
constexpr size_t kCommandSize = 256;

} // namespace

int ml_get_mtd_block_num(const char* name)
{
    if (name == nullptr || *name == '\0') {
        // The standard-error lines ("paramter" too) are kept as the device's software expects it.
        std::fprintf(stderr, "input paramter illegal \n");
        return -1;
    }
    int fd = os_open("/proc/mtd", O_RDONLY, 0);
    if (fd < 0) {
        std::fprintf(stderr, "open mtd failed \n");
        return -1;
    }
    char text[kMtdTextSize] = {};
    ssize_t got = read(fd, text, sizeof text - 1);
    os_close(fd);
    if (got < 0) {
        std::fprintf(stderr, "read mtd failed \n");
        return -1;
    }
    for (char* line = text; line != nullptr && *line != '\0';) {
        char* end = std::strchr(line, '\n');
        if (end) *end = '\0';
        int number = -1;
        unsigned size = 0;
        unsigned erasesize = 0;
        char found[64] = {};
        if (std::sscanf(line, "mtd%d: %x %x \"%63[^\"]", &number, &size, &erasesize, found) == 4 &&
            std::strcmp(found, name) == 0) {
            std::fprintf(stderr, "find mtd success \n");
            return number;
        }
        line = end ? end + 1 : nullptr;
    }
    return -1;
}

int ml_flashEraseBlockMTD(int number)
{
    char command[kCommandSize];
    int n = std::snprintf(command, sizeof command, "busybox flash_eraseall /dev/mtd/mtd%d", number);
    if (n < 0 || static_cast<size_t>(n) >= sizeof command) return -1;
    int result = os_shell(command);
    // "sml_", and the lines after the command has run: kept as the device's software expects it.
    std::fprintf(stderr, "======sml_flashEraseBlockMTD shell_cmd= %s \n", command);
    std::fprintf(stderr, "======start shell_cmd =retVal = %d \n", result);
    os_sync();
    return result;
}
