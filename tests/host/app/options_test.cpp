#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/options.h"

namespace {

TEST(Options, DefaultsAndOverrides)
{
    const app::ParsedOptions none = app::ParseOptions({}, app::FrontEnd::kConsole);
    ASSERT_TRUE(none.options);
    EXPECT_EQ(none.options->endpoints.router.host, "192.168.1.1");
    EXPECT_FALSE(none.options->yes);

    const app::ParsedOptions all = app::ParseOptions({"--router", "127.0.0.1:8080", "--announce", "127.0.0.1", "--listen-port", "14536",
                                                      "--host-filter", "127.0", "--arp-command", "true", "--yes"},
                                                     app::FrontEnd::kConsole);
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
        const app::ParsedOptions parsed = app::ParseOptions(args, app::FrontEnd::kConsole);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_FALSE(parsed.error.empty()) << args[0];
    }
}

TEST(Options, TitleNamesTheProductAndItsVersion)
{
    EXPECT_EQ(app::ProductTitle().rfind(u"flashdesk ", 0), 0u);
    EXPECT_GT(app::ProductTitle().size(), 10u);
    EXPECT_NE(app::UsageText("flashdesk", app::FrontEnd::kWindow).find("--listen-port"), std::string::npos);
}

TEST(Options, TheConsoleTakesLanguages0_2_3AndDefaultsToPortuguese)
{
    EXPECT_EQ(app::ParseOptions({}, app::FrontEnd::kConsole).options->language, app::kLanguagePortuguese);
    const std::vector<std::pair<std::string, int>> good{
        {"0", app::kLanguageEnglish}, {"2", app::kLanguageGerman}, {"3", app::kLanguagePortuguese}};
    for (const auto& [text, language] : good) {
        const app::ParsedOptions parsed = app::ParseOptions({"--language", text, "--yes"}, app::FrontEnd::kConsole);
        ASSERT_TRUE(parsed.options) << text << ": " << parsed.error;
        EXPECT_EQ(parsed.options->language, language) << text;
        EXPECT_TRUE(parsed.options->yes) << text;
    }
    EXPECT_NE(app::UsageText("flashdesk", app::FrontEnd::kConsole).find("--language"), std::string::npos);
}

TEST(Options, OtherLanguagesAreUsageErrorsThatNameTheChoices)
{
    // 1 selects no text set at all; the others are no language.
    for (const std::string text : {"1", "4", "-1", "03", "0x0", " 0", "en", ""}) {
        const app::ParsedOptions parsed = app::ParseOptions({"--language", text}, app::FrontEnd::kConsole);
        EXPECT_FALSE(parsed.options) << "'" << text << "'";
        EXPECT_NE(parsed.error.find("0 English, 2 German, 3 Portuguese"), std::string::npos) << parsed.error;
    }
    const app::ParsedOptions missing = app::ParseOptions({"--language"}, app::FrontEnd::kConsole);
    EXPECT_FALSE(missing.options);
    EXPECT_NE(missing.error.find("--language"), std::string::npos) << missing.error;
}

TEST(Options, TheWindowKnowsNoLanguageOption)
{
    const app::ParsedOptions parsed = app::ParseOptions({"--language", "3"}, app::FrontEnd::kWindow);
    EXPECT_FALSE(parsed.options);
    EXPECT_NE(parsed.error.find("unknown option: --language"), std::string::npos) << parsed.error;
    EXPECT_EQ(app::UsageText("flashdesk", app::FrontEnd::kWindow).find("--language"), std::string::npos);
}

}  // namespace
