#include "bbm_table.h"

#include "os.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

int kvr_bbm_table_load(flash_ctx* ctx, const char* part_name)
{
    int n = std::snprintf(ctx->table_file, sizeof ctx->table_file, "%s%s.tbl", KVR_DUA_BBM_DIR, part_name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof ctx->table_file) {
        KVR_LOG("table file name too long for %s\n", part_name);
        return -1;
    }
    std::free(ctx->table_buffer);
    ctx->table_buffer = static_cast<unsigned char*>(std::malloc(ctx->block_size));
    if (ctx->table_buffer == nullptr) {
        KVR_LOG("malloc error:%s\n", std::strerror(errno));
        return -1;
    }
    std::memset(ctx->table_buffer, 0xFF, ctx->block_size);
    FILE* stored = os_fopen(ctx->table_file, "rb");
    if (stored == nullptr) return 0;
    size_t got = std::fread(ctx->table_buffer, 1, ctx->block_size, stored);
    bool whole = got == ctx->block_size && std::fgetc(stored) == EOF && !std::ferror(stored);
    std::fclose(stored);
    if (!whole) {
        KVR_LOG("table file %s is not one block, table starts erased\n", ctx->table_file);
        std::memset(ctx->table_buffer, 0xFF, ctx->block_size);
    }
    return 0;
}

int kvr_bbm_table_store(flash_ctx* ctx)
{
    FILE* table = os_fopen(ctx->table_file, "wb+");
    if (table == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        return -1;
    }
    bool ok = std::fwrite(ctx->table_buffer, 1, ctx->block_size, table) == ctx->block_size;
    if (!ok) KVR_LOG("write file error:%s\n", std::strerror(errno));
    if (std::fclose(table) != 0) ok = false;
    return ok ? 0 : -1;
}
