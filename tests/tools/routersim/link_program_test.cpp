// Runs the routersim program with its link side the way scripts do: start
// it, read its ready lines, announce a host, exchange blocks, stop it with
// SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "firmware_images.h"
#include "link_host_standin.h"
#include "routersim_process.h"

using namespace routersim_test;

namespace {


}  // namespace

TEST(LinkProgram, ConnectsOnAnnouncementServesAndStopsOnSigterm)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("routersim-link-program-" + std::to_string(getpid())) / "files";
    std::filesystem::remove_all(folder.parent_path());
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--web", "127.0.0.1:0", "--announce-listen", "127.0.0.1:0", "--factory", "--version", "EN_TEST_V1",
                               "--files", folder.string(), "--link-fault", "refuse:0x97"}));
    const auto web = program.ReadLine();
    ASSERT_TRUE(web);
    EXPECT_EQ(web->rfind("routersim web interface on 127.0.0.1:", 0), 0u) << *web;
    const auto listening = program.ReadLine();
    ASSERT_TRUE(listening);
    ASSERT_EQ(listening->rfind("routersim link listening for announcements on 127.0.0.1:", 0), 0u) << *listening;

    HostStandIn host;
    ASSERT_TRUE(host.Announce(PortAtEnd(*listening)));
    ASSERT_TRUE(host.Accept());
    EXPECT_EQ(program.ReadLine(), "routersim link connected to 127.0.0.1:" + std::to_string(host.Port()));

    const auto query = host.Ask(RequestBlock(0x61, 2));
    ASSERT_TRUE(query);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(query->data() + 9)), "EN_TEST_V1");
    const auto refused = host.Ask(RequestBlock(0x97, 3));
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)[0], 0xFF);

    const std::vector<uint8_t> image = LegacyImage(Pattern(2000, 0x3C), 3000);
    ASSERT_TRUE(host.Send(StartBlock(0x01, 4, static_cast<uint32_t>(image.size()))));
    ASSERT_TRUE(host.Send(image));
    const auto result = host.Receive();
    ASSERT_TRUE(result);
    EXPECT_EQ((*result)[0], 0x01);
    EXPECT_EQ(std::filesystem::file_size(folder / "1-linux-image.bin"), image.size());

    EXPECT_EQ(program.Terminate(), 0);
    EXPECT_TRUE(host.WaitClosed());
    std::filesystem::remove_all(folder.parent_path());
}

// The program checks the Linux image unless told not to.
TEST(LinkProgram, ACorruptLinuxImageIsConfirmedOnlyWithoutImageChecks)
{
    std::vector<uint8_t> image = LegacyImage(Pattern(2000, 0x11), 2500);
    image[kHeaderBytes + 5] ^= 0x01;
    for (const bool checks : {true, false}) {
        RoutersimProcess program;
        std::vector<std::string> args{"--web", "127.0.0.1:0", "--announce-listen", "127.0.0.1:0", "--factory"};
        if (!checks) args.push_back("--no-image-checks");
        ASSERT_TRUE(program.Start(args));
        ASSERT_TRUE(program.ReadLine());
        const auto listening = program.ReadLine();
        ASSERT_TRUE(listening);
        HostStandIn host;
        ASSERT_TRUE(host.Announce(PortAtEnd(*listening)));
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(StartBlock(0x01, 2, static_cast<uint32_t>(image.size()))));
        ASSERT_TRUE(host.Send(image));
        const auto result = host.Receive();
        ASSERT_TRUE(result);
        EXPECT_EQ((*result)[0], checks ? 0xFF : 0x01);
        EXPECT_EQ(program.Terminate(), 0);
    }
}

TEST(LinkProgram, NonLoopbackAnnounceAddressIsAUsageError)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--announce-listen", "0.0.0.0:3536"}));
    EXPECT_EQ(program.Wait(kPatience), 2);
}

TEST(LinkProgram, BadLinkFaultIsAUsageError)
{
    RoutersimProcess program;
    ASSERT_TRUE(program.Start({"--link-fault", "refuse:300"}));
    EXPECT_EQ(program.Wait(kPatience), 2);
}
