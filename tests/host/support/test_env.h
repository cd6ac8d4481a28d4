// Test helpers: environment variables and a private temporary folder.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/text.h"

namespace testing_support {

inline void SetEnv(const std::string& name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

// Points the temporary folder of this process at a fresh folder of its own.
inline std::u16string UsePrivateTempFolder(const std::string& tag)
{
    static const std::u16string base = platform::TempFolder();
    const std::u16string folder = base + platform::Utf8ToUtf16("flashdesk-test-" + tag);
    platform::DeleteTree(folder);
    platform::CreateFolder(folder);
    const std::string native = platform::Utf16ToUtf8(folder);
    SetEnv("TMPDIR", native);
    SetEnv("TMP", native);
    SetEnv("TEMP", native);
    return folder + platform::kPathSeparator;
}

}  // namespace testing_support
