#include <gtest/gtest.h>

#include <vector>

#include "link/diag_frame.h"
#include "link_host_standin.h"
#include "routersim/link_announcement.h"
#include "routersim/link_diag.h"
#include "routersim/link_fault.h"
#include "routersim/link_file_store.h"
#include "routersim/link_wire.h"

using namespace routersim;
using routersim_test::AnnouncementBlock;

TEST(LinkAnnouncement, NamesTheLoopbackHostToConnectTo)
{
    std::string why;
    const auto host = ReadAnnouncement(AnnouncementBlock(4536, 0x7F000001), why);
    ASSERT_TRUE(host) << why;
    EXPECT_EQ(host->address, "127.0.0.1");
    EXPECT_EQ(host->port, 4536);
    EXPECT_EQ(ReadAnnouncement(AnnouncementBlock(9, 0x7F0A0B0C), why)->address, "127.10.11.12");
}

TEST(LinkAnnouncement, RefusesOtherAddresses)
{
    std::string why;
    for (const uint32_t address : {0x00000000u, 0x80000001u, 0x7EFFFFFFu}) {
        EXPECT_FALSE(ReadAnnouncement(AnnouncementBlock(4536, address), why)) << address;
        EXPECT_NE(why.find("not a loopback address"), std::string::npos) << why;
    }
}

TEST(LinkAnnouncement, RefusesWhatIsNoAnnouncement)
{
    std::string why;
    routersim_test::Block block = AnnouncementBlock(4536);
    EXPECT_FALSE(ReadAnnouncement(std::span<const uint8_t>(block.data(), 1439), why));
    block[1] = 115;
    EXPECT_FALSE(ReadAnnouncement(block, why));
    block = AnnouncementBlock(4536);
    block[5] = 109;
    EXPECT_FALSE(ReadAnnouncement(block, why));
    block = AnnouncementBlock(4536);
    block[11] = 1;  // port 65536 + 4536
    EXPECT_FALSE(ReadAnnouncement(block, why));
    EXPECT_FALSE(ReadAnnouncement(AnnouncementBlock(0), why));
}

TEST(LinkWire, ReadsEveryFieldAtItsOffset)
{
    const std::vector<uint8_t> data{1, 2, 3};
    const LinkRequest request = ReadRequest(routersim_test::RequestBlock(0x98, 0x01020304, data, 1350, 0xA0B0C0D0, 1392));
    EXPECT_EQ(request.type, 0x98);
    EXPECT_EQ(request.param, 1392u);
    EXPECT_EQ(request.seq, 0x01020304u);
    EXPECT_EQ(request.data[0], 1);
    EXPECT_EQ(request.data[2], 3);
    EXPECT_EQ(request.length, 1350u);
    EXPECT_EQ(request.aux2, 0xA0B0C0D0u);
}

TEST(LinkWire, WritesAnswersLittleEndian)
{
    const std::vector<uint8_t> data(1400, 0xEE);
    const LinkBlock block = DataBlock(0x61, 0x11223344, data, 0x55667788);
    EXPECT_EQ(block[0], 0x61);
    EXPECT_EQ(block[5], 0x44);
    EXPECT_EQ(block[8], 0x11);
    EXPECT_EQ(block[9], 0xEE);
    EXPECT_EQ(block[1358], 0xEE);
    EXPECT_EQ(block[1359], 0x88);
    EXPECT_EQ(block[1362], 0x55);
    EXPECT_EQ(block[1363], 0);
    EXPECT_EQ(SeqOf(block), 0x11223344u);
    const LinkBlock header = HeaderBlock(0x97, 3);
    EXPECT_EQ(header[0], 0x97);
    EXPECT_EQ(SeqOf(header), 3u);
    EXPECT_TRUE(std::all_of(header.begin() + 9, header.end(), [](uint8_t b) { return b == 0; }));
}

TEST(LinkFaultNames, EveryNameOnTheCommandLine)
{
    LinkFaults faults;
    for (const char* name : {"refuse:0x97", "refuse:134", "silent:0x61", "silent", "drop:0x99", "drop-after:4096", "unknown-first",
                             "wrong-seq", "diag-no-flag", "random:42"}) {
        EXPECT_TRUE(AddLinkFault(name, faults)) << name;
    }
    EXPECT_TRUE(faults.Refused(0x97));
    EXPECT_TRUE(faults.Refused(0x86));
    EXPECT_FALSE(faults.Refused(0x90));
    EXPECT_TRUE(faults.silent.test(0x61));
    EXPECT_TRUE(faults.silentAll);
    EXPECT_TRUE(faults.Silent(0x40));
    EXPECT_TRUE(faults.Dropped(0x99));
    EXPECT_FALSE(faults.Dropped(0x98));
    EXPECT_EQ(faults.dropAfterBytes, 4096u);
    EXPECT_TRUE(faults.unknownFirst);
    EXPECT_TRUE(faults.wrongSeq);
    EXPECT_EQ(faults.diagBreak, DiagBreak::kNoEndFlag);
    EXPECT_EQ(faults.randomSeed, 42u);
    EXPECT_TRUE(AddLinkFault("diag-bad-fcs", faults));
    EXPECT_EQ(faults.diagBreak, DiagBreak::kBadFcs);
}

TEST(LinkFaultNames, BadNamesAndValues)
{
    LinkFaults faults;
    for (const char* name : {"", "refuse", "refuse:", "refuse:256", "refuse:0x", "silent:x", "drop:", "drop:0x100", "drop-after:-1", "random:4294967296",
                             "wrongseq", "delay:5"}) {
        EXPECT_FALSE(AddLinkFault(name, faults)) << name;
    }
}

TEST(LinkDiag, EsnReadAndItsBrokenForms)
{
    const std::vector<uint8_t> request = devlink::BuildFrame(std::vector<uint8_t>{0x01});
    const auto good = devlink::UnframeAndCheck(DiagAnswer(request, 0xDEADBEEF, DiagBreak::kNone));
    ASSERT_TRUE(good.ok);
    EXPECT_EQ(good.body, (std::vector<uint8_t>{0x01, 0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_FALSE(devlink::UnframeAndCheck(DiagAnswer(request, 0xDEADBEEF, DiagBreak::kBadFcs)).ok);
    const std::vector<uint8_t> noFlag = DiagAnswer(request, 0xDEADBEEF, DiagBreak::kNoEndFlag);
    EXPECT_NE(noFlag.back(), devlink::kFrameFlag);
    EXPECT_FALSE(devlink::UnframeAndCheck(noFlag).ok);
}

TEST(LinkDiag, BadCommandAnswersFitAFrame)
{
    const std::vector<uint8_t> request = devlink::BuildFrame(std::vector<uint8_t>(600, 0x7E));
    ASSERT_FALSE(request.empty());
    const std::vector<uint8_t> answer = DiagAnswer(request, 0, DiagBreak::kNone);
    EXPECT_LE(answer.size(), devlink::kMaxFrameBytes);
    const auto frame = devlink::UnframeAndCheck(answer);
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.body[0], kDiagBadCommand);
}

TEST(LinkFileStore, NamesByNumberAndKind)
{
    EXPECT_EQ(ReceivedFileName(1, 0x98), "1-modem-image.bin");
    EXPECT_EQ(ReceivedFileName(2, 0x99), "2-modem-checksum.bin");
    EXPECT_EQ(ReceivedFileName(3, 0x01), "3-linux-image.bin");
}
