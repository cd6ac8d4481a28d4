#include "fs_tree.h"

#include "file_io.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace fotapack {
namespace {

constexpr int kDepthLimit = 64;
constexpr size_t kLinkLimit = 4096;

std::vector<std::string> names_in(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) throw std::runtime_error("cannot read folder " + folder);
    std::vector<std::string> names;
    while (const dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

void read_into(const std::string& root, const std::string& relative, int depth, fs_tree* tree)
{
    if (depth > kDepthLimit) throw std::runtime_error("folders nested too deep at " + root + "/" + relative);
    std::string folder = relative.empty() ? root : root + "/" + relative;
    for (const std::string& name : names_in(folder)) {
        std::string rel = relative.empty() ? name : relative + "/" + name;
        std::string full = root + "/" + rel;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + full);
        fs_entry entry{entry_kind::file, uint32_t(st.st_mode), uint32_t(st.st_uid), uint32_t(st.st_gid), {}};
        if (S_ISDIR(st.st_mode)) {
            entry.kind = entry_kind::folder;
        } else if (S_ISLNK(st.st_mode)) {
            entry.kind = entry_kind::link;
            std::vector<char> text(kLinkLimit);
            ssize_t n = readlink(full.c_str(), text.data(), text.size());
            if (n <= 0 || size_t(n) >= text.size()) throw std::runtime_error("cannot read link " + full);
            entry.content.assign(text.begin(), text.begin() + n);
        } else if (S_ISREG(st.st_mode)) {
            entry.content = read_file(full);
        } else {
            throw std::runtime_error(full + " is neither a folder, a file nor a link");
        }
        bool is_folder = entry.kind == entry_kind::folder;
        tree->emplace(rel, std::move(entry));
        if (is_folder) read_into(root, rel, depth + 1, tree);
    }
}

} // namespace

fs_tree read_tree(const std::string& root)
{
    fs_tree tree;
    read_into(root, "", 0, &tree);
    return tree;
}

} // namespace fotapack
