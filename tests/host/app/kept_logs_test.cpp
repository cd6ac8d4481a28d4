#include "app/kept_logs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/files.h"
#include "../support/test_env.h"

namespace {

class KeptLogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = testing_support::UsePrivateTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()) + u"state" +
               platform::kPathSeparator + u"logs";
    }
    std::vector<std::u16string> Runs()
    {
        std::vector<std::u16string> names = platform::SubfolderNames(root);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::u16string root;
};

TEST_F(KeptLogs, TheEleventhRunRemovesTheOldestAndLeavesOtherFoldersAlone)
{
    ASSERT_EQ(app::NewKeptRunFolder(root, u"20261209-101500"), root + platform::kPathSeparator + u"20261209-101500-000");
    ASSERT_TRUE(platform::CreateFolder(root + platform::kPathSeparator + u"notes"));
    // Ten more runs, two of them in the same second as the first.
    const std::u16string stamps[] = {u"20261209-101500", u"20261209-101500", u"20261209-101501", u"20261209-101502", u"20261209-101503",
                                     u"20261209-101504", u"20261209-101505", u"20261209-101506", u"20261209-101507", u"20261210-000000"};
    std::u16string last;
    for (const std::u16string& stamp : stamps) last = app::NewKeptRunFolder(root, stamp);
    EXPECT_EQ(last, root + platform::kPathSeparator + u"20261210-000000-000");
    const std::vector<std::u16string> runs = Runs();
    ASSERT_EQ(runs.size(), app::kKeptRuns + 1);
    EXPECT_EQ(runs.front(), u"20261209-101500-001");
    EXPECT_EQ(runs[1], u"20261209-101500-002");
    EXPECT_EQ(runs[app::kKeptRuns - 1], u"20261210-000000-000");
    EXPECT_EQ(runs.back(), u"notes");
}

TEST_F(KeptLogs, FilesAndDiagnosticsAreCopiedAndMissingFilesSkipped)
{
    const std::u16string folder = app::NewKeptRunFolder(root, app::KeptRunStamp({2026, 12, 9, 7, 5, 3}));
    ASSERT_EQ(folder, root + platform::kPathSeparator + u"20261209-070503-000");
    const std::u16string source = root + platform::kPathSeparator + u"source.txt";
    const std::string content = "run log\n";
    ASSERT_TRUE(platform::WriteWholeFile(source, content.data(), content.size()));
    EXPECT_TRUE(app::FillKeptRunFolder(folder, {{u"202612090705.txt", source}, {u"missing.txt", source + u".absent"}}, "KR710 line\n"));
    const auto copy = platform::ReadWholeFile(folder + platform::kPathSeparator + u"202612090705.txt");
    ASSERT_TRUE(copy);
    EXPECT_EQ(std::string(copy->begin(), copy->end()), content);
    EXPECT_FALSE(platform::FileExists(folder + platform::kPathSeparator + u"missing.txt"));
    const auto diagnostics = platform::ReadWholeFile(folder + platform::kPathSeparator + u"diagnostics.txt");
    ASSERT_TRUE(diagnostics);
    EXPECT_EQ(std::string(diagnostics->begin(), diagnostics->end()), "KR710 line\n");
}

TEST_F(KeptLogs, NoRootKeepsNothing) { EXPECT_TRUE(app::NewKeptRunFolder(u"", u"20261209-070503").empty()); }

}  // namespace
