// Faults of the simulated flash, chosen by environment and counted per
// process (every run of the agent counts from 1):
//   KVR_SIM_FAIL_ERASE=N  the Nth erase fails once (EIO, the flash unchanged)
//   KVR_SIM_FAIL_WRITE=N  the Nth write fails once (EIO, the flash unchanged)
//   KVR_SIM_POWER_CUT=N   the power goes at the Nth flash operation (erase or
//                         write, counted together): the operation is torn
//                         (half of the pages erased, or half of the bytes
//                         programmed), the cut is counted in
//                         "<root>/sim/power_cuts" and the process ends at once
//                         with status 0, its unflushed buffers lost.
// Flash operations are the erase and write calls on MTD character devices;
// the shell's flash_eraseall and dd are not counted.
#pragma once

enum sim_flash_op { SIM_OP_ERASE, SIM_OP_WRITE };
enum sim_fault { SIM_FAULT_NONE, SIM_FAULT_FAIL, SIM_FAULT_CUT };

// Counts one operation of the kind and tells what happens to it.
sim_fault sim_fault_next(sim_flash_op op);

// Starts the counts again from zero (tests that run several cases in one
// process).
void sim_fault_reset(void);

// Ends the process as a power cut does.
[[noreturn]] void sim_power_cut(void);
