#include "engine_params.h"

#include "engine_callbacks.h"
#include "os.h"
#include "part_tables.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>

namespace {

constexpr size_t kNameSize = 128;

// What the parameter block points at lives as long as the process.
char g_tmp_file_path[kNameSize];
char g_part_name[kNameSize];
uintptr_t g_descriptor[KVR_ENGINE_DESCRIPTOR_WORDS];
uint32_t g_work_word;
uint32_t g_zero_word;

uintptr_t word(const void* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

// The mount path of a file-system partition, with the partition mounted or
// linked there; null on failure.
const char* prepare_file_system(const char* part_name, int op_mode)
{
    char block_device[KVR_MTD_PATH_SIZE];
    if (kvr_dua_mtd_find(part_name, block_device, 1) != 0) {
        // "not find": kept as the device's software expects it.
        KVR_LOG("partition name is not find\n");
        return nullptr;
    }
    if (op_mode == KVR_OP_VERIFY && std::strcmp(part_name, "system") == 0) {
        os_shell("ln -s /system " KVR_DUA_MNT_DIR);
        return KVR_SYSTEM_VERIFY_MNT_DIR;
    }
    if (os_mount(block_device, KVR_DUA_MNT_DIR, "yaffs2", MS_SYNCHRONOUS) != 0) {
        KVR_LOG("mount yaffs error:%s\n", std::strerror(errno));
        KVR_FATAL("Error: mount yaffs failed:%s\n", std::strerror(errno));
        return nullptr;
    }
    return KVR_DUA_MNT_DIR;
}

} // namespace

int kvr_dua_delib_param_init(uintptr_t* params, flash_ctx* ctx, const char* part_name, int32_t part_type,
                             int op_mode)
{
    KVR_LOG("start\n");
    ctx->engine_heap = std::malloc(KVR_ENGINE_HEAP_SIZE);
    if (ctx->engine_heap == nullptr) {
        KVR_LOG("malloc error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("Malloc 10M memory, address=0x%x,\n", static_cast<unsigned>(word(ctx->engine_heap)));
    std::snprintf(g_tmp_file_path, sizeof g_tmp_file_path, "%s", KVR_ENGINE_TMP_FILE_PATH);
    std::snprintf(g_part_name, sizeof g_part_name, "%s", part_name);
    std::memset(params, 0, KVR_ENGINE_PARAM_WORDS * sizeof *params);
    std::memset(g_descriptor, 0, sizeof g_descriptor);
    g_work_word = 0;
    g_zero_word = 0;
    params[KVR_PARAM_OP_MODE] = static_cast<uintptr_t>(op_mode);
    params[KVR_PARAM_HEAP] = word(ctx->engine_heap);
    params[KVR_PARAM_HEAP_SIZE] = KVR_ENGINE_HEAP_SIZE;
    params[KVR_PARAM_ONE_A] = 1;
    params[KVR_PARAM_DESCRIPTOR] = word(g_descriptor);
    params[KVR_PARAM_ONE_B] = 1;
    params[KVR_PARAM_ZERO_WORD] = word(&g_zero_word);
    params[KVR_PARAM_ONE_C] = 1;
    params[KVR_PARAM_USER_DATA] = word(ctx);
    g_descriptor[KVR_DESC_NAME] = word(g_part_name);
    if (part_type != KVR_PART_FILE_SYSTEM) {
        KVR_LOG("BufferBlock=0x%x, BufferBlock[0]=%ld\n", static_cast<unsigned>(word(&g_work_word)),
                static_cast<long>(g_work_word));
        params[KVR_PARAM_IMAGE] = 1;
        params[KVR_PARAM_WORK_WORD] = word(&g_work_word);
        KVR_LOG("end\n");
        return 0;
    }
    const char* mount_path = prepare_file_system(part_name, op_mode);
    if (mount_path == nullptr) {
        KVR_LOG("error\n");
        return -1;
    }
    params[KVR_PARAM_TMP_FILE] = word(g_tmp_file_path);
    g_descriptor[KVR_DESC_MOUNT_PATH] = word(mount_path);
    g_descriptor[KVR_DESC_FILE_SYSTEM] = 1;
    KVR_LOG("end\n");
    return 0;
}
