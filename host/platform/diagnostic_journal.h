// The diagnostic lines of this run, kept in memory as they are written (the
// newest ones, up to a bound), so that a run's logs can carry them.
#pragma once

#include <string>
#include <string_view>

namespace platform {

void RecordDiagnostic(std::u16string_view line);
// The kept lines, oldest first, each ended by a newline, as UTF-8.
std::string DiagnosticText();

}  // namespace platform
