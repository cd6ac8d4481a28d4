#include "platform/files.h"

#include <windows.h>

#include "win32/wide.h"

namespace platform {
namespace {

bool IsFolder(const std::u16string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DeleteContents(const std::u16string& folder)
{
    WIN32_FIND_DATAW found{};
    const std::u16string pattern = folder + u"\\*";
    HANDLE search = ::FindFirstFileW(Wide(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::u16string> subfolders;
    do {
        const std::u16string name = FromWide(found.cFileName);
        if (name == u"." || name == u"..") continue;
        const std::u16string child = folder + u"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            subfolders.push_back(child);
        } else {
            ::SetFileAttributesW(Wide(child), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(Wide(child));
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const std::u16string& sub : subfolders) {
        DeleteContents(sub);
        ::RemoveDirectoryW(Wide(sub));
    }
}

}  // namespace

std::u16string TempFolder()
{
    wchar_t shortPath[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, shortPath);
    if (length == 0 || length > MAX_PATH) return {};
    wchar_t longPath[MAX_PATH + 1] = {};
    const DWORD longLength = ::GetLongPathNameW(shortPath, longPath, MAX_PATH);
    if (longLength == 0 || longLength > MAX_PATH) return {};
    std::u16string path = FromWide(longPath);
    if (!IsFolder(path)) return {};
    if (path.back() != u'\\') path += u'\\';
    return path;
}

bool FolderExists(const std::u16string& path) { return IsFolder(path); }

std::vector<std::u16string> SubfolderNames(const std::u16string& path)
{
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(Wide(path + u"\\*"), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::u16string name = FromWide(found.cFileName);
        if (name != u"." && name != u".." && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

std::u16string KeptLogsRoot()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return FromWide(folder) + u"\\flashdesk\\Logs";
}

bool CreateFolder(const std::u16string& path)
{
    return ::CreateDirectoryW(Wide(path), nullptr) != 0 || IsFolder(path);
}

bool DeleteTree(const std::u16string& path)
{
    DeleteContents(path);
    ::RemoveDirectoryW(Wide(path));
    return ::GetFileAttributesW(Wide(path)) == INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::u16string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::u16string& path)
{
    return ::DeleteFileW(Wide(path)) != 0;
}

std::optional<uint64_t> FileSize(const std::u16string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WriteWholeFile(const std::u16string& path, const void* data, size_t size)
{
    HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        if (!::WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0) break;
        done += written;
    }
    return ::CloseHandle(file) != 0 && done == size;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::u16string& path)
{
    HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ::CloseHandle(file);
            return std::nullopt;
        }
        if (got == 0) break;
        data.insert(data.end(), buffer, buffer + got);
    }
    ::CloseHandle(file);
    return data;
}

}  // namespace platform
