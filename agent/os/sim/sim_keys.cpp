// The simulated device's trusted public keys: the regular files of
// "/etc/kvr_fota/keys/" in its root, in name order, so that a test or devsim
// chooses which keys the device holds.
#include "os.h"

#include "paths.h"
#include "sim_root.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

std::vector<std::string> key_files(void)
{
    std::vector<std::string> files;
    char folder[PATH_MAX];
    if (sim_map(KVR_SIM_TRUSTED_KEYS_DIR, folder, sizeof folder) != 0) return files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file(error)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int os_trusted_key_text(int index, char* text, size_t size)
{
    std::vector<std::string> files = key_files();
    if (index < 0 || static_cast<size_t>(index) >= files.size() || size == 0) return -1;
    FILE* file = std::fopen(files[index].c_str(), "rb");
    if (file == nullptr) return -1;
    size_t length = std::fread(text, 1, size - 1, file);
    bool whole = std::fgetc(file) == EOF && !std::ferror(file);
    std::fclose(file);
    if (!whole) return -1;
    text[length] = '\0';
    return static_cast<int>(length);
}
