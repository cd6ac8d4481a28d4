#include "stage_store.h"

#include "log.h"
#include "os.h"
#include "paths.h"
#include "state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t kPartNameSize = 32;

} // namespace

int set_current_stage(const char* id)
{
    KVR_LOG("start\n");
    if (id == nullptr) {
        KVR_LOG("input is NULL. illegal parameter.\n");
        return -1;
    }
    state_file_result written = state_file_write(KVR_STAGE_PATH, "wb+", id, std::strlen(id));
    if (written == STATE_FILE_OPEN_FAILED) KVR_LOG("open file error:%s\n", std::strerror(errno));
    if (written == STATE_FILE_WRITE_FAILED) KVR_LOG("write file error:%s\n", std::strerror(errno));
    if (written != STATE_FILE_OK) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int get_current_stage(void)
{
    KVR_LOG("start\n");
    FILE* file = os_fopen(KVR_STAGE_PATH, "r+");
    if (file == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    char text[3] = {};
    size_t got = std::fread(text, 1, 2, file);
    std::fclose(file);
    KVR_LOG("end, stage=%s, read %zu bytes\n", text, got);
    return std::atoi(text);
}

int kvr_dua_set_current_part(const part_entry* table, int position)
{
    KVR_LOG("start\n");
    if (table == nullptr) {
        KVR_FATAL("Error: Input is NULL.\n");
        return -1;
    }
    const char* name = table[position].part_name;
    bool legal = name != nullptr && std::strlen(name) < kPartNameSize;
    const char* content = legal ? name : "";
    if (state_file_write(KVR_CURRENT_PART_PATH, "wb+", content, std::strlen(content)) == STATE_FILE_OPEN_FAILED) {
        KVR_FATAL("Error: open [%s] failed.\n", KVR_CURRENT_PART_PATH);
        return -1;
    }
    if (!legal) {
        KVR_FATAL("Error: input para data is illegal.\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int kvr_dua_get_current_part(const part_entry* table, int* position)
{
    KVR_LOG("start\n");
    if (table == nullptr || position == nullptr) {
        KVR_FATAL("Error: Input is NULL.\n");
        return -1;
    }
    *position = 0;
    if (os_access(KVR_CURRENT_PART_PATH, R_OK) != 0) {
        KVR_LOG("end, no partition under way\n");
        return 0;
    }
    FILE* file = os_fopen(KVR_CURRENT_PART_PATH, "rb");
    if (file == nullptr) {
        KVR_FATAL("Error: open [%s] failed.\n", KVR_CURRENT_PART_PATH);
        return -1;
    }
    char name[kPartNameSize] = {};
    std::fread(name, 1, kPartNameSize - 1, file);
    std::fclose(file);
    for (int row = 0; table[row].part_name != nullptr; ++row) {
        if (std::strcmp(table[row].part_name, name) == 0) {
            *position = row;
            KVR_LOG("end, resume at %s\n", name);
            return 0;
        }
    }
    KVR_FATAL("Error: part name is not match part in current_update file.\n");
    return -1;
}
