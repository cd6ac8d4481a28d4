// The MTD character device calls that the rig's flash tools share.
#pragma once

#include <cstdint>
#include <mtd/mtd-user.h>

// Opens the device read-write and reads its geometry; -1 (with a message on
// standard error) when either fails.
int open_mtd(const char* path, mtd_info_user& info);

// 1 bad, 0 good, -1 the query failed.
int mtd_is_bad(int fd, uint32_t offset);

int mtd_erase(int fd, uint32_t offset, uint32_t size);
