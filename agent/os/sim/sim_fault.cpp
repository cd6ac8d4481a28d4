#include "os/sim/sim_fault.h"

#include "os/sim/sim_root.h"

#include <cstdlib>
#include <unistd.h>

namespace {

long g_erases = 0;
long g_writes = 0;
long g_operations = 0;

// The positive count that the variable names, else 0.
long chosen(const char* name)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return *end == '\0' && value > 0 ? value : 0;
}

} // namespace

sim_fault sim_fault_next(sim_flash_op op)
{
    long& count = op == SIM_OP_ERASE ? g_erases : g_writes;
    ++count;
    ++g_operations;
    if (g_operations == chosen("KVR_SIM_POWER_CUT")) return SIM_FAULT_CUT;
    if (count == chosen(op == SIM_OP_ERASE ? "KVR_SIM_FAIL_ERASE" : "KVR_SIM_FAIL_WRITE")) return SIM_FAULT_FAIL;
    return SIM_FAULT_NONE;
}

void sim_fault_reset(void)
{
    g_erases = 0;
    g_writes = 0;
    g_operations = 0;
}

void sim_power_cut(void)
{
    sim_count_event("power_cuts");
    _exit(0);
}
