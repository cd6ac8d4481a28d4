// Delta sizes and times on real image pairs: ours (in place, 128 KiB erase
// blocks; with the code transform fotapack chose, and without one) against
// bsdiff and xdelta3 -9, run as processes in the same run; apply on the
// in-memory partition with its peak heap and flash writes. The ARM pairs
// (ARM code: the armhf, arm64 and armmp pairs and the Cortex-M firmware)
// get their own geometric mean.
// Usage: delta_bench [SHIPPED-PAIRS-DIR [MADE-PAIRS-DIR]]; the made pairs
// (bench/make_pairs.sh) are folders holding "old" and "new", and, for a
// file-system delta, folder trees "old-tree" and "new-tree" (measured against
// the peers' deltas of the images "old" and "new").
#include "code_transform.h"
#include "file_io.h"
#include "fs_test_support.h"
#include "image_delta.h"
#include "mem_flash.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr uint32_t kBlock = 128 * 1024;
constexpr uint32_t kPage = 2048;

struct pair_files {
    std::string old_file;
    std::string new_file;
};

const pair_files kShippedPairs[] = {
    {"micropython-esp8266/esp8266-20180511-v1.9.4.bin", "micropython-esp8266/esp8266-20190125-v1.10.bin"},
    {"micropython-pybv11/firmware1-v1.10.bin", "micropython-pybv11/firmware1-1f5d945af.bin"},
    {"openssl-armhf/libcrypto.so.3-3.0.20", "openssl-armhf/libcrypto.so.3-3.0.22"},
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Size of the peer's delta, or 0 when the peer failed.
uintmax_t peer_size(const std::string& command, const std::string& out)
{
    std::filesystem::remove(out);
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0 || !std::filesystem::exists(out)) return 0;
    return std::filesystem::file_size(out);
}

// By the pair's folder: the shipped Cortex-M firmware and armhf library,
// the made armhf, arm64 and armmp pairs.
bool is_arm_pair(const std::string& new_path)
{
    for (const char* mark : {"arm", "pybv11"})
        if (new_path.find(mark) != std::string::npos) return true;
    return false;
}

double percent(uintmax_t part, size_t whole)
{
    return 100.0 * double(part) / double(whole);
}

// A file-system delta between the pair's folder trees, applied in place to
// a copy of the old tree; the peers' deltas of the pair's images for scale.
void measure_fs_pair(const std::string& dir, const std::string& tmp)
{
    auto start = std::chrono::steady_clock::now();
    fs_test::fs_device device = fs_test::make_device(dir + "/old-tree", dir + "/new-tree", tmp + "/fs");
    double generate = seconds_since(start);
    uint32_t checked = device.run(true);
    start = std::chrono::steady_clock::now();
    uint32_t result = checked == 0 ? device.run(false) : checked;
    double apply = seconds_since(start);
    bool exact = result == 0 && fs_test::tree_difference(device.mount, dir + "/new-tree").empty();
    uintmax_t image = std::filesystem::file_size(dir + "/new");
    uintmax_t bsdiff = peer_size("bsdiff '" + dir + "/old' '" + dir + "/new' '" + tmp + "/b'", tmp + "/b");
    uintmax_t xdelta = peer_size("xdelta3 -9 -f -e -s '" + dir + "/old' '" + dir + "/new' '" + tmp + "/x'", tmp + "/x");
    size_t size = device.flash.delta.size();
    std::printf("file-system delta %s (folder trees; peers on the tar images of %ju bytes):\n"
                "  ours %zu (%5.2f%%), bsdiff %ju, xdelta3 -9 %ju; /bsdiff %.3f /xdelta %.3f; gen %.2f s, apply %.2f s, "
                "peak heap %u%s\n",
                std::filesystem::path(dir).filename().c_str(), image, size, percent(size, size_t(image)), bsdiff, xdelta,
                bsdiff ? double(size) / double(bsdiff) : 0.0, xdelta ? double(size) / double(xdelta) : 0.0, generate,
                apply, traced_heap_peak(device.flash), exact ? "" : "  APPLY FAILED");
    std::filesystem::remove_all(tmp + "/fs");
}

} // namespace

int main(int argc, char** argv)
{
    std::string data = argc > 1 ? argv[1] : BENCH_DATA_DIR;
    std::string made = argc > 2 ? argv[2] : BENCH_PAIRS_DIR;
    std::vector<pair_files> pairs_to_run;
    for (const pair_files& p : kShippedPairs) pairs_to_run.push_back({data + "/" + p.old_file, data + "/" + p.new_file});
    size_t shipped = pairs_to_run.size();
    std::vector<std::string> made_pairs;
    if (std::filesystem::is_directory(made))
        for (const auto& entry : std::filesystem::directory_iterator(made))
            if (std::filesystem::exists(entry.path() / "old") && std::filesystem::exists(entry.path() / "new"))
                made_pairs.push_back(entry.path().string());
    std::sort(made_pairs.begin(), made_pairs.end());
    for (const std::string& dir : made_pairs) pairs_to_run.push_back({dir + "/old", dir + "/new"});
    std::string tmp = std::filesystem::temp_directory_path().string() + "/delta_bench." + std::to_string(getpid());
    std::filesystem::create_directories(tmp);
    std::printf("erase block %u bytes, page %u bytes; sizes in bytes (%% of the new image)\n", kBlock, kPage);
    std::printf("%-26s %10s %18s %7s %9s %18s %18s %7s %7s %6s %6s %9s %8s %8s\n", "pair (new image)", "new", "ours",
                "code", "no code", "bsdiff", "xdelta3 -9", "/bsdiff", "/xdelta", "gen s", "apply s", "peak heap", "erases",
                "programs");
    double log_sum = 0, shipped_log_sum = 0, worst = 0, arm_log_sum = 0, arm_worst = 0;
    int pairs = 0, arm_pairs = 0;
    for (size_t n = 0; n < pairs_to_run.size(); ++n) {
        const std::string& old_path = pairs_to_run[n].old_file;
        const std::string& new_path = pairs_to_run[n].new_file;
        std::filesystem::path name = std::filesystem::path(new_path);
        std::string label = n < shipped ? name.filename().string() : name.parent_path().filename().string();
        std::vector<uint8_t> old_image = fotapack::read_file(old_path), new_image = fotapack::read_file(new_path);
        auto start = std::chrono::steady_clock::now();
        fotapack::delta_stats stats;
        std::vector<uint8_t> delta = fotapack::make_image_delta(old_image, new_image, kBlock, &stats);
        double generate = seconds_since(start);
        uintmax_t bsdiff = peer_size("bsdiff '" + old_path + "' '" + new_path + "' '" + tmp + "/b'", tmp + "/b");
        uintmax_t xdelta = peer_size("xdelta3 -9 -f -e -s '" + old_path + "' '" + new_path + "' '" + tmp + "/x'", tmp + "/x");

        uint32_t partition = uint32_t((std::max(old_image.size(), new_image.size()) / kBlock + 2) * kBlock);
        mem_flash flash = make_mem_flash(old_image, partition, kBlock);
        flash.delta = delta;
        start = std::chrono::steady_clock::now();
        uint32_t result = run_engine(&flash, false);
        double apply = seconds_since(start);
        bool exact = result == 0 && std::equal(new_image.begin(), new_image.end(), flash.flash.begin());
        double to_bsdiff = bsdiff ? double(delta.size()) / double(bsdiff) : 0;
        double to_xdelta = xdelta ? double(delta.size()) / double(xdelta) : 0;
        if (bsdiff) {
            log_sum += std::log(to_bsdiff);
            if (n < shipped) shipped_log_sum += std::log(to_bsdiff);
            worst = std::max(worst, to_bsdiff);
            ++pairs;
            if (is_arm_pair(new_path)) {
                arm_log_sum += std::log(to_bsdiff);
                arm_worst = std::max(arm_worst, to_bsdiff);
                ++arm_pairs;
            }
        }
        std::printf("%-26s %10zu %9zu (%5.2f%%) %7s %9u %9ju (%5.2f%%) %9ju (%5.2f%%) %7.3f %7.3f %6.2f %6.3f %9u %8ld %8ld%s\n",
                    label.c_str(), new_image.size(), delta.size(), percent(delta.size(), new_image.size()),
                    kvr_transform_name(stats.transform), stats.without_transform, bsdiff, percent(bsdiff, new_image.size()), xdelta,
                    percent(xdelta, new_image.size()), to_bsdiff, to_xdelta, generate, apply, traced_heap_peak(flash),
                    flash.block_writes, flash.block_writes * long(kBlock / kPage), exact ? "" : "  APPLY FAILED");
    }
    if (pairs > 0) {
        std::printf("geometric mean ours/bsdiff: %.3f over all %d pairs, %.3f over the %zu shipped pairs; "
                    "largest ours/bsdiff %.3f\n",
                    std::exp(log_sum / pairs), pairs, std::exp(shipped_log_sum / double(shipped)), shipped, worst);
    }
    if (arm_pairs > 0)
        std::printf("ARM pairs: geometric mean ours/bsdiff %.3f over %d pairs, largest %.3f\n", std::exp(arm_log_sum / arm_pairs),
                    arm_pairs, arm_worst);
    std::printf("(erases: blocks rewritten; programs: pages written to them; plus one backup block write each)\n");
    for (const std::string& dir : made_pairs)
        if (std::filesystem::is_directory(dir + "/old-tree") && std::filesystem::is_directory(dir + "/new-tree"))
            measure_fs_pair(dir, tmp);
    std::filesystem::remove_all(tmp);
    return 0;
}
