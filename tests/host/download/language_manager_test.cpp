#include <gtest/gtest.h>

#include "download/device_name.h"
#include "download/language_manager.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

const std::u16string kCarriedTable = platform::Utf8ToUtf16(CARRIED_LANGUAGE_TABLE);

TEST(LanguageManager, CarriedTableGivesTheTextsTheProgramShows)
{
    download::CLanguageManager table;
    EXPECT_EQ(table.GetString(u"ID_HINT_NODEVICE"), u"");  // no file yet
    ASSERT_TRUE(table.SetFile(kCarriedTable));
    EXPECT_EQ(table.GetString(u"ID_HINT_SEARCHPORT"), u"Procurando dispositivo...");
    EXPECT_EQ(table.GetString(u"ID_HINT_ALREADY"), u"Pronto. Agora clique no bot\u00e3o \"ATUALIZAR\" para iniciar a atualiza\u00e7\u00e3o.");
    EXPECT_EQ(table.GetString(u"ID_HINT_DOWNLOADSUCCESS"), u"Atualizacao realizada com sucesso!");
    EXPECT_EQ(table.GetString(u"ID_HINT_DOWNLOADFAIL"), u"Atualizacao falhou");
    EXPECT_EQ(table.GetString(u"ID_HINT_NODEVICE"), u"No Device");
    EXPECT_EQ(table.GetString(u"ID_HINT_CONNECTED"), u"Connected");
    EXPECT_EQ(table.GetString(u"ID_ERROR_FILEEXIT"), u"File not exist, please select again!");
    EXPECT_EQ(table.GetString(u"ID_HINT_SENDFILEFAIL"), u"");
    EXPECT_EQ(table.GetString(u"ID_HINT_WRITEFLASHFAIL"), u"");
}

TEST(LanguageManager, SecondSetFileKeepsTheFirst)
{
    download::CLanguageManager table;
    ASSERT_TRUE(table.SetFile(kCarriedTable));
    ASSERT_TRUE(table.SetFile(u"elsewhere.ini"));
    EXPECT_EQ(table.GetString(u"ID_HINT_CONNECTED"), u"Connected");
}

TEST(LanguageManager, CarriedTableLayout)
{
    const auto bytes = platform::ReadWholeFile(kCarriedTable);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GE(bytes->size(), 2u);
    EXPECT_EQ((*bytes)[0], 0xFF);
    EXPECT_EQ((*bytes)[1], 0xFE);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes->size(); i += 2) text += static_cast<char16_t>((*bytes)[i] | ((*bytes)[i + 1] << 8));
    EXPECT_EQ(text.rfind(u"[Download_String_Table]\r\n# Hint string\r\nID_HINT_UIALREADY", 0), 0u);
    EXPECT_NE(text.find(u"\r\n# Error string\r\nID_ERROR_FILEEXIT"), std::u16string::npos);
    size_t entries = 0;
    for (size_t at = text.find(u" = \""); at != std::u16string::npos; at = text.find(u" = \"", at + 1)) ++entries;
    EXPECT_EQ(entries, 81u);
    EXPECT_EQ(text.find(u'\n', 0), text.find(u"\r\n") + 1);
}

TEST(DeviceName, TableRules)
{
    EXPECT_EQ(download::DeviceNameForVersion(u"xEN_PELA_BR_KR710MV1.0.0B16y"), u"BD_KR710M_MODULEV1.0.0B02");
    EXPECT_EQ(download::DeviceNameForVersion(u"EN_PELA_BR_KR710MV1.0.0B15"), u"BD_KR710M_MODULEV1.0.0B01");
    EXPECT_EQ(download::DeviceNameForVersion(std::u16string(28, u' ')), std::u16string(28, u' '));
    EXPECT_EQ(download::DeviceNameForVersion(u"OTHER"), u"KVR 4G Wireless Router");
}

}  // namespace
