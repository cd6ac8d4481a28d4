#include <gtest/gtest.h>

#include "app/options.h"

namespace {

TEST(Options, DefaultsAndOverrides)
{
    const app::ParsedOptions none = app::ParseOptions({});
    ASSERT_TRUE(none.options);
    EXPECT_EQ(none.options->endpoints.router.host, "192.168.1.1");
    EXPECT_FALSE(none.options->yes);

    const app::ParsedOptions all = app::ParseOptions({"--router", "127.0.0.1:8080", "--announce", "127.0.0.1", "--listen-port", "14536",
                                                      "--host-filter", "127.0", "--arp-command", "true", "--yes"});
    ASSERT_TRUE(all.options) << all.error;
    const app::Options& options = *all.options;
    EXPECT_EQ(options.endpoints.router.host, "127.0.0.1");
    EXPECT_EQ(options.endpoints.router.port, 8080);
    EXPECT_EQ(options.endpoints.announce.host, "127.0.0.1");
    EXPECT_EQ(options.endpoints.announce.port, 3536);
    EXPECT_EQ(options.endpoints.listenPort, 14536);
    EXPECT_EQ(options.endpoints.hostFilter, "127.0");
    EXPECT_EQ(options.endpoints.arpCommand, "true");
    EXPECT_TRUE(options.yes);
}

TEST(Options, UsageErrorsNameTheirReason)
{
    const std::vector<std::vector<std::string>> bad{
        {"--router"}, {"--router", "a b"}, {"--listen-port", "0"}, {"--listen-port"}, {"--announce", "x:99999"}, {"--frobnicate"}, {"--standin-router"}, {"--host-filter"}};
    for (const auto& args : bad) {
        const app::ParsedOptions parsed = app::ParseOptions(args);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_FALSE(parsed.error.empty()) << args[0];
    }
}

TEST(Options, TitleNamesTheProductAndItsVersion)
{
    EXPECT_EQ(app::ProductTitle().rfind(u"flashdesk ", 0), 0u);
    EXPECT_GT(app::ProductTitle().size(), 10u);
    EXPECT_NE(app::UsageText("flashdesk").find("--listen-port"), std::string::npos);
}

}  // namespace
