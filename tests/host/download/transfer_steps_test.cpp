// The transfer steps one at a time: their progress values at the edges and
// what a file that cannot be opened does.
#include "service_fixture.h"

#include "download/file_transfer.h"
#include "download/linux_upgrade.h"
#include "download/modem_upgrade.h"
#include "payload/firmware_files.h"
#include "platform/files.h"

namespace download_test {
namespace {

class TransferSteps : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        StartService();
        ConnectDevice();
    }

    download::DownloadStep Step()
    {
        return download::DownloadStep{service_->Link(), *service_->Link().Engine(0), 0, service_->Config(), language_,
                                      download::ServiceReporter(&window_, 0)};
    }

    std::u16string File(const std::string& name, size_t size)
    {
        const std::vector<uint8_t> bytes(size, 0x5A);
        const std::u16string path = temp_ + platform::Utf8ToUtf16(name);
        EXPECT_TRUE(platform::WriteWholeFile(path, bytes.data(), bytes.size()));
        return path;
    }

    // Once every byte the host sent has arrived and been served: exactly
    // `transfers` transfers, the last one whole.
    bool Received(size_t transfers)
    {
        if (!clock_.Settle()) return false;
        const auto seen = device_->Transfers();
        return seen.size() == transfers && seen.back().complete;
    }

    download::CLanguageManager language_;
    uint32_t code_ = kCallerCode;
};

TEST_F(TransferSteps, AnImageOf1351BytesGoesInTwoPiecesWithProgress0_0_69_70)
{
    service_->Config().m_strModemImagePath = File("image", 1351);
    EXPECT_EQ(Call([&] { return download::SendModemImage(Step(), code_); }), 1);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{0, 0, 69, 70}));
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(device_->Transfers()[0].type, devlink::kModemImage);
    EXPECT_EQ(device_->Transfers()[0].bytes, std::vector<uint8_t>(1351, 0x5A));
    EXPECT_EQ(code_, kCallerCode);
}

TEST_F(TransferSteps, AChecksumFileOf2701BytesReportsProgress71_70_79_89_90)
{
    service_->Config().m_strModemMd5Path = File("checksum", 2701);
    EXPECT_EQ(Call([&] { return download::SendModemChecksum(Step(), code_); }), 1);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{71, 70, 79, 89, 90}));
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(device_->Transfers()[0].type, devlink::kModemChecksum);
    EXPECT_EQ(device_->Transfers()[0].announcedSize, 2701u);
}

TEST_F(TransferSteps, RawBytesAreReportedAtTheStartEvery250MsAndOnceMoreAtTheEnd)
{
    // 100 pieces with 10 ms after each: the clock is 250 ms on after the
    // 26th, the 51st and the 76th.
    const uint32_t size = 100 * download::kTransferPieceBytes;
    service_->Config().m_strModemMd5Path = File("checksum", size);
    EXPECT_EQ(Call([&] { return download::SendModemChecksum(Step(), code_); }), 1);
    std::vector<std::pair<uint32_t, uint32_t>> reports;
    for (const platform::TransferBytes& bytes : window_.RawBytes()) reports.emplace_back(bytes.sent, bytes.size);
    const uint32_t piece = download::kTransferPieceBytes;
    EXPECT_EQ(reports, (std::vector<std::pair<uint32_t, uint32_t>>{
                           {0, size}, {26 * piece, size}, {51 * piece, size}, {76 * piece, size}, {0, 0}}));
    ASSERT_TRUE(Received(1));
}

TEST_F(TransferSteps, ALinuxImageReportsItsRawBytesToo)
{
    service_->Config().m_strLinuxPath = File("linux", 3000);
    EXPECT_EQ(Call([&] { return download::Operation_UpgradeLinux(Step(), code_); }), 0);
    const std::vector<platform::TransferBytes> reports = window_.RawBytes();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front().sent, 0u);
    EXPECT_EQ(reports.front().size, 3000u);
    EXPECT_EQ(reports.back().size, 0u);
}

TEST_F(TransferSteps, AnEmptyFileSendsOnlyItsStartBlock)
{
    service_->Config().m_strModemImagePath = File("empty", 0);
    EXPECT_EQ(Call([&] { return download::SendModemImage(Step(), code_); }), 1);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{0, 70}));
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(device_->Transfers()[0].announcedSize, 0u);
    EXPECT_TRUE(device_->Transfers()[0].bytes.empty());
}

TEST_F(TransferSteps, AModemFileThatCannotBeOpenedSetsCode3AndSendsNothing)
{
    service_->Config().m_strModemImagePath = temp_ + u"missing";
    EXPECT_EQ(Call([&] { return download::SendModemImage(Step(), code_); }), 0);
    EXPECT_EQ(code_, 3u);
    EXPECT_TRUE(window_.Progress().empty());
    EXPECT_TRUE(window_.Texts().empty());
    EXPECT_TRUE(window_.RawBytes().empty());
    ASSERT_TRUE(clock_.Settle());
    EXPECT_EQ(device_->RequestTypes(), (std::vector<uint8_t>{devlink::kCmdIpMac}));
}

TEST_F(TransferSteps, ALinuxImageThatCannotBeOpenedEndsWithCode3)
{
    service_->Config().m_strLinuxPath = temp_ + u"missing";
    EXPECT_EQ(Call([&] { return download::Operation_UpgradeLinux(Step(), code_); }), -1);
    EXPECT_EQ(code_, 3u);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{92}));
    ASSERT_TRUE(clock_.Settle());
    EXPECT_EQ(device_->RequestTypes(), (std::vector<uint8_t>{devlink::kCmdIpMac}));
}

TEST_F(TransferSteps, TheBootImageIsNeverSent)
{
    const std::u16string folder = MakeFirmwareFolder(temp_, "firmware", {});
    service_->Config().m_strLinuxPath = folder + platform::kPathSeparator + std::u16string(payload::kLinuxImage);
    service_->Config().m_strUbootPath = folder + platform::kPathSeparator + std::u16string(payload::kBootImage);
    EXPECT_EQ(Call([&] { return download::Operation_UpgradeLinux(Step(), code_); }), 0);
    EXPECT_EQ(Call([&] { return download::Operation_Finish(Step(), code_); }), 0);
    EXPECT_EQ(code_, 0u);
    EXPECT_EQ(window_.Progress(), (std::vector<int32_t>{92, 93, 95, 96, 99}));
    ASSERT_TRUE(clock_.Settle());
    const auto transfers = device_->Transfers();
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].type, devlink::kLinuxImage);
    EXPECT_EQ(transfers[0].bytes, ReadFile(folder, payload::kLinuxImage));
}

}  // namespace
}  // namespace download_test
