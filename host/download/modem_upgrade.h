// The modem half of a mode-0 download: the modem state, the modem image and
// its checksum file, then the upgrade and the switch to user mode. Each
// step returns 1 on success, 0 on failure, and runs only after the ones
// before it succeeded.
#pragma once

#include <cstdint>

#include "download/download_step.h"

namespace download {

int QueryModemState(const DownloadStep& step);
// Progress 0 to 70. `code` becomes 3 when the image cannot be opened.
int SendModemImage(const DownloadStep& step, uint32_t& code);
// Progress 71 to 90. `code` becomes 3 when the file cannot be opened.
int SendModemChecksum(const DownloadStep& step, uint32_t& code);
// The device takes one to six minutes; it is given 400 s, then 100 s for user mode.
int UpgradeModemSoftware(const DownloadStep& step);

}  // namespace download
