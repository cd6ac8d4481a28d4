// The agent's only door to the device: files and folders under the fixed
// paths, MTD character devices, the shell, sync and restart, and the public
// keys that the device trusts. Two
// implementations exist, chosen at link time: os/device (the real calls) and
// os/sim (a simulated router under the folder named by KVR_FOTA_ROOT).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>

#include <mtd/mtd-user.h>

// Prepares the implementation; -1 (with a text on standard error) when it
// can't run, which only the simulated device does without its root folder.
int os_init(void);

// Path-based file calls, with the semantics of their libc namesakes.
FILE* os_fopen(const char* path, const char* mode);
int os_open(const char* path, int flags, mode_t mode);
int os_close(int fd);
int os_access(const char* path, int how);
int os_mkdir(const char* path, mode_t mode);
int os_rmdir(const char* path);
int os_unlink(const char* path);
int os_rename(const char* from, const char* to);
int os_symlink(const char* target, const char* link_path);
ssize_t os_readlink(const char* path, char* buffer, size_t size);
int os_lstat(const char* path, struct stat* st);
int os_chown(const char* path, uid_t owner, gid_t group);
int os_chmod(const char* path, mode_t mode);
int os_statfs(const char* path, struct statfs* st);

// MTD character device calls on a descriptor from os_open: MEMGETINFO,
// MEMERASE, a page write, a read, MEMGETBADBLOCK (1 bad, 0 good, -1 failed)
// and MEMSETBADBLOCK at a byte offset of the partition.
int os_mtd_info(int fd, mtd_info_user* info);
int os_mtd_erase(int fd, uint32_t start, uint32_t length);
ssize_t os_mtd_write(int fd, const void* data, size_t size, off_t offset);
ssize_t os_mtd_read(int fd, void* data, size_t size, off_t offset);
int os_mtd_is_bad(int fd, uint64_t offset);
int os_mtd_mark_bad(int fd, uint64_t offset);

// Mounts the block device on the folder with the file-system type and
// mount flags (no data), and unmounts it, as mount(2) and umount(2).
int os_mount(const char* device, const char* folder, const char* type, unsigned long flags);
int os_umount(const char* folder);

// Runs a command line through the shell; the result is that of system().
int os_shell(const char* command);
void os_sync(void);

// The text of the index-th public key file that packages may be signed
// with (0 first): its length, or -1 when there is no such key. The device
// build carries its keys from the build (KVR_TRUSTED_KEYS); the simulated
// device keeps them as the files of "/etc/kvr_fota/keys/", in name order.
int os_trusted_key_text(int index, char* text, size_t size);

// Asks for a restart of the machine. Returns only when the request failed
// (-1, errno set).
int os_reboot(void);
