#include "update_end.h"

#include "log.h"
#include "os.h"
#include "paths.h"
#include "status_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

void delete_package(void)
{
    char package_path[KVR_DELTA_PATH_SIZE];
    if (get_delta_file_path(package_path) != 0) {
        KVR_LOG("cannot get delta file path\n");
        return;
    }
    if (os_unlink(package_path) != 0) KVR_LOG("delete package %s failed:%s\n", package_path, std::strerror(errno));
}

void delete_stage_file(void)
{
    if (os_unlink(KVR_STAGE_PATH) != 0) KVR_LOG("delete POWER_FAIL_PROT failed\n");
}

void set_final_status(int status)
{
    // "faied": kept as the device's software expects it.
    if (kvr_dua_set_update_status(status) != 0) KVR_LOG("set update status faied.\n");
}

} // namespace

// The status and the result flag come before the stage file goes, and the
// package goes after it: a power cut before the stage file goes resumes the
// last stage, with its package, which ends the update again, instead of
// leaving a finished update that reports itself as still under way or that
// never gets its result flag. A cut after it leaves only the package behind.
void update_success(void)
{
    KVR_LOG("start\n");
    set_final_status(KVR_STATUS_SUCCESS);
    os_shell("touch " KVR_RESULT_FLAG_PATH);
    delete_stage_file();
    delete_package();
    KVR_LOG("end\n");
}

void update_fail(void)
{
    KVR_LOG("start\n");
    set_final_status(KVR_STATUS_FAILED);
    if (os_unlink(KVR_CURRENT_PART_PATH) != 0) KVR_LOG("delete CURRENT_UPDATE_PART failed\n");
    os_shell("touch " KVR_RESULT_FLAG_PATH);
    delete_stage_file();
    delete_package();
    KVR_LOG("end\n");
}

void fota_reboot(void)
{
    KVR_LOG("start\n");
    os_sync();
    kvr_close_message_file(&g_kvr_log);
    kvr_close_message_file(&g_kvr_fatal_log);
    os_reboot();
    int reason = errno;
    KVR_FATAL("Error: reboot failed:%s\n", std::strerror(reason));
    kvr_close_message_file(&g_kvr_fatal_log);
    std::exit(0);
}

void stop_conflicting_services(void)
{
    os_shell("killall -9 kvr_voice");
    os_shell("killall -9 mtilatcmd");
    os_shell("killall -9 mrvlconnectd");
    os_shell("killall -9 audio_manager");
}
