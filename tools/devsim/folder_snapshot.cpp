#include "folder_snapshot.h"

#include "files.h"

#include <algorithm>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace devsim {

namespace fs = std::filesystem;

namespace {

// Length-prefixed, so that no content can imitate the next entry.
void put_field(std::string& out, const std::string& field)
{
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

std::optional<std::string> entry_content(const fs::path& path, const struct stat& info)
{
    if (S_ISLNK(info.st_mode)) {
        std::error_code failed;
        fs::path target = fs::read_symlink(path, failed);
        if (failed) return std::nullopt;
        return target.string();
    }
    if (S_ISREG(info.st_mode)) return read_file(path);
    return std::string();
}

} // namespace

std::optional<std::string> folder_snapshot(const fs::path& folder)
{
    std::error_code failed;
    std::vector<fs::path> entries;
    for (fs::recursive_directory_iterator it(folder, failed), end; !failed && it != end; it.increment(failed))
        entries.push_back(it->path().lexically_relative(folder));
    if (failed) return std::nullopt;
    std::sort(entries.begin(), entries.end());
    std::string snapshot;
    for (const fs::path& relative : entries) {
        struct stat info;
        if (lstat((folder / relative).c_str(), &info) != 0) return std::nullopt;
        std::optional<std::string> content = entry_content(folder / relative, info);
        if (!content) return std::nullopt;
        put_field(snapshot, relative.string());
        put_field(snapshot, std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + " " +
                                std::to_string(info.st_gid));
        put_field(snapshot, *content);
    }
    return snapshot;
}

} // namespace devsim
