// Faults of the simulated flash and of the device's files, chosen by
// environment:
//   KVR_SIM_FAIL_ERASE=N  the Nth erase fails once (EIO, the flash unchanged)
//   KVR_SIM_FAIL_WRITE=N  the Nth write fails once (EIO, the flash unchanged)
//   KVR_SIM_POWER_CUT=N   the power goes at the Nth flash operation (erase or
//                         write, counted together): the operation is torn
//                         (half of the pages erased, or half of the bytes
//                         programmed)
//   KVR_SIM_FILE_CUT=N    the power goes at the Nth file operation, before it
//                         is done
// A power cut is counted in "<root>/sim/power_cuts" and the process ends at
// once with status 0, its unflushed buffers lost.
// Flash operations are the erase and write calls on MTD character devices;
// the shell's flash_eraseall and dd are not counted. File operations are the
// calls that change the device's files outside the flash: an open that may
// create, truncate or append (os_open with O_CREAT, O_TRUNC or O_APPEND,
// os_fopen with "w" or "a"), os_rename, os_unlink, os_mkdir, os_rmdir,
// os_symlink, os_chmod and os_chown; the bytes written through an open file
// are not counted.
// The counts start from 1 in every process, unless
//   KVR_SIM_POWER_CUT_SCOPE=device
// keeps the two power-cut counts for the whole device, across processes, in
// "<root>/sim/flash_ops" and "<root>/sim/file_ops" (absent: 0), so that a
// cut can fall on any operation of a run that spans several starts; whoever
// starts such a run removes the two files first. The failures of
// KVR_SIM_FAIL_ERASE and KVR_SIM_FAIL_WRITE are always counted per process.
#pragma once

enum sim_flash_op { SIM_OP_ERASE, SIM_OP_WRITE };
enum sim_fault { SIM_FAULT_NONE, SIM_FAULT_FAIL, SIM_FAULT_CUT };

// Counts one flash operation of the kind and tells what happens to it.
sim_fault sim_fault_next(sim_flash_op op);

// Counts one file operation; true when the power goes at it.
bool sim_file_op_cuts(void);

// Starts the counts of this process again from zero (tests that run several
// cases in one process).
void sim_fault_reset(void);

// Ends the process as a power cut does.
[[noreturn]] void sim_power_cut(void);
