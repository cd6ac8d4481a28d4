#include "link/debug_text.h"

#include "platform/debug_output.h"
#include "platform/text.h"

namespace devlink {

void Debug(const std::string& text)
{
    platform::DebugOutput(platform::Utf8ToUtf16(text));
}

}  // namespace devlink
