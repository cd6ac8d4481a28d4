#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "routersim/loopback_address.h"
#include "routersim/options.h"

using namespace routersim;

namespace {

std::optional<RouterSimOptions> Parse(std::initializer_list<std::string_view> args, std::string* error = nullptr)
{
    const std::vector<std::string_view> list(args);
    std::string reason;
    auto options = ParseOptions(list, reason);
    if (error != nullptr) *error = reason;
    return options;
}

}  // namespace

TEST(Options, Defaults)
{
    const auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->webAddress, "127.0.0.1");
    EXPECT_EQ(options->webPort, 18080);
    EXPECT_EQ(options->firmwareVersion, "EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_FALSE(options->factoryMode);
    EXPECT_EQ(options->webFault, WebFault::kNone);
    EXPECT_EQ(options->refuseSwitches, 0);
    EXPECT_FALSE(options->verbose);
    EXPECT_FALSE(options->help);
    EXPECT_TRUE(options->imageChecks);
}

TEST(Options, NoImageChecks)
{
    const auto options = Parse({"--no-image-checks"});
    ASSERT_TRUE(options);
    EXPECT_FALSE(options->imageChecks);
    std::string error;
    EXPECT_FALSE(Parse({"--no-image-checks=yes"}, &error));
    EXPECT_EQ(error, "--no-image-checks takes no value");
    EXPECT_NE(UsageText().find("--no-image-checks"), std::string_view::npos);
}

TEST(Options, Every)
{
    const auto options = Parse({"--web", "127.0.0.2:0", "--version", "EN_A:B", "--factory", "--web-fault", "close-early",
                                "--refuse-switches", "3", "--verbose", "--help"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->webAddress, "127.0.0.2");
    EXPECT_EQ(options->webPort, 0);
    EXPECT_EQ(options->firmwareVersion, "EN_A:B");
    EXPECT_TRUE(options->factoryMode);
    EXPECT_EQ(options->webFault, WebFault::kCloseEarly);
    EXPECT_EQ(options->refuseSwitches, 3);
    EXPECT_TRUE(options->verbose);
    EXPECT_TRUE(options->help);
}

TEST(Options, ValuesAfterAnEqualsSign)
{
    const auto options = Parse({"--web=127.0.0.1:9", "--web-fault=refuse", "--refuse-switches=1"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->webPort, 9);
    EXPECT_EQ(options->webFault, WebFault::kRefuse);
    EXPECT_EQ(options->refuseSwitches, 1);
}

TEST(Options, RefusesAddressesOtherThanLoopback)
{
    std::string error;
    EXPECT_FALSE(Parse({"--web", "192.168.1.1:80"}, &error));
    EXPECT_NE(error.find("not a loopback address"), std::string::npos) << error;
    EXPECT_FALSE(Parse({"--web", "0.0.0.0:80"}));
    EXPECT_FALSE(Parse({"--web", "localhost:80"}));
}

TEST(Options, UsageErrors)
{
    std::string error;
    EXPECT_FALSE(Parse({"--web"}, &error));
    EXPECT_EQ(error, "--web needs a value");
    EXPECT_FALSE(Parse({"--web", "127.0.0.1"}));
    EXPECT_FALSE(Parse({"--web", "127.0.0.1:65536"}));
    EXPECT_FALSE(Parse({"--web", "127.0.0.1:x"}));
    EXPECT_FALSE(Parse({"--web-fault", "sometimes"}));
    EXPECT_FALSE(Parse({"--refuse-switches", "-1"}));
    EXPECT_FALSE(Parse({"--refuse-switches", "two"}));
    EXPECT_FALSE(Parse({"--factory=yes"}));
    EXPECT_FALSE(Parse({"--bogus"}, &error));
    EXPECT_EQ(error, "unknown option --bogus");
}

TEST(LoopbackAddress, TellsLoopbackApart)
{
    EXPECT_TRUE(IsLoopbackAddress("127.0.0.1"));
    EXPECT_TRUE(IsLoopbackAddress("127.255.0.9"));
    EXPECT_FALSE(IsLoopbackAddress("128.0.0.1"));
    EXPECT_FALSE(IsLoopbackAddress("192.168.1.1"));
    EXPECT_FALSE(IsLoopbackAddress("0.0.0.0"));
    EXPECT_FALSE(IsLoopbackAddress("127.0.0"));
    EXPECT_FALSE(IsLoopbackAddress("localhost"));
}

TEST(LoopbackAddress, NamespaceModeNeedsANamespaceOfItsOwn)
{
    // Naming the namespace the process runs in must not open other addresses.
    char own[256] = {};
    ASSERT_GT(readlink("/proc/self/ns/net", own, sizeof(own) - 1), 0);
    setenv("ROUTERSIM_NETNS", own, 1);
    EXPECT_FALSE(IsPermittedAddress("192.168.1.1"));
    EXPECT_FALSE(IsPermittedAddress("0.0.0.0"));
    EXPECT_TRUE(IsPermittedAddress("127.0.0.1"));
    std::string error;
    EXPECT_FALSE(Parse({"--web", "192.168.1.1:80"}, &error));
    unsetenv("ROUTERSIM_NETNS");
    EXPECT_FALSE(IsPermittedAddress("192.168.1.1"));
    EXPECT_FALSE(IsPermittedAddress("localhost"));
}

TEST(LinkOptions, Defaults)
{
    const auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->announceAddress, "127.0.0.1");
    EXPECT_EQ(options->announcePort, 3536);
    EXPECT_EQ(options->filesFolder, "");
    EXPECT_EQ(options->esn, kDefaultEsn);
    EXPECT_TRUE(options->linkFaults.refused.none());
    EXPECT_FALSE(options->linkFaults.silentAll);
    EXPECT_EQ(options->linkFaults.delay.count(), 0);
    EXPECT_FALSE(options->linkFaults.randomSeed);
}

TEST(LinkOptions, Every)
{
    const auto options = Parse({"--announce-listen", "127.0.0.3:0", "--files", "/tmp/x", "--esn", "0x1234abcd", "--link-fault",
                                "refuse:0x97", "--link-fault=wrong-seq", "--link-fault", "drop-after:10", "--link-delay", "250"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->announceAddress, "127.0.0.3");
    EXPECT_EQ(options->announcePort, 0);
    EXPECT_EQ(options->filesFolder, "/tmp/x");
    EXPECT_EQ(options->esn, 0x1234ABCDu);
    EXPECT_TRUE(options->linkFaults.Refused(0x97));
    EXPECT_TRUE(options->linkFaults.wrongSeq);
    EXPECT_EQ(options->linkFaults.dropAfterBytes, 10u);
    EXPECT_EQ(options->linkFaults.delay.count(), 250);
    EXPECT_EQ(Parse({"--esn", "42"})->esn, 42u);
}

TEST(LinkOptions, RefusesAddressesOtherThanLoopback)
{
    std::string error;
    EXPECT_FALSE(Parse({"--announce-listen", "0.0.0.0:3536"}, &error));
    EXPECT_EQ(error, "--announce-listen: 0.0.0.0 is not a loopback address (127.x.x.x)");
    EXPECT_FALSE(Parse({"--announce-listen", "128.0.0.1:3536"}));
    EXPECT_FALSE(Parse({"--announce-listen", "localhost:3536"}));
}

TEST(LinkOptions, UsageErrors)
{
    std::string error;
    EXPECT_FALSE(Parse({"--announce-listen", "127.0.0.1"}, &error));
    EXPECT_EQ(error, "--announce-listen wants ADDR:PORT, not 127.0.0.1");
    EXPECT_FALSE(Parse({"--files"}));
    EXPECT_FALSE(Parse({"--esn", "0x100000000"}));
    EXPECT_FALSE(Parse({"--esn", "ESN"}));
    EXPECT_FALSE(Parse({"--link-fault", "sometimes"}, &error));
    EXPECT_EQ(error, "unknown link fault sometimes");
    EXPECT_FALSE(Parse({"--link-delay", "-5"}));
}

TEST(LinkOptions, HelpNamesEveryLinkOptionAndFault)
{
    const std::string_view usage = UsageText();
    for (const char* text : {"--announce-listen", "--files", "--esn", "--link-fault", "--link-delay", "refuse:TYPE", "silent:TYPE",
                             "drop:TYPE", "drop-after:N", "unknown-first", "wrong-seq", "diag-bad-fcs", "diag-no-flag", "random:SEED"}) {
        EXPECT_NE(usage.find(text), std::string_view::npos) << text;
    }
}
