#include "payload/firmware_files.h"

#include "platform/files.h"

namespace payload {

bool PathExists(const std::u16string& path)
{
    if (path.empty()) return false;
    std::u16string tested = path;
    if (tested.back() == platform::kPathSeparator) {
        if (tested.size() == 3 && tested[1] == u':') return true;
        if (tested.size() > 1) tested.pop_back();
    }
    return platform::FileExists(tested) || platform::FolderExists(tested);
}

std::optional<std::u16string> MissingFirmwareText(const std::u16string& folder)
{
    // "is not exist": kept as the device's software expects it.
    if (!PathExists(folder)) return folder + u" is not exist.";
    for (std::u16string_view name : kFirmwareFiles) {
        const std::u16string path = folder + platform::kPathSeparator + std::u16string(name);
        if (!PathExists(path)) return path + u" is not exist, please select again.";
    }
    return std::nullopt;
}

}  // namespace payload
