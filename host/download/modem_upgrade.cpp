#include "download/modem_upgrade.h"

#include "download/file_transfer.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace download {
namespace {

constexpr uint32_t kChecksumPauseMs = 10;
constexpr uint32_t kBeforeUpgradeMs = 3000;
constexpr char16_t kSendFileFail[] = u"Send File Fail!";

// A text both for the port's log and for the debugger.
void ReportAndLog(const DownloadStep& step, const std::u16string& text)
{
    step.reporter.Text(text);
    platform::DebugOutput(text);
}

int SendModemFile(const DownloadStep& step, const std::u16string& path, uint8_t type, TransferProgress progress,
                  uint32_t pauseMs, int32_t donePercent, uint32_t& code)
{
    progress.rawBytes = [&step](uint32_t sent, uint32_t size) { step.reporter.RawBytes(sent, size); };
    switch (SendFileToDevice(step.engine, path, type, progress, pauseMs, code)) {
    case TransferResult::kSent: step.reporter.Progress(donePercent); return 1;
    case TransferResult::kWriteFailed: step.reporter.Text(kSendFileFail); return 0;
    case TransferResult::kOpenFailed: return 0;
    }
    return 0;
}

}  // namespace

int QueryModemState(const DownloadStep& step)
{
    if (step.engine.ModemState()) {
        step.reporter.Text(u"Get Marvell Modem state succeed!");
        platform::DebugOutput(u"Get Marvell Modem state succeed!...");
        return 1;
    }
    ReportAndLog(step, u"Get Marvell Modem state failed!");
    return 0;
}

int SendModemImage(const DownloadStep& step, uint32_t& code)
{
    TransferProgress progress;
    progress.beforeAnnouncement = [&step] { step.reporter.Progress(0); };
    // 0 to 70 over the image, computed in this order: kept as the device's software expects it.
    progress.atPiece = [&step](uint32_t offset, uint32_t size) {
        step.reporter.Progress(static_cast<int32_t>(static_cast<double>(offset) * 0.7 * 100 / size));
    };
    return SendModemFile(step, step.config.m_strModemImagePath, devlink::kModemImage, progress, 0, 70, code);
}

int SendModemChecksum(const DownloadStep& step, uint32_t& code)
{
    TransferProgress progress;
    progress.beforeAnnouncement = [&step] { step.reporter.Progress(71); };
    // 70 minus a negative share, after 71 before the announcement: the odd
    // formula and the step back are kept as the device's software expects it.
    progress.atPiece = [&step](uint32_t offset, uint32_t size) {
        step.reporter.Progress(70 - static_cast<int32_t>(static_cast<double>(offset) * (-0.2) * 100 / size));
    };
    return SendModemFile(step, step.config.m_strModemMd5Path, devlink::kModemChecksum, progress, kChecksumPauseMs, 90, code);
}

int UpgradeModemSoftware(const DownloadStep& step)
{
    // The text's spacing and wording are kept as the device's software expects it.
    step.reporter.Text(u"Upgrading modem sw begin,wait for 1 min ~ 6 min!");
    platform::SleepMs(kBeforeUpgradeMs);
    if (!step.engine.ModemUpgrade()) {
        ReportAndLog(step, u"Upgrade marl Modem sw failed!");
        return 0;
    }
    if (!step.engine.ToUserMode()) {
        ReportAndLog(step, u"SwitchToUserModeFromFactoryMode failed!");
        return 0;
    }
    ReportAndLog(step, u"Upgrade Marl Modem sw succeed!");
    return 1;
}

}  // namespace download
