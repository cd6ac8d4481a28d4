#include "log.h"

#include "os.h"
#include "paths.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

kvr_log_file* g_kvr_log = nullptr;
kvr_log_file* g_kvr_fatal_log = nullptr;

namespace {

constexpr long kLogSizeLimit = 0x80000;
constexpr size_t kMessageSize = 128;
constexpr size_t kLineSize = 256;
constexpr size_t kStampSize = 64;

void report_failure(const char* function, const char* call)
{
    std::fprintf(stderr, "\033[47;34m%s:\033[0m", function);
    std::perror(call);
}

// Opens the holder's stream; the holder is allocated here.
int open_holder(kvr_log_file** holder, const char* path, int append, const char* function)
{
    kvr_log_file* log = static_cast<kvr_log_file*>(std::malloc(sizeof(kvr_log_file)));
    if (log == nullptr) {
        report_failure(function, "malloc");
        return -1;
    }
    log->fp = os_fopen(path, append ? "a+" : "w+");
    if (log->fp == nullptr) {
        report_failure(function, "file open");
        std::free(log);
        return -1;
    }
    *holder = log;
    return 0;
}

void time_stamp(char* stamp, size_t size)
{
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    size_t n = std::strftime(stamp, size, "%F %T", &local);
    std::snprintf(stamp + n, size - n, ".%06d", static_cast<int>(now.tv_usec));
}

} // namespace

int kvr_open_message_file(kvr_log_file** holder, const char* path, int append)
{
    if (os_access(KVR_LOG_FLAG_PATH, F_OK) != 0) {
        *holder = nullptr;
        return 0;
    }
    return open_holder(holder, path, append, __func__);
}

int kvr_open_fatal_message_file(kvr_log_file** holder, const char* path, int append)
{
    if (holder == nullptr || path == nullptr) {
        std::fprintf(stderr, "\033[47;34m%s:\033[0minput is illegal\n", __func__);
        return -1;
    }
    return open_holder(holder, path, append, __func__);
}

void kvr_close_message_file(kvr_log_file** holder)
{
    if (holder == nullptr || *holder == nullptr) return;
    if ((*holder)->fp) std::fclose((*holder)->fp);
    std::free(*holder);
    *holder = nullptr;
}

long kvr_get_file_size(FILE* fp)
{
    if (fp == nullptr) {
        // The wording of the standard-error lines is kept as the device's software expects it.
        std::fprintf(stderr, "All input parameter is illegal.\n");
        return -1;
    }
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) {
        std::fprintf(stderr, "get file size error. error=%s.\n", std::strerror(errno));
        return -1;
    }
    return static_cast<long>(st.st_size);
}

void kvr_log_message_file(kvr_log_file* holder, const char* source, int line, const char* function,
                          const char* format, ...)
{
    if (holder == nullptr || holder->fp == nullptr) return;
    char stamp[kStampSize];
    char message[kMessageSize];
    time_stamp(stamp, sizeof stamp);
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::fprintf(holder->fp, "%s - %s - %s[%d] >>> %s", stamp, source, function, line, message);
}

void kvr_fatal_log_message_file(kvr_log_file** holder, const char* path, int line, const char* function,
                                const char* format, ...)
{
    // "Input para", "first..": kept as the device's software expects it.
    if (holder == nullptr || path == nullptr || function == nullptr) {
        std::fprintf(stderr, "%s, Input para is illegal.\n", __func__);
        return;
    }
    if (*holder == nullptr) {
        std::fprintf(stderr, "%s, need open log file first..\n", __func__);
        if (open_holder(holder, path, 1, __func__) != 0) return;
    }
    kvr_log_file* log = *holder;
    if (kvr_get_file_size(log->fp) > kLogSizeLimit) {
        std::fclose(log->fp);
        log->fp = os_fopen(path, "w+");
        if (log->fp == nullptr) {
            report_failure(__func__, "file open");
            std::free(log);
            *holder = nullptr;
            return;
        }
    }
    char stamp[kStampSize];
    char message[kMessageSize];
    char text[kLineSize];
    time_stamp(stamp, sizeof stamp);
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::snprintf(text, sizeof text, "%s - %s[%d] >>> %s", stamp, function, line, message);
    std::fputs(text, log->fp);
    std::fflush(log->fp);
    fsync(fileno(log->fp));
}
