#include "flash_access.h"

#include "engine_callbacks.h"
#include "os.h"

#include <cerrno>
#include <cstring>

namespace {

bool write_whole_block(flash_ctx* ctx, uint32_t address, const unsigned char* data)
{
    return os_mtd_write(ctx->fd, data, ctx->block_size, address) == static_cast<ssize_t>(ctx->block_size);
}

} // namespace

uint32_t kvr_flash_write_block(flash_ctx* ctx, uint32_t address, const unsigned char* data)
{
    unsigned long at = address;
    if (address & KVR_TABLE_AREA) {
        // The wording and the missing line end are kept as the device's software expects it.
        KVR_FATAL("Error: block address will be write is bad.");
        KVR_LOG("end error\n");
        return KVR_DE_ERR_WRITE;
    }
    KVR_LOG("block address = 0x%lx, page size = %u, pages per block = %u, total size = 0x%x, block size = 0x%x\n", at,
            ctx->page_size, ctx->pages_per_block, ctx->total_size, ctx->block_size);
    if (os_mtd_erase(ctx->fd, address, ctx->block_size) != 0) {
        KVR_FATAL("Error: erase block failed at 0x%lx.error:%s\n", at, std::strerror(errno));
        kvr_dua_drop_caches();
        if (os_mtd_erase(ctx->fd, address, ctx->block_size) != 0) {
            KVR_FATAL("Error: erase block second time failed at 0x%lx.error:%s\n", at, std::strerror(errno));
            KVR_LOG("end error\n");
            return KVR_DE_ERR_WRITE;
        }
    }
    if (!write_whole_block(ctx, address, data)) {
        KVR_FATAL("Error: write block failed at 0x%lx.error:%s\n", at, std::strerror(errno));
        kvr_dua_drop_caches();
        // The result of this erase is ignored, kept as the device's software expects it: the
        // second write tells whether the block took the data.
        os_mtd_erase(ctx->fd, address, ctx->block_size);
        if (!write_whole_block(ctx, address, data)) {
            KVR_FATAL("Error: write block second time failed at 0x%lx.error:%s\n", at, std::strerror(errno));
            KVR_LOG("end error\n");
            return KVR_DE_ERR_WRITE;
        }
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t kvr_flash_read_image(flash_ctx* ctx, unsigned char* destination, uint32_t address, uint32_t size)
{
    if (address & KVR_TABLE_AREA) {
        // The wording and the missing line end are kept as the device's software expects it.
        KVR_FATAL("Error: address will be read is bad.");
        KVR_LOG("end error\n");
        return KVR_DE_ERR_READ;
    }
    uint32_t page = address / ctx->page_size;
    uint32_t offset = address % ctx->page_size;
    KVR_LOG("Page number = %d\n", static_cast<int>(page));
    KVR_LOG("page size = %u, pages per block = %u, total size = 0x%x, block size = 0x%x\n", ctx->page_size,
            ctx->pages_per_block, ctx->total_size, ctx->block_size);
    for (uint32_t left = size; left > 0; ++page, offset = 0) {
        // "residule": kept as the device's software expects it.
        KVR_LOG("page num is %d, residule len is %d, offset in page is %d\n", static_cast<int>(page),
                static_cast<int>(left), static_cast<int>(offset));
        bool direct = offset == 0 && left >= ctx->page_size;
        unsigned char* into = direct ? destination : ctx->block_buffer;
        off_t at = static_cast<off_t>(page) * ctx->page_size;
        if (os_mtd_read(ctx->fd, into, ctx->page_size, at) != static_cast<ssize_t>(ctx->page_size)) {
            KVR_LOG("read flash error:%s\n", std::strerror(errno));
            KVR_LOG("end error\n");
            return KVR_DE_ERR_READ;
        }
        uint32_t piece = ctx->page_size - offset < left ? ctx->page_size - offset : left;
        if (!direct) std::memcpy(destination, ctx->block_buffer + offset, piece);
        destination += piece;
        left -= piece;
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

int kvr_flash_is_bad_block(flash_ctx* ctx, uint32_t block)
{
    if (block >= KVR_TABLE_AREA / ctx->block_size) return 0;
    int bad = os_mtd_is_bad(ctx->fd, static_cast<uint64_t>(block) * ctx->block_size);
    if (bad == 0) {
        KVR_LOG("end\n");
        return 0;
    }
    if (bad < 0)
        KVR_LOG("get flash bad block error:%s\n", std::strerror(errno));
    else
        KVR_LOG("find bad block\n");
    KVR_LOG("error\n");
    return -1;
}

int kvr_flash_mark_bad(flash_ctx* ctx, uint32_t address)
{
    if (address & KVR_TABLE_AREA) {
        KVR_LOG("address is read bad block table address\n");
        return 0;
    }
    if (os_mtd_mark_bad(ctx->fd, address / ctx->block_size * static_cast<uint64_t>(ctx->block_size)) != 0) {
        KVR_LOG("set flash bad block:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    return 0;
}
