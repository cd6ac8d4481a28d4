// kvr_fota_update [update]: applies the registered update package in five
// stages across restarts ("update"), or, without it, resumes an interrupted
// update. The exit status is 0; only the simulated build, started without its
// device root, refuses with 2.
#include "log.h"
#include "os.h"
#include "package_trust.h"
#include "paths.h"
#include "stage_store.h"
#include "stages.h"
#include "update_end.h"
#include "work_dirs.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (os_init() != 0) {
        std::fprintf(stderr, "usage: kvr_fota_update [update]\n");
        return 2;
    }
    create_work_dirs();
    kvr_open_message_file(&g_kvr_log, KVR_LOG_PATH, 1);
    kvr_open_fatal_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, 1);
    // "this is source." and "Process (kvr_fota_update)  exist. " (devsim
    // looks for the latter): kept as the device's software expects it.
    if (kvr_unsigned_allowed())
        KVR_FATAL("Begin to kvr_fota_update. this is source. argc=%d, unsigned packages allowed.\n", argc);
    else
        KVR_FATAL("Begin to kvr_fota_update. this is source. argc=%d\n", argc);
    power_fail_protection();
    if (argc > 1 && std::strcmp(argv[1], "update") == 0) {
        KVR_FATAL("FOTA Normal Update begin (Not reboot).\n");
        stop_conflicting_services();
        if (set_current_stage(stage_table[0].id) != 0) {
            KVR_FATAL("Error: set stage number failed.\n");
            kvr_close_message_file(&g_kvr_fatal_log);
            return 0;
        }
        kvr_dua_check_package(0);
        for (const stage_entry& stage : stage_table) stage.step();
    }
    KVR_FATAL("Process (kvr_fota_update)  exist. \n");
    kvr_close_message_file(&g_kvr_fatal_log);
    return 0;
}
