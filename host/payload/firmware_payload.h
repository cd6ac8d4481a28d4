// The files the program carries: unpacking them into the work folder at
// start-up, the check at the UPDATE press, and pointing download.xml at the
// work folder. The window shows the messages these return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

// Resource ids of type "UPGRADEVERSION" and the file names they unpack to.
inline constexpr uint32_t kConfigResource = 184;
inline constexpr uint32_t kLanguageResource = 185;
inline constexpr uint32_t kLinuxImageResource = 246;
inline constexpr uint32_t kBootImageResource = 247;
inline constexpr uint32_t kModemImageResource = 250;
inline constexpr uint32_t kModemChecksumResource = 251;
inline constexpr std::u16string_view kConfigFile = u"download.xml";
inline constexpr std::u16string_view kLanguageFile = u"lan_ENG.ini";

// A message box for the window (OK button).
struct UserMessage {
    std::u16string text;
    std::u16string caption;
    bool informationIcon = false;
};

class FirmwarePayload {
public:
    virtual ~FirmwarePayload() = default;
    // Unpacks download.xml, lan_ENG.ini and the firmware files into
    // `workDir`; one message per file that could not be written.
    virtual std::vector<UserMessage> ExtractPayload(const std::u16string& workDir) = 0;
    // The check at the UPDATE press: the message of the first missing file.
    virtual std::optional<UserMessage> CheckFirmwareFiles(const std::u16string& folder) = 0;
    // Points the path keys of `nvPath`/download.xml at the two folders.
    virtual void RewriteConfigPaths(const std::u16string& nvPath, const std::u16string& versionPath) = 0;
};

// Writes resource `id` to `workDir`/`name`; false when the program does not
// carry it or the file cannot be written.
bool ExtractPayload(const std::u16string& workDir, uint32_t id, std::u16string_view name);
// The text of the message for a file that could not be unpacked.
std::u16string ExtractFailureText(std::u16string_view name);
// Unpacks the four firmware files in order, stopping at the first that
// fails; its message is added to `failures`. True when all were written.
bool ExtractFirmware(const std::u16string& workDir, std::vector<UserMessage>& failures);

// The payload as this program carries it.
class EmbeddedPayload final : public FirmwarePayload {
public:
    std::vector<UserMessage> ExtractPayload(const std::u16string& workDir) override;
    std::optional<UserMessage> CheckFirmwareFiles(const std::u16string& folder) override;
    void RewriteConfigPaths(const std::u16string& nvPath, const std::u16string& versionPath) override;
};

}  // namespace payload
