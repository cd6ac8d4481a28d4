// Bytes as a stored bad-block table file may hold them, loaded by the agent
// on a simulated device: a file of exactly one block is taken as it is, any
// other gives an all-0xFF table, and nothing is read past the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bbm_table.h"
#include "flash_ctx.h"
#include "log.h"
#include "os.h"
#include "paths.h"

namespace {

constexpr uint32_t kBlockSize = 4096;
std::string g_root;

void check(bool condition)
{
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/agent_bbm_table_fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_root = pattern;
    std::filesystem::create_directories(g_root + KVR_DUA_BBM_DIR);
    setenv("KVR_FOTA_ROOT", g_root.c_str(), 1);
    if (os_init() != 0) std::abort();
    std::atexit([] { std::filesystem::remove_all(g_root); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = os_fopen(KVR_DUA_BBM_DIR "part.tbl", "wb");
    check(file != nullptr);
    check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    flash_ctx ctx{};
    ctx.block_size = kBlockSize;
    check(kvr_bbm_table_load(&ctx, "part") == 0);
    if (size == kBlockSize) {
        check(std::memcmp(ctx.table_buffer, data, kBlockSize) == 0);
    } else {
        for (uint32_t i = 0; i < kBlockSize; ++i) check(ctx.table_buffer[i] == 0xFF);
    }
    std::free(ctx.table_buffer);
    return 0;
}
