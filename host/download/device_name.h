// The name the version field shows for a router's firmware version.
#pragma once

#include <string>

namespace download {

std::u16string DeviceNameForVersion(const std::u16string& version);

}  // namespace download
