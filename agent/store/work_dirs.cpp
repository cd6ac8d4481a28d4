#include "work_dirs.h"

#include "os.h"
#include "paths.h"

#include <cstdio>
#include <unistd.h>

namespace {

const char* const kWorkDirs[] = {KVR_FOTA_DIR, KVR_DUA_DIR, KVR_DUA_TMP_DIR, KVR_DUA_MNT_DIR, KVR_DUA_BBM_DIR};

} // namespace

int kvr_make_work_dirs(const char** failed)
{
    for (const char* dir : kWorkDirs) {
        if (os_access(dir, R_OK) != 0 && os_mkdir(dir, 0700) != 0) {
            *failed = dir;
            return -1;
        }
    }
    return 0;
}

int create_work_dirs(void)
{
    const char* failed = nullptr;
    if (kvr_make_work_dirs(&failed) != 0) {
        std::fprintf(stderr, "mkdir %s error\n", failed);
        return -1;
    }
    return 0;
}
