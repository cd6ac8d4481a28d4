// The firmware files the program carries, and the checks that they are in
// the work folder.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace payload {

inline constexpr std::u16string_view kLinuxImage = u"root_uImage";
inline constexpr std::u16string_view kBootImage = u"uboot.img";
inline constexpr std::u16string_view kModemImage = u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz";
inline constexpr std::u16string_view kModemChecksum = u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum";
// In the order the UPDATE press checks them.
inline constexpr std::array<std::u16string_view, 4> kFirmwareFiles{kLinuxImage, kBootImage, kModemImage, kModemChecksum};
inline constexpr std::u16string_view kFirmwareCheckCaption = u"Software flashdesk For KR880+";

// True when a file or folder of that path exists. A path ending with the
// separator is tested without it, except a drive root such as "C:\".
bool PathExists(const std::u16string& path);

// Empty when `folder` and every firmware file exist; otherwise the text of
// the message box for the first miss.
std::optional<std::u16string> MissingFirmwareText(const std::u16string& folder);

}  // namespace payload
