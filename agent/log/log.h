// The agent's logs: the agent log (written only when the switch file exists
// at start), the fatal log (always written, synced after every line, emptied
// when it grows above 512 KiB) and, per partition, the engine trace log with
// the fatal log's format.
#pragma once

#include "paths.h"

#include <cstdio>

struct kvr_log_file {
    FILE* fp;
};

// The agent's logging state: the open agent log and fatal log, null when off
// or closed.
extern kvr_log_file* g_kvr_log;
extern kvr_log_file* g_kvr_fatal_log;

int kvr_open_message_file(kvr_log_file** holder, const char* path, int append);
int kvr_open_fatal_message_file(kvr_log_file** holder, const char* path, int append);
void kvr_close_message_file(kvr_log_file** holder);

void kvr_log_message_file(kvr_log_file* holder, const char* source, int line, const char* function,
                          const char* format, ...) __attribute__((format(printf, 5, 6)));
void kvr_fatal_log_message_file(kvr_log_file** holder, const char* path, int line, const char* function,
                                const char* format, ...) __attribute__((format(printf, 5, 6)));

// Size of the stream's file, or -1.
long kvr_get_file_size(FILE* fp);

#define KVR_LOG(...) kvr_log_message_file(g_kvr_log, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define KVR_FATAL(...) kvr_fatal_log_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, __LINE__, __func__, __VA_ARGS__)
