#include "download/file_check.h"

#include <optional>

#include "payload/firmware_files.h"
#include "platform/debug_output.h"
#include "platform/files.h"

namespace download {
namespace {

// Wording kept as the device's software expects it.
constexpr char16_t kFileMissing[] = u"File not exist, please select again!";
constexpr uint32_t kLargestAbsentSize = 1;

// The full path of `name` in `folder` when the file is there and larger than 1 byte.
std::optional<std::u16string> PresentFile(const std::u16string& folder, std::u16string_view name)
{
    if (!platform::FolderExists(folder)) return std::nullopt;
    const std::u16string path = folder + platform::kPathSeparator + std::u16string(name);
    const std::optional<uint64_t> size = platform::FileSize(path);
    if (!size || static_cast<uint32_t>(*size) <= kLargestAbsentSize) return std::nullopt;
    return path;
}

}  // namespace

int CheckBeforeDownload(payload::DownloadServiceConfig& config, const CLanguageManager& language, const ServiceReporter& reporter)
{
    const std::u16string lookedUp = language.GetString(u"ID_ERROR_FILEEXIT");
    const struct {
        std::u16string_view name;
        std::u16string& path;
        std::u16string missingText;
    } files[] = {
        {payload::kModemImage, config.m_strModemImagePath, kFileMissing},
        {payload::kModemChecksum, config.m_strModemMd5Path, kFileMissing},
        {payload::kLinuxImage, config.m_strLinuxPath, lookedUp},
        {payload::kBootImage, config.m_strUbootPath, lookedUp},
    };
    for (const auto& file : files) {
        const std::optional<std::u16string> path = PresentFile(config.m_strVersionFilePath, file.name);
        if (!path) {
            const std::u16string message = std::u16string(file.name) + u" " + file.missingText;
            platform::DebugOutput(u"KR880+ ---------> CheckBeforeDownload: " + message);
            reporter.ShowMessageBox(message);
            return 0;
        }
        file.path = *path;
    }
    return 1;
}

}  // namespace download
