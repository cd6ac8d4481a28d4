#include "app/standin_router.h"

#include <array>

#include "download/device_name.h"
#include "platform/clock.h"

namespace app {
namespace {

constexpr uint32_t kLinkQueryMs = 500;
constexpr uint32_t kTransferStepMs = 400;

struct Hint {
    std::u16string_view key;
    std::u16string_view text;
};

constexpr std::array<Hint, 7> kHints{{
    {u"ID_HINT_SEARCHPORT", u"Procurando dispositivo..."},
    {u"ID_HINT_ALREADY", u"Pronto. Agora clique no botão \"ATUALIZAR\" para iniciar a atualização."},
    {u"ID_HINT_DOWNLOADSUCCESS", u"Atualizacao realizada com sucesso!"},
    {u"ID_HINT_DOWNLOADFAIL", u"Atualizacao falhou"},
    {u"ID_HINT_NODEVICE", u"No Device"},
    {u"ID_HINT_CONNECTED", u"Connected"},
    {u"ID_ERROR_FILEEXIT", u"File not exist, please select again!"},
}};

}  // namespace

void StandinRouter::Report(int32_t kind, int port, const void* data)
{
    if (sink_ != nullptr) sink_->SendReport(platform::ServiceReport{kind, port, data, kind == platform::kReportProgress ? 4 : 0});
}

int StandinRouter::LoadConfig(const std::u16string&) { return 0; }

void StandinRouter::SetLanguageFile(const std::u16string&) {}

void StandinRouter::SetPortLog(int, const std::u16string&) {}

int StandinRouter::PreparePort(int) { return 0; }

int StandinRouter::GetVersion(int, std::u16string& version)
{
    platform::SleepMs(kLinkQueryMs);
    if (settings_.present && portOpen_ && !settings_.version.empty()) {
        version = settings_.version;
        return 0;
    }
    version = u"NULL";
    return -1;
}

void StandinRouter::ShowDeviceName(int port, const std::u16string& version)
{
    const std::u16string name = download::DeviceNameForVersion(version);
    Report(platform::kReportVersion, port, name.c_str());
}

int StandinRouter::Download(const download::DownloadRequest& request, uint32_t& errorCode)
{
    const std::u16string enter = u"CDownloadService::Download Enter";
    Report(platform::kReportStatus, request.port, enter.c_str());
    const std::array<int32_t, 12> steps{1, 10, 20, 30, 40, 50, 60, 70, 90, 93, 96, 99};
    const size_t failAt = settings_.downloadSucceeds ? steps.size() : steps.size() / 2;
    int result = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i == failAt) {
            errorCode = 10;
            result = -1;
            break;
        }
        Report(platform::kReportProgress, request.port, &steps[i]);
        platform::SleepMs(kTransferStepMs);
    }
    // The router restarts after an update attempt, which ends the link.
    portOpen_ = false;
    const std::u16string leave = u"CDownloadService::Download Leave";
    Report(platform::kReportStatus, request.port, leave.c_str());
    return result;
}

std::u16string StandinRouter::LoadHint(std::u16string_view key)
{
    for (const Hint& hint : kHints) {
        if (hint.key == key) return std::u16string(hint.text);
    }
    return {};
}

bool StandinRouter::IsPortOpen(int) { return portOpen_; }

void StandinRouter::ClosePort(int) { portOpen_ = false; }

bool StandinRouter::InitPort(int)
{
    portOpen_ = settings_.present;
    return portOpen_;
}

}  // namespace app
