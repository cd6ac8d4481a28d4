#include "platform/profile_string.h"

#include "platform/files.h"

namespace platform {

std::u16string ReadProfileString(const std::u16string& path, const std::u16string& section, const std::u16string& key,
                                 const std::u16string& fallback, size_t bufferChars)
{
    const std::optional<std::vector<uint8_t>> file = ReadWholeFile(path);
    std::u16string value = fallback;
    if (file) {
        if (std::optional<std::u16string> found = ParseProfileString(*file, section, key)) value = *found;
    }
    if (bufferChars == 0) return {};
    if (value.size() > bufferChars - 1) value.resize(bufferChars - 1);
    return value;
}

}  // namespace platform
