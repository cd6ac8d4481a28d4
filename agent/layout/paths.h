// The fixed paths of the agent on the device.
#pragma once

#define KVR_FOTA_DIR "/cache/kvr_fota/"
#define KVR_DUA_DIR "/cache/kvr_fota/dua/"
#define KVR_DUA_TMP_DIR "/cache/kvr_fota/dua/tmp/"
#define KVR_DUA_MNT_DIR "/cache/kvr_fota/dua/mnt/"
#define KVR_DUA_BBM_DIR "/cache/kvr_fota/dua/tmp/bbm/"

#define KVR_LOG_FLAG_PATH "/cache/kvr_fota/log_flag"
#define KVR_LOG_PATH "/cache/kvr_fota/dua/log_kvr"
#define KVR_FATAL_LOG_PATH "/cache/kvr_fota/dua/log_fatal_kvr"

#define KVR_STAGE_PATH "/cache/kvr_fota/update.flg"
#define KVR_CURRENT_PART_PATH "/cache/kvr_fota/current_update"
#define KVR_UPDATE_STATUS_PATH "/cache/kvr_fota/dua/update_status"
#define KVR_DELTA_CONF_PATH "/cache/kvr_fota/dua/delta_file_conf"
#define KVR_FOTA_FLAG_PATH "/cache/kvr_fota/dua/tmp/FOTA_FLAG.bin"
#define KVR_RESULT_FLAG_PATH "/cache/up_result_for_del.flg"

#define KVR_PRE_SCRIPT_PATH "/cache/preprocessing.sh"
#define KVR_POST_SCRIPT_PATH "/cache/postprocessing.sh"

#define KVR_ENGINE_LOG_PATH "/cache/kvr_fota/dua/log_engine"
#define KVR_BACKUP_BLOCK_PATH "/cache/kvr_fota/dua/tmp/block_backup"
#define KVR_ENGINE_TMP_FILE_PATH "/cache/kvr_fota/dua/tmp/tmp_file"
#define KVR_SYSTEM_VERIFY_MNT_DIR "/cache/kvr_fota/dua/mnt/system/"

// The public keys that the simulated device trusts (the device build carries
// its keys in the program).
#define KVR_SIM_TRUSTED_KEYS_DIR "/etc/kvr_fota/keys/"
