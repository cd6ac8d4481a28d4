#include "app/win32/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace app::winui {

std::vector<std::string> ProcessArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(platform::Utf16ToUtf8(platform::FromWide(argv[i])));
    LocalFree(argv);
    return arguments;
}

std::u16string ProgramName()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return u"flashdesk";
    std::u16string name = platform::FromWide(path);
    const size_t folderEnd = name.find_last_of(u"\\/");
    if (folderEnd != std::u16string::npos) name.erase(0, folderEnd + 1);
    const size_t extension = name.rfind(u'.');
    if (extension != std::u16string::npos && extension > 0) name.erase(extension);
    return name;
}

}  // namespace app::winui
