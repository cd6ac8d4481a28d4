// Simulated MTD partitions: "/proc/mtd" of the root lists them, each one's
// flash is the regular file "<root>/dev/mtd/mtd<n>", and the page and spare
// sizes come from "<root>/sys/class/mtd/mtd<n>/writesize" and "oobsize"
// (2048 and 64 when absent), as sysfs gives them on the device.
// NAND rules: erasing sets whole erase blocks to 0xFF; programming writes
// whole pages and can only clear bits, so a program that needs a 0 bit back
// at 1 (a page not erased where the data needs it) fails with EIO and
// changes nothing. Bad blocks are listed in "<root>/sim/mtd<n>.bad", one
// decimal block number a line; erasing or programming one fails with EIO,
// and marking one bad adds it to the list. Faults: sim_fault.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

struct sim_mtd_part {
    int number;
    uint32_t size;
    uint32_t erasesize;
    uint32_t writesize;
    uint32_t oobsize;
};

// The MTD number in "/dev/mtd/mtd<n>" or "/dev/block/mtdblock<n>", else -1.
int sim_mtd_number(const char* device_path);

// Geometry of partition n from the root's /proc/mtd; -1 (ENODEV) if absent.
int sim_mtd_lookup(int number, sim_mtd_part* part);

// Opens the flash file of a partition, creating it erased when missing.
int sim_mtd_open(const sim_mtd_part& part, int flags);

// Erases the whole partition.
int sim_mtd_erase_all(int number);

// Descriptors opened on a character device, so that their calls follow
// the NAND rules.
// False when too many are open at once.
bool sim_mtd_track(int fd, const sim_mtd_part& part);
void sim_mtd_forget(int fd);
const sim_mtd_part* sim_mtd_tracked(int fd);

int sim_mtd_erase(int fd, const sim_mtd_part& part, uint32_t start, uint32_t length);
ssize_t sim_mtd_program(int fd, const sim_mtd_part& part, const void* data, size_t size, off_t offset);

// 1 when the block at the byte offset is bad, 0 when good, -1 (EINVAL) for
// an offset outside the partition.
int sim_mtd_is_bad(const sim_mtd_part& part, uint64_t offset);
// Adds the block at the byte offset to the bad-block list; 0 or -1.
int sim_mtd_mark_bad(const sim_mtd_part& part, uint64_t offset);
