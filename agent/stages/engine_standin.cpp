// The simulated build's engine entry: the delta update engine, as in the
// device build, unless KVR_STANDIN_ENGINE asks tests of the stages for a
// stand-in that touches no flash:
//   (unset)              the delta update engine
//   pass                 every partition succeeds, reporting 100 percent
//   fail:NAME[:MODE]     partition NAME fails (in op_mode MODE only, if given)
//   cut:NAME[:MODE]      the process ends at once on partition NAME, as a
//                        power cut would end it
#include "delta_engine.h"
#include "engine_callbacks.h"
#include "flash_ctx.h"

#include <cstdlib>
#include <string>

namespace {

enum standin_outcome { STANDIN_PASS, STANDIN_FAIL, STANDIN_CUT, STANDIN_ENGINE };

bool names_partition(const std::string& target, const char* part_name, int op_mode)
{
    size_t colon = target.find(':');
    if (target.substr(0, colon) != part_name) return false;
    return colon == std::string::npos || target.substr(colon + 1) == std::to_string(op_mode);
}

standin_outcome chosen_outcome(const char* part_name, int op_mode)
{
    const char* setting = std::getenv("KVR_STANDIN_ENGINE");
    if (setting == nullptr || *setting == '\0') return STANDIN_ENGINE;
    std::string directive = setting;
    if (directive == "pass") return STANDIN_PASS;
    if (directive.rfind("fail:", 0) == 0 && names_partition(directive.substr(5), part_name, op_mode)) return STANDIN_FAIL;
    if (directive.rfind("cut:", 0) == 0 && names_partition(directive.substr(4), part_name, op_mode)) return STANDIN_CUT;
    return directive.rfind("fail:", 0) == 0 || directive.rfind("cut:", 0) == 0 ? STANDIN_PASS : STANDIN_FAIL;
}

uint32_t sim_entry(uintptr_t* params)
{
    flash_ctx* ctx = reinterpret_cast<flash_ctx*>(params[KVR_PARAM_USER_DATA]);
    const uintptr_t* descriptor = reinterpret_cast<const uintptr_t*>(params[KVR_PARAM_DESCRIPTOR]);
    const char* part_name = reinterpret_cast<const char*>(descriptor[KVR_DESC_NAME]);
    int op_mode = static_cast<int>(params[KVR_PARAM_OP_MODE]);
    switch (chosen_outcome(part_name, op_mode)) {
    case STANDIN_ENGINE:
        return kvr_delta_engine_run(params);
    case STANDIN_CUT:
        std::_Exit(0);
    case STANDIN_FAIL:
        KVR_FATAL("Error: stand-in engine fails %s, mode is %d\n", part_name, op_mode);
        return KVR_DE_ERR_GENERAL;
    case STANDIN_PASS:
        break;
    }
    DE_Progress(ctx, 100);
    return KVR_DE_OK;
}

} // namespace

kvr_engine_entry_fn kvr_engine_entry = sim_entry;
