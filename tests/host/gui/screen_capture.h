// Screenshots of the whole screen as 24-bit BMP files.
#pragma once

#include <filesystem>

namespace gui_test {

// Copies the screen (GetDC(NULL)) into a DIB and writes it to `file`.
bool SaveScreenshot(const std::filesystem::path& file);

}  // namespace gui_test
