// The simulated device's root folder and the mapping of the device's fixed
// paths into it.
#pragma once

#include <cstddef>

// Reads KVR_FOTA_ROOT; -1 with a text on standard error when it doesn't name
// a folder other than "/".
int sim_root_init(void);

// The root folder, or null before a successful sim_root_init.
const char* sim_root(void);

// Maps a device path into the root: "/x" and "x" become "<root>/x", and the
// block device "/dev/block/mtdblock<n>" shares the file of "/dev/mtd/mtd<n>".
// A path with a ".." component, or any path before initialisation, is
// refused (-1, errno EACCES); a result that doesn't fit gives ENAMETOOLONG.
int sim_map(const char* path, char* out, size_t size);

// True when the path has a ".." component.
bool sim_path_climbs(const char* path);

// Flushes the file system that holds the root.
int sim_sync(void);

// Adds one to the count in "<root>/sim/<name>" (created at 1); the new
// count, or -1. A simulated power cut ends the process, so what was written
// survives it without a sync.
long sim_count_event(const char* name);
