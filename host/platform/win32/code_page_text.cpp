#include <windows.h>

#include "platform/text.h"

namespace platform {
namespace {

UINT SystemCodePage(uint32_t codePage)
{
    if (codePage == kAnsiCodePage || !::IsValidCodePage(codePage)) return CP_ACP;
    return codePage;
}

}  // namespace

std::u16string CodePageToUtf16(uint32_t codePage, std::string_view text)
{
    if (text.empty()) return {};
    const UINT system = SystemCodePage(codePage);
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(system, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::u16string out(static_cast<size_t>(length), u'\0');
    ::MultiByteToWideChar(system, 0, text.data(), size, reinterpret_cast<wchar_t*>(out.data()), length);
    return out;
}

std::string Utf16ToCodePage(uint32_t codePage, std::u16string_view text)
{
    if (text.empty()) return {};
    const UINT system = SystemCodePage(codePage);
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(system, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(system, 0, wide, size, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace platform
