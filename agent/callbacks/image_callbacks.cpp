// The callbacks of an image partition: delta bytes, flash reads and block
// writes, the backup block, progress, trace and the value store.
#include "engine_callbacks.h"
#include "flash_access.h"
#include "flash_ctx.h"
#include "os.h"
#include "paths.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t kTraceSize = 128;

unsigned pointer_word(const void* pointer)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

} // namespace

uint32_t DE_GetDelta(flash_ctx* ctx, unsigned char* buffer, uint32_t start, uint32_t size)
{
    KVR_LOG("start, pdata = 0x%x, pbuffer = 0x%x, start address = 0x%lx, size = 0x%lx\n", pointer_word(ctx),
            pointer_word(buffer), static_cast<unsigned long>(start), static_cast<unsigned long>(size));
    bool ok = false;
    if (start > ctx->member_length || static_cast<uint64_t>(start) + size > ctx->member_length) {
        KVR_LOG("address error\n");
    } else if (fseeko(ctx->package, static_cast<off_t>(ctx->member_offset) + start, SEEK_SET) != 0) {
        KVR_LOG("seek file error:%s\n", std::strerror(errno));
    } else if (std::fread(buffer, 1, size, ctx->package) != size) {
        KVR_LOG("read file error:%s\n", std::strerror(errno));
    } else {
        ok = true;
    }
    if (!ok) {
        KVR_LOG("end error\n");
        return KVR_DE_ERR_READ;
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t DE_ReadImage(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size)
{
    return kvr_flash_read_image(ctx, buffer, address, size);
}

uint32_t kvr_dua_read_source(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size)
{
    return kvr_flash_read_image(ctx, buffer, address, size);
}

uint32_t DE_WriteBlock(flash_ctx* ctx, uint32_t address, const unsigned char* data)
{
    return kvr_flash_write_block(ctx, address, data);
}

uint32_t DE_WriteBackupBlock(flash_ctx* ctx, uint32_t address, const unsigned char* data)
{
    KVR_LOG("start, pdata = 0x%x, pbuffer = 0x%x, block address = 0x%lx\n", pointer_word(ctx), pointer_word(data),
            static_cast<unsigned long>(address));
    FILE* backup = os_fopen(KVR_BACKUP_BLOCK_PATH, "w+");
    if (backup == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return KVR_DE_ERR_WRITE;
    }
    bool ok = std::fwrite(data, 1, ctx->block_size, backup) == ctx->block_size && std::fflush(backup) == 0 &&
              fsync(fileno(backup)) == 0;
    if (!ok) KVR_LOG("write file error:%s\n", std::strerror(errno));
    if (std::fclose(backup) != 0) ok = false;
    if (!ok) {
        KVR_LOG("error\n");
        return KVR_DE_ERR_WRITE;
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t DE_ReadBackupBlock(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size)
{
    KVR_LOG("start, pdata = 0x%x, pbuffer = 0x%x, block address = 0x%lx, size = 0x%lx\n", pointer_word(ctx),
            pointer_word(buffer), static_cast<unsigned long>(address), static_cast<unsigned long>(size));
    FILE* backup = os_fopen(KVR_BACKUP_BLOCK_PATH, "r+");
    if (backup == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        return KVR_DE_ERR_READ;
    }
    std::memset(buffer, 0xFF, size);
    size_t got = std::fread(buffer, 1, size, backup);
    bool failed = std::ferror(backup) != 0;
    std::fclose(backup);
    if (failed) {
        KVR_LOG("read file error:%s, ret is %d\n", std::strerror(errno), static_cast<int>(got));
        return KVR_DE_ERR_READ;
    }
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t DE_GetBlockSize(flash_ctx* ctx)
{
    KVR_LOG("end. block size = 0x%lx\n", static_cast<unsigned long>(ctx->block_size));
    return ctx->block_size;
}

void DE_Progress(flash_ctx* ctx, uint32_t percent)
{
    KVR_LOG("start, pdata = 0x%x, percent = %d\n", pointer_word(ctx), static_cast<int>(percent));
    if (ctx->progress) ctx->progress(static_cast<int>(percent));
    KVR_LOG("end\n");
}

uint32_t DE_ResetTimerA(flash_ctx*)
{
    KVR_LOG("end\n");
    return KVR_DE_OK;
}

uint32_t DE_Trace(flash_ctx*, const char* format, ...)
{
    char text[kTraceSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_kvr_flash_ctx != nullptr) KVR_ENGINE_TRACE(g_kvr_flash_ctx, "%s", text);
    return KVR_DE_OK;
}

uint32_t kvr_dua_store_value(flash_ctx*, uint32_t value, uint32_t* destination)
{
    *destination = value;
    return KVR_DE_OK;
}
