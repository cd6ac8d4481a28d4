// The end of a mode-0 download: the Linux image "root_uImage" and the
// device's confirmation that it is in flash, then closing factory mode,
// restarting the router and closing the port. The boot loader image is
// never sent.
#pragma once

#include <cstdint>

#include "download/download_step.h"

namespace download {

// 0 when the image was sent and its flash write confirmed (progress 92, 93,
// 95, 96); -1 with `code` 3 (image unreadable), 10 (no or a wrong
// confirmation within 300 s) or unchanged (a failed send).
int Operation_UpgradeLinux(const DownloadStep& step, uint32_t& code);
// Closes factory mode, restarts the router and closes the port (progress
// 99): 0 with `code` 0, or -1 with `code` unchanged when factory mode was
// not closed.
int Operation_Finish(const DownloadStep& step, uint32_t& code);

}  // namespace download
