// The language table: texts looked up by key in section
// "Download_String_Table" of the table file that start-up writes.
#pragma once

#include <string>
#include <string_view>

namespace download {

class CLanguageManager {
public:
    virtual ~CLanguageManager() = default;
    // The first call keeps `path` (at most 260 characters); later calls
    // change nothing. Always true.
    bool SetFile(const std::u16string& path);
    // The key's text; empty when the key or the file is missing.
    std::u16string GetString(std::u16string_view key) const;

private:
    int m_bLoaded = 0;
    std::u16string m_szFile;
};

}  // namespace download
