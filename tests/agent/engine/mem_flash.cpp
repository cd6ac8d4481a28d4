#include "mem_flash.h"

#include "delta_engine.h"
#include "engine_callbacks.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

mem_flash* of(flash_ctx* ctx)
{
    return reinterpret_cast<mem_flash*>(ctx);
}

bool in_range(const std::vector<uint8_t>& data, uint64_t start, uint64_t size)
{
    return start <= data.size() && size <= data.size() - start;
}

} // namespace

bool mem_flash_cut_now(mem_flash* f)
{
    if (f->writes++ != f->cut_at_write) return false;
    f->cut = true;
    return true;
}

uint32_t DE_GetDelta(flash_ctx* ctx, unsigned char* buffer, uint32_t start, uint32_t size)
{
    mem_flash* f = of(ctx);
    if (f->cut || !in_range(f->delta, start, size)) return KVR_DE_ERR_READ;
    std::memcpy(buffer, f->delta.data() + start, size);
    return KVR_DE_OK;
}

uint32_t DE_ReadImage(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size)
{
    mem_flash* f = of(ctx);
    if (f->cut || !in_range(f->flash, address, size)) return KVR_DE_ERR_READ;
    std::memcpy(buffer, f->flash.data() + address, size);
    return KVR_DE_OK;
}

uint32_t kvr_dua_read_source(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size)
{
    return DE_ReadImage(ctx, buffer, address, size);
}

uint32_t DE_WriteBlock(flash_ctx* ctx, uint32_t address, const unsigned char* data)
{
    mem_flash* f = of(ctx);
    if (f->cut || address % f->block_size != 0 || !in_range(f->flash, address, f->block_size)) return KVR_DE_ERR_WRITE;
    ++f->block_writes;
    std::memset(f->flash.data() + address, 0xFF, f->block_size);
    if (mem_flash_cut_now(f)) {
        std::memcpy(f->flash.data() + address, data, f->block_size / 2);
        return KVR_DE_ERR_WRITE;
    }
    std::memcpy(f->flash.data() + address, data, f->block_size);
    return KVR_DE_OK;
}

uint32_t DE_WriteBackupBlock(flash_ctx* ctx, uint32_t, const unsigned char* data)
{
    mem_flash* f = of(ctx);
    if (f->cut) return KVR_DE_ERR_WRITE;
    ++f->backup_writes;
    bool torn = mem_flash_cut_now(f);
    f->backup.assign(data, data + (torn ? f->block_size / 3 : f->block_size));
    return torn ? KVR_DE_ERR_WRITE : KVR_DE_OK;
}

uint32_t DE_ReadBackupBlock(flash_ctx* ctx, unsigned char* buffer, uint32_t, uint32_t size)
{
    mem_flash* f = of(ctx);
    if (f->cut || f->backup.empty()) return KVR_DE_ERR_READ;
    std::memset(buffer, 0xFF, size);
    std::memcpy(buffer, f->backup.data(), size < f->backup.size() ? size : f->backup.size());
    return KVR_DE_OK;
}

uint32_t DE_GetBlockSize(flash_ctx* ctx)
{
    return of(ctx)->block_size;
}

void DE_Progress(flash_ctx* ctx, uint32_t percent)
{
    of(ctx)->last_percent = percent;
}

uint32_t DE_Trace(flash_ctx* ctx, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    of(ctx)->trace += line;
    return KVR_DE_OK;
}

mem_flash make_mem_flash(const std::vector<uint8_t>& image, uint32_t size, uint32_t block_size)
{
    mem_flash f;
    f.block_size = block_size;
    f.flash.assign(size, 0xFF);
    std::memcpy(f.flash.data(), image.data(), image.size() < size ? image.size() : size);
    return f;
}

namespace {

uint32_t run_with(mem_flash* flash, bool verify, uint32_t heap_size, const char* mount_path, const char* tmp_path)
{
    static char name[] = "kernel";
    flash->heap.assign(heap_size, 0);
    flash->cut = false;
    uintptr_t descriptor[KVR_ENGINE_DESCRIPTOR_WORDS] = {};
    descriptor[KVR_DESC_NAME] = reinterpret_cast<uintptr_t>(name);
    uint32_t work_word = 0;
    uintptr_t params[KVR_ENGINE_PARAM_WORDS] = {};
    params[KVR_PARAM_OP_MODE] = verify ? 1 : 0;
    params[KVR_PARAM_HEAP] = reinterpret_cast<uintptr_t>(flash->heap.data());
    params[KVR_PARAM_HEAP_SIZE] = heap_size;
    if (mount_path == nullptr) {
        params[KVR_PARAM_IMAGE] = 1;
        params[KVR_PARAM_WORK_WORD] = reinterpret_cast<uintptr_t>(&work_word);
    } else {
        descriptor[KVR_DESC_MOUNT_PATH] = reinterpret_cast<uintptr_t>(mount_path);
        descriptor[KVR_DESC_FILE_SYSTEM] = 1;
        params[KVR_PARAM_TMP_FILE] = reinterpret_cast<uintptr_t>(tmp_path);
    }
    params[KVR_PARAM_DESCRIPTOR] = reinterpret_cast<uintptr_t>(descriptor);
    params[KVR_PARAM_USER_DATA] = reinterpret_cast<uintptr_t>(flash);
    return kvr_delta_engine_run(params);
}

} // namespace

uint32_t run_engine(mem_flash* flash, bool verify, uint32_t heap_size)
{
    return run_with(flash, verify, heap_size, nullptr, nullptr);
}

uint32_t run_fs_engine(mem_flash* flash, bool verify, const char* mount_path, const char* tmp_path,
                       uint32_t heap_size)
{
    return run_with(flash, verify, heap_size, mount_path, tmp_path);
}

uint32_t traced_heap_peak(const mem_flash& flash)
{
    size_t at = flash.trace.rfind("heap peak ");
    return at == std::string::npos ? 0 : uint32_t(std::strtoul(flash.trace.c_str() + at + 10, nullptr, 10));
}
