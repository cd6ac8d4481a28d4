#include "routersim/image_checks.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "link/link_block.h"
#include "routersim/legacy_image.h"
#include "routersim/md5.h"

namespace routersim {
namespace {

constexpr size_t kDigestDigits = 32;

bool IsLowerHex(uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The 32 lower-case hex digits that open the text, when a blank, a line end
// or the end of the text follows them.
std::optional<std::string> LeadingDigest(std::span<const uint8_t> text)
{
    if (text.size() < kDigestDigits || !std::all_of(text.begin(), text.begin() + kDigestDigits, IsLowerHex)) return std::nullopt;
    constexpr std::string_view kEnds = " \t\r\n";
    if (text.size() > kDigestDigits && kEnds.find(static_cast<char>(text[kDigestDigits])) == std::string_view::npos) return std::nullopt;
    return std::string(text.begin(), text.begin() + kDigestDigits);
}

}  // namespace

std::string ImageChecks::Take(const ReceivedFile& file)
{
    const std::string size = std::to_string(file.bytes.size()) + " bytes";
    switch (file.type) {
    case devlink::kModemImage:
        imageMd5_ = Md5Hex(file.bytes);
        return "modem image of " + size + ", MD5 " + *imageMd5_;
    case devlink::kModemChecksum:
        checksumReceived_ = true;
        checksumDigest_ = LeadingDigest(file.bytes);
        return "modem checksum file of " + size + ", " + (checksumDigest_ ? "digest " + *checksumDigest_ : "no digest at its start");
    case devlink::kLinuxImage:
        linuxImage_ = CheckLegacyImage(file.bytes);
        return "linux image of " + size + ": " + linuxImage_->text;
    default: return {};
    }
}

CheckVerdict ImageChecks::ModemImage() const
{
    const std::string got = imageMd5_.value_or("no modem image");
    const std::string expected = checksumDigest_.value_or(checksumReceived_ ? "no digest in the checksum file" : "no checksum file");
    if (imageMd5_ && checksumDigest_ && *imageMd5_ == *checksumDigest_) return {true, "modem image MD5 ok " + got};
    return {false, "modem image MD5 mismatch: got " + got + ", expected " + expected};
}

CheckVerdict ImageChecks::LinuxImage() const
{
    const CheckVerdict found = linuxImage_.value_or(CheckVerdict{false, "no Linux image received"});
    if (found.passed) return {true, "linux image header CRC ok, data CRC ok"};
    return {false, "linux image CRC error: " + found.text};
}

}  // namespace routersim
