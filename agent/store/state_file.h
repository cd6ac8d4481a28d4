// State files are replaced whole: the new content goes to "<path>.new",
// which is synced and renamed over the file, and the folder is synced, so
// that after a power cut a reader finds the old content or the new one.
#pragma once

#include <cstddef>

enum state_file_result { STATE_FILE_OK = 0, STATE_FILE_OPEN_FAILED = -1, STATE_FILE_WRITE_FAILED = -2 };

// The new file is opened with the given fopen mode; errno tells the cause of
// a failure.
state_file_result state_file_write(const char* path, const char* mode, const void* data, size_t size);
