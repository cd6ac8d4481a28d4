#include "sim_root.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char g_root[PATH_MAX];
bool g_ready = false;

const char kBlockPrefix[] = "/dev/block/mtdblock";

// "/dev/block/mtdblock<digits>" gives the offset of the digits, else 0.
size_t block_device_digits(const char* path)
{
    size_t prefix = sizeof kBlockPrefix - 1;
    if (std::strncmp(path, kBlockPrefix, prefix) != 0 || path[prefix] == '\0') return 0;
    for (const char* p = path + prefix; *p; ++p)
        if (*p < '0' || *p > '9') return 0;
    return prefix;
}

} // namespace

int sim_root_init(void)
{
    g_ready = false;
    const char* root = std::getenv("KVR_FOTA_ROOT");
    struct stat st;
    if (root == nullptr || *root == '\0' || realpath(root, g_root) == nullptr || stat(g_root, &st) != 0 ||
        !S_ISDIR(st.st_mode) || std::strcmp(g_root, "/") == 0) {
        std::fprintf(stderr, "simulated device: KVR_FOTA_ROOT must name its root folder (not \"/\")\n");
        return -1;
    }
    g_ready = true;
    return 0;
}

const char* sim_root(void)
{
    return g_ready ? g_root : nullptr;
}

bool sim_path_climbs(const char* path)
{
    for (const char* p = path; (p = std::strstr(p, "..")) != nullptr; p += 2) {
        bool starts = p == path || p[-1] == '/';
        bool ends = p[2] == '\0' || p[2] == '/';
        if (starts && ends) return true;
    }
    return false;
}

int sim_map(const char* path, char* out, size_t size)
{
    if (!g_ready || path == nullptr || sim_path_climbs(path)) {
        errno = EACCES;
        return -1;
    }
    const char* separator = path[0] == '/' ? "" : "/";
    size_t digits = block_device_digits(path);
    int n = digits ? std::snprintf(out, size, "%s/dev/mtd/mtd%s", g_root, path + digits)
                   : std::snprintf(out, size, "%s%s%s", g_root, separator, path);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

int sim_sync(void)
{
    int fd = g_ready ? open(g_root, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0) return -1;
    int result = syncfs(fd);
    close(fd);
    return result;
}

long sim_count_event(const char* name)
{
    char folder[PATH_MAX];
    char counter[PATH_MAX];
    char device_path[PATH_MAX];
    std::snprintf(device_path, sizeof device_path, "/sim/%s", name);
    if (sim_map("/sim", folder, sizeof folder) != 0 || sim_map(device_path, counter, sizeof counter) != 0) return -1;
    mkdir(folder, 0700);
    long count = 0;
    if (FILE* in = std::fopen(counter, "r")) {
        if (std::fscanf(in, "%ld", &count) != 1) count = 0;
        std::fclose(in);
    }
    FILE* out = std::fopen(counter, "w");
    if (out == nullptr) return -1;
    const bool written = std::fprintf(out, "%ld\n", count + 1) > 0;
    return std::fclose(out) == 0 && written ? count + 1 : -1;
}
