#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace platform {
namespace {

std::string Native(const std::u16string& path) { return Utf16ToUtf8(path); }

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void DeleteContents(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> subfolders;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string child = folder + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            subfolders.push_back(child);
        } else {
            ::unlink(child.c_str());
        }
    }
    ::closedir(dir);
    for (const std::string& sub : subfolders) {
        DeleteContents(sub);
        ::rmdir(sub.c_str());
    }
}

}  // namespace

std::u16string TempFolder()
{
    const char* env = std::getenv("TMPDIR");
    const std::string base = (env != nullptr && *env != '\0') ? env : "/tmp";
    char resolved[PATH_MAX];
    if (::realpath(base.c_str(), resolved) == nullptr || !IsFolder(resolved)) return {};
    std::string path = resolved;
    if (path.back() != '/') path += '/';
    return Utf8ToUtf16(path);
}

bool FolderExists(const std::u16string& path) { return IsFolder(Native(path)); }

std::vector<std::u16string> SubfolderNames(const std::u16string& path)
{
    std::vector<std::u16string> names;
    const std::string folder = Native(path);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        struct stat info {};
        const std::string child = folder + "/" + entry->d_name;
        if (::lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) names.push_back(Utf8ToUtf16(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

std::u16string KeptLogsRoot()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') return Utf8ToUtf16(std::string(state) + "/flashdesk/logs");
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') return Utf8ToUtf16(std::string(home) + "/.local/state/flashdesk/logs");
    return {};
}

bool CreateFolder(const std::u16string& path)
{
    const std::string native = Native(path);
    return ::mkdir(native.c_str(), 0755) == 0 || IsFolder(native);
}

bool DeleteTree(const std::u16string& path)
{
    const std::string native = Native(path);
    DeleteContents(native);
    ::rmdir(native.c_str());
    struct stat info {};
    return ::lstat(native.c_str(), &info) != 0;
}

bool FileExists(const std::u16string& path)
{
    struct stat info {};
    return ::stat(Native(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool RemoveFile(const std::u16string& path)
{
    return ::unlink(Native(path).c_str()) == 0;
}

std::optional<uint64_t> FileSize(const std::u16string& path)
{
    struct stat info {};
    if (::stat(Native(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

bool WriteWholeFile(const std::u16string& path, const void* data, size_t size)
{
    const int fd = ::open(Native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::u16string& path)
{
    const int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return data;
}

}  // namespace platform
