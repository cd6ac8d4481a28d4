// The agent's work folders under "/cache/kvr_fota/", created with mode 0700
// when missing.
#pragma once

// Creates the missing folders in order and stops at the first that can't be
// made: 0, or -1 with *failed naming that folder.
int kvr_make_work_dirs(const char** failed);

// The start-up form: a failure is printed to standard error.
int create_work_dirs(void);
