// devsim init ROOT [--layout FILE] [--agent-log] [--trust PUBLIC]
#include "command_line.h"
#include "commands.h"
#include "default_layout.h"
#include "device_root.h"
#include "files.h"
#include "key_text.h"
#include "paths.h"

#include <cstdio>
#include <iostream>

namespace devsim {

namespace fs = std::filesystem;

namespace {

std::string describe(const layout_partition& part)
{
    if (!part.image.empty()) return "flash from image " + part.image;
    if (part.mount.empty()) return "flash erased";
    return "file system mounted at " + part.mount + (part.folder.empty() ? "" : ", files from " + part.folder);
}

// Puts the public key file into the device's trusted keys, as the key file
// of its name.
void trust_key(const device& made, const fs::path& key_file)
{
    std::optional<std::string> text = read_file(key_file);
    uint8_t key[KVR_PUBLIC_KEY_SIZE];
    if (!text || !kvr_parse_key(KVR_KEY_PUBLIC, text->data(), text->size(), key))
        throw error(key_file.string() + " is not a public key file of fotapack keygen");
    fs::path folder = made.real(KVR_SIM_TRUSTED_KEYS_DIR);
    fs::create_directories(folder);
    write_file(folder / key_file.filename(), *text);
}

} // namespace

std::string init_help()
{
    return "usage: devsim init ROOT [--layout FILE] [--agent-log] [--trust PUBLIC]\n"
           "\n"
           "Makes a simulated device in the folder ROOT (absent or empty) for the sim\n"
           "build of kvr_fota_update:\n"
           "  ROOT/proc/mtd                   the partitions: mtdN: SIZE ERASESIZE \"NAME\"\n"
           "  ROOT/dev/mtd/mtdN               the flash of partition N: its image, erased\n"
           "                                  (0xFF) after it, or erased all through\n"
           "  ROOT/sys/class/mtd/mtdN/writesize, oobsize   its page and spare sizes\n"
           "  ROOT/sim/yaffs2/mtdN            the files of file-system partition N, where\n"
           "                                  the simulated device mounts them from\n"
           "  ROOT/<mount path>               a link to them: the partition as mounted on\n"
           "                                  the running device\n"
           "  ROOT/cache                      always there; the agent keeps its state here\n"
           "  ROOT/sim/layout                 the layout, for devsim run and dump\n"
           "\n"
           "  --layout FILE  the partitions, one per line (below); default: the layout below\n"
           "  --agent-log    also make " KVR_LOG_FLAG_PATH ", so that the agent writes\n"
           "                 its agent log " KVR_LOG_PATH "\n"
           "  --trust PUBLIC the device trusts packages signed with the key of the public\n"
           "                 key file PUBLIC (fotapack keygen): it is copied into " +
           std::string(KVR_SIM_TRUSTED_KEYS_DIR) +
           ";\n"
           "                 without it the device refuses every package\n"
           "\n"
           "Layout file, one partition per line, in MTD order (the first line is mtd0):\n"
           "  NAME SIZE ERASESIZE WRITESIZE [oob=N] [image=FILE] [mount=PATH [folder=DIR]]\n"
           "Blank lines and lines starting with '#' are ignored. NAME: 1 to 31 of\n"
           "A-Z a-z 0-9 _ . -. Numbers: decimal or 0x-hexadecimal, optionally with K or M.\n"
           "WRITESIZE (the page) is a power of two up to 64K, ERASESIZE a multiple of it,\n"
           "SIZE a multiple of ERASESIZE, at most 256M (1G for all partitions together).\n"
           "oob: spare bytes per page (default 64). image=FILE: the flash starts with the\n"
           "bytes of FILE. mount=PATH: a file-system partition, mounted at the device\n"
           "folder PATH (not under /proc, /dev, /sys or /sim, not inside another\n"
           "mount); folder=DIR: its files are copied from the host folder DIR. FILE and\n"
           "DIR are relative to the layout file's folder. At most 32 partitions.\n"
           "\n"
           "Default layout:\n" +
           format_layout(default_layout());
}

int init_command(const std::vector<std::string>& words)
{
    command_words given = read_command_words(words, {1, {"--layout", "--trust"}, {"--agent-log"}});
    layout partitions = default_layout();
    fs::path source_folder = fs::current_path();
    if (given.values.count("--layout")) {
        fs::path file = fs::absolute(given.values.at("--layout"));
        std::optional<std::string> text = read_file(file);
        if (!text) throw error("cannot read the layout file " + file.string());
        std::string problem;
        if (!parse_layout(*text, partitions, problem)) throw error(file.string() + ": " + problem);
        source_folder = file.parent_path();
    }
    device made = create_device(given.operands[0], partitions, source_folder, given.switches.count("--agent-log") > 0);
    if (given.values.count("--trust")) trust_key(made, fs::absolute(given.values.at("--trust")));
    std::cout << "simulated device " << made.root.string() << "\n";
    for (size_t i = 0; i < partitions.size(); ++i) {
        const layout_partition& part = partitions[i];
        char line[160];
        std::snprintf(line, sizeof line, "  mtd%-2zu %-20s size 0x%08x erase 0x%x page %u oob %u  ", i,
                      part.name.c_str(), part.size, part.erasesize, part.writesize, part.oobsize);
        std::cout << line << describe(part) << "\n";
    }
    return 0;
}

} // namespace devsim
