#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/firmware_files.h"
#include "payload/firmware_payload.h"
#include "platform/files.h"
#include "platform/program_resource.h"
#include "platform/text.h"
#include "../support/test_env.h"

namespace {

std::u16string Source(const char* folder, const char* name)
{
    return platform::Utf8ToUtf16(folder) + platform::kPathSeparator + platform::Utf8ToUtf16(name);
}

struct Carried {
    std::u16string written;
    std::u16string source;
};

// The six files this test program carries, as the build embedded them.
std::vector<Carried> CarriedFiles()
{
    return {
        {u"download.xml", Source(FLASHDESK_RES_DIR, "download.xml")},
        {u"lan_ENG.ini", Source(FLASHDESK_RES_DIR, "lan_ENG.ini")},
        {u"root_uImage", Source(EMBEDDED_DIR, "root_uImage")},
        {u"uboot.img", Source(EMBEDDED_DIR, "uboot.img")},
        {u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz", Source(EMBEDDED_DIR, "modem.fbf.gz")},
        {u"fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum", Source(EMBEDDED_DIR, "modem.fbf_md5sum")},
    };
}

class PayloadFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        workDir_ = testing_support::UsePrivateTempFolder("payload") + u"KR880+NewVersion";
        platform::CreateFolder(workDir_);
    }
    std::u16string Path(std::u16string_view name) const { return workDir_ + platform::kPathSeparator + std::u16string(name); }

    std::u16string workDir_;
    payload::EmbeddedPayload payload_;
};

TEST_F(PayloadFolder, AllSixFilesUnpackByteIdenticalOverOlderCopies)
{
    const std::string older(4096, 'o');
    for (const Carried& file : CarriedFiles()) {
        ASSERT_TRUE(platform::WriteWholeFile(Path(file.written), older.data(), older.size()));
    }
    EXPECT_TRUE(payload_.ExtractPayload(workDir_).empty());
    for (const Carried& file : CarriedFiles()) {
        const std::optional<std::vector<uint8_t>> written = platform::ReadWholeFile(Path(file.written));
        const std::optional<std::vector<uint8_t>> source = platform::ReadWholeFile(file.source);
        ASSERT_TRUE(written && source);
        EXPECT_EQ(*written, *source) << platform::Utf16ToUtf8(file.written);
    }
    EXPECT_FALSE(payload_.CheckFirmwareFiles(workDir_));
}

TEST_F(PayloadFolder, AnUnwritableFolderReportsEachFailureAndStopsTheFirmware)
{
    const std::u16string missing = workDir_ + platform::kPathSeparator + u"absent";
    std::vector<std::u16string> texts;
    for (const payload::UserMessage& message : payload_.ExtractPayload(missing)) texts.push_back(message.text);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"Read download.xml fail!", u"Read lan_ENG.ini fail!",
                                                  u"Read root_uImage fail!"}));
}

TEST_F(PayloadFolder, AResourceTheProgramDoesNotCarryFails)
{
    EXPECT_FALSE(platform::ProgramResource(999));
    EXPECT_FALSE(payload::ExtractPayload(workDir_, 999, u"none.bin"));
    EXPECT_FALSE(platform::FileExists(Path(u"none.bin")));
    ASSERT_TRUE(platform::ProgramResource(payload::kBootImageResource));
    EXPECT_EQ(platform::ProgramResource(payload::kBootImageResource)->size(), 9u);
}

TEST_F(PayloadFolder, DeletedBootImageIsNamedAtTheCheck)
{
    ASSERT_TRUE(payload_.ExtractPayload(workDir_).empty());
    ASSERT_TRUE(platform::RemoveFile(Path(u"uboot.img")));
    EXPECT_FALSE(platform::RemoveFile(Path(u"uboot.img")));
    const std::optional<payload::UserMessage> message = payload_.CheckFirmwareFiles(workDir_);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, Path(u"uboot.img") + u" is not exist, please select again.");
    EXPECT_EQ(message->caption, u"Software flashdesk For KR880+");
    EXPECT_TRUE(message->informationIcon);
    EXPECT_EQ(payload_.CheckFirmwareFiles(Path(u"nowhere"))->text, Path(u"nowhere") + u" is not exist.");
}

TEST_F(PayloadFolder, PathsWithATrailingSeparator)
{
    const std::u16string sep(1, platform::kPathSeparator);
    ASSERT_TRUE(payload_.ExtractPayload(workDir_).empty());
    EXPECT_TRUE(payload::PathExists(u"C:" + sep));
    EXPECT_TRUE(payload::PathExists(workDir_ + sep));
    EXPECT_TRUE(payload::PathExists(Path(u"uboot.img") + sep));
    EXPECT_FALSE(payload::PathExists(Path(u"nothing") + sep));
    EXPECT_FALSE(payload::PathExists(u""));
}

}  // namespace
