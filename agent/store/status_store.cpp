#include "status_store.h"

#include "log.h"
#include "os.h"
#include "paths.h"
#include "state_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Writes a whole state file with the store's messages.
int write_store_file(const char* path, const char* mode, const char* text)
{
    state_file_result written = state_file_write(path, mode, text, std::strlen(text));
    if (written == STATE_FILE_OPEN_FAILED) KVR_LOG("open file error:%s\n", std::strerror(errno));
    if (written == STATE_FILE_WRITE_FAILED) KVR_LOG("write file error:%s\n", std::strerror(errno));
    return written == STATE_FILE_OK ? 0 : -1;
}

bool usable_delta_path(const char* path)
{
    size_t length = path ? std::strlen(path) : 0;
    if (length == 0 || length >= KVR_DELTA_PATH_SIZE) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::isspace(static_cast<unsigned char>(path[i]))) return false;
    return true;
}

} // namespace

int kvr_dua_set_update_status(int status)
{
    KVR_LOG("start, status=%d\n", status);
    char text[16];
    std::snprintf(text, sizeof text, "%d", status);
    if (write_store_file(KVR_UPDATE_STATUS_PATH, "wb+", text) != 0) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int kvr_dua_get_update_status(void)
{
    KVR_LOG("start\n");
    FILE* file = os_fopen(KVR_UPDATE_STATUS_PATH, "rb+");
    if (file == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    int status = 0;
    bool read = std::fscanf(file, "%d", &status) == 1;
    if (!read) KVR_LOG("get info from file error:%s\n", std::strerror(std::ferror(file) ? errno : EINVAL));
    std::fclose(file);
    if (!read) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end, status=%d\n", status);
    return status;
}

int set_delta_file_path(const char* path)
{
    KVR_LOG("start\n");
    if (!usable_delta_path(path)) {
        KVR_LOG("package path is illegal: %s\n", path ? path : "(null)");
        KVR_LOG("error\n");
        return -1;
    }
    if (write_store_file(KVR_DELTA_CONF_PATH, "w+", path) != 0) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int get_delta_file_path(char* path)
{
    KVR_LOG("start\n");
    FILE* file = os_fopen(KVR_DELTA_CONF_PATH, "rb+");
    if (file == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    char word[KVR_DELTA_PATH_SIZE] = {};
    bool read = std::fscanf(file, "%127s", word) == 1;
    int after = read ? std::fgetc(file) : EOF;
    // A longer path would come back cut short and name another file.
    bool whole = read && (after == EOF || std::isspace(after));
    if (!whole) KVR_LOG("get info from file error:%s\n", std::strerror(read ? ENAMETOOLONG : std::ferror(file) ? errno : EINVAL));
    std::fclose(file);
    if (!whole) {
        KVR_LOG("error\n");
        return -1;
    }
    std::memcpy(path, word, sizeof word);
    KVR_LOG("end, package is %s\n", path);
    return 0;
}
