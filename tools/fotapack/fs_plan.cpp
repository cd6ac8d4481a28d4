#include "fs_plan.h"

#include "delta_format.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

namespace fotapack {
namespace {

bool is_folder(const fs_tree& tree, const std::string& path)
{
    auto it = tree.find(path);
    return it != tree.end() && it->second.kind == entry_kind::folder;
}

// In new with another kind than in old (or not in old at all).
bool added(const fs_tree& old_tree, const std::string& path, const fs_entry& entry)
{
    auto it = old_tree.find(path);
    return it == old_tree.end() || it->second.kind != entry.kind;
}

// Gone from new, or of another kind there.
bool leaves(const fs_tree& new_tree, const std::string& path, const fs_entry& entry)
{
    auto it = new_tree.find(path);
    return it == new_tree.end() || it->second.kind != entry.kind;
}

// Some folder above path (or path itself) is a folder in old and something
// else in new.
bool under_changed_folder(const fs_tree& old_tree, const fs_tree& new_tree, const std::string& path)
{
    for (size_t slash = path.size(); slash != std::string::npos && slash > 0; slash = path.rfind('/', slash - 1)) {
        std::string folder = path.substr(0, slash);
        if (is_folder(old_tree, folder) && new_tree.count(folder) && !is_folder(new_tree, folder)) return true;
    }
    return false;
}

struct planner {
    const fs_tree& old_tree;
    const fs_tree& new_tree;
    std::map<std::string, std::string> renames; // new path -> old path
    std::set<std::string> rename_sources;
    std::vector<fs_plan_op> ops;

    // Pairs files gone from old with new files of the same content.
    void find_renames()
    {
        std::map<std::vector<uint8_t>, std::vector<std::string>> gone; // content -> old paths, sorted
        for (const auto& [path, e] : old_tree)
            if (e.kind == entry_kind::file && !e.content.empty() && !new_tree.count(path) &&
                !under_changed_folder(old_tree, new_tree, path))
                gone[e.content].push_back(path);
        for (const auto& [path, e] : new_tree) {
            if (e.kind != entry_kind::file || !added(old_tree, path, e)) continue;
            auto it = gone.find(e.content);
            if (it == gone.end() || it->second.empty()) continue;
            renames[path] = it->second.front();
            rename_sources.insert(it->second.front());
            it->second.erase(it->second.begin());
        }
    }

    void add(uint32_t type, const std::string& path, const std::string& extra = {},
             const std::vector<uint8_t>* source = nullptr, const std::vector<uint8_t>* target = nullptr)
    {
        ops.push_back({type, path, extra, source, target});
    }

    // A removal keeps what a later operation puts at a path of a file.
    const std::vector<uint8_t>* later_file(const std::string& path) const
    {
        auto it = new_tree.find(path);
        return it != new_tree.end() && it->second.kind == entry_kind::file ? &it->second.content : nullptr;
    }

    void removals_first()
    {
        for (const auto& [path, e] : old_tree)
            if (e.kind != entry_kind::folder && leaves(new_tree, path, e) && !rename_sources.count(path))
                add(KVR_FS_REMOVE_FILE, path, {}, nullptr, later_file(path));
        for (auto it = old_tree.rbegin(); it != old_tree.rend(); ++it)
            if (it->second.kind == entry_kind::folder && under_changed_folder(old_tree, new_tree, it->first))
                add(KVR_FS_REMOVE_FOLDER, it->first);
    }

    void creations()
    {
        for (const auto& [path, e] : new_tree)
            if (e.kind == entry_kind::folder && added(old_tree, path, e)) add(KVR_FS_CREATE_FOLDER, path);
        for (const auto& [path, old_path] : renames)
            add(KVR_FS_RENAME, path, old_path, nullptr, &new_tree.at(path).content);
        for (const auto& [path, e] : new_tree) {
            if (e.kind != entry_kind::file || added(old_tree, path, e)) continue;
            const fs_entry& old_entry = old_tree.at(path);
            if (old_entry.content != e.content) add(KVR_FS_CHANGED_FILE, path, {}, &old_entry.content, &e.content);
        }
        for (const auto& [path, e] : new_tree)
            if (e.kind == entry_kind::file && added(old_tree, path, e) && !renames.count(path))
                add(KVR_FS_NEW_FILE, path, {}, nullptr, &e.content);
        for (const auto& [path, e] : new_tree)
            if (e.kind == entry_kind::link && (added(old_tree, path, e) || old_tree.at(path).content != e.content))
                add(KVR_FS_SYMLINK, path, std::string(e.content.begin(), e.content.end()), nullptr, &e.content);
    }

    void removals_last()
    {
        for (auto it = old_tree.rbegin(); it != old_tree.rend(); ++it)
            if (it->second.kind == entry_kind::folder && !new_tree.count(it->first) &&
                !under_changed_folder(old_tree, new_tree, it->first))
                add(KVR_FS_REMOVE_FOLDER, it->first);
    }

    void attributes()
    {
        for (const auto& [path, e] : new_tree) {
            if (e.kind == entry_kind::link) continue;
            auto renamed = renames.find(path);
            const fs_entry* before = renamed != renames.end() ? &old_tree.at(renamed->second)
                                     : added(old_tree, path, e) ? nullptr
                                                                : &old_tree.at(path);
            if (before == nullptr || before->mode != e.mode || before->uid != e.uid || before->gid != e.gid)
                add(KVR_FS_ATTRIBUTES, path, attribute_text(e));
        }
    }
};

} // namespace

std::string attribute_text(const fs_entry& entry)
{
    if (entry.uid > 0xFFFF || entry.gid > 0xFFFF || entry.mode > 0777777)
        throw std::runtime_error("owner or mode does not fit the attribute text");
    char text[40];
    std::snprintf(text, sizeof text, "_engine_%06o:%04x:%04x", unsigned(entry.mode), unsigned(entry.uid),
                  unsigned(entry.gid));
    return text;
}

std::vector<fs_plan_op> plan_fs(const fs_tree& old_tree, const fs_tree& new_tree)
{
    planner p{old_tree, new_tree, {}, {}, {}};
    p.find_renames();
    p.removals_first();
    p.creations();
    p.removals_last();
    p.attributes();
    return p.ops;
}

} // namespace fotapack
