#include "check_log.h"

#include <windows.h>

#include <cstdio>

namespace gui_test {
namespace {

// Keeps a multi-line detail on the check's line.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

}  // namespace

bool CheckLog::Check(bool ok, const std::string& name, const std::string& detail)
{
    ++(ok ? passed_ : failed_);
    std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ", OneLine(detail).c_str());
    std::fflush(stdout);
    return ok;
}

void CheckLog::Summary() const
{
    std::printf("gui_driver: %d passed, %d failed\n", passed_, failed_);
    std::fflush(stdout);
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace gui_test
