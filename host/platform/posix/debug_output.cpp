#include "platform/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/diagnostic_journal.h"
#include "platform/text.h"

namespace platform {

void DebugOutput(std::u16string_view line)
{
    RecordDiagnostic(line);
    static const bool enabled = std::getenv("FLASHDESK_DEBUG") != nullptr;
    if (!enabled) return;
    const std::string text = Utf16ToUtf8(line) + "\n";
    std::fputs(text.c_str(), stderr);
}

}  // namespace platform
