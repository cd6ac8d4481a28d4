// devsim dump ROOT PARTITION OUT
#include "command_line.h"
#include "commands.h"
#include "device_root.h"
#include "files.h"

#include <iostream>

namespace devsim {

namespace fs = std::filesystem;

std::string dump_help()
{
    return "usage: devsim dump ROOT PARTITION OUT\n"
           "\n"
           "Writes the flash of PARTITION, its whole size as the device holds it, to the\n"
           "file OUT (made or replaced); for a file-system partition (mount= in the\n"
           "layout) copies its files (ROOT/sim/yaffs2/mtdN), links kept as links, to the\n"
           "new folder OUT.\n";
}

int dump_command(const std::vector<std::string>& words)
{
    command_words given = read_command_words(words, {3, {}, {}});
    device dev = open_device(given.operands[0]);
    const std::string& name = given.operands[1];
    fs::path out = given.operands[2];
    int number = dev.number_of(name);
    if (number < 0) throw error("the device has no partition \"" + name + "\"");
    const layout_partition& part = dev.partitions[static_cast<size_t>(number)];
    if (!part.mount.empty()) {
        if (fs::exists(fs::symlink_status(out)))
            throw error(out.string() + " exists; a folder dump needs a new folder");
        fs::create_directories(out);
        fs::copy(dev.file_system(number), out, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        std::cout << "files of " << name << " (mounted at " << part.mount << ") copied to " << out.string() << "\n";
        return 0;
    }
    std::optional<std::string> flash = read_file(dev.flash(number));
    if (!flash) throw error("cannot read the flash of " + name + " (" + dev.flash(number).string() + ")");
    if (fs::is_directory(out)) throw error(out.string() + " is a folder");
    write_file(out, *flash);
    std::cout << "flash of " << name << " (mtd" << number << ", " << flash->size() << " bytes) written to "
              << out.string() << "\n";
    return 0;
}

} // namespace devsim
