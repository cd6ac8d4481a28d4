#include "link/diag_errors.h"

namespace devlink {

std::u16string DiagErrorText(uint8_t firstByte)
{
    switch (firstByte) {
    case 0x13: return u"Bad command";
    case 0x14: return u"The Request packet has invalid or inconsistent parameters";
    case 0x15: return u"The Request packet has an invalid length";
    case 0x18: return u"the DMSS isn't in a particular mode";
    case 0x42: return u"the correct SPC has not yet been entered to unlock service programming";
    case 0x47: return u"the correct Security Password has not yet been entered to unlock the phone";
    default: return u"unknow reason";
    }
}

std::u16string HexBytes(std::span<const uint8_t> bytes)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace devlink
