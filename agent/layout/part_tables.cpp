#include "part_tables.h"

const part_entry system_part_table[] = {
    {"init", "init.mld", KVR_PART_IMAGE},
    {"obm", "obm.mld", KVR_PART_IMAGE},
    {"obm_cfg", "obm_cfg.mld", KVR_PART_IMAGE},
    {"mep2", "mep2.mld", KVR_PART_IMAGE},
    {"uboot", "uboot.mld", KVR_PART_IMAGE},
    {"arbel", "arbel.mld", KVR_PART_IMAGE},
    {"msabinary", "msabinary.mld", KVR_PART_IMAGE},
    {"rfplugin", "rfplugin.mld", KVR_PART_IMAGE},
    {"kernel", "kernel.mld", KVR_PART_IMAGE},
    {"system", "system.mld", KVR_PART_FILE_SYSTEM},
    {"userdata", "userdata.mld", KVR_PART_FILE_SYSTEM},
    {"mass_storage", "mass_storage.mld", KVR_PART_FILE_SYSTEM},
    {"NVMFS", "NVMFS.mld", KVR_PART_FILE_SYSTEM},
    {nullptr, nullptr, 0},
};

const part_entry recovery_part_table[] = {
    {"recovery", "recovery.mld", KVR_PART_IMAGE},
    {"kernel_maintenance", "kernel_maintenance.mld", KVR_PART_IMAGE},
    {"uboot_maintenance", "uboot_maintenance.mld", KVR_PART_IMAGE},
    {nullptr, nullptr, 0},
};
