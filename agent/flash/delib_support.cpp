#include "flash_ctx.h"

#include "os.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>

flash_ctx* g_kvr_flash_ctx = nullptr;

namespace {

constexpr size_t kMtdLineSize = 50;

// The digits of a "mtd<n>:" first field, or null when the line has none.
const char* mtd_digits(const char* line, size_t* count)
{
    if (std::strncmp(line, "mtd", 3) != 0) return nullptr;
    size_t n = 0;
    while (line[3 + n] >= '0' && line[3 + n] <= '9') ++n;
    if (n == 0 || line[3 + n] != ':') return nullptr;
    *count = n;
    return line + 3;
}

// Cuts the name between the line's first two double quotes; null when the
// line holds no quoted name.
const char* quoted_name(char* line)
{
    char* open = std::strchr(line, '"');
    char* close = open ? std::strchr(open + 1, '"') : nullptr;
    if (close == nullptr) return nullptr;
    *close = '\0';
    return open + 1;
}

// Stores the geometry that MEMGETINFO gave; false (EINVAL) for one that
// holds no whole page in a block.
bool take_geometry(flash_ctx* ctx, const mtd_info_user& info)
{
    if (info.writesize == 0 || info.erasesize < info.writesize || info.erasesize % info.writesize != 0) {
        errno = EINVAL;
        return false;
    }
    ctx->total_size = info.size;
    ctx->block_size = info.erasesize;
    ctx->oob_size = info.oobsize;
    ctx->page_size = info.writesize;
    ctx->pages_per_block = info.erasesize / info.writesize;
    return true;
}

} // namespace

void kvr_dua_drop_caches(void)
{
    os_shell("sync");
    os_shell("echo 3 > /proc/sys/vm/drop_caches");
}

int kvr_dua_mtd_find(const char* name, char* path, int want_block_device)
{
    // Opened for reading and writing ("r+"), kept as the device's software expects it.
    FILE* table = os_fopen("/proc/mtd", "r+");
    if (table == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        return -1;
    }
    char line[kMtdLineSize];
    while (std::fgets(line, sizeof line, table) != nullptr) {
        size_t count = 0;
        const char* digits = mtd_digits(line, &count);
        const char* found = digits ? quoted_name(line) : nullptr;
        if (found == nullptr || strcasecmp(found, name) != 0) continue;
        std::snprintf(path, KVR_MTD_PATH_SIZE, "%s%.*s", want_block_device ? "/dev/block/mtdblock" : "/dev/mtd/mtd",
                      static_cast<int>(count), digits);
        std::fclose(table);
        return 0;
    }
    KVR_LOG("get info from mtd error:%s\n", std::strerror(errno));
    std::fclose(table);
    return -1;
}

int kvr_dua_delib_init(flash_ctx* ctx, const char* device_path, const char* package_path, uint32_t member_offset,
                       uint32_t member_length, int op_mode)
{
    KVR_LOG("start\n");
    std::memset(ctx, 0, sizeof *ctx);
    ctx->fd = -1;
    ctx->member_offset = member_offset;
    ctx->member_length = member_length;
    mtd_info_user info;
    bool ok = false;
    if ((ctx->package = os_fopen(package_path, "rb")) == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_FATAL("Error: open file failed:%s\n", std::strerror(errno));
    } else if ((ctx->fd = os_open(device_path, op_mode == 1 ? O_RDONLY : (O_RDWR | O_SYNC), 0)) < 0) {
        KVR_LOG("open flash error:%s\n", std::strerror(errno));
        KVR_FATAL("Error: open flash failed:%s\n", std::strerror(errno));
    } else if (os_mtd_info(ctx->fd, &info) != 0 || !take_geometry(ctx, info)) {
        KVR_LOG("get flash info error:%s\n", std::strerror(errno));
        KVR_FATAL("Error: get flash info failed:%s\n", std::strerror(errno));
    } else if ((ctx->block_buffer = static_cast<unsigned char*>(std::malloc(ctx->block_size))) == nullptr) {
        KVR_LOG("malloc error:%s\n", std::strerror(errno));
        KVR_FATAL("Error: malloc failed:%s\n", std::strerror(errno));
    } else if (kvr_open_fatal_message_file(&ctx->engine_log, KVR_ENGINE_LOG_PATH, 0) != 0) {
        KVR_LOG("open engine message error\n");
        KVR_FATAL("Error: open engine log file failed:%s\n", std::strerror(errno));
    } else {
        ok = true;
    }
    if (!ok) {
        kvr_dua_delib_release(ctx);
        KVR_LOG("error\n");
        return -1;
    }
    g_kvr_flash_ctx = ctx;
    KVR_LOG("end\n");
    return 0;
}

void kvr_dua_delib_release(flash_ctx* ctx)
{
    std::free(ctx->table_buffer);
    ctx->table_buffer = nullptr;
    kvr_close_message_file(&ctx->engine_log);
    std::free(ctx->block_buffer);
    ctx->block_buffer = nullptr;
    if (ctx->fd >= 0) os_close(ctx->fd);
    ctx->fd = -1;
    if (ctx->package) std::fclose(ctx->package);
    ctx->package = nullptr;
    if (g_kvr_flash_ctx == ctx) g_kvr_flash_ctx = nullptr;
}
