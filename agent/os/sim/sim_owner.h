// File owners on the simulated device, which runs without the right to
// change them: a change of owner is recorded in "<root>/sim/owners" (one
// line "inode uid gid" per change, the last line of an inode counting) and
// reported by the status calls in place of the real owner.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

// Records the owner of the file at the real path; 0 or -1.
int sim_owner_set(const char* real_path, uid_t owner, gid_t group);

// Puts the recorded owner, if any, into the status of a file.
void sim_owner_apply(struct stat* st);
