// The five update stages, run in table order from the stored stage.
#pragma once

struct stage_entry {
    const char* id;
    int (*step)(void);
};

constexpr int KVR_STAGE_COUNT = 5;
extern const stage_entry stage_table[KVR_STAGE_COUNT];

// Resumes an interrupted update when "/cache/kvr_fota/update.flg" exists.
void power_fail_protection(void);

// Runs the stages from the stored one to the last.
void update_fsm_proc(void);

// Ends the update as failed, before anything of the package is used, when
// the registered package is not one that this device accepts: one fatal-log
// line names the reason. position: the stage about to run; the FOTA flag is
// set as that stage's own failure would set it. Returns when the package is
// accepted.
void kvr_dua_check_package(int position);

// Stores the id of the stage after the stored one.
int kvr_set_new_stage(void);

int kvr_dua_pre_update_stage(void);
int kvr_dua_de_verify_delta(void);
int kvr_dua_recovery_update(void);
int kvr_dua_system_update(void);
int kvr_dua_post_update_stage(void);
