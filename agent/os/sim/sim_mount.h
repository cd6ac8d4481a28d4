// yaffs2 mounts of the simulated device. The file system of MTD partition n
// is the folder "<root>/sim/yaffs2/mtd<n>" (created empty on its first
// mount, as a freshly erased partition mounts empty). Mounting
// "/dev/block/mtdblock<n>" on an empty folder replaces the folder with a
// link to that file system; unmounting puts an empty folder (mode 0700)
// back. The mount flags change nothing here. Mounts made here are listed in
// "<root>/sim/mounts", so that a start of the device (KVR_SIM_BOOT=1, which
// devsim sets for every start of the agent) finds them gone, as a real
// restart or power cut leaves no mount behind.
#pragma once

// 0, or -1 with errno: ENODEV for a type other than "yaffs2", ENOTBLK for a
// device that isn't an MTD block device, ENOENT for a partition not in
// /proc/mtd or a missing folder, EBUSY for a folder already mounted or not
// empty.
int sim_mount(const char* device, const char* folder, const char* type);

// 0, or -1 (EINVAL) when nothing is mounted on the folder.
int sim_umount(const char* folder);

// Undoes every mount listed by sim_mount: what a restart of the device does.
void sim_unmount_all(void);
