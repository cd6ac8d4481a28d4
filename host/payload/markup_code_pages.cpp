#include "payload/markup_code_pages.h"

#include <array>

namespace payload {
namespace {

struct CodePageAlias {
    std::u16string_view name;
    uint32_t codePage;
};

constexpr std::array<CodePageAlias, 40> kAliases{{
    {u"utf-8", kCodePageUtf8},          {u"utf8", kCodePageUtf8},
    {u"cp65001", kCodePageUtf8},        {u"unicode-1-1-utf-8", kCodePageUtf8},
    {u"utf-16", kCodePageUtf16Le},      {u"utf-16le", kCodePageUtf16Le},
    {u"ucs-2", kCodePageUtf16Le},       {u"utf-16be", kCodePageUtf16Be},
    {u"us-ascii", 20127},               {u"ascii", 20127},
    {u"iso-8859-1", 28591},             {u"latin1", 28591},
    {u"iso-8859-2", 28592},             {u"iso-8859-5", 28595},
    {u"iso-8859-7", 28597},             {u"iso-8859-15", 28605},
    {u"windows-1250", 1250},            {u"windows-1251", 1251},
    {u"windows-1252", 1252},            {u"cp1252", 1252},
    {u"windows-1253", 1253},            {u"windows-1254", 1254},
    {u"windows-1255", 1255},            {u"windows-1256", 1256},
    {u"windows-1257", 1257},            {u"windows-1258", 1258},
    {u"gbk", 936},                      {u"gb2312", 936},
    {u"cp936", 936},                    {u"gb18030", 54936},
    {u"big5", 950},                     {u"cp950", 950},
    {u"shift_jis", 932},                {u"sjis", 932},
    {u"cp932", 932},                    {u"euc-jp", 51932},
    {u"euc-kr", 949},                   {u"ks_c_5601-1987", 949},
    {u"koi8-r", 20866},                 {u"tis-620", 874},
}};

char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

}  // namespace

uint32_t CodePageOf(std::u16string_view name)
{
    for (const CodePageAlias& alias : kAliases) {
        if (SameName(alias.name, name)) return alias.codePage;
    }
    return 0;
}

}  // namespace payload
