// The rendezvous server's session log: "<folder>\Logs\Log_<stamp>.txt", a
// narrow text file that the server and the packet exchanges append lines
// to. When it cannot be opened, lines are dropped.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/local_time.h"

namespace devlink {

// Year, month, day, hour, minute and second, each "%d", run together.
std::string SessionLogStamp(const platform::LocalTime& time);

class SessionLog {
public:
    ~SessionLog();
    // Opens the file and writes "start".
    void Open(const std::u16string& path);
    void WriteLine(const std::string& line);
    // The file given to Open; empty before.
    std::u16string Path();
    // Writes "end" and closes the file.
    void Close();

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::u16string path_;
};

}  // namespace devlink
