#include "stages.h"

#include "fota_flag.h"
#include "log.h"
#include "os.h"
#include "package.h"
#include "package_trust.h"
#include "part_tables.h"
#include "paths.h"
#include "stage_store.h"
#include "status_store.h"
#include "table_update.h"
#include "update_end.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

const stage_entry stage_table[KVR_STAGE_COUNT] = {
    {"9", kvr_dua_pre_update_stage},
    {"0", kvr_dua_de_verify_delta},
    {"1", kvr_dua_recovery_update},
    {"2", kvr_dua_system_update},
    {"3", kvr_dua_post_update_stage},
};

namespace {

// Position of the stage whose id is the number formatted with "%d" into
// three bytes; KVR_STAGE_COUNT when none is.
int stage_position(int number)
{
    char id[3];
    std::snprintf(id, sizeof id, "%d", number);
    int position = 0;
    while (position < KVR_STAGE_COUNT && std::strcmp(stage_table[position].id, id) != 0) ++position;
    return position;
}

// The update has failed: the FOTA flag for the stages that set it, the
// bookkeeping, and the restart. The flag is written while update.flg still
// stands: a power loss before the bookkeeping then repeats the stage and
// writes the flag again, where the other order would leave the flag of the
// recovery stage (or an erased "misc") behind an update that has ended.
[[noreturn]] void end_failed_update(bool set_flag)
{
    if (set_flag) set_fota_flag(KVR_FOTA_FLAG_UPDATE_ENDED);
    update_fail();
    fota_reboot();
}

// The system and the post stage set the FOTA flag when they fail: the
// recovery partitions have been updated by then.
bool stage_failure_sets_flag(int position)
{
    return position >= 3;
}

// Extracts a package script and runs it with "sh"; false when the package
// has no such member.
bool run_package_script(const char* package_path, const char* member, const char* script)
{
    if (package_split_file(package_path, member, script) != 0) return false;
    char command[64];
    std::snprintf(command, sizeof command, "sh %s", script);
    os_shell(command);
    os_unlink(script);
    return true;
}

} // namespace

void power_fail_protection(void)
{
    // "is not exist", and the fatal-log line on every start without an
    // update: kept as the device's software expects it.
    if (os_access(KVR_STAGE_PATH, R_OK) != 0) {
        KVR_LOG("POWER_FAIL_PROT is not exist.\n");
        KVR_FATAL("POWER_FAIL_PROT is not exist.\n");
        return;
    }
    kvr_dua_set_update_status(KVR_STATUS_UNDER_WAY);
    update_fsm_proc();
}

void update_fsm_proc(void)
{
    int position = stage_position(get_current_stage());
    KVR_FATAL("Fota update after device reboot. stage=%d\n", position);
    if (position == KVR_STAGE_COUNT) end_failed_update(true);
    kvr_dua_check_package(position);
    stop_conflicting_services();
    for (; position < KVR_STAGE_COUNT; ++position) stage_table[position].step();
}

void kvr_dua_check_package(int position)
{
    char package_path[KVR_DELTA_PATH_SIZE];
    if (get_delta_file_path(package_path) != 0) {
        KVR_FATAL("Error: Get delta file path failed.\n");
        end_failed_update(stage_failure_sets_flag(position));
    }
    kvr_package_trust trust = kvr_check_package_trust(package_path);
    if (kvr_package_accepted(trust)) return;
    KVR_FATAL("Error: %s.\n", kvr_package_trust_text(trust));
    end_failed_update(stage_failure_sets_flag(position));
}

int kvr_set_new_stage(void)
{
    int number = get_current_stage();
    int position = stage_position(number);
    if (position >= KVR_STAGE_COUNT - 1) {
        KVR_FATAL("Error: stage number [%d] error.\n", number);
        return -1;
    }
    if (set_current_stage(stage_table[position + 1].id) != 0) {
        KVR_FATAL("Error: set stage number failed.\n");
        return -1;
    }
    return 0;
}

int kvr_dua_pre_update_stage(void)
{
    KVR_FATAL("Start pre update stage.\n");
    os_unlink(KVR_PRE_SCRIPT_PATH);
    char package_path[KVR_DELTA_PATH_SIZE];
    if (get_delta_file_path(package_path) != 0) {
        KVR_FATAL("Error: Get delta file path failed.\n");
    } else {
        if (!run_package_script(package_path, "preprocessing.mld", KVR_PRE_SCRIPT_PATH))
            KVR_FATAL("preprocessing.sh is not found.\n");
        if (kvr_set_new_stage() == 0) return 0;
        KVR_FATAL("Error: set stage number failed.\n");
    }
    KVR_FATAL("Error: pre processing failed.\n");
    end_failed_update(false);
}

int kvr_dua_de_verify_delta(void)
{
    KVR_LOG("start verify delta.\n");
    KVR_FATAL("Start verify recovery system.\n");
    os_unlink(KVR_CURRENT_PART_PATH);
    if (kvr_dua_update(recovery_part_table, KVR_OP_VERIFY) != 0) {
        KVR_LOG("verify recovery error\n");
    } else {
        os_unlink(KVR_CURRENT_PART_PATH);
        KVR_FATAL("Start verify Normal system.\n");
        if (kvr_dua_update(system_part_table, KVR_OP_VERIFY) != 0) {
            KVR_LOG("verify system error\n");
        } else if (kvr_set_new_stage() != 0) {
            KVR_FATAL("Error: set stage number failed.\n");
        } else {
            os_unlink(KVR_CURRENT_PART_PATH);
            // The doubled space is kept as the device's software expects it.
            KVR_LOG("verify  success\n");
            return 0;
        }
    }
    KVR_LOG("verify failed\n");
    KVR_FATAL("Error: verify failed.\n");
    end_failed_update(false);
}

int kvr_dua_recovery_update(void)
{
    KVR_LOG("start kvr_dua_recovery_update\n");
    KVR_FATAL("Start update Recovery System.\n");
    if (kvr_dua_update(recovery_part_table, KVR_OP_APPLY) != 0) {
        KVR_LOG("update recovery error\n");
        KVR_FATAL("Error: Update Recovery System failed.\n");
    } else if (kvr_set_new_stage() != 0) {
        KVR_FATAL("Error: set stage number failed.\n");
    } else {
        os_unlink(KVR_CURRENT_PART_PATH);
        set_fota_flag(KVR_FOTA_FLAG_RECOVERY_DONE);
        fota_reboot();
    }
    // "reco": kept as the device's software expects it.
    KVR_LOG("update reco failed\n");
    end_failed_update(false);
}

int kvr_dua_system_update(void)
{
    KVR_LOG("start kvr_dua_system_update\n");
    KVR_FATAL("Start update Normal System.\n");
    if (kvr_dua_update(system_part_table, KVR_OP_APPLY) != 0) {
        KVR_LOG("update system error\n");
        KVR_FATAL("Error: update Normal System failed.\n");
    } else if (kvr_set_new_stage() != 0) {
        KVR_FATAL("Error: set stage number failed.\n");
    } else {
        os_unlink(KVR_CURRENT_PART_PATH);
        KVR_LOG("end kvr_dua_system_update\n");
        return 0;
    }
    KVR_LOG("error\n");
    end_failed_update(true);
}

int kvr_dua_post_update_stage(void)
{
    KVR_FATAL("Start post update stage.\n");
    os_unlink(KVR_POST_SCRIPT_PATH);
    char package_path[KVR_DELTA_PATH_SIZE];
    if (get_delta_file_path(package_path) != 0) {
        KVR_FATAL("Error: Get delta file path failed.\n");
        KVR_LOG("error\n");
        end_failed_update(true);
    }
    run_package_script(package_path, "postprocessing.mld", KVR_POST_SCRIPT_PATH);
    KVR_FATAL("FOTA Update successful.\n");
    // The flag before the bookkeeping that ends the update, as above.
    set_fota_flag(KVR_FOTA_FLAG_UPDATE_ENDED);
    update_success();
    fota_reboot();
}
