#include "link/session_log.h"

#include "platform/text.h"

#ifdef _WIN32
#include <wchar.h>
#endif

namespace devlink {

std::string SessionLogStamp(const platform::LocalTime& time)
{
    return std::to_string(time.year) + std::to_string(time.month) + std::to_string(time.day) + std::to_string(time.hour) +
           std::to_string(time.minute) + std::to_string(time.second);
}

SessionLog::~SessionLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
}

void SessionLog::Open(const std::u16string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
#ifdef _WIN32
    file_ = ::_wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"w");
#else
    file_ = std::fopen(platform::Utf16ToUtf8(path).c_str(), "w");
#endif
    if (file_ == nullptr) return;
    std::fputs("start\n", file_);
    std::fflush(file_);
}

std::u16string SessionLog::Path()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

void SessionLog::WriteLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    std::fputs(line.c_str(), file_);
    if (line.empty() || line.back() != '\n') std::fputc('\n', file_);
    std::fflush(file_);
}

void SessionLog::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    std::fputs("end\n", file_);
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace devlink
