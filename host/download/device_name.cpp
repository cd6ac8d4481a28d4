#include "download/device_name.h"

namespace download {

std::u16string DeviceNameForVersion(const std::u16string& version)
{
    const std::u16string blanks(28, u' ');
    if (version.find(u"EN_PELA_BR_KR710MV1.0.0B15") != std::u16string::npos) return u"BD_KR710M_MODULEV1.0.0B01";
    if (version.find(u"EN_PELA_BR_KR710MV1.0.0B16") != std::u16string::npos) return u"BD_KR710M_MODULEV1.0.0B02";
    if (version.find(blanks) != std::u16string::npos) return blanks;
    return u"KVR 4G Wireless Router";
}

}  // namespace download
