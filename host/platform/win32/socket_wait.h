// select() limited in clock time, for the Winsock sockets.
#pragma once

#include <winsock2.h>

#include "platform/clock.h"

namespace platform {

inline timeval RealLimit(uint64_t us)
{
    timeval limit{};
    limit.tv_sec = static_cast<long>(us / 1000000);
    limit.tv_usec = static_cast<long>(us % 1000000);
    return limit;
}

// select() for at most `timeoutMs` of clock time: its result, 0 on
// time-out. The sets come back as select() left them.
inline int SelectFor(fd_set* read, fd_set* write, fd_set* failed, uint32_t timeoutMs)
{
    const fd_set readStart = read != nullptr ? *read : fd_set{};
    const fd_set writeStart = write != nullptr ? *write : fd_set{};
    const fd_set failedStart = failed != nullptr ? *failed : fd_set{};
    int result = 0;
    WaitOutsideFor(timeoutMs, [&](uint64_t realUs) {
        if (read != nullptr) *read = readStart;
        if (write != nullptr) *write = writeStart;
        if (failed != nullptr) *failed = failedStart;
        timeval limit = RealLimit(realUs);
        result = ::select(0, read, write, failed, &limit);
        return result != 0;
    });
    return result;
}

}  // namespace platform
