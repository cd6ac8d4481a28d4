// The service's own operations: server start, version, device name, port
// log, the file check and the modes it rejects.
#include "service_fixture.h"

#include "../support/poll_until.h"
#include "payload/firmware_files.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/tcp_socket.h"

namespace download_test {
namespace {

using download::kPortResultFailed;
using download::kPortResultNone;

// Every ARP command that a preparation started has ended when it returns
// (see Prepare), so its line is there, and none can come later.
class ArpCount : public ServiceTest {
protected:
    bool ArpRanOnce() { return ArpRuns() == 1; }
};

TEST_F(ArpCount, TheServerStartsOnceAndTheArpFlushRunsOnce)
{
    StartService();
    EXPECT_TRUE(service_->IsNetworkLink());
    EXPECT_TRUE(ArpRanOnce());
    EXPECT_NE(service_->Link().Server().ListenPort(), 0);
    EXPECT_EQ(Prepare(3), 0);
    EXPECT_EQ(Prepare(0), 0);
    EXPECT_TRUE(ArpRanOnce());
    EXPECT_EQ(service_->LastResult(3), kPortResultNone);
}

TEST_F(ArpCount, AFailedServerStartIsTriedAgainAtTheNextPreparation)
{
    platform::TcpListener taken;
    ASSERT_TRUE(taken.Listen(0, 0));
    download::DownloadServiceSettings settings = Settings();
    settings.server.listenPort = taken.Port();
    service_ = std::make_unique<download::CDownloadService>(settings);
    service_->SetWindow(&window_);
    const uint64_t start = platform::MonotonicMs();
    EXPECT_EQ(Prepare(0), -1);
    EXPECT_GE(platform::MonotonicMs() - start, 49u * 500u);  // 50 bind attempts 500 ms apart
    EXPECT_FALSE(service_->IsNetworkLink());
    EXPECT_EQ(ArpRuns(), 0u);
    taken.Close();
    EXPECT_EQ(Prepare(0), 0);
    EXPECT_TRUE(service_->IsNetworkLink());
    EXPECT_TRUE(ArpRanOnce());
}

TEST(ServiceSettings, TheProductDefaultsComeFromTheEndpoints)
{
    const download::DownloadServiceSettings settings = download::ServiceSettingsFor(platform::Endpoints{}, u"logs");
    EXPECT_EQ(settings.server.listenPort, 4536);
    EXPECT_EQ(settings.server.announceHost, "255.255.255.255");
    EXPECT_EQ(settings.server.announcePort, 3536);
    EXPECT_EQ(settings.server.hostFilter, "192.168");
    EXPECT_EQ(settings.server.logFolder, u"logs");
#ifdef _WIN32
    EXPECT_EQ(settings.arpCommand.program, u"cmd");
    EXPECT_EQ(settings.arpCommand.parameters, u"/c arp -d");
#else
    EXPECT_EQ(settings.arpCommand.program, u"ip neigh flush all");
#endif
}

TEST_F(ServiceTest, PortsOutsideTheTableAreRefused)
{
    StartService();
    EXPECT_EQ(Prepare(24), -1);
    EXPECT_EQ(Prepare(-1), -1);
    std::u16string version;
    EXPECT_EQ(Call([&] { return service_->GetVersion(24, version); }), -1);
    EXPECT_EQ(version, u"NULL");
    download::DownloadRequest request;
    request.port = 24;
    uint32_t code = kCallerCode;
    EXPECT_EQ(Call([&] { return service_->Download(request, code); }), -1);
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(window_.Texts(), (std::vector<std::u16string>{kEnter, kLeave}));
}

TEST_F(ServiceTest, TheVersionComesFromTheQueryAndNamesTheDevice)
{
    StartService();
    DeviceConduct conduct;
    conduct.version = "BR_EN_PELA_BR_KR710MV1.0.0B16_2014";
    ConnectDevice(conduct);
    std::u16string version;
    ASSERT_EQ(Call([&] { return service_->GetVersion(0, version); }), 0);
    EXPECT_EQ(version, u"BR_EN_PELA_BR_KR710MV1.0.0B16_2014");
    service_->ShowDeviceName(0, version);
    service_->ShowDeviceName(0, std::u16string(28, u' '));
    service_->ShowDeviceName(0, u"NULL");
    EXPECT_EQ(window_.Names(), (std::vector<std::u16string>{u"BD_KR710M_MODULEV1.0.0B02", std::u16string(28, u' '), u"KVR 4G Wireless Router"}));
    EXPECT_TRUE(window_.AllForPort(0));
}

TEST_F(ServiceTest, WithoutAnOpenPortTheVersionIsNull)
{
    StartService();
    std::u16string version = u"old";
    EXPECT_EQ(Call([&] { return service_->GetVersion(0, version); }), -1);
    EXPECT_EQ(version, u"NULL");
}

TEST_F(ServiceTest, AFailedDownloadIsRememberedUntilTheNextVersionQuery)
{
    StartService();
    DeviceConduct conduct;
    conduct.refused.insert(devlink::kCmdModemState);
    ConnectDevice(conduct);
    const std::u16string folder = MakeFirmwareFolder(temp_, "firmware", {});
    EXPECT_EQ(RunDownload(folder).result, -1);
    EXPECT_EQ(service_->LastResult(0), kPortResultFailed);
    std::u16string version;
    Call([&] { return service_->GetVersion(0, version); });
    EXPECT_EQ(service_->LastResult(0), kPortResultNone);
}

TEST_F(ServiceTest, ThePortLogIsWrittenWithItsMarker)
{
    StartService();
    const std::u16string path = temp_ + u"port0.log";
    service_->SetPortLog(0, path);
    EXPECT_EQ(platform::ReadWholeFile(path), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x00}));
}

TEST_F(ServiceTest, ThePortOperationsOfTheWorkflowThreads)
{
    StartService();
    EXPECT_FALSE(service_->IsPortOpen(0));
    EXPECT_FALSE(Call([&] { return service_->InitPort(0); }));
    ConnectDevice();
    EXPECT_TRUE(service_->IsPortOpen(0));
    Call([&] {
        service_->ClosePort(0);
        return true;
    });
    EXPECT_FALSE(service_->IsPortOpen(0));
    EXPECT_TRUE(testing_support::PollUntil([&] { return device_->Ended(); }));
    EXPECT_TRUE(clock_.Settle());
    EXPECT_EQ(device_->RequestTypes(), (std::vector<uint8_t>{devlink::kCmdIpMac, devlink::kCmdClose}));
    EXPECT_FALSE(service_->IsPortOpen(24));
}

class FileCheck : public ServiceTest {
protected:
    // The check on `folder` with the carried language table, or none.
    int Check(const std::u16string& folder, bool withTable = true)
    {
        service_ = std::make_unique<download::CDownloadService>(Settings());
        service_->SetWindow(&window_);
        if (withTable) service_->SetLanguageFile(kCarriedTable);
        service_->Config().m_strVersionFilePath = folder;
        return service_->CheckBeforeDownload();
    }
};

TEST_F(FileCheck, FourFilesLargerThanOneByteArePresentAndTheirPathsKept)
{
    FirmwareSizes sizes;
    sizes.bootImage = 2;
    const std::u16string folder = MakeFirmwareFolder(temp_, "two-byte-boot", sizes);
    ASSERT_EQ(Check(folder), 1);
    const std::u16string base = folder + platform::kPathSeparator;
    const payload::DownloadServiceConfig& config = service_->Config();
    EXPECT_EQ(config.m_strModemImagePath, base + std::u16string(payload::kModemImage));
    EXPECT_EQ(config.m_strModemMd5Path, base + std::u16string(payload::kModemChecksum));
    EXPECT_EQ(config.m_strLinuxPath, base + std::u16string(payload::kLinuxImage));
    EXPECT_EQ(config.m_strUbootPath, base + std::u16string(payload::kBootImage));
    EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(FileCheck, AOneByteBootImageCountsAsAbsent)
{
    FirmwareSizes sizes;
    sizes.bootImage = 1;
    EXPECT_EQ(Check(MakeFirmwareFolder(temp_, "one-byte-boot", sizes)), 0);
    EXPECT_EQ(window_.Boxes(), (std::vector<std::u16string>{u"uboot.img File not exist, please select again!"}));
}

TEST_F(FileCheck, AMissingFolderFailsAtTheModemImage)
{
    EXPECT_EQ(Check(temp_ + u"nowhere"), 0);
    EXPECT_EQ(window_.Boxes(), (std::vector<std::u16string>{u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz File not exist, please select again!"}));
}

TEST_F(FileCheck, TheModemFilesCarryTheirTextTheOthersTheLanguageTables)
{
    const std::u16string folder = MakeFirmwareFolder(temp_, "no-checksum", {});
    RemoveFile(folder, payload::kModemChecksum);
    EXPECT_EQ(Check(folder, false), 0);
    const std::u16string rest = MakeFirmwareFolder(temp_, "no-linux", {});
    RemoveFile(rest, payload::kLinuxImage);
    service_->Config().m_strVersionFilePath = rest;
    EXPECT_EQ(service_->CheckBeforeDownload(), 0);
    // Without a language table the looked-up text is empty.
    EXPECT_EQ(window_.Boxes(), (std::vector<std::u16string>{u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum File not exist, please select again!",
                                                          u"root_uImage "}));
}

}  // namespace
}  // namespace download_test
