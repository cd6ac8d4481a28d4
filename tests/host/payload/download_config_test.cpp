#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/config_rewrite.h"
#include "payload/config_values.h"
#include "payload/download_service_config.h"
#include "platform/files.h"
#include "platform/text.h"
#include "../support/test_env.h"

namespace {

using payload::DownloadServiceConfig;

std::u16string ResFile(const char* name)
{
    return platform::Utf8ToUtf16(FLASHDESK_RES_DIR) + platform::kPathSeparator + platform::Utf8ToUtf16(name);
}

class RecordingSink : public platform::ReportSink {
public:
    void SendReport(const platform::ServiceReport& report) override
    {
        kinds.push_back(report.kind);
        ports.push_back(report.port);
        texts.emplace_back(static_cast<const char16_t*>(report.data));
    }
    void ShowMessageBox(const std::u16string& text) override { boxes.push_back(text); }

    std::vector<int32_t> kinds;
    std::vector<int32_t> ports;
    std::vector<std::u16string> texts;
    std::vector<std::u16string> boxes;
};

TEST(ConfigValues, IntegersReadLikeWcstol)
{
    EXPECT_EQ(payload::ParseInteger(u" 2x"), 2);
    EXPECT_EQ(payload::ParseInteger(u"\t-17"), -17);
    EXPECT_EQ(payload::ParseInteger(u"+8"), 8);
    EXPECT_EQ(payload::ParseInteger(u""), 0);
    EXPECT_EQ(payload::ParseInteger(u"abc"), 0);
    EXPECT_EQ(payload::ParseInteger(u"- 5"), 0);
    EXPECT_EQ(payload::ParseInteger(u"99999999999999999999"), 2147483647);
    EXPECT_EQ(payload::ParseInteger(u"-99999999999"), -2147483647 - 1);
    EXPECT_EQ(payload::ParseByte(u"417"), 161);
    EXPECT_EQ(payload::ParseByte(u"-1"), 255);
}

TEST(ConfigValues, HexWithOrWithoutPrefix)
{
    EXPECT_EQ(payload::ParseHex(u"0x0e"), 14u);
    EXPECT_EQ(payload::ParseHex(u"0e"), 14u);
    EXPECT_EQ(payload::ParseHex(u"1A"), 26u);
    EXPECT_EQ(payload::ParseHex(u" 0XfF,"), 255u);
    EXPECT_EQ(payload::ParseHex(u"0x"), 0u);
    EXPECT_EQ(payload::ParseHex(u"123456789"), 0xFFFFFFFFu);
    EXPECT_EQ(payload::ParseHex(u"-1"), 0xFFFFFFFFu);
}

TEST(ConfigValues, SplittingKeepsEmptyPieces)
{
    EXPECT_EQ(payload::SplitKeepingEmpty(u"550,,23", u','), (std::vector<std::u16string>{u"550", u"", u"23"}));
    EXPECT_EQ(payload::SplitKeepingEmpty(u"", u','), (std::vector<std::u16string>{u""}));
    EXPECT_EQ(payload::SplitKeepingEmpty(u"a;", u';'), (std::vector<std::u16string>{u"a", u""}));
    EXPECT_EQ(payload::TrimSpaces(u"  a b \t "), u"a b \t");
    EXPECT_EQ(payload::TrimSpaces(u"   "), u"");
}

// A firmware folder with a download.xml of the given DOWNLOADBL keys.
class ConfigFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = testing_support::UsePrivateTempFolder("config") + u"firmware";
        platform::CreateFolder(folder_);
        config_.m_hWnd = &sink_;
    }

    std::u16string Path(std::u16string_view name) const
    {
        return folder_ + platform::kPathSeparator + std::u16string(name);
    }
    void WriteFile(std::u16string_view name, const std::string& bytes) const
    {
        ASSERT_TRUE(platform::WriteWholeFile(Path(name), bytes.data(), bytes.size()));
    }
    std::string VersionKey() const
    {
        return "<ITEM_VERSIONFILE_PATH>" + platform::Utf16ToUtf8(folder_) + "</ITEM_VERSIONFILE_PATH>";
    }
    // download.xml whose DOWNLOADBL holds `head`, the version path key and
    // `tail`, or just `keys` when they hold the version path key.
    void WriteConfig(const std::string& tail, const std::string& head = "") const
    {
        const std::string body = tail.find("ITEM_VERSIONFILE_PATH") == std::string::npos ? head + VersionKey() + tail : tail;
        WriteFile(u"download.xml", "<?xml version=\"1.0\"?>\r\n<phone><DOWNLOADBL>" + body + "</DOWNLOADBL></phone>");
    }

    std::u16string folder_;
    RecordingSink sink_;
    DownloadServiceConfig config_;
};

TEST_F(ConfigFolder, ConversionsOfTheKeyForms)
{
    WriteConfig("<ITEM_COMMONNV>550,,23</ITEM_COMMONNV>"
                "<ITEM_EFS_RFNV_OVER6W>65822,/nv/item_files/a;90003,/nv/b</ITEM_EFS_RFNV_OVER6W>"
                "<ITEM_Autorun_sub_ID>417</ITEM_Autorun_sub_ID><ITEM_SECDATA>5A,,C3,</ITEM_SECDATA>"
                "<ITEM_DL_armprg>a&amp;b.bin</ITEM_DL_armprg>",
                "<ITEM_MODE>1</ITEM_MODE><ITEM_NVOPTION> 2x</ITEM_NVOPTION>//remark\r\n");
    EXPECT_EQ(config_.Load(folder_), 0);  // the empty file list names no file
    EXPECT_EQ(config_.m_strVersionFilePath, folder_);
    EXPECT_EQ(config_.m_nNvOption, 2);
    EXPECT_EQ(*config_.m_pCommonNv, (std::vector<int32_t>{550, 0, 23}));
    ASSERT_EQ(config_.m_pEfsRfNvOver6w->size(), 2u);
    EXPECT_EQ((*config_.m_pEfsRfNvOver6w)[1].itemId, 90003);
    EXPECT_EQ((*config_.m_pEfsRfNvOver6w)[1].efsPath, u"/nv/b");
    EXPECT_EQ(config_.m_byAutorunSubId, 161);
    EXPECT_EQ(config_.m_vecSecData, (std::vector<std::u16string>{u"5A", u"", u"C3", u""}));
    EXPECT_EQ(config_.m_strArmprgFile, u"a&b.bin");
}

TEST_F(ConfigFolder, KeysOutOfOrderTakeThePreviousKeysData)
{
    WriteConfig("<ITEM_RFNV>1,2</ITEM_RFNV><ITEM_COMMONNV>7,8</ITEM_COMMONNV><ITEM_LOCKNV>9</ITEM_LOCKNV>");
    config_.Load(folder_);
    EXPECT_EQ(*config_.m_pCommonNv, (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(*config_.m_pRfNv, (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(*config_.m_pLockNv, (std::vector<int32_t>{9}));
}

TEST_F(ConfigFolder, FileListEntriesAreCheckedAndRead)
{
    WriteFile(u"a.mbn", "abc");
    WriteFile(u"b.mbn", "de");
    WriteConfig("<ITEM_DOWNLOAD_FILELIST>a.mbn,1A,0,4;  b.mbn ,0x0e,1,2,1,0:SBL</ITEM_DOWNLOAD_FILELIST>"
                "<ITEM_UpgradeModem>1</ITEM_UpgradeModem><ITEM_LinuxFile>root_uImage</ITEM_LinuxFile>"
                "<ITEM_uBOOTFile>uboot.img</ITEM_uBOOTFile><ITEM_CheckEraseCPE>3</ITEM_CheckEraseCPE>");
    EXPECT_EQ(config_.Load(folder_), 1);
    EXPECT_EQ(config_.m_bValid, 1);
    ASSERT_EQ(config_.m_vecDownloadFiles.size(), 2u);
    const payload::DownloadFileEntry& first = config_.m_vecDownloadFiles[0];
    EXPECT_EQ(first.path, Path(u"a.mbn"));
    EXPECT_EQ(first.openCode, 26u);
    EXPECT_EQ(first.dlType, 4);
    EXPECT_EQ(first.labelFlag, 0);
    EXPECT_EQ(first.label, u"");
    const payload::DownloadFileEntry& second = config_.m_vecDownloadFiles[1];
    EXPECT_EQ(second.path, Path(u"b.mbn"));
    EXPECT_EQ(second.openCode, 14u);
    EXPECT_EQ(second.bHdFile, 1);
    EXPECT_EQ(second.labelFlag, 1);
    EXPECT_EQ(second.label, u"0:SBL");
    EXPECT_EQ(config_.m_nTotalSize, 5u);
    EXPECT_EQ(config_.m_vecFileListTokens.size(), 2u);
    EXPECT_EQ(config_.m_strLinuxPath, Path(u"root_uImage"));
    EXPECT_EQ(config_.m_strUbootPath, Path(u"uboot.img"));
    EXPECT_EQ(config_.m_nCheckEraseCpe, 3);
    EXPECT_EQ(sink_.texts, (std::vector<std::u16string>{Path(u"a.mbn") + u" is exist.", Path(u"b.mbn") + u" is exist."}));
    EXPECT_EQ(sink_.kinds, (std::vector<int32_t>{4, 4}));
    EXPECT_EQ(sink_.ports, (std::vector<int32_t>{100, 100}));
}

TEST_F(ConfigFolder, RefusedEntriesStopTheRead)
{
    WriteFile(u"one.bin", "x");
    WriteFile(u"two.bin", "xy");
    const struct {
        const char* list;
        std::u16string reported;
    } cases[] = {
        {"one.bin,0e,0,4", Path(u"one.bin")},             // 1 byte counts as missing
        {"\ttwo.bin,0e,0,4", Path(u"\ttwo.bin")},         // only blanks are trimmed
        {"two.bin,0e,0", Path(u"two.bin")},               // three fields
        {"two.bin,0e,0,4;none.bin,0e,0,4", Path(u"none.bin")},
    };
    for (const auto& c : cases) {
        sink_.texts.clear();
        WriteConfig(std::string("<ITEM_DOWNLOAD_FILELIST>") + c.list + "</ITEM_DOWNLOAD_FILELIST><ITEM_UpgradeModem>7</ITEM_UpgradeModem>");
        config_.m_nUpgradeModem = -5;
        EXPECT_EQ(config_.Load(folder_), 0) << c.list;
        EXPECT_EQ(config_.m_bValid, 0);
        ASSERT_FALSE(sink_.texts.empty());
        EXPECT_EQ(sink_.texts.back(), c.reported + u" is not exist.") << c.list;
        EXPECT_EQ(config_.m_nUpgradeModem, -5) << "keys after the list are not read";
    }
}

TEST_F(ConfigFolder, AnOverlongListPathIsRefusedNotCut)
{
    const std::string name(300, 'n');
    WriteConfig("<ITEM_DOWNLOAD_FILELIST>" + name + ",0e,0,4</ITEM_DOWNLOAD_FILELIST>");
    EXPECT_EQ(config_.Load(folder_), 0);
    EXPECT_TRUE(config_.m_vecDownloadFiles.empty());
}

TEST_F(ConfigFolder, EmptyVersionPathStopsAtOnce)
{
    WriteConfig("<ITEM_VERSIONFILE_PATH></ITEM_VERSIONFILE_PATH><ITEM_NVFILE_PATH>x</ITEM_NVFILE_PATH>");
    config_.m_bValid = 1;
    EXPECT_EQ(config_.Load(folder_), 0);
    EXPECT_EQ(config_.m_bValid, 0);
    EXPECT_EQ(config_.m_strNvFilePath, u"");
}

TEST_F(ConfigFolder, MissingFileReadsNothingAndSucceeds)
{
    config_.m_bValid = 7;
    EXPECT_EQ(config_.Load(folder_), 1);
    EXPECT_EQ(config_.m_bValid, 7);
    EXPECT_TRUE(sink_.texts.empty());
}

TEST_F(ConfigFolder, SecondElementOverwritesScalarsAndAddsToLists)
{
    WriteFile(u"a.bin", "ab");
    const auto element = [this](const char* option, const char* ids) {
        return "<DOWNLOADBL><ITEM_NVOPTION>" + std::string(option) + "</ITEM_NVOPTION>" + VersionKey() + "<ITEM_COMMONNV>" +
               ids + "</ITEM_COMMONNV><ITEM_DOWNLOAD_FILELIST>a.bin,0,0,0</ITEM_DOWNLOAD_FILELIST></DOWNLOADBL>";
    };
    WriteFile(u"download.xml", "<phone>" + element("1", "5") + "<other/>" + element("2", "6") + "</phone>");
    EXPECT_EQ(config_.Load(folder_), 1);
    EXPECT_EQ(config_.m_nNvOption, 2);
    EXPECT_EQ(*config_.m_pCommonNv, (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(config_.m_vecDownloadFiles.size(), 2u);
    EXPECT_EQ(config_.m_nTotalSize, 4u);
    EXPECT_EQ(config_.Load(folder_), 1);
    EXPECT_EQ(*config_.m_pCommonNv, (std::vector<int32_t>{5, 6})) << "a new read starts from empty lists";
}

TEST_F(ConfigFolder, AVersionPathBeforeTheOptionIsNotFound)
{
    WriteFile(u"download.xml", "<phone><DOWNLOADBL>" + VersionKey() + "<ITEM_NVOPTION>2</ITEM_NVOPTION></DOWNLOADBL></phone>");
    EXPECT_EQ(config_.Load(folder_), 0);
    EXPECT_EQ(config_.m_strVersionFilePath, u"2");
}

TEST_F(ConfigFolder, ShippedFileAsRewrittenStopsAtTheFirstListedFile)
{
    const std::optional<std::vector<uint8_t>> shipped = platform::ReadWholeFile(ResFile("download.xml"));
    ASSERT_TRUE(shipped);
    ASSERT_TRUE(platform::WriteWholeFile(Path(u"download.xml"), shipped->data(), shipped->size()));
    ASSERT_TRUE(payload::RewriteConfigFile(Path(u"download.xml"), folder_, folder_));
    EXPECT_EQ(config_.Load(folder_), 0);
    EXPECT_EQ(config_.m_bValid, 0);
    EXPECT_EQ(sink_.texts, std::vector<std::u16string>{Path(u"sbl1.mbn") + u" is not exist."});
    EXPECT_EQ(config_.m_strVersionFilePath, folder_);
    EXPECT_EQ(config_.m_strNvFilePath, folder_);
    EXPECT_EQ(config_.m_nNvOption, 2);
    EXPECT_EQ(config_.m_pCommonNv->size(), 2u);
    EXPECT_EQ(config_.m_pRfNv->size(), 678u);
    ASSERT_EQ(config_.m_pLockNv->size(), 29u);
    EXPECT_EQ(config_.m_pLockNv->front(), 8000);
    EXPECT_EQ(config_.m_pLockNv->back(), 8028);
    EXPECT_EQ(config_.m_pEfsNv->size(), 422u);
    ASSERT_EQ(config_.m_pEfsRfNvOver6w->size(), 14u);
    EXPECT_EQ(config_.m_pEfsRfNvOver6w->front().itemId, 65822);
    EXPECT_EQ(config_.m_pEfsRfNvOver6w->back().itemId, 90003);
    for (const payload::EfsItemEntry& entry : *config_.m_pEfsRfNvOver6w) {
        EXPECT_EQ(entry.efsPath.rfind(u"/nv/item_files/", 0), 0u);
    }
    EXPECT_EQ(config_.m_byAutorunSubId, 161);
    EXPECT_EQ(config_.m_byVerifySubSysId, 163);
    EXPECT_EQ(config_.m_strSecDataFile, u"dsp2.mbn");
    EXPECT_EQ(config_.m_vecSecData.size(), 4u);
    EXPECT_EQ(config_.m_byCertificationSubId, 207);
    EXPECT_EQ(config_.m_strDvbhEfsPath, u"brew/mod/cmla/");
    EXPECT_EQ(config_.m_strArmprgFile, u"armprg.bin");
    EXPECT_EQ(config_.m_nHsUsb, 1);
    EXPECT_EQ(config_.m_byTrustFlag, 1);
    EXPECT_EQ(config_.m_nPartitionDL, 1);
    EXPECT_EQ(config_.m_vecFileListTokens.size(), 15u);
    EXPECT_EQ(config_.m_vecFileListTokens.front().rfind(u"sbl1.mbn,", 0), 0u);
    EXPECT_EQ(config_.m_strLinuxFile, u"");
}

TEST_F(ConfigFolder, ShippedFileWithEveryListedFileReadsToTheEnd)
{
    const std::optional<std::vector<uint8_t>> shipped = platform::ReadWholeFile(ResFile("download.xml"));
    ASSERT_TRUE(shipped);
    ASSERT_TRUE(platform::WriteWholeFile(Path(u"download.xml"), shipped->data(), shipped->size()));
    ASSERT_TRUE(payload::RewriteConfigFile(Path(u"download.xml"), folder_, folder_));
    const char* listed[] = {"sbl1.mbn", "sdi.mbn", "tz.mbn", "rpm.mbn", "mba.mbn", "qdsp6sw.mbn", "dsp2.mbn",
                            "appsboot.mbn", "mdm-image-mdm9625.yaffs2", "mdm9625-usr-image.usrfs.yaffs2",
                            "kvrdata-image.usrfs.yaffs2", "mdm-recovery-image-mdm9625.yaffs2",
                            "mdm-image-boot-recovery-mdm9625.img", "efs.mbn", "mdm-image-boot-mdm9625.img"};
    for (const char* name : listed) WriteFile(platform::Utf8ToUtf16(name), "0123456789");
    EXPECT_EQ(config_.Load(folder_), 1);
    EXPECT_EQ(config_.m_bValid, 1);
    ASSERT_EQ(config_.m_vecDownloadFiles.size(), 15u);
    EXPECT_EQ(config_.m_nTotalSize, 150u);
    for (const payload::DownloadFileEntry& entry : config_.m_vecDownloadFiles) {
        EXPECT_EQ(entry.openCode, 0x0Eu);
        EXPECT_EQ(entry.bHdFile, 0);
        EXPECT_EQ(entry.dlType, 4);
        EXPECT_EQ(entry.labelFlag, 1);
        EXPECT_EQ(entry.label.rfind(u"0:", 0), 0u);
    }
    EXPECT_EQ(config_.m_vecDownloadFiles.front().label, u"0:SBL");
    EXPECT_EQ(config_.m_nUpgradeModem, 1);
    EXPECT_EQ(config_.m_nUpgradeLinux, 1);
    EXPECT_EQ(config_.m_strLinuxPath, Path(u"root_uImage"));
    EXPECT_EQ(config_.m_nUpgradeUboot, 1);
    EXPECT_EQ(config_.m_strUbootPath, Path(u"uboot.img"));
    EXPECT_EQ(config_.m_nCheckEraseCpe, 0);
}

TEST_F(ConfigFolder, RewriteTouchesOnlyThePathKeys)
{
    const std::string before = "\xEF\xBB\xBF<phone><DOWNLOADBL><ITEM_MODE>1</ITEM_MODE>//x\r\n"
                               "<ITEM_VERSIONFILE_PATH>old</ITEM_VERSIONFILE_PATH>//y\r\n"
                               "<ITEM_NVFILE_PATH></ITEM_NVFILE_PATH><ITEM_RFNV>3</ITEM_RFNV></DOWNLOADBL></phone>";
    WriteFile(u"download.xml", before);
    ASSERT_TRUE(payload::RewriteConfigFile(Path(u"download.xml"), u"C:\\a&b", u"D:\\n"));
    const std::optional<std::vector<uint8_t>> after = platform::ReadWholeFile(Path(u"download.xml"));
    ASSERT_TRUE(after);
    EXPECT_EQ(std::string(after->begin(), after->end()),
              "\xEF\xBB\xBF<phone><DOWNLOADBL><ITEM_MODE>1</ITEM_MODE>//x\r\n"
              "<ITEM_VERSIONFILE_PATH>C:\\a&amp;b</ITEM_VERSIONFILE_PATH>//y\r\n"
              "<ITEM_NVFILE_PATH>D:\\n</ITEM_NVFILE_PATH><ITEM_RFNV>3</ITEM_RFNV></DOWNLOADBL></phone>");
}

TEST_F(ConfigFolder, RewriteLeavesFilesWithoutTheElementAlone)
{
    WriteFile(u"download.xml", "<phone><OTHER/></phone>");
    EXPECT_FALSE(payload::RewriteConfigFile(Path(u"download.xml"), u"a", u"b"));
    EXPECT_FALSE(payload::RewriteConfigFile(Path(u"absent.xml"), u"a", u"b"));
    EXPECT_FALSE(platform::FileExists(Path(u"absent.xml")));
    const std::optional<std::vector<uint8_t>> after = platform::ReadWholeFile(Path(u"download.xml"));
    ASSERT_TRUE(after);
    EXPECT_EQ(std::string(after->begin(), after->end()), "<phone><OTHER/></phone>");
}

}  // namespace
