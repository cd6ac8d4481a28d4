#include "sim_mount.h"

#include "sim_mtd.h"
#include "sim_root.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kFileSystems[] = "/sim/yaffs2";
const char kMountList[] = "/sim/mounts";

// The folder as listed: without trailing slashes.
std::string listed_name(const char* folder)
{
    std::string name(folder);
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name;
}

std::vector<std::string> listed_mounts(void)
{
    std::vector<std::string> folders;
    char list[PATH_MAX];
    if (sim_map(kMountList, list, sizeof list) != 0) return folders;
    std::ifstream in(list);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) folders.push_back(line);
    return folders;
}

void write_mount_list(const std::vector<std::string>& folders)
{
    char list[PATH_MAX];
    if (sim_map(kMountList, list, sizeof list) != 0) return;
    std::ofstream out(list, std::ios::trunc);
    for (const std::string& folder : folders) out << folder << '\n';
}

// Maps the folder without its trailing slashes, so that a mount point that
// is a link is seen as the link itself.
bool map_folder(const char* folder, char* real, size_t size)
{
    if (sim_map(folder, real, size) != 0) return false;
    for (size_t n = std::strlen(real); n > 1 && real[n - 1] == '/'; --n) real[n - 1] = '\0';
    return true;
}

bool is_mounted_link(const char* real)
{
    char backing[PATH_MAX];
    char target[PATH_MAX];
    if (sim_map(kFileSystems, backing, sizeof backing) != 0) return false;
    ssize_t n = readlink(real, target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    size_t prefix = std::strlen(backing);
    return std::strncmp(target, backing, prefix) == 0 && target[prefix] == '/';
}

} // namespace

int sim_mount(const char* device, const char* folder, const char* type)
{
    if (type == nullptr || std::strcmp(type, "yaffs2") != 0) {
        errno = ENODEV;
        return -1;
    }
    const char block_prefix[] = "/dev/block/mtdblock";
    if (device == nullptr || std::strncmp(device, block_prefix, sizeof block_prefix - 1) != 0 ||
        sim_mtd_number(device) < 0) {
        errno = ENOTBLK;
        return -1;
    }
    sim_mtd_part part;
    if (sim_mtd_lookup(sim_mtd_number(device), &part) != 0) {
        errno = ENOENT;
        return -1;
    }
    char real[PATH_MAX];
    char backing[PATH_MAX];
    char file_system[64];
    std::snprintf(file_system, sizeof file_system, "%s/mtd%d", kFileSystems, part.number);
    if (!map_folder(folder, real, sizeof real) || sim_map(file_system, backing, sizeof backing) != 0) return -1;
    if (is_mounted_link(real)) {
        errno = EBUSY;
        return -1;
    }
    struct stat st;
    if (lstat(real, &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    char parent[PATH_MAX];
    for (const char* step : {"/sim", kFileSystems})
        if (sim_map(step, parent, sizeof parent) == 0) mkdir(parent, 0700);
    if (mkdir(backing, 0755) != 0 && errno != EEXIST) return -1;
    if (rmdir(real) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) errno = EBUSY;
        return -1;
    }
    if (symlink(backing, real) == 0) {
        std::vector<std::string> folders = listed_mounts();
        folders.push_back(listed_name(folder));
        write_mount_list(folders);
        return 0;
    }
    int error = errno;
    mkdir(real, st.st_mode & 07777);
    errno = error;
    return -1;
}

int sim_umount(const char* folder)
{
    char real[PATH_MAX];
    if (!map_folder(folder, real, sizeof real)) return -1;
    if (!is_mounted_link(real)) {
        errno = EINVAL;
        return -1;
    }
    if (unlink(real) != 0) return -1;
    std::vector<std::string> folders = listed_mounts();
    std::erase(folders, listed_name(folder));
    write_mount_list(folders);
    return mkdir(real, 0700);
}

void sim_unmount_all(void)
{
    for (const std::string& folder : listed_mounts()) sim_umount(folder.c_str());
    char list[PATH_MAX];
    if (sim_map(kMountList, list, sizeof list) == 0) unlink(list);
}
