#include "download/linux_upgrade.h"

#include "download/file_transfer.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace download {
namespace {

constexpr uint32_t kFlashWriteFailedCode = 10;
constexpr uint32_t kBeforeClosingPortMs = 1000;

}  // namespace

int Operation_UpgradeLinux(const DownloadStep& step, uint32_t& code)
{
    step.reporter.Progress(92);
    TransferProgress progress;
    progress.afterAnnouncement = [&step] { step.reporter.Progress(93); };
    progress.rawBytes = [&step](uint32_t sent, uint32_t size) { step.reporter.RawBytes(sent, size); };
    switch (SendFileToDevice(step.engine, step.config.m_strLinuxPath, devlink::kLinuxImage, progress, 0, code)) {
    case TransferResult::kSent: break;
    case TransferResult::kOpenFailed: return -1;
    case TransferResult::kWriteFailed: step.reporter.Text(step.language.GetString(u"ID_HINT_SENDFILEFAIL")); return -1;
    }
    step.reporter.Progress(95);
    if (step.engine.WaitForResult() != 0) {
        platform::DebugOutput(u"KR880+ ---------> Operation_UpgradeLinux: no flash write confirmation, " + step.engine.ErrorText());
        code = kFlashWriteFailedCode;
        step.reporter.Text(step.language.GetString(u"ID_HINT_WRITEFLASHFAIL"));
        return -1;
    }
    step.reporter.Progress(96);
    return 0;
}

int Operation_Finish(const DownloadStep& step, uint32_t& code)
{
    const bool closed = step.engine.CloseFactory();
    if (!closed) platform::DebugOutput(u"KR880+ ---------> Operation_Finish: factory mode was not closed");
    step.engine.Reboot();
    platform::SleepMs(kBeforeClosingPortMs);
    step.link.ClosePort(step.port);
    step.reporter.Progress(99);
    if (!closed) return -1;
    code = 0;
    return 0;
}

}  // namespace download
