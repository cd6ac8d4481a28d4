// Bytes as an update package may hold them, read by the agent's package
// module on a simulated device: every operation must end without harm, a
// lookup must agree with the header check, and an extracted member must be
// the bytes its entry names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "log.h"
#include "os.h"
#include "package.h"
#include "paths.h"

namespace {

const char kPackage[] = "/cache/fuzz.pkg";
const char kMemberOut[] = "/cache/member.out";
const char kSplitDir[] = "/cache/split";
const char* const kNames[] = {"preprocessing.mld", "postprocessing.mld", "kernel.mld", "kernel", ""};

std::string g_root;

std::string read_back(const char* device_path)
{
    std::string content;
    if (FILE* file = os_fopen(device_path, "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, n);
        std::fclose(file);
    }
    return content;
}

void check(bool condition)
{
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/agent_package_fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_root = pattern;
    std::filesystem::create_directories(g_root + "/cache/kvr_fota/dua");
    setenv("KVR_FOTA_ROOT", g_root.c_str(), 1);
    if (os_init() != 0 || kvr_open_fatal_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, 1) != 0) std::abort();
    std::atexit([] { std::filesystem::remove_all(g_root); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = os_fopen(kPackage, "wb");
    check(file != nullptr);
    check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    bool valid = verify_package(kPackage) == 0;
    for (const char* name : kNames) {
        package_entry entry;
        int position = get_infile_info(kPackage, name, &entry);
        check(valid || position == -1);
        int32_t count = 0;
        if (size >= 8) std::memcpy(&count, data + 4, sizeof count);
        check(position <= (count > 0 ? count : 0));
        int split = package_split_file(kPackage, name, kMemberOut);
        check(split == -1 || position > 0);
        if (split == 0) {
            std::string member = read_back(kMemberOut);
            check(member.size() == entry.length);
            if (entry.length > 0) {
                check(static_cast<uint64_t>(entry.offset) + entry.length <= size);
                check(member == std::string(reinterpret_cast<const char*>(data) + entry.offset, entry.length));
            }
        }
    }

    std::filesystem::remove_all(g_root + kSplitDir);
    std::filesystem::create_directory(g_root + kSplitDir);
    int all = package_split_all(kPackage, kSplitDir);
    check(all == -1 || valid);
    for (const auto& entry : std::filesystem::directory_iterator(g_root + kSplitDir))
        check(entry.is_regular_file());
    return 0;
}
