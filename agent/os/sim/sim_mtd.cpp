#include "sim_mtd.h"

#include "sim_fault.h"
#include "sim_root.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxTracked = 16;
constexpr uint32_t kDefaultWriteSize = 2048;
constexpr uint32_t kDefaultOobSize = 64;

struct tracked_fd {
    int fd;
    sim_mtd_part part;
};

tracked_fd g_tracked[kMaxTracked];
int g_tracked_count = 0;

int digits_after(const char* path, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (std::strncmp(path, prefix, n) != 0 || path[n] == '\0') return -1;
    long value = 0;
    for (const char* p = path + n; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 9999) return -1;
        value = value * 10 + (*p - '0');
    }
    return static_cast<int>(value);
}

uint32_t sysfs_value(int number, const char* name, uint32_t fallback)
{
    char device_path[64];
    char path[PATH_MAX];
    std::snprintf(device_path, sizeof device_path, "/sys/class/mtd/mtd%d/%s", number, name);
    if (sim_map(device_path, path, sizeof path) != 0) return fallback;
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) return fallback;
    unsigned value = 0;
    bool ok = std::fscanf(file, "%u", &value) == 1 && value > 0;
    std::fclose(file);
    return ok ? value : fallback;
}

bool fill_erased(int fd, off_t start, size_t length)
{
    std::vector<unsigned char> erased(length, 0xFF);
    return pwrite(fd, erased.data(), length, start) == static_cast<ssize_t>(length);
}

bool bad_list_path(int number, char* path, size_t size)
{
    char device_path[64];
    std::snprintf(device_path, sizeof device_path, "/sim/mtd%d.bad", number);
    return sim_map(device_path, path, size) == 0;
}

bool listed_bad(const sim_mtd_part& part, uint32_t block)
{
    char path[PATH_MAX];
    FILE* list = bad_list_path(part.number, path, sizeof path) ? std::fopen(path, "r") : nullptr;
    if (list == nullptr) return false;
    char line[32];
    bool bad = false;
    while (!bad && std::fgets(line, sizeof line, list) != nullptr) {
        char* end = nullptr;
        unsigned long number = std::strtoul(line, &end, 10);
        bad = end != line && number == block;
    }
    std::fclose(list);
    return bad;
}

// True when a block of [offset, offset + length) is bad (errno EIO).
bool touches_bad_block(const sim_mtd_part& part, uint64_t offset, uint64_t length)
{
    for (uint64_t block = offset / part.erasesize; block * part.erasesize < offset + length; ++block)
        if (listed_bad(part, static_cast<uint32_t>(block))) {
            errno = EIO;
            return true;
        }
    return false;
}

// Programs cells: each bit can only go from 1 to 0.
bool program_cells(int fd, const unsigned char* data, size_t size, off_t offset, bool strict)
{
    std::vector<unsigned char> cells(size);
    if (pread(fd, cells.data(), size, offset) != static_cast<ssize_t>(size)) return false;
    for (size_t i = 0; i < size; ++i) {
        if (strict && (cells[i] & data[i]) != data[i]) {
            errno = EIO;
            return false;
        }
        cells[i] &= data[i];
    }
    return pwrite(fd, cells.data(), size, offset) == static_cast<ssize_t>(size);
}

} // namespace

int sim_mtd_number(const char* device_path)
{
    int number = digits_after(device_path, "/dev/mtd/mtd");
    return number >= 0 ? number : digits_after(device_path, "/dev/block/mtdblock");
}

int sim_mtd_lookup(int number, sim_mtd_part* part)
{
    char path[PATH_MAX];
    FILE* table = sim_map("/proc/mtd", path, sizeof path) == 0 ? std::fopen(path, "r") : nullptr;
    if (table == nullptr) return -1;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, table) != nullptr) {
        int n = -1;
        unsigned size = 0;
        unsigned erasesize = 0;
        found = std::sscanf(line, "mtd%d: %x %x", &n, &size, &erasesize) == 3 && n == number && erasesize > 0;
        if (found) *part = {number, size, erasesize, sysfs_value(number, "writesize", kDefaultWriteSize),
                            sysfs_value(number, "oobsize", kDefaultOobSize)};
    }
    std::fclose(table);
    if (!found) errno = ENODEV;
    return found ? 0 : -1;
}

int sim_mtd_open(const sim_mtd_part& part, int flags)
{
    char device_path[64];
    char path[PATH_MAX];
    std::snprintf(device_path, sizeof device_path, "/dev/mtd/mtd%d", part.number);
    if (sim_map(device_path, path, sizeof path) != 0) return -1;
    int fd = open(path, (flags & ~(O_CREAT | O_TRUNC | O_EXCL)) | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    char folder[PATH_MAX];
    for (const char* device_folder : {"/dev", "/dev/mtd"})
        if (sim_map(device_folder, folder, sizeof folder) == 0) mkdir(folder, 0755);
    int created = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (created < 0) return -1;
    bool ok = fill_erased(created, 0, part.size);
    close(created);
    return ok ? open(path, (flags & ~(O_CREAT | O_TRUNC | O_EXCL)) | O_CLOEXEC) : -1;
}

int sim_mtd_erase_all(int number)
{
    sim_mtd_part part;
    if (sim_mtd_lookup(number, &part) != 0) return -1;
    int fd = sim_mtd_open(part, O_RDWR);
    if (fd < 0) return -1;
    bool ok = fill_erased(fd, 0, part.size);
    close(fd);
    return ok ? 0 : -1;
}

bool sim_mtd_track(int fd, const sim_mtd_part& part)
{
    if (g_tracked_count == kMaxTracked) return false;
    g_tracked[g_tracked_count++] = {fd, part};
    return true;
}

void sim_mtd_forget(int fd)
{
    for (int i = 0; i < g_tracked_count; ++i)
        if (g_tracked[i].fd == fd) g_tracked[i] = g_tracked[--g_tracked_count];
}

const sim_mtd_part* sim_mtd_tracked(int fd)
{
    for (int i = 0; i < g_tracked_count; ++i)
        if (g_tracked[i].fd == fd) return &g_tracked[i].part;
    return nullptr;
}

int sim_mtd_erase(int fd, const sim_mtd_part& part, uint32_t start, uint32_t length)
{
    sim_fault fault = sim_fault_next(SIM_OP_ERASE);
    if (length == 0 || start % part.erasesize != 0 || length % part.erasesize != 0 || start > part.size ||
        length > part.size - start) {
        errno = EINVAL;
        return -1;
    }
    if (fault == SIM_FAULT_CUT) {
        fill_erased(fd, start, length / 2 / part.writesize * part.writesize);
        sim_power_cut();
    }
    if (fault == SIM_FAULT_FAIL) {
        errno = EIO;
        return -1;
    }
    if (touches_bad_block(part, start, length)) return -1;
    return fill_erased(fd, start, length) ? 0 : -1;
}

ssize_t sim_mtd_program(int fd, const sim_mtd_part& part, const void* data, size_t size, off_t offset)
{
    sim_fault fault = sim_fault_next(SIM_OP_WRITE);
    if (offset < 0 || size % part.writesize != 0 || offset % part.writesize != 0 ||
        static_cast<uint64_t>(offset) + size > part.size) {
        errno = EINVAL;
        return -1;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (fault == SIM_FAULT_CUT) {
        program_cells(fd, bytes, size / 2, offset, false);
        sim_power_cut();
    }
    if (fault == SIM_FAULT_FAIL) {
        errno = EIO;
        return -1;
    }
    if (touches_bad_block(part, static_cast<uint64_t>(offset), size)) return -1;
    return program_cells(fd, bytes, size, offset, true) ? static_cast<ssize_t>(size) : -1;
}

int sim_mtd_is_bad(const sim_mtd_part& part, uint64_t offset)
{
    if (offset >= part.size) {
        errno = EINVAL;
        return -1;
    }
    return listed_bad(part, static_cast<uint32_t>(offset / part.erasesize)) ? 1 : 0;
}

int sim_mtd_mark_bad(const sim_mtd_part& part, uint64_t offset)
{
    char path[PATH_MAX];
    char folder[PATH_MAX];
    if (offset >= part.size) {
        errno = EINVAL;
        return -1;
    }
    if (!bad_list_path(part.number, path, sizeof path) || sim_map("/sim", folder, sizeof folder) != 0) return -1;
    mkdir(folder, 0700);
    FILE* list = std::fopen(path, "a");
    if (list == nullptr) return -1;
    bool ok = std::fprintf(list, "%u\n", static_cast<unsigned>(offset / part.erasesize)) > 0;
    return std::fclose(list) == 0 && ok ? 0 : -1;
}
