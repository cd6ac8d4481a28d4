#include "update_parti.h"

#include "bbm_table.h"
#include "engine_callbacks.h"
#include "engine_params.h"
#include "flash_ctx.h"
#include "os.h"
#include "part_tables.h"
#include "paths.h"

#include <cstdlib>
#include <cstring>

namespace {

// Ends the engine's use of the partition: nothing stays mounted, the heap
// is freed and the context released.
void finish_partition(flash_ctx* ctx)
{
    os_umount(KVR_DUA_MNT_DIR);
    std::free(ctx->engine_heap);
    ctx->engine_heap = nullptr;
    kvr_dua_delib_release(ctx);
}

} // namespace

int kvr_dua_update_parti(const char* part_name, const char* package_path, uint32_t member_offset,
                         uint32_t member_length, int32_t part_type, int op_mode, kvr_progress_fn progress)
{
    KVR_LOG("start, part=%s, offset=%u, length=%u, type=%d, mode=%d\n", part_name, member_offset, member_length,
            static_cast<int>(part_type), op_mode);
    kvr_dua_drop_caches();
    char device[KVR_MTD_PATH_SIZE];
    if (kvr_dua_mtd_find(part_name, device, 0) != 0) {
        // "not find": kept as the device's software expects it.
        KVR_LOG("partition name is not find\n");
        KVR_FATAL("Error: partition not find\n");
        return -1;
    }
    flash_ctx ctx;
    if (kvr_dua_delib_init(&ctx, device, package_path, member_offset, member_length, op_mode) != 0) {
        KVR_LOG("engine library init error\n");
        return -1;
    }
    ctx.progress = progress;
    uintptr_t params[KVR_ENGINE_PARAM_WORDS];
    if (kvr_dua_delib_param_init(params, &ctx, part_name, part_type, op_mode) != 0 ||
        (part_type != KVR_PART_FILE_SYSTEM && kvr_bbm_table_load(&ctx, part_name) != 0)) {
        KVR_LOG("engine lib init error\n");
        KVR_FATAL("Error: engine lib param init failed\n");
        finish_partition(&ctx);
        return -1;
    }
    kvr_dua_drop_caches();
    uint32_t result = kvr_engine_entry(params);
    if (result != 0) {
        KVR_LOG("image update error, ret = %lx\n", static_cast<unsigned long>(result));
        KVR_FATAL("Error: Image update failed, ret = %lx\n", static_cast<unsigned long>(result));
        finish_partition(&ctx);
        return -1;
    }
    if (op_mode == KVR_OP_VERIFY && std::strcmp(part_name, "system") == 0) os_shell("rm -rf /cache/kvr_fota/dua/mnt/system");
    finish_partition(&ctx);
    KVR_LOG("end\n");
    return 0;
}
