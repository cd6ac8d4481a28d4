#include "platform/profile_string.h"

#include <windows.h>

#include <vector>

#include "win32/wide.h"

namespace platform {

std::u16string ReadProfileString(const std::u16string& path, const std::u16string& section, const std::u16string& key,
                                 const std::u16string& fallback, size_t bufferChars)
{
    if (bufferChars == 0) return {};
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    ::GetPrivateProfileStringW(Wide(section), Wide(key), Wide(fallback), buffer.data(), static_cast<DWORD>(bufferChars), Wide(path));
    return FromWide(buffer.data());
}

}  // namespace platform
