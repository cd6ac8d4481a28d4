// How an update ends: its bookkeeping, and the restart after which nothing
// else runs in this process.
#pragma once

void update_success(void);
void update_fail(void);

// Syncs, closes the logs and restarts the machine. Does not return: when the
// restart request fails, the process ends after a fatal-log line.
[[noreturn]] void fota_reboot(void);

// Stops the device services that would get in the way of the update.
void stop_conflicting_services(void);
