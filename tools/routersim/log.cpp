#include "routersim/log.h"

#include <unistd.h>

#include <string>

namespace routersim {

void LogLine(std::string_view text)
{
    std::string line = "routersim: ";
    line.append(text);
    line.push_back('\n');
    // A single write keeps the line whole; a failed diagnostic has nowhere to go.
    const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

}  // namespace routersim
