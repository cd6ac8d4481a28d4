#include "table_update.h"

#include "log.h"
#include "package.h"
#include "stage_store.h"
#include "status_store.h"
#include "update_parti.h"

namespace {

// No progress display is attached on the device; progress shows in the log.
void report_progress(int percent)
{
    KVR_LOG("progress %d\n", percent);
}

} // namespace

long long kvr_dua_get_delta_totalsize(const char* package_path, const part_entry* table)
{
    KVR_LOG("start, package is %s\n", package_path);
    long long total = 0;
    for (int row = 0; table[row].part_name != nullptr; ++row) {
        package_entry entry;
        int found = get_infile_info(package_path, table[row].delta_name, &entry);
        if (found < 0) {
            KVR_LOG("get infile offset error\n");
            KVR_LOG("error\n");
            return -1;
        }
        if (found > 0) total += entry.length;
    }
    KVR_LOG("end\n");
    return total;
}

int kvr_dua_update(const part_entry* table, int op_mode)
{
    KVR_LOG("start\n");
    char package_path[KVR_DELTA_PATH_SIZE];
    bool ok = true;
    if (get_delta_file_path(package_path) != 0) {
        KVR_LOG("not get delta file path\n");
        KVR_FATAL("Error: Get delta file path failed.\n");
        ok = false;
    }
    long long total = ok ? kvr_dua_get_delta_totalsize(package_path, table) : -1;
    if (ok && total < 0) {
        KVR_LOG("get delta total size error\n");
        ok = false;
    }
    int start = 0;
    if (ok) kvr_dua_get_current_part(table, &start);
    for (int row = start; ok && table[row].part_name != nullptr; ++row) {
        const part_entry& part = table[row];
        package_entry entry;
        int found = get_infile_info(package_path, part.delta_name, &entry);
        if (found == 0) {
            KVR_LOG("%s is not found in file_package.\n", part.part_name);
            continue;
        }
        if (found < 0) {
            KVR_LOG("get infile offset error\n");
            ok = false;
            break;
        }
        KVR_LOG("start update %s, mode is %d\n", part.part_name, op_mode);
        KVR_FATAL("Start update %s, mode is %d\n", part.part_name, op_mode);
        kvr_dua_set_current_part(table, row);
        if (kvr_dua_update_parti(part.part_name, package_path, entry.offset, entry.length, part.part_type, op_mode,
                                 report_progress) < 0) {
            KVR_LOG("image %s update error, mode is %d\n", part.part_name, op_mode);
            ok = false;
            break;
        }
        KVR_LOG("end update %s, mode is %d\n", part.part_name, op_mode);
    }
    if (!ok) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end, delta total size %lld\n", total);
    return 0;
}
