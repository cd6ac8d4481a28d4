// Files and folders. Paths are UTF-16 texts; on Windows they go to the wide
// Win32 calls as they are, elsewhere they are converted to UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The user's folder for temporary files in its long form, ending with the
// path separator; empty when it cannot be found or does not exist.
std::u16string TempFolder();

bool FolderExists(const std::u16string& path);
// Creates one folder; true when it was created or already exists.
bool CreateFolder(const std::u16string& path);
// Removes the folder with everything in it: files, then subfolders depth
// first, then the folder itself. Failures are skipped; true when the folder
// is gone afterwards.
bool DeleteTree(const std::u16string& path);

// The names of the folders inside `path`, in no particular order.
std::vector<std::u16string> SubfolderNames(const std::u16string& path);
// The folder that keeps this program's logs across runs, outside the work
// folder: under the user's local application data on Windows, under
// $XDG_STATE_HOME (by default ~/.local/state) elsewhere. Not created here;
// empty when the user has no such folder.
std::u16string KeptLogsRoot();

bool FileExists(const std::u16string& path);
// Deletes one file; true when it was deleted.
bool RemoveFile(const std::u16string& path);
std::optional<uint64_t> FileSize(const std::u16string& path);
bool WriteWholeFile(const std::u16string& path, const void* data, size_t size);
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::u16string& path);

}  // namespace platform
