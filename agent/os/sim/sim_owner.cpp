#include "sim_owner.h"

#include "sim_root.h"

#include <climits>
#include <cstdio>

namespace {

bool owners_path(char* path, size_t size)
{
    return sim_map("/sim/owners", path, size) == 0;
}

} // namespace

int sim_owner_set(const char* real_path, uid_t owner, gid_t group)
{
    struct stat st;
    char path[PATH_MAX];
    char folder[PATH_MAX];
    if (stat(real_path, &st) != 0 || !owners_path(path, sizeof path) || sim_map("/sim", folder, sizeof folder) != 0)
        return -1;
    mkdir(folder, 0700);
    FILE* owners = std::fopen(path, "a");
    if (owners == nullptr) return -1;
    bool ok = std::fprintf(owners, "%llu %u %u\n", static_cast<unsigned long long>(st.st_ino),
                           static_cast<unsigned>(owner), static_cast<unsigned>(group)) > 0;
    return std::fclose(owners) == 0 && ok ? 0 : -1;
}

void sim_owner_apply(struct stat* st)
{
    char path[PATH_MAX];
    FILE* owners = owners_path(path, sizeof path) ? std::fopen(path, "r") : nullptr;
    if (owners == nullptr) return;
    unsigned long long inode = 0;
    unsigned owner = 0;
    unsigned group = 0;
    while (std::fscanf(owners, "%llu %u %u", &inode, &owner, &group) == 3) {
        if (inode != static_cast<unsigned long long>(st->st_ino)) continue;
        st->st_uid = owner;
        st->st_gid = group;
    }
    std::fclose(owners);
}
