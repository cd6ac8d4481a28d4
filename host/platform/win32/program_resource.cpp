#include <windows.h>

#include "platform/program_resource.h"

namespace platform {

std::optional<std::span<const uint8_t>> ProgramResource(uint32_t id)
{
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"UPGRADEVERSION");
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    if (loaded == nullptr) return std::nullopt;
    const auto* bytes = static_cast<const uint8_t*>(::LockResource(loaded));
    const DWORD size = ::SizeofResource(nullptr, found);
    if (bytes == nullptr && size != 0) return std::nullopt;
    return std::span<const uint8_t>(bytes, size);
}

}  // namespace platform
