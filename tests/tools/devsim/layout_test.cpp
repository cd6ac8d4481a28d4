// The layout file reader: what it accepts, each rule it enforces, the
// written form it reads back, and input that is not a layout at all.
#include "layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

using devsim::layout;
using devsim::layout_partition;

// The error for a one-line layout, or "" when it is read.
std::string problem_with(const std::string& text)
{
    layout parsed;
    std::string error;
    return devsim::parse_layout(text, parsed, error) ? "" : error;
}

TEST(DevsimLayout, ReadsEveryFieldAndForm)
{
    layout parsed;
    std::string error;
    ASSERT_TRUE(devsim::parse_layout("# comment\n"
                                     "\n"
                                     "  kernel\t0x40000 128K 2048 image=images/kernel.img\r\n"
                                     "system 1M 0x20000 4096 oob=128 mount=/system folder=rootfs\n"
                                     "   # indented comment\n"
                                     "misc 131072 131072 0x800",
                                     parsed, error))
        << error;
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0], (layout_partition{"kernel", 0x40000, 0x20000, 2048, 64, "images/kernel.img", "", ""}));
    EXPECT_EQ(parsed[1], (layout_partition{"system", 0x100000, 0x20000, 4096, 128, "", "/system", "rootfs"}));
    EXPECT_EQ(parsed[2], (layout_partition{"misc", 0x20000, 0x20000, 2048, 64, "", "", ""}));
}

TEST(DevsimLayout, WrittenFormReadsBackEqual)
{
    layout original = {{"init", 0x40000, 0x20000, 2048, 64, "a=b.img", "", ""},
                       {"data", 0x100000, 0x4000, 512, 16, "", "/data/x", "tree"},
                       {"fota", 0x4000, 0x4000, 1, 0, "", "", ""}};
    layout read_back;
    std::string error;
    ASSERT_TRUE(devsim::parse_layout(devsim::format_layout(original), read_back, error)) << error;
    EXPECT_EQ(read_back, original);
}

TEST(DevsimLayout, EachRuleIsEnforcedWithItsLine)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "no partitions"},
        {"# only a comment\n", "no partitions"},
        {"kernel 0x40000 0x20000\n", "line 1: expected NAME SIZE ERASESIZE WRITESIZE"},
        {"a\"b 0x4000 0x4000 512\n", "line 1: partition name must be"},
        {"abcdefghijabcdefghijabcdefghijab 0x4000 0x4000 512\n", "line 1: partition name must be"},
        {"k 0x 0x4000 512\n", "line 1: SIZE, ERASESIZE and WRITESIZE must be numbers"},
        {"k 4096M 0x4000 512\n", "line 1: SIZE, ERASESIZE and WRITESIZE must be numbers"},
        {"k 0x100000000 0x4000 512\n", "line 1: SIZE, ERASESIZE and WRITESIZE must be numbers"},
        {"k 12x 0x4000 512\n", "line 1: SIZE, ERASESIZE and WRITESIZE must be numbers"},
        {"k 0x4000 0x4000 0\n", "line 1: WRITESIZE must be a power of two"},
        {"k 0x4000 0x4000 1000\n", "line 1: WRITESIZE must be a power of two"},
        {"k 0x40000 0x40000 128K\n", "line 1: WRITESIZE must be a power of two up to 64K"},
        {"k 0x4000 0x300 512\n", "line 1: ERASESIZE must be a multiple of WRITESIZE"},
        {"k 0x6000 0x4000 512\n", "line 1: SIZE must be a multiple of ERASESIZE"},
        {"k 0 0x4000 512\n", "line 1: SIZE must be a multiple of ERASESIZE"},
        {"k 512M 0x4000 512\n", "line 1: SIZE must be at most 256M"},
        {"k 0x4000 0x4000 512 oob=5000\n", "line 1: oob must be given once"},
        {"k 0x4000 0x4000 512 oob=1 oob=2\n", "line 1: oob must be given once"},
        {"k 0x4000 0x4000 512 colour=red\n", "line 1: unknown key \"colour\""},
        {"k 0x4000 0x4000 512 image\n", "line 1: expected KEY=VALUE"},
        {"k 0x4000 0x4000 512 image=\n", "line 1: expected KEY=VALUE"},
        {"k 0x4000 0x4000 512 image=a image=b\n", "line 1: image given twice"},
        {"k 0x4000 0x4000 512 image=a mount=/k\n", "line 1: image= and mount= exclude each other"},
        {"k 0x4000 0x4000 512 folder=tree\n", "line 1: folder= needs mount="},
        {"k 0x4000 0x4000 512 mount=k\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/a/../b\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/a//b\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/a/\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/proc/x\n", "line 1: mount= must be an absolute folder"},
        {"k 0x4000 0x4000 512 mount=/sim\n", "line 1: mount= must be an absolute folder"},
        {"a 0x4000 0x4000 512\na 0x4000 0x4000 512\n", "line 2: partition \"a\" given twice"},
        {"a 0x4000 0x4000 512 mount=/d\n\nb 0x4000 0x4000 512 mount=/d/e\n",
         "line 3: mount /d/e overlaps the mount /d"},
        {"a 0x4000 0x4000 512 mount=/d/e\nb 0x4000 0x4000 512 mount=/d\n", "line 2: mount /d overlaps"},
        {"a 256M 4M 2048\nb 256M 4M 2048\nc 256M 4M 2048\nd 256M 4M 2048\ne 4M 4M 2048\n",
         "line 5: all partitions together exceed 1G"},
        {std::string("a 0x4000 0x4000 512\x01\n"), "line 1: not plain text"},
        {"a 0x4000 0x4000 512 image=" + std::string(5000, 'x'), "line 1: line longer than 4096"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error = problem_with(text);
        EXPECT_EQ(error.rfind(expected, 0), 0u) << "layout: " << text << "\nerror: " << error;
    }
}

TEST(DevsimLayout, AtMostThirtyTwoPartitions)
{
    std::string text;
    for (int i = 0; i < 32; ++i) text += "p" + std::to_string(i) + " 0x4000 0x4000 512\n";
    EXPECT_EQ(problem_with(text), "");
    EXPECT_EQ(problem_with(text + "p32 0x4000 0x4000 512\n"), "line 33: more than 32 partitions");
}

TEST(DevsimLayout, NonBreakingMountsAndNamesAreKept)
{
    EXPECT_EQ(problem_with("a 0x4000 0x4000 512 mount=/data\nb 0x4000 0x4000 512 mount=/database\n"), "");
    EXPECT_EQ(problem_with("a 0x4000 0x4000 512 mount=/cache/kvr\nb 0x4000 0x4000 512 mount=/process\n"), "");
    EXPECT_EQ(problem_with("a.b-c_D9 0x4000 0x4000 512\n"), "");
}

// Whatever the bytes, the reader ends: a layout it accepts is written back
// to the same layout, and a refusal names a line or says there is none.
void expect_sound_ending(const std::string& bytes)
{
    layout parsed;
    std::string error;
    if (devsim::parse_layout(bytes, parsed, error)) {
        layout again;
        ASSERT_TRUE(devsim::parse_layout(devsim::format_layout(parsed), again, error)) << error;
        EXPECT_EQ(again, parsed);
    } else {
        EXPECT_TRUE(error.rfind("line ", 0) == 0 || error == "no partitions") << error;
    }
}

TEST(DevsimLayout, BadInputEndsSoundly)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DEVSIM_LAYOUT_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        expect_sound_ending(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        ++files;
    }
    EXPECT_GE(files, 4);
    std::mt19937 random(99);
    const std::string alphabet = "0123456789xXkKmM abcz_./=#\n\t\r\"\x01\xff-";
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& b : bytes) b = round % 2 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        expect_sound_ending(bytes);
        expect_sound_ending("k 0x4000 0x4000 512 " + bytes);
    }
}

} // namespace
