// devsim run ROOT [--power-cut N] [--file-cut N] [--fail-erase N] [--fail-write N] [--time-limit S]
//                [--agent PATH] [--emulator PATH]
#include "agent_programs.h"
#include "commands.h"
#include "device_state.h"
#include "files.h"
#include "paths.h"
#include "status_values.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace devsim {

namespace {

constexpr int kMaxStarts = 16;
const char kOutputFile[] = "sim/agent-output";
const char kClosingMessage[] = "Process (kvr_fota_update)  exist. ";

// The fatal-log message with which each stage begins, and the stage's id.
struct stage_mark {
    const char* message;
    const char* id;
};
const stage_mark kStageMarks[] = {
    {"Start pre update stage.", "9"},       {"Start verify recovery system.", "0"},
    {"Start update Recovery System.", "1"}, {"Start update Normal System.", "2"},
    {"Start post update stage.", "3"},
};

enum class run_end { finished, loop, abnormal };

struct run_totals {
    int starts = 0;
    int power_cuts = 0;
    long peak_resident_kib = 0; // the largest of any start
    run_end end = run_end::finished;
};

std::string stages_in(const std::vector<std::string>& messages)
{
    std::string ids;
    for (const std::string& message : messages)
        for (const stage_mark& mark : kStageMarks)
            if (message == mark.message) ids += std::string(ids.empty() ? "" : " ") + mark.id;
    return ids.empty() ? "none" : ids;
}

bool has_message(const std::vector<std::string>& messages, const std::string& wanted)
{
    for (const std::string& message : messages)
        if (message == wanted) return true;
    return false;
}

// The fault variables given to every start, and the power cuts, given until
// the simulated device has cut the power.
struct faults {
    std::vector<std::string> every_start;
    std::vector<std::string> power_cut;
};

// The device counts the operations of the whole run for its power cuts.
const char kCutScope[] = "KVR_SIM_POWER_CUT_SCOPE=device";
// Every start is a start of the device: no mount of an earlier start is left.
const char kBoot[] = "KVR_SIM_BOOT=1";

faults chosen_faults(const command_words& given)
{
    faults chosen;
    const std::pair<const char*, const char*> options[] = {{"--fail-erase", "KVR_SIM_FAIL_ERASE="},
                                                           {"--fail-write", "KVR_SIM_FAIL_WRITE="}};
    for (const auto& [option, variable] : options)
        if (given.values.count(option))
            chosen.every_start.push_back(variable + std::to_string(parse_count(option, given.values.at(option))));
    const std::pair<const char*, const char*> cuts[] = {{"--power-cut", "KVR_SIM_POWER_CUT="},
                                                        {"--file-cut", "KVR_SIM_FILE_CUT="}};
    for (const auto& [option, variable] : cuts)
        if (given.values.count(option))
            chosen.power_cut.push_back(variable + std::to_string(parse_count(option, given.values.at(option))));
    return chosen;
}

void print_header(const device& dev, const program& agent, const faults& chosen)
{
    const char* engine = std::getenv("KVR_STANDIN_ENGINE");
    std::cout << "device: " << dev.root.string() << "\n"
              << "agent: " << (agent.emulator.empty() ? "" : agent.emulator + " ") << agent.path << "\n"
              << "KVR_STANDIN_ENGINE: " << (engine ? engine : "(unset)") << "\n"
              << "faults:";
    for (const std::string& entry : chosen.every_start) std::cout << " " << entry;
    for (const std::string& entry : chosen.power_cut) std::cout << " " << entry;
    if (!chosen.power_cut.empty()) std::cout << " (until the device cuts the power)";
    if (chosen.every_start.empty() && chosen.power_cut.empty()) std::cout << " none";
    std::cout << "\n";
}

// Runs one start and prints what it did; true when the device starts the
// agent again afterwards.
bool run_start(const device& dev, const program& agent, faults& chosen, run_totals& totals, int time_limit)
{
    ++totals.starts;
    std::vector<std::string> args;
    if (totals.starts == 1) args.push_back("update");
    std::vector<std::string> environment = chosen.every_start;
    environment.insert(environment.end(), chosen.power_cut.begin(), chosen.power_cut.end());
    environment.push_back(kCutScope);
    environment.push_back(kBoot);

    device_state before = read_device_state(dev);
    std::cout << "start " << totals.starts << ": kvr_fota_update" << (args.empty() ? "" : " update") << "\n"
              << "  before: update.flg " << describe_file(before.stage) << ", update status "
              << describe_status(before.status) << "\n";
    process_end end = run_on_device(agent, dev, args, environment, dev.root / kOutputFile, time_limit);
    totals.peak_resident_kib = std::max(totals.peak_resident_kib, end.peak_resident_kib);
    device_state after = read_device_state(dev);
    std::vector<std::string> messages = fatal_messages_since(dev, before.fatal_log_size);
    for (const std::string& message : messages) std::cout << "  log: " << message << "\n";
    std::cout << "  stages run: " << stages_in(messages) << "\n";
    if (after.misc && after.misc != before.misc)
        std::cout << "  FOTA flag record in misc: " << describe_flag_record(*after.misc, false) << "\n";

    if (!end.exited) {
        std::cout << "  end: "
                  << (end.timed_out ? "still running after the time limit, killed"
                                    : "ended by signal " + std::to_string(end.signal))
                  << "\n";
        totals.end = run_end::abnormal;
        return false;
    }
    if (end.status != 0) {
        std::cout << "  end: exit status " << end.status << "\n";
        totals.end = run_end::abnormal;
        return false;
    }
    if (after.restarts > before.restarts) {
        std::cout << "  end: restart requested\n";
        return true;
    }
    if (after.power_cuts > before.power_cuts) {
        ++totals.power_cuts;
        chosen.power_cut.clear();
        std::cout << "  end: power cut by the simulated device; power returns\n";
        return true;
    }
    if (has_message(messages, kClosingMessage)) {
        std::cout << "  end: finished, no restart requested\n";
        return false;
    }
    ++totals.power_cuts;
    if (!after.stage) {
        std::cout << "  end: ended before finishing (power cut), no update.flg left\n";
        return false;
    }
    std::cout << "  end: ended before finishing (power cut), update.flg " << describe_file(after.stage)
              << " left; power returns\n";
    return true;
}

std::string package_fate(const device& dev)
{
    std::optional<std::string> conf = read_file(dev.real(KVR_DELTA_CONF_PATH));
    if (!conf) return "package: no package path file";
    std::string path = conf->substr(0, conf->find_first_of(" \t\n"));
    std::optional<std::string> package = read_file(dev.real(path));
    return "package " + path + ": " + (package ? "present (" + std::to_string(package->size()) + " bytes)" : "deleted");
}

void print_summary(const device& dev, const run_totals& totals, long restarts)
{
    device_state state = read_device_state(dev);
    std::cout << "summary:\n"
              << "  starts " << totals.starts << ", restarts " << restarts << ", power cuts " << totals.power_cuts
              << "\n"
              << "  flash operations " << state.flash_ops << ", file operations " << state.file_ops << "\n"
              << "  peak resident size of a start: " << totals.peak_resident_kib << " KiB\n"
              << "  update status: " << describe_status(state.status) << "\n"
              << "  update.flg: " << describe_file(state.stage) << "\n"
              << "  current_update: " << describe_file(read_file(dev.real(KVR_CURRENT_PART_PATH))) << "\n"
              << "  " << package_fate(dev) << "\n"
              << "  up_result_for_del.flg: " << (read_file(dev.real(KVR_RESULT_FLAG_PATH)) ? "present" : "absent")
              << "\n";
    std::optional<std::string> record_file = read_file(dev.real(KVR_FOTA_FLAG_PATH));
    std::cout << "  FOTA flag record file: " << (record_file ? describe_flag_record(*record_file, false) : "absent")
              << "\n";
    if (state.misc)
        std::cout << "  FOTA flag record in misc (mtd" << dev.number_of("misc")
                  << "): " << describe_flag_record(*state.misc, true) << "\n";
    else
        std::cout << "  FOTA flag record in misc: the device has no \"misc\" partition\n";
    std::cout << "  files left under /cache:\n";
    for (const std::string& file : files_under(dev, "/cache")) std::cout << "    " << file << "\n";
    std::cout << "  agent output: " << (dev.root / kOutputFile).string() << "\n";
}

// Prints the result line; devsim's exit status.
int print_result(const device& dev, const run_totals& totals)
{
    std::optional<std::string> status = read_file(dev.real(KVR_UPDATE_STATUS_PATH));
    std::cout << "result: ";
    if (totals.end == run_end::loop) {
        std::cout << "restart loop: the device still restarts after " << kMaxStarts << " starts\n";
        return 1;
    }
    if (totals.end == run_end::abnormal) {
        std::cout << "the agent ended abnormally\n";
        return 1;
    }
    if (status_is(status, KVR_STATUS_SUCCESS)) {
        std::cout << "update finished successfully\n";
        return 0;
    }
    bool failed = status_is(status, KVR_STATUS_FAILED);
    std::cout << (failed ? "update failed" : "update did not finish (update status " + describe_status(status) + ")")
              << "\n";
    return 1;
}

} // namespace

std::string run_help()
{
    return std::string("usage: devsim run ROOT [--power-cut N] [--file-cut N] [--fail-erase N]\n"
                       "                 [--fail-write N] [--time-limit S] [--agent PATH]\n"
                       "                 [--emulator PATH]\n"
                       "\n"
                       "Runs the update on the device as the device does: kvr_fota_update \"update\",\n"
                       "then once without arguments after every restart it asks for (as the device's\n"
                       "start-up does) and after a start that ended before finishing while\n"
                       KVR_STAGE_PATH " remains (power returned after a cut).\n"
                       "At most ") +
           std::to_string(kMaxStarts) +
           " starts; a device that still restarts then is reported as a restart\n"
           "loop. A start that runs longer than S seconds (--time-limit, default " +
           std::to_string(kStartTimeLimitSeconds) +
           ")\nis killed.\n"
           "\n"
           "Prints per start the stage file and update status before it, the fatal-log\n"
           "messages it wrote, the stages it ran, the FOTA flag record it wrote to \"misc\"\n"
           "and how it ended; then a summary: starts, restarts, power cuts, the flash and\n"
           "file operations of the whole run, the peak resident size of a start\n"
           "(of the emulator, for a foreign build), update status,\n"
           "update.flg, current_update, the package, up_result_for_del.flg, the FOTA flag\n"
           "record (file and \"misc\") and the files left under /cache. The agent's\n"
           "standard output and error are appended to ROOT/sim/agent-output.\n"
           "\n"
           "A start that ends before finishing is a power cut: when the simulated device\n"
           "cut it (ROOT/sim/power_cuts), or when it left update.flg behind without its\n"
           "closing log line, power returns and the agent is started again.\n"
           "\n"
           "Faults of the simulated device, given to the agent as environment variables.\n"
           "Every start gets KVR_SIM_BOOT=1 (mounts of earlier starts are gone, as after a\n"
           "restart or a power cut) and KVR_SIM_POWER_CUT_SCOPE=device: the device counts the flash\n"
           "and file operations for power cuts across all the starts of this run, from 1\n"
           "(devsim run empties ROOT/sim/flash_ops and ROOT/sim/file_ops first), so that a\n"
           "cut can fall in any start; the failures count from 1 in each start:\n"
           "  --power-cut N   KVR_SIM_POWER_CUT=N: power is cut at the Nth flash operation\n"
           "                  of the run (erase or write; a torn operation, then the agent\n"
           "                  ends)\n"
           "  --file-cut N    KVR_SIM_FILE_CUT=N: power is cut before the Nth file\n"
           "                  operation of the run (an open that creates, truncates or\n"
           "                  appends, rename, unlink, mkdir, rmdir, symlink, chmod,\n"
           "                  chown; see agent/os/sim/sim_fault.h)\n"
           "                  both given to every start until the device has cut the power\n"
           "  --fail-erase N  KVR_SIM_FAIL_ERASE=N: the Nth erase fails; every start\n"
           "  --fail-write N  KVR_SIM_FAIL_WRITE=N: the Nth write fails; every start\n"
           "Other KVR_SIM_ variables of devsim's environment are not passed on.\n"
           "KVR_STANDIN_ENGINE (pass, fail:NAME[:MODE], cut:NAME[:MODE]) is passed on to\n"
           "every start from devsim's environment; until the engine lands it decides each\n"
           "partition's outcome, and an unset value fails every partition.\n"
           "\n"
           "  --agent PATH     the sim agent (default:\n"
           "                   " +
           kDefaultAgent +
           ")\n"
           "  --emulator PATH  run it under this emulator (for a foreign build)\n"
           "\n"
           "Exit status: 0 when the update finished successfully (update status 0),\n"
           "1 when it failed, did not finish, looped or the agent ended abnormally.\n";
}

int run_command(const std::vector<std::string>& words)
{
    command_words given =
        read_command_words(words, {1,
                                   {"--power-cut", "--file-cut", "--fail-erase", "--fail-write", "--time-limit",
                                    "--agent", "--emulator"},
                                   {}});
    faults chosen = chosen_faults(given);
    int time_limit = given.values.count("--time-limit")
                         ? static_cast<int>(parse_count("--time-limit", given.values.at("--time-limit")))
                         : kStartTimeLimitSeconds;
    device dev = open_device(given.operands[0]);
    for (const char* count : {"sim/flash_ops", "sim/file_ops"}) std::filesystem::remove(dev.root / count);
    program agent = chosen_program(given, "--agent", kDefaultAgent);
    print_header(dev, agent, chosen);
    run_totals totals;
    long restarts_before = read_device_state(dev).restarts;
    bool again = true;
    while (again && totals.starts < kMaxStarts) again = run_start(dev, agent, chosen, totals, time_limit);
    if (again) totals.end = run_end::loop;
    print_summary(dev, totals, read_device_state(dev).restarts - restarts_before);
    return print_result(dev, totals);
}

} // namespace devsim
