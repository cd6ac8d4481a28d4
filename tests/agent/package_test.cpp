// The update package: lookups, extraction and every failure message.
#include "agent_test_support.h"

#include "log.h"
#include "package.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <string>

using namespace agent_test;

namespace {

const char kPackage[] = "/cache/update.pkg";

class Package : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.write(KVR_LOG_FLAG_PATH, "");
        attach(root);
    }
    void TearDown() override { detach(); }

    std::string agent_log()
    {
        std::fflush(g_kvr_log->fp);
        return root.read(KVR_LOG_PATH);
    }
    std::string fatal_log() { return root.read(KVR_FATAL_LOG_PATH); }
    bool logged(const std::string& message) { return agent_log().find(">>> " + message) != std::string::npos; }

    sim_root root;
};

TEST_F(Package, LooksMembersUpByExactName)
{
    root.write(kPackage, make_package({{"kernel.mld", "KERNEL"}, {"system.mld", "SYS"}, {"kernel.mld", "SECOND"}}));
    EXPECT_EQ(verify_package(kPackage), 0);
    package_entry entry;
    EXPECT_EQ(get_infile_info(kPackage, "system.mld", &entry), 2);
    EXPECT_STREQ(entry.name, "system.mld");
    EXPECT_EQ(entry.length, 3u);
    EXPECT_EQ(entry.offset, 16u + 3 * 40 + 6);
    EXPECT_EQ(get_infile_info(kPackage, "kernel.mld", &entry), 1);
    EXPECT_EQ(entry.length, 6u);
    EXPECT_EQ(get_infile_info(kPackage, "kernel", &entry), 0);
    EXPECT_EQ(get_infile_info(kPackage, "KERNEL.mld", &entry), 0);
    EXPECT_EQ(package_split_file(kPackage, "kernel.mld", "/cache/out"), 0);
    EXPECT_EQ(root.read("/cache/out"), "KERNEL");
    EXPECT_EQ(package_split_file(kPackage, "kernel", "/cache/out2"), -1);
    EXPECT_TRUE(logged("not found the file\n"));
    EXPECT_FALSE(root.exists("/cache/out2"));
}

TEST_F(Package, EmptyTableAndEmptyMember)
{
    root.write(kPackage, make_package({}));
    EXPECT_EQ(verify_package(kPackage), 0);
    EXPECT_EQ(get_infile_info(kPackage, "kernel.mld", nullptr), 0);
    root.write(kPackage, make_package({{"empty.mld", ""}}));
    root.write("/cache/out", "old content");
    EXPECT_EQ(package_split_file(kPackage, "empty.mld", "/cache/out"), 0);
    EXPECT_TRUE(root.exists("/cache/out"));
    EXPECT_EQ(root.read("/cache/out"), "");
}

TEST_F(Package, MemberLongerThanCopyPieceIsCopiedWhole)
{
    std::string big;
    for (int i = 0; i < 1234; ++i) big += static_cast<char>(i * 7);
    root.write(kPackage, make_package({{"a", "x"}, {"big.mld", big}}));
    EXPECT_EQ(package_split_file(kPackage, "big.mld", "/cache/big"), 0);
    EXPECT_EQ(root.read("/cache/big"), big);
}

TEST_F(Package, MissingPackage)
{
    EXPECT_EQ(verify_package("/cache/absent"), -1);
    EXPECT_TRUE(logged("open file error:No such file or directory\n"));
    EXPECT_EQ(get_infile_info("/cache/absent", "a", nullptr), -1);
    EXPECT_NE(fatal_log().find(">>> Error: open file failed reason:No such file or directory\n"), std::string::npos);
    EXPECT_EQ(package_split_file("/cache/absent", "a", "/cache/out"), -1);
    EXPECT_EQ(package_split_all("/cache/absent", "/cache"), -1);
    EXPECT_TRUE(logged("open package error:No such file or directory\n"));
    EXPECT_EQ(count_of(agent_log(), ">>> open file error:No such file or directory\n"), 3);
    EXPECT_EQ(count_of(agent_log(), ">>> error\n"), 4);
}

TEST_F(Package, FifteenByteFileFailsAtTheHeader)
{
    root.write(kPackage, make_package({}).substr(0, 15));
    EXPECT_EQ(verify_package(kPackage), -1);
    EXPECT_TRUE(logged("read file block:end of file\n"));
    EXPECT_EQ(get_infile_info(kPackage, "a", nullptr), -1);
    EXPECT_NE(fatal_log().find(">>> Error: read package head failed reason:end of file\n"), std::string::npos);
    EXPECT_EQ(package_split_file(kPackage, "a", "/cache/out"), -1);
    EXPECT_TRUE(logged("read file error:end of file\n"));
    EXPECT_EQ(package_split_all(kPackage, "/cache"), -1);
    EXPECT_TRUE(logged("read package file error:end of file\n"));
    EXPECT_EQ(count_of(agent_log(), "read file block:"), 2);
}

TEST_F(Package, WrongMagic)
{
    std::string bytes = make_package({{"a", "1"}});
    bytes[0] = 0x11;
    root.write(kPackage, bytes);
    EXPECT_EQ(verify_package(kPackage), -1);
    EXPECT_EQ(get_infile_info(kPackage, "a", nullptr), -1);
    EXPECT_EQ(count_of(agent_log(), ">>> magic error\n"), 2);
    EXPECT_NE(fatal_log().find(">>> Error: magic verify failed.\n"), std::string::npos);
    EXPECT_EQ(package_split_file(kPackage, "a", "/cache/out"), -1);
    EXPECT_EQ(package_split_all(kPackage, "/cache"), -1);
    EXPECT_EQ(count_of(agent_log(), ">>> magic error:"), 2);
}

TEST_F(Package, TableCutShort)
{
    std::string bytes = make_package({{"a", "1"}, {"b", "2"}}).substr(0, 16 + 40 + 20);
    root.write(kPackage, bytes);
    EXPECT_EQ(get_infile_info(kPackage, "a", nullptr), 1);
    EXPECT_EQ(get_infile_info(kPackage, "b", nullptr), -1);
    EXPECT_TRUE(logged("read file:end of file\n"));
    EXPECT_NE(fatal_log().find(">>> Error: read file failed reason:end of file\n"), std::string::npos);
    EXPECT_EQ(package_split_file(kPackage, "b", "/cache/out"), -1);
    EXPECT_TRUE(logged("read package file error:end of file\n"));
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), -1);
    EXPECT_EQ(count_of(agent_log(), ">>> read package file error:end of file\n"), 2);
}

TEST_F(Package, MemberRunningPastTheEndEndsWithReadError)
{
    std::string bytes = make_package({{"a", "0123456789"}});
    put_u32(bytes, 16 + 32, 100000);
    root.write(kPackage, bytes);
    EXPECT_EQ(package_split_file(kPackage, "a", "/cache/out"), -1);
    EXPECT_TRUE(logged("read a file error:end of file\n"));
    EXPECT_EQ(root.read("/cache/out"), std::string(""));
    root.write("/cache/split/.keep", "");
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), -1);
    EXPECT_EQ(count_of(agent_log(), ">>> read a file error:end of file\n"), 2);
}

TEST_F(Package, OffsetBeyondTheFileEndsWithReadError)
{
    std::string bytes = make_package({{"a", "0123456789"}});
    put_u32(bytes, 16 + 36, 0xFFFFFF00u);
    root.write(kPackage, bytes);
    EXPECT_EQ(package_split_file(kPackage, "a", "/cache/out"), -1);
    EXPECT_TRUE(logged("read a file error:end of file\n"));
}

TEST_F(Package, OutputThatCannotBeCreated)
{
    root.write(kPackage, make_package({{"a", "1"}}));
    EXPECT_EQ(package_split_file(kPackage, "a", "/cache/no/such/folder/out"), -1);
    EXPECT_TRUE(logged("open split file error:No such file or directory\n"));
    EXPECT_EQ(package_split_all(kPackage, "/cache/no/such/folder"), -1);
    EXPECT_TRUE(logged("open split info file:No such file or directory\n"));
}

TEST_F(Package, SplitAllWritesMembersAndIndex)
{
    root.write(kPackage, make_package({{"one.mld", "first"}, {"two.mld", ""}, {"three.mld", "3rd"}}));
    root.write("/cache/split/.keep", "");
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), 0);
    EXPECT_EQ(root.read("/cache/split/one.mld"), "first");
    EXPECT_TRUE(root.exists("/cache/split/two.mld"));
    EXPECT_EQ(root.read("/cache/split/three.mld"), "3rd");
    EXPECT_EQ(root.read("/cache/split/split_file_info"), "one.mld 5two.mld 0three.mld 3");
}

TEST_F(Package, SplitAllRefusesCountsOutsideItsTable)
{
    root.write("/cache/split/.keep", "");
    members many;
    for (int i = 0; i < 33; ++i) many.push_back({"m" + std::to_string(i), "x"});
    root.write(kPackage, make_package(many));
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), -1);
    EXPECT_FALSE(root.exists("/cache/split/m0"));
    EXPECT_EQ(get_infile_info(kPackage, "m32", nullptr), 33);
    root.write(kPackage, make_package_with_count({{"a", "1"}}, -1));
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), -1);
    EXPECT_EQ(get_infile_info(kPackage, "a", nullptr), 0);
    EXPECT_EQ(count_of(agent_log(), ">>> read package file error:Invalid argument\n"), 2);
    many.resize(32);
    root.write(kPackage, make_package(many));
    EXPECT_EQ(package_split_all(kPackage, "/cache/split"), 0);
    EXPECT_EQ(root.read("/cache/split/m31"), "x");
}

TEST_F(Package, SplitAllKeepsMembersInsideTheFolder)
{
    root.write("/cache/split/.keep", "");
    for (const char* name : {"../escape", "..", "a/b", ""}) {
        root.write(kPackage, make_package({{name, "bad"}}));
        EXPECT_EQ(package_split_all(kPackage, "/cache/split"), -1) << name;
    }
    EXPECT_FALSE(root.exists("/cache/escape"));
    EXPECT_EQ(count_of(agent_log(), "file error:Invalid argument\n"), 4);
}

TEST_F(Package, UnterminatedNameMatchesNothing)
{
    std::string name(32, 'n');
    root.write(kPackage, make_package({{name, "x"}}));
    EXPECT_EQ(get_infile_info(kPackage, name.c_str(), nullptr), 0);
    EXPECT_EQ(get_infile_info(kPackage, name.substr(0, 31).c_str(), nullptr), 0);
}

TEST_F(Package, SplitAllPathMustFitItsBuffer)
{
    std::string folder = "/cache/" + std::string(101, 'd');
    root.write(folder + "/.keep", "");
    root.write(kPackage, make_package({{"a-long-member-name.mld", "x"}}));
    EXPECT_EQ(package_split_all(kPackage, folder.c_str()), -1);
    EXPECT_TRUE(logged("open a-long-member-name.mld file error:File name too long\n"));
    EXPECT_EQ(root.read(folder + "/split_file_info"), "");
}

} // namespace
