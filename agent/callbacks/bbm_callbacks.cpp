// The bad-block callbacks: page reads and writes, block erases and bad-block
// queries on the process-wide context, with the engine's table area kept
// apart from the flash in the context's table buffer and file.
#include "bbm_table.h"
#include "engine_callbacks.h"
#include "flash_access.h"
#include "flash_ctx.h"
#include "os.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The offset of a table-area page in the table buffer; false (logged) for
// a page past the one block that the area holds.
bool table_page_offset(const flash_ctx* ctx, uint32_t page, size_t* offset)
{
    uint64_t index = page - KVR_TABLE_AREA / ctx->page_size;
    if (ctx->table_buffer == nullptr || index >= ctx->pages_per_block) {
        KVR_LOG("page 0x%lx is outside the bad block table area\n", static_cast<unsigned long>(page));
        return false;
    }
    *offset = static_cast<size_t>(index) * ctx->page_size;
    return true;
}

bool in_table_pages(const flash_ctx* ctx, uint32_t page)
{
    return page >= KVR_TABLE_AREA / ctx->page_size;
}

uint32_t page_error(uint32_t value)
{
    KVR_LOG("error\n");
    return value;
}

} // namespace

uint32_t DE_ReadPage(uint32_t page, unsigned char* buffer)
{
    flash_ctx* ctx = g_kvr_flash_ctx;
    KVR_LOG("start, page num = 0x%lx, pbydata = %x\n", static_cast<unsigned long>(page),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer)));
    if (in_table_pages(ctx, page)) {
        KVR_LOG("address is read bad block table address\n");
        size_t offset = 0;
        if (!table_page_offset(ctx, page, &offset)) return page_error(KVR_DE_ERR_READ);
        std::memcpy(buffer, ctx->table_buffer + offset, ctx->page_size);
    } else {
        KVR_LOG("address is read image address\n");
        off_t at = static_cast<off_t>(page) * ctx->page_size;
        if (os_mtd_read(ctx->fd, buffer, ctx->page_size, at) != static_cast<ssize_t>(ctx->page_size)) {
            KVR_LOG("read flash error:%s\n", std::strerror(errno));
            return page_error(KVR_DE_ERR_READ);
        }
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

// The write logs "pbydata" and "address is read image address" like the
// read does: kept as the device's software expects it.
uint32_t DE_WritePage(uint32_t page, const unsigned char* data)
{
    flash_ctx* ctx = g_kvr_flash_ctx;
    KVR_LOG("start, page num = 0x%lx, pbydata = %x\n", static_cast<unsigned long>(page),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
    if (in_table_pages(ctx, page)) {
        size_t offset = 0;
        if (!table_page_offset(ctx, page, &offset)) return page_error(KVR_DE_ERR_WRITE);
        std::memcpy(ctx->table_buffer + offset, data, ctx->page_size);
        if (kvr_bbm_table_store(ctx) != 0) return page_error(KVR_DE_ERR_WRITE);
    } else {
        KVR_LOG("address is read image address\n");
        off_t at = static_cast<off_t>(page) * ctx->page_size;
        if (os_mtd_write(ctx->fd, data, ctx->page_size, at) != static_cast<ssize_t>(ctx->page_size)) {
            KVR_LOG("write flash error:%s\n", std::strerror(errno));
            return page_error(KVR_DE_ERR_WRITE);
        }
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t DE_EraseBlock(uint32_t block)
{
    flash_ctx* ctx = g_kvr_flash_ctx;
    KVR_LOG("start, block num = 0x%lx\n", static_cast<unsigned long>(block));
    if (block >= KVR_TABLE_AREA / ctx->block_size) {
        if (ctx->table_buffer == nullptr) return page_error(KVR_DE_ERR_ERASE);
        std::memset(ctx->table_buffer, 0xFF, ctx->block_size);
        if (kvr_bbm_table_store(ctx) != 0) return page_error(KVR_DE_ERR_ERASE);
    } else if (os_mtd_erase(ctx->fd, block * ctx->block_size, ctx->block_size) != 0) {
        KVR_LOG("flash erase error:%s\n", std::strerror(errno));
        return page_error(KVR_DE_ERR_ERASE);
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

int32_t DE_IsFlashBadBlock(uint32_t block)
{
    flash_ctx* ctx = g_kvr_flash_ctx;
    KVR_LOG("start, block num = 0x%lx\n", static_cast<unsigned long>(block));
    if (block >= KVR_TABLE_AREA / ctx->block_size) {
        KVR_LOG("address is read bad block table address\n");
        return 0;
    }
    KVR_LOG("address is read image address\n");
    return kvr_flash_is_bad_block(ctx, block);
}

void DE_MarkAsBadBlock(uint32_t address)
{
    flash_ctx* ctx = g_kvr_flash_ctx;
    KVR_LOG("start, address = 0x%lx\n", static_cast<unsigned long>(address));
    if ((address & KVR_TABLE_AREA) == 0) KVR_LOG("address is read image address\n");
    kvr_flash_mark_bad(ctx, address);
    KVR_LOG("end\n");
}

void* DE_HeapAllocate(uint32_t size)
{
    KVR_LOG("start, size = 0x%lx\n", static_cast<unsigned long>(size));
    void* pointer = std::malloc(size);
    KVR_LOG("end\n");
    return pointer;
}

void DE_HeapFree(void* pointer)
{
    KVR_LOG("start, ptr = 0x%x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
    std::free(pointer);
    KVR_LOG("end\n");
}
