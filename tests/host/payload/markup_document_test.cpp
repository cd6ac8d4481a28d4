#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "payload/markup_document.h"
#include "payload/markup_encoding.h"
#include "platform/files.h"
#include "platform/text.h"
#include "../support/test_env.h"

namespace {

using payload::MarkupDocument;

std::vector<uint8_t> Bytes(std::string_view text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool bigEndian)
{
    std::vector<uint8_t> out = bigEndian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE};
    for (char16_t unit : text) {
        const auto high = static_cast<uint8_t>(unit >> 8);
        const auto low = static_cast<uint8_t>(unit & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
    return out;
}

bool Logged(const MarkupDocument& document, std::u16string_view entry)
{
    return document.ResultLog().find(entry) != std::u16string::npos;
}

class MarkupFiles : public ::testing::Test {
protected:
    void SetUp() override { folder = testing_support::UsePrivateTempFolder("markup"); }

    std::u16string Write(const std::u16string& name, const std::vector<uint8_t>& bytes)
    {
        const std::u16string path = folder + name;
        EXPECT_TRUE(platform::WriteWholeFile(path, bytes.data(), bytes.size()));
        return path;
    }

    std::vector<uint8_t> Read(const std::u16string& path)
    {
        return platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
    }

    std::u16string folder;
};

const char kDownloadXml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<phone name=\"KR880\">\r\n"
    "  <DOWNLOADUI><AUTODL>0</AUTODL></DOWNLOADUI>\r\n"
    "  <DOWNLOADBL>\r\n"
    "    <ITEM_MODE>1</ITEM_MODE>//action mode\r\n"
    "    <ITEM_NVOPTION>2</ITEM_NVOPTION>// 0 no backup, 1 RF, 2 all\r\n"
    "    <ITEM_VERSIONFILE_PATH></ITEM_VERSIONFILE_PATH>\r\n"
    "    <ITEM_NVFILE_PATH></ITEM_NVFILE_PATH>\r\n"
    "    <ITEM_LockSoftWare>0</ITEM_LockSoftWare>//lock\r\n"
    "  </DOWNLOADBL>\r\n"
    "</phone>\r\n";

TEST_F(MarkupFiles, FileWithUtf8MarkIsSavedWithTheMark)
{
    const std::vector<uint8_t> original = {0xEF, 0xBB, 0xBF, '<', 'r', '>', '<', 'k', '>', 0xC3, 0xA9, '<', '/', 'k', '>', '<', '/', 'r', '>'};
    const std::u16string path = Write(u"bom.xml", original);
    MarkupDocument document;
    ASSERT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.Flags() & payload::kEncodingMarks, payload::kMarkUtf8);
    EXPECT_EQ(document.Encoding(), u"UTF-8");
    EXPECT_EQ(document.Text(), u"<r><k>\u00E9</k></r>");
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"\u00E9");
    const std::u16string saved = folder + u"bom_saved.xml";
    ASSERT_TRUE(document.SaveFile(saved));
    EXPECT_EQ(Read(saved), original);
    EXPECT_TRUE(Logged(document, u"read UTF-8 19"));
    EXPECT_TRUE(Logged(document, u"write UTF-8 19"));
}

TEST_F(MarkupFiles, DeclaredUtf8FileIsSavedWithoutMark)
{
    const std::u16string path = Write(u"download.xml", Bytes(kDownloadXml));
    MarkupDocument document;
    ASSERT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.Encoding(), u"utf-8");
    EXPECT_EQ(document.Flags() & payload::kEncodingMarks, 0u);
    EXPECT_EQ(document.Flags() & payload::kIllFormed, 0u);
    EXPECT_EQ(document.ResultLog().find(u"utf8_detection"), std::u16string::npos);
    ASSERT_TRUE(document.SaveFile(path));
    EXPECT_EQ(Read(path), Bytes(kDownloadXml));
}

TEST_F(MarkupFiles, ReplaceDataEscapesAndMovesLaterElements)
{
    const std::u16string path = Write(u"download.xml", Bytes(kDownloadXml));
    MarkupDocument document;
    ASSERT_TRUE(document.LoadFile(path));
    ASSERT_TRUE(document.FindChild(u"DOWNLOADBL"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.FindChild(u"ITEM_VERSIONFILE_PATH"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"C:\\Fw & <new>"));
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ChildData(), u"C:\\Fw & <new>");
    ASSERT_TRUE(document.FindChild(u"ITEM_NVFILE_PATH"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"D:\\a&b"));
    ASSERT_TRUE(document.LeaveElement());
    ASSERT_TRUE(document.FindChild(u"ITEM_LockSoftWare"));
    EXPECT_EQ(document.ChildData(), u"0");
    ASSERT_TRUE(document.SaveFile(path));

    const std::vector<uint8_t> saved = Read(path);
    const std::string text(saved.begin(), saved.end());
    EXPECT_NE(text.find("<ITEM_VERSIONFILE_PATH>C:\\Fw &amp; &lt;new&gt;</ITEM_VERSIONFILE_PATH>"), std::string::npos);
    EXPECT_NE(text.find("<ITEM_NVFILE_PATH>D:\\a&amp;b</ITEM_NVFILE_PATH>"), std::string::npos);

    MarkupDocument again;
    ASSERT_TRUE(again.LoadFile(path));
    ASSERT_TRUE(again.FindChild(u"DOWNLOADBL"));
    ASSERT_TRUE(again.EnterChild());
    ASSERT_TRUE(again.FindChild(u"ITEM_NVFILE_PATH"));
    EXPECT_EQ(again.ChildData(), u"D:\\a&b");
    ASSERT_TRUE(again.FindChild(u"ITEM_LockSoftWare"));
    EXPECT_EQ(again.ChildData(), u"0");
    EXPECT_EQ(again.Flags() & payload::kIllFormed, 0u);
}

TEST_F(MarkupFiles, Utf16LittleEndianFileRoundTrips)
{
    const std::vector<uint8_t> original = Utf16Bytes(u"<r><k>\u4E2D&amp;</k></r>", false);
    const std::u16string path = Write(u"le.xml", original);
    MarkupDocument document;
    ASSERT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.Flags() & payload::kEncodingMarks, payload::kMarkUtf16Le);
    EXPECT_EQ(document.Encoding(), u"UTF-16LE");
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"\u4E2D&");
    ASSERT_TRUE(document.SaveFile(path));
    EXPECT_EQ(Read(path), original);
}

TEST_F(MarkupFiles, Utf16BigEndianFileIsSwappedAndWrittenBack)
{
    const std::vector<uint8_t> original = Utf16Bytes(u"<r><k>\u4E2D</k></r>", true);
    const std::u16string path = Write(u"be.xml", original);
    MarkupDocument document;
    ASSERT_TRUE(document.LoadFile(path));
    EXPECT_EQ(document.Flags() & payload::kEncodingMarks, payload::kMarkUtf16Be);
    EXPECT_TRUE(Logged(document, u"endian_swap"));
    EXPECT_EQ(document.Text(), u"<r><k>\u4E2D</k></r>");
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"\u4E2D");
    ASSERT_TRUE(document.SaveFile(path));
    EXPECT_EQ(Read(path), original);
}

TEST_F(MarkupFiles, ZeroUnitsAreRemovedFromUtf16Files)
{
    std::vector<uint8_t> bytes = Utf16Bytes(u"<r><k>a", false);
    bytes.insert(bytes.end(), {0, 0});
    const std::vector<uint8_t> rest = Utf16Bytes(u"b</k></r>", false);
    bytes.insert(bytes.end(), rest.begin() + 2, rest.end());
    MarkupDocument document;
    document.LoadBytes(bytes);
    EXPECT_TRUE(Logged(document, u"nulls_removed 1"));
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"ab");
}

TEST_F(MarkupFiles, MissingFileFailsAndFindsNothing)
{
    MarkupDocument document;
    EXPECT_FALSE(document.LoadFile(folder + u"absent.xml"));
    EXPECT_TRUE(Logged(document, u"file_error"));
    EXPECT_FALSE(document.FindChild(u"DOWNLOADBL"));
    EXPECT_EQ(document.ChildData(), u"");
}

TEST(MarkupEncoding, TextWithoutMarkOrDeclarationStartingWithAngleIsUtf8)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r>\xC3\xA9</r>"));
    EXPECT_EQ(document.Encoding(), u"UTF-8");
    EXPECT_FALSE(Logged(document, u"utf8_detection"));
    EXPECT_EQ(document.Text(), u"<r>\u00E9</r>");
    EXPECT_EQ(document.SaveBytes(), Bytes("<r>\xC3\xA9</r>"));
}

TEST(MarkupEncoding, ValidUtf8BytesAreDetected)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(" <r>\xC3\xA9</r>"));
    EXPECT_TRUE(Logged(document, u"utf8_detection UTF-8"));
    EXPECT_EQ(document.Text(), u" <r>\u00E9</r>");
}

TEST(MarkupEncoding, InvalidUtf8FallsBackToAnsi)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(" <r>\xE9</r>"));
    EXPECT_TRUE(Logged(document, u"utf8_detection ANSI"));
    EXPECT_EQ(document.Encoding(), payload::kAnsiEncoding);
    EXPECT_EQ(document.Text(), u" <r>\u00E9</r>");
    EXPECT_EQ(document.SaveBytes(), Bytes(" <r>\xE9</r>"));
}

TEST(MarkupEncoding, ZeroBytesAreRemoved)
{
    MarkupDocument document;
    document.LoadBytes(std::vector<uint8_t>{'<', 'r', '>', '1', 0, '2', 0, '<', '/', 'r', '>'});
    EXPECT_TRUE(Logged(document, u"nulls_removed 2"));
    EXPECT_EQ(document.Text(), u"<r>12</r>");
}

TEST(MarkupEncoding, DeclarationsNameTheEncoding)
{
    EXPECT_EQ(payload::DeclaredEncoding(u"<?xml version='1.0' encoding = 'GBK' ?><r/>"), u"gbk");
    EXPECT_EQ(payload::DeclaredEncoding(u"<?xml version=\"1.0\"?><r/>"), u"");
    EXPECT_EQ(payload::DeclaredEncoding(u"<html><head><meta http-equiv=\"Content-Type\" "
                                        u"content=\"text/html; charset=windows-1252\"></head></html>"),
              u"windows-1252");
    EXPECT_EQ(payload::DeclaredEncoding(u"<html><head><meta name=\"x\" content=\"charset=big5\"></head></html>"), u"");
}

TEST(MarkupEncoding, CharactersTheEncodingLacksAreLogged)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(" <r><k>\xE9</k></r>"));
    document.SaveBytes();
    EXPECT_FALSE(Logged(document, u"conversion_loss"));
    ASSERT_TRUE(document.FindChild(u"k"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"\u4E2D"));
    EXPECT_EQ(document.SaveBytes(), Bytes(" <r><k>?</k></r>"));
    EXPECT_TRUE(Logged(document, u"conversion_loss ANSI"));
}

TEST(MarkupNavigation, RemarksBetweenElementsDoNotDisturbFindChild)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(kDownloadXml));
    ASSERT_TRUE(document.FindChild(u"DOWNLOADBL"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.FindChild(u"ITEM_MODE"));
    EXPECT_EQ(document.ChildData(), u"1");
    ASSERT_TRUE(document.FindChild(u"ITEM_NVOPTION"));
    EXPECT_EQ(document.ChildData(), u"2");
    ASSERT_TRUE(document.FindChild(u"ITEM_LockSoftWare"));
    EXPECT_EQ(document.ChildData(), u"0");
}

TEST(MarkupNavigation, FindChildOnFreshDocumentLooksInsideTheRoot)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(kDownloadXml));
    EXPECT_FALSE(document.FindChild(u"phone"));
    EXPECT_TRUE(document.FindChild(u"DOWNLOADUI"));
    EXPECT_TRUE(document.FindChild(u"DOWNLOADBL"));
    EXPECT_FALSE(document.FindChild(u"DOWNLOADUI"));
}

TEST(MarkupNavigation, FindChildSearchesOnlyAfterTheCurrentChild)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a>1</a><b>2</b><c>3</c></r>"));
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_FALSE(document.FindChild(u"a"));
    EXPECT_EQ(document.ChildData(), u"2");
    ASSERT_TRUE(document.FindChild(u"c"));
    EXPECT_EQ(document.ChildData(), u"3");
}

TEST(MarkupNavigation, EnterAndLeaveMoveTheCursor)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a><x>9</x></a><b>2</b></r>"));
    EXPECT_FALSE(document.EnterChild());
    EXPECT_FALSE(document.LeaveElement());
    ASSERT_TRUE(document.FindChild(u"a"));
    ASSERT_TRUE(document.EnterChild());
    EXPECT_FALSE(document.EnterChild());
    ASSERT_TRUE(document.FindChild(u"x"));
    EXPECT_EQ(document.ChildData(), u"9");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_FALSE(document.LeaveElement());
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_EQ(document.ChildData(), u"2");
}

TEST(MarkupStructure, LoneEndTagIsSkipped)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a>1</a></x><b>2</b></r>"));
    EXPECT_TRUE(Logged(document, u"lone_end_tag x"));
    EXPECT_NE(document.Flags() & payload::kIllFormed, 0u);
    ASSERT_TRUE(document.FindChild(u"a"));
    EXPECT_EQ(document.ChildData(), u"1");
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_EQ(document.ChildData(), u"2");
}

TEST(MarkupStructure, UnendedStartTagIsClosedByItsParent)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a>1<b>2</b></r><s/>"));
    EXPECT_TRUE(Logged(document, u"unended_start_tag a"));
    EXPECT_TRUE(Logged(document, u"root_has_sibling"));
    ASSERT_TRUE(document.FindChild(u"a"));
    EXPECT_EQ(document.ChildData(), u"1");
    EXPECT_FALSE(document.FindChild(u"b"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_EQ(document.ChildData(), u"2");
}

TEST(MarkupStructure, ElementsOpenAtTheEndAreClosed)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a>1"));
    EXPECT_TRUE(Logged(document, u"unended_start_tag a"));
    EXPECT_TRUE(Logged(document, u"unended_start_tag r"));
    ASSERT_TRUE(document.FindChild(u"a"));
    EXPECT_EQ(document.ChildData(), u"1");
}

TEST(MarkupStructure, TextWithoutElementsHasNoRoot)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("just text"));
    EXPECT_TRUE(Logged(document, u"no_root_element"));
    EXPECT_FALSE(document.FindChild(u"a"));
}

struct TokenCase {
    const char* text;
    const char16_t* entry;
};

class MarkupTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(MarkupTokens, ErrorIsLoggedAndElementsAreStillFound)
{
    MarkupDocument document;
    document.LoadBytes(Bytes(GetParam().text));
    EXPECT_TRUE(Logged(document, GetParam().entry)) << platform::Utf16ToUtf8(document.ResultLog());
    EXPECT_NE(document.Flags() & payload::kIllFormed, 0u);
    EXPECT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"v");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, MarkupTokens,
    ::testing::Values(TokenCase{"<r><!-x><k>v</k></r>", u"comment_tag_syntax"},
                      TokenCase{"<r><![x<k>v</k></r>", u"cdata_section_syntax"},
                      TokenCase{"<r><!x<k>v</k></r>", u"exclamation_tag_syntax"},
                      TokenCase{"<r>< <k>v</k></r>", u"first_tag_syntax"},
                      TokenCase{"<!DOCTYPE r [<!X>]><r><k>v</k></r>", u"doctype_tag_syntax"},
                      TokenCase{"<r><k>v</k></r><!-- open", u"unterminated_tag_syntax comment"},
                      TokenCase{"<r><k>v</k></r><a b='>", u"unterminated_tag_syntax start_tag"}));

TEST(MarkupTokensValid, DeclarationsCommentsAndQuotedAngles)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"a>]b\"><!-- c -->]>"
                             "<!-- <k>no</k> --><r a=\"x>y\"><?pi <k>no</k>?><k b='>'>v</k><e/></r>"));
    EXPECT_EQ(document.Flags() & payload::kIllFormed, 0u) << platform::Utf16ToUtf8(document.ResultLog());
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"v");
    EXPECT_TRUE(document.FindChild(u"e"));
    EXPECT_EQ(document.ChildData(), u"");
}

TEST(MarkupData, ReferencesAndNamedEntitiesAreDecoded)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><k>a&lt;b&gt;c&amp;d&quot;&apos;&#65;&#x42;&#x1F600;&copy;&nbsp;&bogus;&#xD800;&</k></r>"));
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"a<b>c&d\"'AB\U0001F600\u00A9\u00A0&bogus;&#xD800;&");
}

TEST(MarkupData, CdataIsTakenAsItStandsAndMarkupIsLeftOut)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><k>x<![CDATA[<&amp;>]]>y<!-- z --><i>no</i>&amp;<?p q?>w</k></r>"));
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildData(), u"x<&amp;>y&w");
}

TEST(MarkupEdit, ReplaceDataNeedsAnElementWithoutChildren)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a><x/></a><b>old</b></r>"));
    EXPECT_FALSE(document.ReplaceData(u"x"));
    ASSERT_TRUE(document.FindChild(u"a"));
    EXPECT_FALSE(document.ReplaceData(u"x"));
    ASSERT_TRUE(document.EnterChild());
    EXPECT_FALSE(document.ReplaceData(u"x"));
    ASSERT_TRUE(document.LeaveElement());
    ASSERT_TRUE(document.FindChild(u"b"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u""));
    EXPECT_EQ(document.Text(), u"<r><a><x/></a><b></b></r>");
}

TEST(MarkupEdit, ReplaceDataFillsAnEmptyElement)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a q='1'/><b>2</b></r>"));
    ASSERT_TRUE(document.FindChild(u"a"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"1<2"));
    EXPECT_EQ(document.Text(), u"<r><a q='1'>1&lt;2</a><b>2</b></r>");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ChildData(), u"1<2");
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_EQ(document.ChildData(), u"2");
}

TEST(MarkupEdit, ReplaceDataKeepsTheIndexOfLaterElements)
{
    MarkupDocument document;
    document.LoadBytes(Bytes("<r><a>1</a><b><c>3</c></b></r>"));
    ASSERT_TRUE(document.FindChild(u"a"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"longer & longer"));
    ASSERT_TRUE(document.LeaveElement());
    ASSERT_TRUE(document.FindChild(u"b"));
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.FindChild(u"c"));
    EXPECT_EQ(document.ChildData(), u"3");
    ASSERT_TRUE(document.EnterChild());
    ASSERT_TRUE(document.ReplaceData(u"x"));
    EXPECT_EQ(document.Text(), u"<r><a>longer &amp; longer</a><b><c>x</c></b></r>");
}

std::string Repeated(std::string_view piece, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) text += piece;
    return text;
}

TEST(MarkupBadInput, LongRunsOfUnendedTokensLoadInReasonableTime)
{
    for (const std::string_view piece : {"<a", "<a'", "<a\"", "<!D'", "<!DOCTYPE [", "<?", "<!--", "</b"}) {
        MarkupDocument document;
        document.LoadBytes(Bytes(Repeated(piece, 100000)));
        EXPECT_TRUE(Logged(document, u"unterminated_tag_syntax"));
    }
    MarkupDocument deep;
    deep.LoadBytes(Bytes(Repeated("<a>", 50000) + Repeated("</b>", 50000)));
    EXPECT_TRUE(Logged(deep, u"lone_end_tag b"));
    EXPECT_TRUE(Logged(deep, u"unended_start_tag a"));
    ASSERT_TRUE(deep.FindChild(u"a"));
    EXPECT_TRUE(deep.EnterChild());
}

// Walks every element found under the cursor's current element, reading and
// entering each child of every tag name in `names`.
void Walk(MarkupDocument& document, const std::vector<std::u16string>& names, int depth)
{
    if (depth == 0) return;
    for (const std::u16string& name : names) {
        MarkupDocument probe = document;
        while (probe.FindChild(name)) {
            probe.ChildData();
            if (!probe.EnterChild()) break;
            Walk(probe, names, depth - 1);
            if (!probe.LeaveElement()) break;
        }
    }
}

TEST(MarkupBadInput, AnyBytesLoadAndWalkWithoutHarm)
{
    const std::string alphabet = "<<<>>//!!?-?-[[]]CDAT\"'=&;#x a\x00\xFF\xFE\xEF\xBB\xBF\xC3\xA9";
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes(random() % 200);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random() % 4 == 0 ? random() : alphabet[random() % alphabet.size()]);
        MarkupDocument document;
        document.LoadBytes(bytes);
        Walk(document, {u"a", u"x", u"C"}, 8);
        if (document.FindChild(u"a") && document.EnterChild() && document.ReplaceData(u"&<>") && document.LeaveElement()) {
            EXPECT_EQ(document.ChildData(), u"&<>");
        }
        document.SaveBytes();
    }
}

}  // namespace
