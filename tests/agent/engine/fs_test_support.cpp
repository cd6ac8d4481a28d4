#include "fs_test_support.h"

#include "fs_delta.h"
#include "fs_tree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs_test {

namespace fs = std::filesystem;

namespace {

fs::path scratch_root()
{
    return fs::temp_directory_path() / ("kvr_fs_engine_" + std::to_string(getpid()));
}

void remove_scratch()
{
    std::error_code ignored;
    fs::remove_all(scratch_root(), ignored);
}

} // namespace

std::string scratch(const std::string& name)
{
    static bool registered = std::atexit(remove_scratch) == 0;
    fs::path dir = scratch_root() / name;
    if (!registered) throw std::runtime_error("cannot register the scratch cleanup");
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void put_file(const std::string& root, const std::string& path, const std::vector<uint8_t>& content, uint32_t mode,
              uint32_t uid, uint32_t gid)
{
    std::string full = root + "/" + path;
    fs::create_directories(fs::path(full).parent_path());
    FILE* out = std::fopen(full.c_str(), "wb");
    if (out == nullptr || (!content.empty() && std::fwrite(content.data(), 1, content.size(), out) != content.size()))
        throw std::runtime_error("cannot write " + full);
    std::fclose(out);
    if (chown(full.c_str(), uid, gid) != 0 || chmod(full.c_str(), mode) != 0)
        throw std::runtime_error("cannot set attributes of " + full);
}

void put_text(const std::string& root, const std::string& path, const std::string& text, uint32_t mode)
{
    put_file(root, path, std::vector<uint8_t>(text.begin(), text.end()), mode);
}

void put_folder(const std::string& root, const std::string& path, uint32_t mode)
{
    std::string full = root + "/" + path;
    fs::create_directories(full);
    if (chmod(full.c_str(), mode) != 0) throw std::runtime_error("cannot set mode of " + full);
}

void put_link(const std::string& root, const std::string& path, const std::string& target)
{
    std::string full = root + "/" + path;
    fs::create_directories(fs::path(full).parent_path());
    fs::create_symlink(target, full);
}

void copy_tree(const std::string& from, const std::string& to)
{
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (const auto& [path, e] : fotapack::read_tree(from)) {
        std::string full = to + "/" + path;
        if (e.kind == fotapack::entry_kind::link) continue;
        if (chown(full.c_str(), e.uid, e.gid) != 0 || chmod(full.c_str(), e.mode & 07777) != 0)
            throw std::runtime_error("cannot copy attributes to " + full);
    }
}

std::string tree_difference(const std::string& a, const std::string& b)
{
    fotapack::fs_tree ta = fotapack::read_tree(a), tb = fotapack::read_tree(b);
    for (const auto& [path, e] : ta) {
        auto it = tb.find(path);
        if (it == tb.end()) return path + " only in " + a;
        const fotapack::fs_entry& f = it->second;
        if (e.kind != f.kind) return path + ": kind differs";
        if (e.content != f.content) return path + ": content differs";
        if (e.kind != fotapack::entry_kind::link && (e.mode != f.mode || e.uid != f.uid || e.gid != f.gid))
            return path + ": mode or owner differs";
    }
    for (const auto& entry : tb)
        if (!ta.count(entry.first)) return entry.first + " only in " + b;
    return {};
}

fs_device make_device(const std::string& old_root, const std::string& new_root, const std::string& where)
{
    fs_device device;
    device.mount = where + "/mnt/";
    device.tmp = where + "/cache/tmp/tmp_file";
    fs::create_directories(where + "/cache/tmp");
    copy_tree(old_root, device.mount);
    device.flash.delta = fotapack::make_fs_delta(old_root, new_root, nullptr);
    return device;
}

} // namespace fs_test
