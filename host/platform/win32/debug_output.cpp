#include "platform/debug_output.h"

#include <windows.h>

#include <string>

#include "platform/diagnostic_journal.h"
#include "win32/wide.h"

namespace platform {

void DebugOutput(std::u16string_view line)
{
    RecordDiagnostic(line);
    const std::u16string text(line);
    ::OutputDebugStringW(Wide(text));
}

}  // namespace platform
