// Stand-in for the engine run of one partition, until the delta update engine
// is built into the agent. It touches no flash. Its outcome is chosen by
// KVR_STANDIN_ENGINE:
//   (unset)              every partition fails: nothing can be applied yet
//   pass                 every partition succeeds
//   fail:NAME[:MODE]     partition NAME fails (in op_mode MODE only, if given)
//   cut:NAME[:MODE]      the process ends at once on partition NAME, as a
//                        power cut would end it
#include "update_parti.h"

#include "log.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum standin_outcome { STANDIN_PASS, STANDIN_FAIL, STANDIN_CUT };

bool names_partition(const std::string& target, const char* part_name, int op_mode)
{
    size_t colon = target.find(':');
    if (target.substr(0, colon) != part_name) return false;
    return colon == std::string::npos || target.substr(colon + 1) == std::to_string(op_mode);
}

standin_outcome chosen_outcome(const char* part_name, int op_mode)
{
    const char* setting = std::getenv("KVR_STANDIN_ENGINE");
    if (setting == nullptr || *setting == '\0') return STANDIN_FAIL;
    std::string directive = setting;
    if (directive == "pass") return STANDIN_PASS;
    if (directive.rfind("fail:", 0) == 0 && names_partition(directive.substr(5), part_name, op_mode)) return STANDIN_FAIL;
    if (directive.rfind("cut:", 0) == 0 && names_partition(directive.substr(4), part_name, op_mode)) return STANDIN_CUT;
    return directive.rfind("fail:", 0) == 0 || directive.rfind("cut:", 0) == 0 ? STANDIN_PASS : STANDIN_FAIL;
}

} // namespace

int kvr_dua_update_parti(const char* part_name, const char* package_path, uint32_t member_offset,
                         uint32_t member_length, int32_t part_type, int op_mode, kvr_progress_fn progress)
{
    KVR_LOG("start, part=%s, package=%s, offset=%u, length=%u, type=%d, mode=%d\n", part_name, package_path,
            member_offset, member_length, static_cast<int>(part_type), op_mode);
    switch (chosen_outcome(part_name, op_mode)) {
    case STANDIN_CUT:
        std::_Exit(0);
    case STANDIN_FAIL:
        KVR_FATAL("Error: stand-in engine fails %s, mode is %d\n", part_name, op_mode);
        KVR_LOG("error\n");
        return -1;
    case STANDIN_PASS:
        break;
    }
    if (progress) progress(100);
    KVR_LOG("end\n");
    return 0;
}
