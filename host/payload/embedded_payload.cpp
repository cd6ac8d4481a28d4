#include <array>

#include "payload/config_rewrite.h"
#include "payload/firmware_files.h"
#include "payload/firmware_payload.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/program_resource.h"
#include "platform/text.h"

namespace payload {
namespace {

struct PayloadFile {
    uint32_t id;
    std::u16string_view name;
};

// In the order they are unpacked; the unpacking stops at the first failure.
constexpr std::array<PayloadFile, 4> kFirmware{{
    {kLinuxImageResource, kLinuxImage},
    {kBootImageResource, kBootImage},
    {kModemImageResource, kModemImage},
    {kModemChecksumResource, kModemChecksum},
}};

}  // namespace

bool ExtractPayload(const std::u16string& workDir, uint32_t id, std::u16string_view name)
{
    const std::optional<std::span<const uint8_t>> bytes = platform::ProgramResource(id);
    const std::u16string path = workDir + platform::kPathSeparator + std::u16string(name);
    if (!bytes) {
        platform::DebugOutput(u"payload: the program carries no resource " + platform::Utf8ToUtf16(std::to_string(id)));
        return false;
    }
    if (!platform::WriteWholeFile(path, bytes->data(), bytes->size())) {
        platform::DebugOutput(u"payload: cannot write " + path);
        return false;
    }
    return true;
}

std::u16string ExtractFailureText(std::u16string_view name)
{
    return u"Read " + std::u16string(name) + u" fail!";
}

namespace {

bool ExtractReporting(const std::u16string& workDir, uint32_t id, std::u16string_view name,
                      std::vector<UserMessage>& failures)
{
    if (ExtractPayload(workDir, id, name)) return true;
    failures.push_back(UserMessage{ExtractFailureText(name), {}, false});
    return false;
}

}  // namespace

bool ExtractFirmware(const std::u16string& workDir, std::vector<UserMessage>& failures)
{
    for (const PayloadFile& file : kFirmware) {
        if (!ExtractReporting(workDir, file.id, file.name, failures)) return false;
    }
    return true;
}

std::vector<UserMessage> EmbeddedPayload::ExtractPayload(const std::u16string& workDir)
{
    std::vector<UserMessage> failures;
    ExtractReporting(workDir, kConfigResource, kConfigFile, failures);
    ExtractReporting(workDir, kLanguageResource, kLanguageFile, failures);
    ExtractFirmware(workDir, failures);
    return failures;
}

std::optional<UserMessage> EmbeddedPayload::CheckFirmwareFiles(const std::u16string& folder)
{
    std::optional<std::u16string> missing = MissingFirmwareText(folder);
    if (!missing) return std::nullopt;
    return UserMessage{*missing, std::u16string(kFirmwareCheckCaption), true};
}

void EmbeddedPayload::RewriteConfigPaths(const std::u16string& nvPath, const std::u16string& versionPath)
{
    RewriteConfigFile(nvPath + platform::kPathSeparator + std::u16string(kConfigFile), versionPath, nvPath);
}

}  // namespace payload
