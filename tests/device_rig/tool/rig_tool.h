// The rig's helper inside the test machine: an image written to a
// partition, the erase that the router's "busybox flash_eraseall" does, and
// the agent run as the first process of its own PID namespace with kill
// points at chosen syscalls.
#pragma once

int rig_write(int argc, char** argv);
int rig_eraseall(int argc, char** argv);
int rig_run(int argc, char** argv);
