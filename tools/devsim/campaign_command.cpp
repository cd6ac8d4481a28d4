// devsim campaign LAYOUT PACKAGE EXPECTED [--step K] [--file-step K] [--time-limit S]
//                 [--work DIR] [--require-target] [--agent PATH] [--register PATH] [--emulator PATH]
//                 [--trust PUBLIC]
#include "campaign_check.h"
#include "command_line.h"
#include "commands.h"
#include "device_state.h"
#include "files.h"
#include "folder_snapshot.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace devsim {

namespace fs = std::filesystem;

namespace {

constexpr int kDefaultRunSeconds = 120;
constexpr int kKeptBadRuns = 3;

struct campaign_setup {
    fs::path layout_file;
    fs::path package;
    fs::path work;
    std::vector<std::string> init_options;     // passed to devsim init
    std::vector<std::string> register_options; // passed to devsim register
    std::vector<std::string> run_options;      // passed to every devsim run
    std::vector<checked_partition> checked;
};

// Runs a devsim command in this process with its report written to report;
// its exit status (1 with the text when it throws).
int run_quietly(int (*command)(const std::vector<std::string>&), const std::vector<std::string>& words,
                std::ostream& report)
{
    std::streambuf* saved = std::cout.rdbuf(report.rdbuf());
    int status = 1;
    try {
        status = command(words);
    } catch (const std::exception& failure) {
        report << "devsim: " << failure.what() << "\n";
    }
    std::cout.rdbuf(saved);
    return status;
}

struct run_record {
    run_verdict verdict;
    long flash_ops = 0;
    long file_ops = 0;
};

// Makes a fresh device from the layout in WORK/device.
fs::path fresh_device(const campaign_setup& setup, std::ostream& report)
{
    fs::path root = setup.work / "device";
    fs::remove_all(root);
    std::vector<std::string> words = {root.string(), "--layout", setup.layout_file.string()};
    words.insert(words.end(), setup.init_options.begin(), setup.init_options.end());
    if (run_quietly(init_command, words, report) != 0)
        throw error("devsim init failed; see devsim init --layout " + setup.layout_file.string());
    return root;
}

// Makes a fresh device, registers the package and runs the update with the
// cut options; judges where it ended.
run_record one_run(const campaign_setup& setup, const std::vector<std::string>& cut)
{
    std::ostringstream report;
    fs::path root = fresh_device(setup, report);
    std::vector<std::string> words = {root.string(), setup.package.string()};
    words.insert(words.end(), setup.register_options.begin(), setup.register_options.end());
    if (run_quietly(register_command, words, report) != 0) throw error("devsim register failed: " + report.str());
    words = {root.string()};
    words.insert(words.end(), setup.run_options.begin(), setup.run_options.end());
    words.insert(words.end(), cut.begin(), cut.end());
    int status = run_quietly(run_command, words, report);
    write_file(root / "sim/campaign-report", report.str());
    device dev = open_device(root);
    device_state state = read_device_state(dev);
    return {judge_run(dev, setup.checked, status, report.str(), !cut.empty()), state.flash_ops, state.file_ops};
}

// The expected partitions: one entry per partition in the folder, named as
// the partition (a file with the new image, or for a file-system partition a
// folder with its new files), its source read from a fresh device.
std::vector<checked_partition> read_checked(const fs::path& expected, const campaign_setup& setup)
{
    std::ostringstream report;
    device dev = open_device(fresh_device(setup, report));
    std::vector<checked_partition> checked;
    for (const fs::directory_entry& entry : fs::directory_iterator(expected)) {
        std::string name = entry.path().filename().string();
        int number = dev.number_of(name);
        if (number < 0) throw error(entry.path().string() + ": the device has no partition \"" + name + "\"");
        bool folder = !dev.partitions[static_cast<size_t>(number)].mount.empty();
        if (folder != entry.is_directory())
            throw error(entry.path().string() + ": " + name + (folder ? " is a file-system partition; give a folder"
                                                                       : " is an image partition; give a file"));
        std::optional<std::string> target = folder ? folder_snapshot(entry.path()) : read_file(entry.path());
        std::optional<std::string> source = folder ? folder_snapshot(dev.file_system(number)) : read_file(dev.flash(number));
        if (!target || !source) throw error("cannot read " + entry.path().string() + " or the device's " + name);
        checked.push_back({name, *source, *target, folder});
    }
    if (checked.empty()) throw error(expected.string() + " names no partition to check");
    return checked;
}

struct tally {
    long tried = 0;
    long reached = 0;
    long failed_cleanly = 0;
    long not_started = 0;
    long bad = 0;
};

// Runs the cuts of one kind (option --power-cut or --file-cut) at 1, 1+step,
// ... up to total; prints each, keeps the first bad devices.
tally cut_series(const campaign_setup& setup, const std::string& kind, const std::string& option, long total,
                 long step, int& kept)
{
    tally counts;
    for (long n = 1; n <= total; n += step) {
        run_record record = one_run(setup, {option, std::to_string(n)});
        ++counts.tried;
        const char* word = "target reached";
        if (record.verdict.outcome == run_outcome::target_reached) ++counts.reached;
        if (record.verdict.outcome == run_outcome::failed_cleanly) {
            ++counts.failed_cleanly;
            word = "failed cleanly";
        }
        if (record.verdict.outcome == run_outcome::not_started) {
            ++counts.not_started;
            word = "not started";
        }
        if (record.verdict.outcome == run_outcome::bad) {
            ++counts.bad;
            word = "BAD";
        }
        std::cout << kind << " cut " << n << ": " << word << " (" << record.verdict.detail << ")\n";
        if (record.verdict.outcome == run_outcome::bad && kept < kKeptBadRuns) {
            fs::path keep = setup.work / (kind + "-cut-" + std::to_string(n));
            fs::remove_all(keep);
            fs::rename(setup.work / "device", keep);
            std::cout << "  device kept in " << keep.string() << "\n";
            ++kept;
        }
    }
    return counts;
}

void print_tally(const std::string& kind, const tally& counts, long total, long step)
{
    std::cout << "  " << kind << " cuts tried " << counts.tried << " (operations 1.." << total << ", step " << step
              << "): target reached " << counts.reached << ", failed cleanly " << counts.failed_cleanly
              << ", not started " << counts.not_started << ", bad " << counts.bad << "\n";
}

campaign_setup read_setup(const command_words& given)
{
    campaign_setup setup;
    setup.layout_file = fs::absolute(given.operands[0]);
    setup.package = fs::absolute(given.operands[1]);
    if (given.values.count("--work")) {
        setup.work = fs::absolute(given.values.at("--work"));
        fs::create_directories(setup.work);
    } else {
        std::string pattern = (fs::temp_directory_path() / "devsim-campaign-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw error("cannot make a folder for the campaign");
        setup.work = pattern;
    }
    if (given.values.count("--trust"))
        setup.init_options = {"--trust", fs::absolute(given.values.at("--trust")).string()};
    for (const char* option : {"--register", "--emulator"})
        if (given.values.count(option)) setup.register_options.insert(setup.register_options.end(),
                                                                      {option, given.values.at(option)});
    for (const char* option : {"--agent", "--emulator"})
        if (given.values.count(option))
            setup.run_options.insert(setup.run_options.end(), {option, given.values.at(option)});
    setup.run_options.insert(setup.run_options.end(),
                             {"--time-limit", given.value_or("--time-limit", std::to_string(kDefaultRunSeconds))});
    setup.checked = read_checked(fs::absolute(given.operands[2]), setup);
    return setup;
}

} // namespace

std::string campaign_help()
{
    return "usage: devsim campaign LAYOUT PACKAGE EXPECTED [--step K] [--file-step K]\n"
           "                       [--time-limit S] [--work DIR] [--require-target]\n"
           "                       [--agent PATH] [--register PATH] [--emulator PATH]\n"
           "                       [--trust PUBLIC]\n"
           "\n"
           "A power-cut campaign of the update. Every run makes a fresh device from the\n"
           "layout file LAYOUT (as devsim init --layout), registers PACKAGE (as devsim\n"
           "register) and runs the update through its restarts (as devsim run).\n"
           "EXPECTED is a folder with one entry per partition to check, named as the\n"
           "partition: a file holding the new image of an image partition, or a\n"
           "folder holding the new files of a file-system partition (compared with\n"
           "modes, owners and links).\n"
           "\n"
           "First the update runs without cuts; it must reach the target, and it gives\n"
           "T flash operations and F file operations. Then one run per cut: with\n"
           "--power-cut N for N = 1, 1+K, ... up to T, then with --file-cut N for\n"
           "N = 1, 1+K', ... up to F (see devsim run --help; the operations are counted\n"
           "across the starts of the run).\n"
           "\n"
           "Each run ends as one of:\n"
           "  target reached  update status 0, every checked partition holds its new\n"
           "                  image followed by erased flash\n"
           "  failed cleanly  update status 1, every checked partition holds either its\n"
           "                  whole old flash or its new image\n"
           "  not started     the cut came before the update began: no update.flg, the\n"
           "                  package and its path kept, the status neither 0 nor 1,\n"
           "                  every checked partition on its old flash\n"
           "  BAD             anything else: a partition on neither (a mixture), a\n"
           "                  restart loop, an abnormal end, a run the cut didn't reach\n"
           "Prints one line per run and the counts; the devices of the first 3 bad runs\n"
           "are kept in the work folder.\n"
           "\n"
           "  --step K          every Kth flash operation (default 1)\n"
           "  --file-step K     every Kth file operation (default: K of --step)\n"
           "  --time-limit S    each start of the agent runs at most S seconds (default " +
           std::to_string(kDefaultRunSeconds) +
           "),\n"
           "                    so a run, at most 16 starts, is bounded\n"
           "  --work DIR        the folder for the runs (default: a new temporary folder,\n"
           "                    removed at the end unless a device was kept)\n"
           "  --require-target  a run that failed cleanly or did not start counts as bad\n"
           "  --agent PATH, --register PATH, --emulator PATH  as for run and register\n"
           "  --trust PUBLIC    as for init: the devices trust this public key file\n"
           "\n"
           "Exit status: 0 when no run was bad (every run reached the target, with\n"
           "--require-target), 1 otherwise.\n";
}

int campaign_command(const std::vector<std::string>& words)
{
    command_words given = read_command_words(
        words, {3,
                {"--step", "--file-step", "--time-limit", "--work", "--agent", "--register", "--emulator", "--trust"},
                {"--require-target"}});
    long step = parse_count("--step", given.value_or("--step", "1"));
    long file_step = parse_count("--file-step", given.value_or("--file-step", std::to_string(step)));
    if (given.values.count("--time-limit")) parse_count("--time-limit", given.values.at("--time-limit"));
    const auto started = std::chrono::steady_clock::now();
    campaign_setup setup = read_setup(given);
    std::cout << "campaign: layout " << setup.layout_file.string() << ", package " << setup.package.string()
              << "\n  partitions checked:";
    for (const checked_partition& part : setup.checked) std::cout << " " << part.name;
    std::cout << "\n  work folder: " << setup.work.string() << "\n";

    run_record baseline = one_run(setup, {});
    std::cout << "without cuts: " << baseline.verdict.detail << "; flash operations " << baseline.flash_ops
              << ", file operations " << baseline.file_ops << "\n";
    if (baseline.verdict.outcome != run_outcome::target_reached)
        throw error("the update without cuts did not reach the target; device in " +
                    (setup.work / "device").string());
    int kept = 0;
    tally flash = cut_series(setup, "flash", "--power-cut", baseline.flash_ops, step, kept);
    tally file = cut_series(setup, "file", "--file-cut", baseline.file_ops, file_step, kept);
    fs::remove_all(setup.work / "device");
    if (kept == 0 && !given.values.count("--work")) fs::remove_all(setup.work);

    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "summary:\n";
    print_tally("flash", flash, baseline.flash_ops, step);
    print_tally("file", file, baseline.file_ops, file_step);
    std::cout << "  time " << static_cast<long>(seconds + 0.5) << " s\n";
    long bad = flash.bad + file.bad;
    if (given.switches.count("--require-target"))
        bad += flash.failed_cleanly + file.failed_cleanly + flash.not_started + file.not_started;
    std::cout << "result: " << (bad == 0 ? "no bad outcome" : std::to_string(bad) + " bad outcomes") << "\n";
    return bad == 0 ? 0 : 1;
}

} // namespace devsim
