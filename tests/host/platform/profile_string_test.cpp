#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile_string.h"
#include "../support/test_env.h"

namespace {

std::vector<uint8_t> Utf16File(const std::u16string& text)
{
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

const std::u16string kTricky =
    u"; a comment\r\n"
    u"[Other]\r\n"
    u"KEY_A = \"other section\"\r\n"
    u"[Download_String_Table]\r\n"
    u"# Hint string\r\n"
    u"KEY_A = \"first\"\r\n"
    u"KEY_A = \"second\"\r\n"
    u"Key_Mixed=plain value  \r\n"
    u"KEY_QUOTES = Pronto. Agora clique no bot\u00e3o \"ATUALIZAR\" para iniciar.\r\n"
    u"KEY_OUTER = \"Pronto \"ATUALIZAR\" ok\"\r\n"
    u"KEY_SINGLE = 'single'\r\n"
    u"KEY_UNMATCHED = \"open only\r\n"
    u"KEY_EMPTY =\r\n"
    u"KEY_TAB\t=\tvalue with tab\t\r\n"
    u";KEY_COMMENTED = no\r\n"
    u"KEY_NOEQUALS\r\n";

struct Case {
    std::u16string key;
    std::u16string expected;
};

const std::vector<Case> kCases{
    {u"KEY_A", u"first"},
    {u"key_mixed", u"plain value"},
    {u"KEY_QUOTES", u"Pronto. Agora clique no bot\u00e3o \"ATUALIZAR\" para iniciar."},
    {u"KEY_OUTER", u"Pronto \"ATUALIZAR\" ok"},
    {u"KEY_SINGLE", u"single"},
    {u"KEY_UNMATCHED", u"\"open only"},
    {u"KEY_EMPTY", u""},
    {u"KEY_TAB", u"value with tab"},
    {u"KEY_COMMENTED", u"<default>"},
    {u"KEY_MISSING", u"<default>"},
};

TEST(ProfileString, OwnReaderRules)
{
    const std::vector<uint8_t> file = Utf16File(kTricky);
    for (const Case& c : kCases) {
        const std::optional<std::u16string> value = platform::ParseProfileString(file, u"Download_String_Table", c.key);
        EXPECT_EQ(value.value_or(u"<default>"), c.expected) << std::string(c.key.begin(), c.key.end());
    }
    EXPECT_EQ(platform::ParseProfileString(file, u"other", u"KEY_A"), u"other section");
    EXPECT_FALSE(platform::ParseProfileString(file, u"Missing", u"KEY_A").has_value());
    const std::string utf8 = "[S]\nK=\xc3\xa7\n";
    EXPECT_EQ(platform::ParseProfileString(std::vector<uint8_t>(utf8.begin(), utf8.end()), u"S", u"K").has_value(), true);
}

// The system's reader (GetPrivateProfileStringW on Windows) and the own
// reader give the same answers.
TEST(ProfileString, SystemReaderAgreesWithTheOwnReader)
{
    const std::u16string folder = testing_support::UsePrivateTempFolder("profile");
    const std::u16string path = folder + u"tricky.ini";
    const std::vector<uint8_t> file = Utf16File(kTricky);
    ASSERT_TRUE(platform::WriteWholeFile(path, file.data(), file.size()));
    for (const Case& c : kCases) {
        EXPECT_EQ(platform::ReadProfileString(path, u"Download_String_Table", c.key, u"<default>", 1024), c.expected)
            << std::string(c.key.begin(), c.key.end());
    }
    EXPECT_EQ(platform::ReadProfileString(path, u"Download_String_Table", u"KEY_QUOTES", u"", 7), u"Pronto");
    EXPECT_EQ(platform::ReadProfileString(folder + u"absent.ini", u"Download_String_Table", u"KEY_A", u"", 1024), u"");
}

}  // namespace
