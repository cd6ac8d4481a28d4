#include "registration.h"

#include "log.h"
#include "package.h"
#include "package_trust.h"
#include "paths.h"
#include "status_store.h"
#include "work_dirs.h"

int kvr_dua_verify_delta(const char* package_path)
{
    KVR_LOG("start\n");
    const char* failed = nullptr;
    if (kvr_make_work_dirs(&failed) != 0) {
        KVR_LOG("mkdir %s error\n", failed);
        KVR_LOG("error\n");
        return -1;
    }
    if (g_kvr_log == nullptr && kvr_open_message_file(&g_kvr_log, KVR_LOG_PATH, 1) != 0) {
        KVR_LOG("create message file error\n");
        return -1;
    }
    if (g_kvr_fatal_log == nullptr) kvr_open_fatal_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, 1);
    if (verify_package(package_path) != 0) {
        kvr_dua_set_update_status(KVR_STATUS_BAD_PACKAGE);
        KVR_LOG("error\n");
        return -1;
    }
    kvr_package_trust trust = kvr_check_package_trust(package_path);
    if (!kvr_package_accepted(trust)) {
        KVR_LOG("%s\n", kvr_package_trust_text(trust));
        KVR_FATAL("Error: %s.\n", kvr_package_trust_text(trust));
        kvr_dua_set_update_status(KVR_STATUS_BAD_PACKAGE);
        KVR_LOG("error\n");
        return -1;
    }
    // "package split error" for a status that can't be stored, and "pata":
    // kept as the device's software expects it.
    if (kvr_dua_set_update_status(KVR_STATUS_REGISTERED) != 0) {
        KVR_LOG("package split error\n");
        KVR_LOG("error\n");
        return -1;
    }
    if (set_delta_file_path(package_path) != 0) {
        KVR_LOG("set delta file pata error\n");
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int kvr_dua_set_to_update(void)
{
    KVR_LOG("start\n");
    if (kvr_dua_set_update_status(KVR_STATUS_UNDER_WAY) != 0) {
        KVR_LOG("package split error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}
