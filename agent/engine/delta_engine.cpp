#include "delta_engine.h"

#include "engine_callbacks.h"
#include "engine_run.h"
#include "fs_update.h"
#include "image_update.h"

void* kvr_engine_alloc(kvr_engine_run* run, uint64_t size)
{
    void* memory = kvr_heap_alloc(&run->heap, size);
    if (memory == nullptr)
        DE_Trace(run->ctx, "%s: heap exhausted: 0x%llx bytes wanted, 0x%x of 0x%x in use\n", run->part_name,
                 static_cast<unsigned long long>(size), run->heap.used, run->heap.size);
    return memory;
}

namespace {

struct fs_paths {
    const char* mount; // null for an image partition
    const char* tmp;
};

uint32_t read_params(const uintptr_t* params, kvr_engine_run* run, fs_paths* fs)
{
    const uintptr_t* descriptor = reinterpret_cast<const uintptr_t*>(params[KVR_PARAM_DESCRIPTOR]);
    void* heap = reinterpret_cast<void*>(params[KVR_PARAM_HEAP]);
    if (descriptor == nullptr || heap == nullptr || params[KVR_PARAM_HEAP_SIZE] == 0) {
        DE_Trace(run->ctx, "engine: parameter block unusable\n");
        return KVR_ENGINE_ERR_PARAMS;
    }
    run->part_name = reinterpret_cast<const char*>(descriptor[KVR_DESC_NAME]);
    if (run->part_name == nullptr) run->part_name = "(unnamed)";
    run->verify = params[KVR_PARAM_OP_MODE] == 1;
    kvr_heap_init(&run->heap, heap, uint32_t(params[KVR_PARAM_HEAP_SIZE]));
    if (descriptor[KVR_DESC_FILE_SYSTEM] == 0) return KVR_DE_OK;
    fs->mount = reinterpret_cast<const char*>(descriptor[KVR_DESC_MOUNT_PATH]);
    fs->tmp = reinterpret_cast<const char*>(params[KVR_PARAM_TMP_FILE]);
    if (fs->mount == nullptr || fs->tmp == nullptr) {
        DE_Trace(run->ctx, "%s: mount path or temporary file missing\n", run->part_name);
        return KVR_ENGINE_ERR_PARAMS;
    }
    return KVR_DE_OK;
}

} // namespace

uint32_t kvr_delta_engine_run(uintptr_t* params)
{
    if (params == nullptr) return KVR_ENGINE_ERR_PARAMS;
    kvr_engine_run run = {};
    run.ctx = reinterpret_cast<flash_ctx*>(params[KVR_PARAM_USER_DATA]);
    fs_paths fs = {};
    uint32_t result = read_params(params, &run, &fs);
    if (result != KVR_DE_OK) return result;
    DE_Trace(run.ctx, "%s: %s, heap 0x%x bytes\n", run.part_name, run.verify ? "verify" : "apply", run.heap.size);
    result = fs.mount != nullptr ? kvr_fs_update(&run, fs.mount, fs.tmp) : kvr_image_update(&run);
    DE_Trace(run.ctx, "%s: result 0x%x, heap peak %u bytes\n", run.part_name, result, run.heap.peak);
    if (result == 0) DE_Progress(run.ctx, 100);
    return result;
}
