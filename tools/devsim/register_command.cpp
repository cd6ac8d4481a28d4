// devsim register ROOT PACKAGE [--unchecked] [--register PATH] [--emulator PATH]
#include "agent_programs.h"
#include "commands.h"
#include "device_state.h"
#include "files.h"
#include "paths.h"
#include "status_values.h"

#include <iostream>

namespace devsim {

namespace fs = std::filesystem;

namespace {

const char kDevicePackage[] = "/cache/update.pkg";

// What kvr_dua_verify_delta leaves, without its header and signature check: the work
// folders (0700), status 6 and the package path.
void register_unchecked(const device& dev)
{
    for (const char* folder : {KVR_FOTA_DIR, KVR_DUA_DIR}) {
        fs::create_directories(dev.real(folder));
        fs::permissions(dev.real(folder), fs::perms::owner_all);
    }
    write_file(dev.real(KVR_UPDATE_STATUS_PATH), std::to_string(KVR_STATUS_REGISTERED));
    write_file(dev.real(KVR_DELTA_CONF_PATH), kDevicePackage);
}

} // namespace

std::string register_help()
{
    return std::string("usage: devsim register ROOT PACKAGE [--unchecked] [--register PATH] [--emulator PATH]\n"
                       "\n"
                       "Copies the host file PACKAGE into the device as ") +
           kDevicePackage +
           " and registers it\n"
           "as the device's software does: runs kvr_fota_register_sim " +
           kDevicePackage +
           ",\n"
           "which checks the package header and its signature against the device's\n"
           "trusted keys (devsim init --trust), stores the path in\n" KVR_DELTA_CONF_PATH
           " and sets the update status to 6,\n"
           "then to 9 (update under way). A package whose header is wrong, or that is\n"
           "not signed by a trusted key, is refused: status 7, exit status 1.\n"
           "\n"
           "  --unchecked      skip the register program and its checks: make the\n"
           "                   work folders and write status 6 and the path file as the\n"
           "                   agent's status store writes them\n"
           "  --register PATH  the register program (default:\n"
           "                   " +
           kDefaultRegister +
           ")\n"
           "  --emulator PATH  run it under this emulator (for a foreign build)\n";
}

int register_command(const std::vector<std::string>& words)
{
    command_words given = read_command_words(words, {2, {"--register", "--emulator"}, {"--unchecked"}});
    device dev = open_device(given.operands[0]);
    std::optional<std::string> package = read_file(given.operands[1]);
    if (!package) throw error("cannot read the package " + given.operands[1]);
    write_file(dev.real(kDevicePackage), *package);
    int result = 0;
    if (given.switches.count("--unchecked")) {
        register_unchecked(dev);
    } else {
        process_end end =
            run_on_device(chosen_program(given, "--register", kDefaultRegister), dev, {kDevicePackage}, {}, {});
        result = end.exited && end.status == 0 ? 0 : 1;
    }
    std::cout << (result == 0 ? "registered " : "refused ") << kDevicePackage << " (" << package->size()
              << " bytes): update status " << describe_status(read_file(dev.real(KVR_UPDATE_STATUS_PATH)))
              << ", package path file " << describe_file(read_file(dev.real(KVR_DELTA_CONF_PATH))) << "\n";
    return result;
}

} // namespace devsim
