#include "fota_flag.h"

#include "le_fields.h"
#include "log.h"
#include "mtd_lookup.h"
#include "os.h"
#include "paths.h"
#include "state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace {

constexpr size_t kCommandSize = 256;
constexpr unsigned char kUpdateFlagSet[4] = {0x43, 0x53, 0x64, 0x64};
constexpr unsigned char kUpdateFlagCleared[4] = {0x03, 0x53, 0x60, 0x60};

// Programs the flag page of the "fota" partition, erasing its first block
// before when asked to.
int write_flag_page(const unsigned char* pattern, bool erase_first, const char* open_message,
                    const char* info_message)
{
    KVR_LOG("start\n");
    int number = ml_get_mtd_block_num("fota");
    if (number < 0) {
        // "not find": kept as the device's software expects it.
        KVR_LOG("fota partition is not find\n");
        KVR_LOG("error\n");
        return -1;
    }
    char device[64];
    std::snprintf(device, sizeof device, "/dev/mtd/mtd%d", number);
    int fd = os_open(device, O_RDWR, 0);
    if (fd < 0) {
        KVR_LOG(open_message, std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    mtd_info_user info;
    unsigned char* page = nullptr;
    bool ok = false;
    if (os_mtd_info(fd, &info) != 0) {
        KVR_LOG(info_message, std::strerror(errno));
    } else if (info.writesize < sizeof kUpdateFlagSet ||
               (page = static_cast<unsigned char*>(std::malloc(info.writesize))) == nullptr) {
        KVR_LOG("malloc error\n");
    } else if (erase_first && os_mtd_erase(fd, 0, info.erasesize) != 0) {
        KVR_LOG("flash erase error:%s\n", std::strerror(errno));
    } else {
        std::memset(page, 0xFF, info.writesize);
        std::memcpy(page, pattern, sizeof kUpdateFlagSet);
        ok = os_mtd_write(fd, page, info.writesize, 0) == static_cast<ssize_t>(info.writesize);
        if (!ok) KVR_LOG("flash write error:%s\n", std::strerror(errno));
    }
    std::free(page);
    os_close(fd);
    if (!ok) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

} // namespace

int set_fota_flag(int flag)
{
    // The "======" trace lines on standard error, and the erase command's
    // result as the return value: kept as the device's software expects it.
    std::fprintf(stderr, "flash_flag is %d\n", flag);
    unsigned char record[KVR_FOTA_FLAG_RECORD_SIZE] = {};
    kvr_put_le32(record, KVR_FOTA_FLAG_MAGIC);
    kvr_put_le32(record + 4, static_cast<uint32_t>(flag));
    if (state_file_write(KVR_FOTA_FLAG_PATH, "w", record, sizeof record) != STATE_FILE_OK) return -2;
    std::fprintf(stderr, "======start ml_get_mtd_block_num \n");
    int number = ml_get_mtd_block_num("misc");
    std::fprintf(stderr, "======ml_get_mtd_block_num  mtd_block_num = %d \n", number);
    if (number < 0) return -1;
    int erased = ml_flashEraseBlockMTD(number);
    std::fprintf(stderr, "======ml_flashEraseBlockMTD  retVal = %d \n", erased);
    if (erased < 0) return -1;
    char command[kCommandSize];
    std::fprintf(stderr, "======start shell_cmd = !!!====\n");
    int n = std::snprintf(command, sizeof command, "busybox dd if=%s of=/dev/block/mtdblock%d bs=%d count=%d seek=%d",
                          KVR_FOTA_FLAG_PATH, number, 1024, 1, 0);
    std::fprintf(stderr, "======start shell_cmd = len =%d\n", n);
    if (n < 0 || static_cast<size_t>(n) >= sizeof command) return -3;
    std::fprintf(stderr, "======shell_cmd = %s\n", command);
    os_shell(command);
    os_sync();
    return erased;
}

int kvr_dua_set_update_flag(void)
{
    // The colon after the reason, unlike in the clearing texts: kept as the device's software expects it.
    return write_flag_page(kUpdateFlagSet, true, "open flash error %s:\n", "get flash info error %s:\n");
}

int kvr_dua_clr_update_flag(void)
{
    return write_flag_page(kUpdateFlagCleared, false, "open flash error:%s\n", "get flash info error:%s\n");
}
