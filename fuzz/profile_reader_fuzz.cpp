// The language table as a file of any bytes: looking keys up must never
// read out of bounds, and a value is never longer than the file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/profile_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> file(data, size);
    for (const char16_t* key : {u"ID_HINT_ALREADY", u"ID_ERROR_FILEEXIT", u"", u"K"}) {
        const auto value = platform::ParseProfileString(file, u"Download_String_Table", key);
        if (value && value->size() > size) __builtin_trap();
    }
    platform::ParseProfileString(file, u"", u"");
    return 0;
}
