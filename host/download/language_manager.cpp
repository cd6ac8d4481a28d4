#include "download/language_manager.h"

#include "platform/profile_string.h"

namespace download {
namespace {

constexpr size_t kPathLimit = 260;
constexpr size_t kTextBuffer = 1024;

}  // namespace

bool CLanguageManager::SetFile(const std::u16string& path)
{
    if (m_bLoaded == 0) {
        m_szFile = path.substr(0, kPathLimit - 1);
        m_bLoaded = 1;
    }
    return true;
}

std::u16string CLanguageManager::GetString(std::u16string_view key) const
{
    if (m_bLoaded == 0) return {};
    return platform::ReadProfileString(m_szFile, u"Download_String_Table", std::u16string(key), u"", kTextBuffer);
}

}  // namespace download
