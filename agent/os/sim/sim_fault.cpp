#include "sim_fault.h"

#include "sim_root.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

long g_erases = 0;
long g_writes = 0;
long g_flash_ops = 0;
long g_file_ops = 0;

// The positive count that the variable names, else 0.
long chosen(const char* name)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return *end == '\0' && value > 0 ? value : 0;
}

// True when the count is the one the variable chooses.
bool is_chosen(long count, const char* name)
{
    long wanted = chosen(name);
    return wanted > 0 && count == wanted;
}

bool device_scope()
{
    const char* scope = std::getenv("KVR_SIM_POWER_CUT_SCOPE");
    return scope != nullptr && std::strcmp(scope, "device") == 0;
}

// Adds one to the device's count in "<root>/sim/<name>" and returns it; the
// file goes through the host's page cache only, as a cut ends the process
// and not the host. 0 when the count can't be kept.
long next_device_count(const char* name)
{
    const long count = sim_count_event(name);
    return count < 0 ? 0 : count;
}

// Counts one operation of the power-cut count kept in process_count (or in
// the device file of that name) and returns the count.
long next_cut_count(long& process_count, const char* device_file)
{
    ++process_count;
    return device_scope() ? next_device_count(device_file) : process_count;
}

} // namespace

sim_fault sim_fault_next(sim_flash_op op)
{
    long& count = op == SIM_OP_ERASE ? g_erases : g_writes;
    ++count;
    if (is_chosen(next_cut_count(g_flash_ops, "flash_ops"), "KVR_SIM_POWER_CUT")) return SIM_FAULT_CUT;
    if (is_chosen(count, op == SIM_OP_ERASE ? "KVR_SIM_FAIL_ERASE" : "KVR_SIM_FAIL_WRITE")) return SIM_FAULT_FAIL;
    return SIM_FAULT_NONE;
}

bool sim_file_op_cuts(void)
{
    return is_chosen(next_cut_count(g_file_ops, "file_ops"), "KVR_SIM_FILE_CUT");
}

void sim_fault_reset(void)
{
    g_erases = 0;
    g_writes = 0;
    g_flash_ops = 0;
    g_file_ops = 0;
}

void sim_power_cut(void)
{
    sim_count_event("power_cuts");
    _exit(0);
}
