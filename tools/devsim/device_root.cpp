#include "device_root.h"

#include "files.h"
#include "paths.h"

#include <cstdio>

namespace devsim {

namespace fs = std::filesystem;

namespace {

const char kLayoutFile[] = "sim/layout";

std::string proc_mtd(const layout& partitions)
{
    std::string text = "dev:    size   erasesize  name\n";
    for (size_t i = 0; i < partitions.size(); ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "mtd%zu: %08x %08x \"%s\"\n", i, partitions[i].size, partitions[i].erasesize,
                      partitions[i].name.c_str());
        text += line;
    }
    return text;
}

std::string flash_content(const layout_partition& part, const fs::path& source_folder)
{
    if (part.image.empty()) return std::string(part.size, '\xFF');
    fs::path image = source_folder / part.image;
    std::optional<std::string> bytes = read_file(image);
    if (!bytes) throw error("cannot read image " + image.string() + " of partition " + part.name);
    if (bytes->size() > part.size)
        throw error("image " + image.string() + " (" + std::to_string(bytes->size()) +
                    " bytes) is larger than partition " + part.name + " (" + std::to_string(part.size) + " bytes)");
    bytes->resize(part.size, '\xFF');
    return *bytes;
}

// The partition's file system with the files of its folder=, mounted at
// its mount path.
void make_file_system(const device& made, int number, const fs::path& source_folder)
{
    const layout_partition& part = made.partitions[static_cast<size_t>(number)];
    fs::path files = made.file_system(number);
    fs::create_directories(files);
    if (!part.folder.empty()) {
        fs::path source = source_folder / part.folder;
        if (!fs::is_directory(source))
            throw error("folder " + source.string() + " of partition " + part.name + " is not a folder");
        fs::copy(source, files, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::path mount = made.real(part.mount);
    fs::create_directories(mount.parent_path());
    fs::create_directory_symlink(files, mount);
}

void make_empty_root(const fs::path& root)
{
    std::error_code failed;
    if (fs::exists(root) && !(fs::is_directory(root) && fs::is_empty(root)))
        throw error(root.string() + " exists and is not an empty folder");
    if (!fs::create_directories(root, failed) && failed)
        throw error("cannot create " + root.string() + ": " + failed.message());
}

} // namespace

int device::number_of(const std::string& name) const
{
    for (size_t i = 0; i < partitions.size(); ++i)
        if (partitions[i].name == name) return static_cast<int>(i);
    return -1;
}

fs::path device::flash(int number) const
{
    return root / "dev/mtd" / ("mtd" + std::to_string(number));
}

fs::path device::file_system(int number) const
{
    return root / "sim/yaffs2" / ("mtd" + std::to_string(number));
}

fs::path device::real(const std::string& device_path) const
{
    return root / fs::path(device_path).relative_path();
}

device create_device(const fs::path& root, const layout& partitions, const fs::path& source_folder, bool agent_log)
{
    make_empty_root(root);
    device made{fs::canonical(root), partitions};
    for (const char* folder : {"proc", "dev/mtd", "sim"}) fs::create_directories(made.root / folder);
    write_file(made.root / "proc/mtd", proc_mtd(partitions));
    for (size_t i = 0; i < partitions.size(); ++i) {
        const layout_partition& part = partitions[i];
        int number = static_cast<int>(i);
        write_file(made.flash(number), flash_content(part, source_folder));
        fs::path sysfs = made.root / "sys/class/mtd" / ("mtd" + std::to_string(number));
        fs::create_directories(sysfs);
        write_file(sysfs / "writesize", std::to_string(part.writesize) + "\n");
        write_file(sysfs / "oobsize", std::to_string(part.oobsize) + "\n");
        if (!part.mount.empty()) make_file_system(made, number, source_folder);
    }
    fs::create_directories(made.real("/cache"));
    if (agent_log) {
        fs::path flag = made.real(KVR_LOG_FLAG_PATH);
        fs::create_directories(flag.parent_path());
        fs::permissions(flag.parent_path(), fs::perms::owner_all);
        write_file(flag, "");
    }
    layout kept = partitions;
    for (layout_partition& part : kept) {
        part.image.clear();
        part.folder.clear();
    }
    write_file(made.root / kLayoutFile, format_layout(kept));
    return made;
}

device open_device(const fs::path& root)
{
    std::error_code failed;
    fs::path absolute = fs::canonical(root, failed);
    std::optional<std::string> text = failed ? std::nullopt : read_file(absolute / kLayoutFile);
    if (!text) throw error(root.string() + " is not a simulated device made by devsim init (no " + kLayoutFile + ")");
    device opened{absolute, {}};
    std::string problem;
    if (!parse_layout(*text, opened.partitions, problem))
        throw error((absolute / kLayoutFile).string() + ": " + problem);
    return opened;
}

} // namespace devsim
