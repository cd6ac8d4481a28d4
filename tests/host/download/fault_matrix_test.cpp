// Whole mode-0 downloads against the device, the right one and every way
// it can go wrong: each case checks the result, the user's result code,
// the last progress value and the port log lines up to the last one. Time
// is the test's clock: every limit and every answer delay is exact, and a
// case lasts as long as the machine needs for its bytes, not for its waits.
#include "service_fixture.h"

#include "../support/poll_until.h"
#include "payload/firmware_files.h"
#include "platform/files.h"
#include "platform/text.h"

namespace download_test {
namespace {

using download::kPortResultFailed;
using download::kPortResultSucceeded;
using Texts = std::vector<std::u16string>;
using Types = std::vector<uint8_t>;

// A dropped connection shows at the next raw write once the kernel buffers
// on both ends are full: files larger than those (8 MiB here) are dropped
// while the host still has bytes to write.
constexpr size_t kLargeFile = 16 * 1024 * 1024;
// A wait that runs out ends the step within the host's polling of it (at
// most 120 ms of clock time); no later than this after its limit.
constexpr uint64_t kPollSlackMs = 1000;

const Texts kSucceeded{kEnter, kOperationEnter, kStateSucceeded, kUpgradeBegins, kUpgradeSucceeded, kOperationLeave, kLeave};
const Texts kStateFails{kEnter, kOperationEnter, kStateFailed, kLeave};
const Texts kUpgradeFails{kEnter, kOperationEnter, kStateSucceeded, kUpgradeBegins, kUpgradeFailed, kLeave};
const Texts kUserModeFails{kEnter, kOperationEnter, kStateSucceeded, kUpgradeBegins, kUserModeFailed, kLeave};
const Texts kModemSendFails{kEnter, kOperationEnter, kStateSucceeded, kSendFileFail, kLeave};
// The carried language table has no ID_HINT_SENDFILEFAIL or ID_HINT_WRITEFLASHFAIL.
const Texts kLinuxFails{kEnter, kOperationEnter, kStateSucceeded, kUpgradeBegins, kUpgradeSucceeded, kOperationLeave, u"", kLeave};
const Texts kFilesMissing{kEnter, kOperationEnter, kLeave};

const Types kWholeSequence{devlink::kCmdIpMac,       devlink::kCmdModemState,   devlink::kModemImage,
                           devlink::kModemChecksum,  devlink::kCmdModemUpgrade, devlink::kCmdToUserMode,
                           devlink::kLinuxImage,     devlink::kCmdCloseFactory, devlink::kCmdReboot};

struct Expected {
    int result = -1;
    uint32_t code = 10;
    // None: the case checks the range itself.
    std::optional<int32_t> lastProgress;
    Texts reports;
};

class FaultMatrix : public ServiceTest {
protected:
    Outcome Run(const DeviceConduct& conduct, const FirmwareSizes& sizes = {})
    {
        StartService();
        ConnectDevice(conduct);
        folder_ = MakeFirmwareFolder(temp_, "firmware", sizes);
        return RunDownload(folder_);
    }

    void Check(const Outcome& outcome, const Expected& expected)
    {
        EXPECT_EQ(outcome.result, expected.result);
        EXPECT_EQ(outcome.code, expected.code);
        if (expected.lastProgress) {
            EXPECT_EQ(window_.LastProgress(), expected.lastProgress);
        }
        EXPECT_EQ(window_.Texts(), expected.reports);
        EXPECT_TRUE(window_.Boxes().empty());
        EXPECT_TRUE(window_.AllForPort(0));
        EXPECT_EQ(service_->LastResult(0), expected.result == 0 ? kPortResultSucceeded : kPortResultFailed);
    }

    // The request types the device saw, once every byte the host sent has
    // arrived and been served.
    Types SeenTypes()
    {
        EXPECT_TRUE(clock_.Settle());
        return device_->RequestTypes();
    }

    // Clock time from the device's first request of `type` to `until`.
    uint64_t SinceRequest(uint8_t type, uint64_t until)
    {
        const std::optional<uint64_t> requested = device_->RequestTimeMs(type);
        EXPECT_TRUE(requested.has_value()) << "no request of type " << static_cast<int>(type);
        return requested ? until - *requested : 0;
    }

    // The step of request `type` waited out its limit, and no longer.
    void ExpectWaitedOut(uint8_t type, const Outcome& outcome, uint64_t limitMs)
    {
        const uint64_t waited = SinceRequest(type, outcome.endMs);
        EXPECT_GE(waited, limitMs);
        EXPECT_LT(waited, limitMs + kPollSlackMs);
    }

    static Types Prefix(size_t count) { return Types(kWholeSequence.begin(), kWholeSequence.begin() + static_cast<std::ptrdiff_t>(count)); }
    // A refusal closes the port, which sends its close notice.
    static Types PrefixAndClose(size_t count)
    {
        Types types = Prefix(count);
        types.push_back(devlink::kCmdClose);
        return types;
    }

    std::u16string folder_;
};

TEST_F(FaultMatrix, TheWholeUpdateSucceeds)
{
    Check(Run({}), {0, 0, 99, kSucceeded});
    const std::vector<int32_t> progress = window_.Progress();
    ASSERT_GE(progress.size(), 11u);
    EXPECT_EQ(progress[0], 1);
    EXPECT_EQ(progress[1], 0);
    const std::vector<int32_t> tail(progress.end() - 9, progress.end());
    EXPECT_EQ(tail, (std::vector<int32_t>{70, 71, 70, 90, 92, 93, 95, 96, 99}));
    for (size_t i = 2; i + 9 < progress.size(); ++i) {
        EXPECT_LE(progress[i - 1], progress[i]);
        EXPECT_LE(progress[i], 69);
    }
    EXPECT_EQ(SeenTypes(), kWholeSequence);
    const std::vector<ReceivedTransfer> transfers = device_->Transfers();
    ASSERT_EQ(transfers.size(), 3u);
    const std::u16string_view names[] = {payload::kModemImage, payload::kModemChecksum, payload::kLinuxImage};
    for (size_t i = 0; i < transfers.size(); ++i) {
        EXPECT_TRUE(transfers[i].complete);
        EXPECT_EQ(transfers[i].bytes, ReadFile(folder_, names[i])) << platform::Utf16ToUtf8(names[i]);
        EXPECT_EQ(transfers[i].announcedSize, transfers[i].bytes.size());
    }
    EXPECT_FALSE(service_->IsPortOpen(0));
    EXPECT_TRUE(testing_support::PollUntil([&] { return device_->Ended(); }));
}

TEST_F(FaultMatrix, ModemStateRefused)
{
    DeviceConduct conduct;
    conduct.refused.insert(devlink::kCmdModemState);
    Check(Run(conduct), {-1, 10, 1, kStateFails});
    EXPECT_EQ(SeenTypes(), PrefixAndClose(2));
    EXPECT_FALSE(service_->IsPortOpen(0));  // a refusal closes the port
}

TEST_F(FaultMatrix, ModemStateUnanswered)
{
    DeviceConduct conduct;
    conduct.silent.insert(devlink::kCmdModemState);
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 1, kStateFails});
    EXPECT_GE(outcome.elapsedMs, 100000u);
    ExpectWaitedOut(devlink::kCmdModemState, outcome, 100000);
    EXPECT_EQ(SeenTypes(), Prefix(2));
}

TEST_F(FaultMatrix, ModemUpgradeRefused)
{
    DeviceConduct conduct;
    conduct.refused.insert(devlink::kCmdModemUpgrade);
    Check(Run(conduct), {-1, 10, 90, kUpgradeFails});
    EXPECT_EQ(SeenTypes(), PrefixAndClose(5));
    EXPECT_FALSE(service_->IsPortOpen(0));
}

TEST_F(FaultMatrix, ModemUpgradeUnanswered)
{
    DeviceConduct conduct;
    conduct.silent.insert(devlink::kCmdModemUpgrade);
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 90, kUpgradeFails});
    EXPECT_GE(outcome.elapsedMs, 400000u);
    ExpectWaitedOut(devlink::kCmdModemUpgrade, outcome, 400000);
}

TEST_F(FaultMatrix, ModemUpgradeConfirmedAfter390SecondsSucceeds)
{
    DeviceConduct conduct;
    conduct.answerDelayMs[devlink::kCmdModemUpgrade] = 390000;
    const Outcome outcome = Run(conduct);
    Check(outcome, {0, 0, 99, kSucceeded});
    EXPECT_GE(outcome.elapsedMs, 390000u);
    EXPECT_EQ(SeenTypes(), kWholeSequence);
    // The host went on as soon as the answer came, 10 s inside its limit.
    const std::optional<uint64_t> userMode = device_->RequestTimeMs(devlink::kCmdToUserMode);
    ASSERT_TRUE(userMode.has_value());
    const uint64_t answeredAfter = SinceRequest(devlink::kCmdModemUpgrade, *userMode);
    EXPECT_GE(answeredAfter, 390000u);
    EXPECT_LT(answeredAfter, 390000u + kPollSlackMs);
}

TEST_F(FaultMatrix, ModemUpgradeConfirmedAfter401SecondsFails)
{
    DeviceConduct conduct;
    conduct.answerDelayMs[devlink::kCmdModemUpgrade] = 401000;
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 90, kUpgradeFails});
    EXPECT_GE(outcome.elapsedMs, 400000u);
    // It gave up at its limit, 1 s before the answer would have come.
    ExpectWaitedOut(devlink::kCmdModemUpgrade, outcome, 400000);
    EXPECT_EQ(SeenTypes(), Prefix(5));
}

TEST_F(FaultMatrix, UserModeRefused)
{
    DeviceConduct conduct;
    conduct.refused.insert(devlink::kCmdToUserMode);
    Check(Run(conduct), {-1, 10, 90, kUserModeFails});
    EXPECT_EQ(SeenTypes(), PrefixAndClose(6));
    EXPECT_FALSE(service_->IsPortOpen(0));
}

TEST_F(FaultMatrix, UserModeUnanswered)
{
    DeviceConduct conduct;
    conduct.silent.insert(devlink::kCmdToUserMode);
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 90, kUserModeFails});
    EXPECT_GE(outcome.elapsedMs, 100000u);
    ExpectWaitedOut(devlink::kCmdToUserMode, outcome, 100000);
}

TEST_F(FaultMatrix, ConnectionDroppedDuringTheModemImage)
{
    DeviceConduct conduct;
    conduct.dropDuringTransfer = devlink::kModemImage;
    conduct.dropAfterBytes = 10000;
    FirmwareSizes sizes;
    sizes.modemImage = kLargeFile;
    const Outcome outcome = Run(conduct, sizes);
    Check(outcome, {-1, 10, std::nullopt, kModemSendFails});
    ASSERT_TRUE(window_.LastProgress().has_value());
    EXPECT_LT(*window_.LastProgress(), 70);
    ASSERT_EQ(device_->Transfers().size(), 1u);
    EXPECT_FALSE(device_->Transfers()[0].complete);
    EXPECT_FALSE(service_->IsPortOpen(0));
}

TEST_F(FaultMatrix, ConnectionDroppedDuringTheModemChecksum)
{
    DeviceConduct conduct;
    conduct.dropDuringTransfer = devlink::kModemChecksum;
    conduct.dropAfterBytes = 10000;
    FirmwareSizes sizes;
    sizes.modemChecksum = 1024 * 1024;
    const Outcome outcome = Run(conduct, sizes);
    Check(outcome, {-1, 10, std::nullopt, kModemSendFails});
    ASSERT_TRUE(window_.LastProgress().has_value());
    EXPECT_GE(*window_.LastProgress(), 70);
    EXPECT_LT(*window_.LastProgress(), 90);
    ASSERT_EQ(device_->Transfers().size(), 2u);
    EXPECT_FALSE(device_->Transfers()[1].complete);
}

TEST_F(FaultMatrix, ConnectionDroppedDuringTheLinuxImage)
{
    DeviceConduct conduct;
    conduct.dropDuringTransfer = devlink::kLinuxImage;
    conduct.dropAfterBytes = 10000;
    FirmwareSizes sizes;
    sizes.linuxImage = kLargeFile;
    // A failed send leaves the code as the caller had it.
    Check(Run(conduct, sizes), {-1, kCallerCode, 93, kLinuxFails});
    ASSERT_EQ(device_->Transfers().size(), 3u);
    EXPECT_FALSE(device_->Transfers()[2].complete);
}

TEST_F(FaultMatrix, WrongFlashWriteResultFailsAtOnce)
{
    DeviceConduct conduct;
    conduct.flashWriteResult = 0x02;
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 95, kLinuxFails});
    EXPECT_LT(outcome.elapsedMs, 300000u);
    EXPECT_LT(SinceRequest(devlink::kLinuxImage, outcome.endMs), kPollSlackMs);
    EXPECT_EQ(SeenTypes(), Prefix(7));
    EXPECT_TRUE(service_->IsPortOpen(0));  // factory mode and the port stay open
}

TEST_F(FaultMatrix, NoFlashWriteResultFailsAfter300Seconds)
{
    DeviceConduct conduct;
    conduct.silent.insert(devlink::kLinuxImage);
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, 10, 95, kLinuxFails});
    EXPECT_GE(outcome.elapsedMs, 300000u);
    ExpectWaitedOut(devlink::kLinuxImage, outcome, 300000);
    EXPECT_EQ(SeenTypes(), Prefix(7));
}

TEST_F(FaultMatrix, CloseFactoryUnansweredStillRestartsTheRouter)
{
    DeviceConduct conduct;
    conduct.silent.insert(devlink::kCmdCloseFactory);
    const Outcome outcome = Run(conduct);
    Check(outcome, {-1, kCallerCode, 99, kSucceeded});
    EXPECT_GE(outcome.elapsedMs, 10000u);
    EXPECT_EQ(SeenTypes(), kWholeSequence);
    EXPECT_FALSE(service_->IsPortOpen(0));
    // The restart follows the 10 s wait for the answer at once.
    const std::optional<uint64_t> reboot = device_->RequestTimeMs(devlink::kCmdReboot);
    ASSERT_TRUE(reboot.has_value());
    const uint64_t rebootAfter = SinceRequest(devlink::kCmdCloseFactory, *reboot);
    EXPECT_GE(rebootAfter, 10000u);
    EXPECT_LT(rebootAfter, 10000u + kPollSlackMs);
}

TEST_F(FaultMatrix, MissingLinuxImage)
{
    StartService();
    ConnectDevice();
    const std::u16string folder = MakeFirmwareFolder(temp_, "firmware", {});
    RemoveFile(folder, payload::kLinuxImage);
    const Outcome outcome = RunDownload(folder);
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.code, 1u);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{1}));
    EXPECT_EQ(window_.Texts(), kFilesMissing);
    EXPECT_EQ(window_.Boxes(), (Texts{u"root_uImage File not exist, please select again!"}));
    EXPECT_EQ(SeenTypes(), Prefix(1));  // nothing reached the device
    EXPECT_EQ(service_->Config().m_bValid, 0);
    EXPECT_EQ(service_->LastResult(0), kPortResultFailed);
}

TEST_F(FaultMatrix, OneByteBootImage)
{
    StartService();
    ConnectDevice();
    FirmwareSizes sizes;
    sizes.bootImage = 1;
    const Outcome outcome = RunDownload(MakeFirmwareFolder(temp_, "firmware", sizes));
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.code, 1u);
    EXPECT_EQ(window_.LastProgress(), 1);
    EXPECT_EQ(window_.Texts(), kFilesMissing);
    EXPECT_EQ(window_.Boxes(), (Texts{u"uboot.img File not exist, please select again!"}));
    EXPECT_EQ(SeenTypes(), Prefix(1));
}

TEST_F(FaultMatrix, Mode4IsRejected)
{
    StartService();
    ConnectDevice();
    const Outcome outcome = RunDownload(MakeFirmwareFolder(temp_, "firmware", {}), 4);
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.code, 1u);
    EXPECT_TRUE(window_.Progress().empty());
    EXPECT_EQ(window_.Texts(), (Texts{kEnter, kLeave}));
    EXPECT_EQ(service_->Config().m_nMode, 4);
    EXPECT_EQ(service_->LastResult(0), download::kPortResultNone);  // only mode 0 keeps an outcome
    EXPECT_EQ(SeenTypes(), Prefix(1));
}

TEST_F(FaultMatrix, LookedUpFailureTextsComeFromTheLanguageTable)
{
    const std::u16string table = temp_ + u"table.ini";
    const std::string text = "[Download_String_Table]\r\nID_HINT_WRITEFLASHFAIL=Gravacao falhou\r\n";
    ASSERT_TRUE(platform::WriteWholeFile(table, text.data(), text.size()));
    StartService(table);
    DeviceConduct conduct;
    conduct.flashWriteResult = devlink::kCmdClose;
    ConnectDevice(conduct);
    const Outcome outcome = RunDownload(MakeFirmwareFolder(temp_, "firmware", {}));
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.code, 10u);
    ASSERT_GE(window_.Texts().size(), 2u);
    EXPECT_EQ(window_.Texts()[window_.Texts().size() - 2], u"Gravacao falhou");
    EXPECT_FALSE(service_->IsPortOpen(0));  // the refusal closed it
}

TEST_F(FaultMatrix, TheSampleFirmwareSetArrivesByteForByte)
{
    StartService();
    ConnectDevice();
    const std::u16string sample = platform::Utf8ToUtf16(FIRMWARE_SAMPLE_DIR);
    const Outcome outcome = RunDownload(sample);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.code, 0u);
    EXPECT_EQ(window_.LastProgress(), 99);
    EXPECT_EQ(window_.Texts(), kSucceeded);
    const std::vector<ReceivedTransfer> transfers = device_->Transfers();
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_TRUE(transfers[0].bytes == ReadFile(sample, payload::kModemImage));
    EXPECT_TRUE(transfers[1].bytes == ReadFile(sample, payload::kModemChecksum));
    EXPECT_TRUE(transfers[2].bytes == ReadFile(sample, payload::kLinuxImage));
    for (const ReceivedTransfer& transfer : transfers) EXPECT_TRUE(transfer.complete);
    EXPECT_EQ(SeenTypes(), kWholeSequence);
}

}  // namespace
}  // namespace download_test
