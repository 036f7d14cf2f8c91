#include "general/PageCharSet.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
TEST(PageCharSet, DetectsTheNameAfterCharset)
{
    const struct
    {
        const char* m_pszHeader;
        bool m_bFound;
        const char* m_pszName;
    } cases[] = {
        {"Content-Type: text/html; charset=windows-1255\r\nX: y", true, "windows-1255"},
        {"Content-Type: text/html; CHARSET=UTF-8", true, "UTF-8"},
        {"Content-Type: text/html; charset=\"big5\"; x\r", true, "\"big5\"; x"},
        {"Content-Type: text/html", false, ""},
        {"Content-Type: text/html; charset=\r\n", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_pszHeader);
        ci_string csName = "before";
        EXPECT_EQ(CPageCharSet::DetectCharSet(c.m_pszHeader, static_cast<DWORD>(std::strlen(c.m_pszHeader)),
                                              csName),
                  c.m_bFound);
        EXPECT_EQ(csName, c.m_pszName);
    }
    // Only the given length is read.
    ci_string csName;
    EXPECT_FALSE(CPageCharSet::DetectCharSet("charset=utf-8", 7, csName));
}

TEST(PageCharSet, TableMapsNamesToTheirCodePages)
{
    CPageCharSet charSet;
    charSet.Init();
    charSet.Init();
    EXPECT_EQ(charSet.m_mapCharSets.size(), 24u);
    const struct
    {
        const char* m_pszName;
        UINT m_uCodePage;
    } cases[] = {{"ISO-8859-1", 28591},  {"big5", 950},          {"iso-2022-jp", 50220},
                 {"iso-8859-6", 28596},  {"windows-1253", 1253}, {"x-mac-greek", 10006},
                 {"windows-1251", 1251}, {"shift_jis", 932},     {"gb2312", 936},
                 {"iso-8859-8-i", 1255}};
    for (const auto& c : cases)
    {
        UINT uCodePage = 0;
        EXPECT_TRUE(charSet.GetCodePage(c.m_pszName, uCodePage)) << c.m_pszName;
        EXPECT_EQ(uCodePage, c.m_uCodePage) << c.m_pszName;
    }
    UINT uCodePage = 0;
    EXPECT_FALSE(charSet.GetCodePage("utf-8", uCodePage));
}

TEST(PageCharSet, TranslatesIntoThePagesCharacterSet)
{
    CPageCharSet charSet;
    charSet.Init();
    const std::u16string strQuoted = u"Say \"<b>caf\u00e9</b>\"";
    const struct
    {
        std::u16string m_strText;
        const char* m_pszCharSet;
        bool m_bResult;
        std::string m_strOut;
    } cases[] = {
        {strQuoted, "UTF-8", true, "Say &quot;&lt;b&gt;caf\xc3\xa9&lt;/b&gt;&quot;"},
        {strQuoted, "windows-1250", true, "Say \"<b>caf\xe9</b>\""},
        {strQuoted, "iso-8859-1", true, "Say \"<b>caf\xe9</b>\""},
        {strQuoted, "utf-16", true, "Say \"<b>caf\xe9</b>\""},
        {u"\u041e\u0442\u043a\u0440\u044b\u0442\u044c", "windows-1251", true, "\xce\xf2\xea\xf0\xfb\xf2\xfc"},
        {u"\u0386\u03bd\u03bf\u03b9\u03b3\u03bc\u03b1", "windows-1253", true, "\xa2\xed\xef\xe9\xe3\xec\xe1"},
        {u"\u0386\u03bd\u03bf\u03b9\u03b3\u03bc\u03b1", "x-mac-greek", true, "\xcd\xee\xef\xe9\xe7\xed\xe1"},
        {u"\u958b\u304f", "shift_jis", true, "&#38283;\x82\xad"},
        {u"\u958b\u4e2d", "big5", true, "&#38283;\xa4\xa4"},
        {u"\u4e2d", "gb2312", true, "\xd6\xd0"},
        {u"\u05e4\u05ea\u05d7", "iso-8859-8", true, "\xf4\xfa\xe7"},
        {u"", "windows-1250", true, ""},
        // Sets outside the table, by ICU's names and aliases.
        {u"\u041e\u0442\u043a\u0440\u044b\u0442\u044c", "KOI8-R", true, "\xef\xd4\xcb\xd2\xd9\xd4\xd8"},
        {u"caf\u00e9", "windows-1252", true, "caf\xe9"},
        {u"caf\u00e9", "latin1", true, "caf\xe9"},
        {u"\u958b", "euc-kr", true, "\xcb\xd2"},
        {strQuoted, "utf8", true, "Say &quot;&lt;b&gt;caf\xc3\xa9&lt;/b&gt;&quot;"},
        // What a page cannot hold goes in as a character reference, never as a stand-in character.
        {u"\u958b", "windows-1250", true, "&#38283;"},
        // "us-ascii" is windows-1252 to a browser, and so is it written.
        {u"caf\u00e9", "us-ascii", true, "caf\xe9"},
        {u"\u20ac", "US-ASCII", true, "\x80"},
        {u"\u0386\u03bd\u03bf\u03b9\u03b3\u03bc\u03b1 caf\u00e9", "windows-1252", true,
         "&#902;&#957;&#959;&#953;&#947;&#956;&#945; caf\xe9"},
        {u"\u4e2d\u0386", "big5", true, "\xa4\xa4&#902;"},
        {u"\U0001F600!", "iso-8859-2", true, "&#128512;!"},
        {std::u16string(u"a") + char16_t(0xD800) + u"b", "windows-1252", true, "a&#65533;b"},
        // The table's code page writes, the page's own set reads: the new sheqel sign of windows-1255 is the
        // currency sign in ISO-8859-8.
        {u"\u20aa\u05d0", "iso-8859-8", true, "&#8362;\xe0"},
        // No byte of another character may pass for ASCII: the second bytes of these are a backslash and a
        // letter; a shifting set writes ASCII bytes for everything else.
        {u"\u8868\u3042", "shift_jis", true, "&#34920;\x82\xa0"},
        {u"\u03b1\u03c1\u4e2d", "big5", true, "&#945;&#961;\xa4\xa4"},
        // Browsers read no HZ: its label names the encoding that reads every page as one U+FFFD.
        {u"\u4e2d", "hz-gb-2312", false, "untouched"},
        {u"a\u3042~", "iso-2022-jp", true, "a&#12354;~"},
        {strQuoted, "\"big5\"", false, "untouched"},
        {strQuoted, "x-no-such-set", false, "untouched"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_pszCharSet);
        ci_string csOut = "untouched";
        EXPECT_EQ(charSet.TranslateString(c.m_strText, c.m_pszCharSet, csOut), c.m_bResult);
        EXPECT_EQ(std::string(csOut.data(), csOut.size()), c.m_strOut);
    }
}

TEST(PageCharSet, SetsThatCannotBeWrittenAreNotKnown)
{
    CPageCharSet charSet;
    charSet.Init();
    for (const char* pszName :
         {"utf-8", "UTF8", "utf-16", "windows-1252", "us-ascii", "iso-8859-1", "koi8-r", "euc-kr",
          "shift_jis", "windows-31j", "big5", "gb2312", "ISO_8859-1:1987", "iso-2022-jp", " big5 "})
        EXPECT_TRUE(charSet.IsKnown(pszName)) << pszName;
    // The table's Mac sets ICU has no data for; ICU's converter options and file paths never reach it.
    for (const char* pszName : {"x-mac-hebrew", "x-mac-arabic", "x-mac-japan", "x-mac-chinesetrad",
                                "x-mac-chineseimp", "", "\"big5\"", "hz-gb-2312", "utf-8,version=1",
                                "/tmp/utf-8", "..\\utf-8", "x-user-defined", "no-such-set"})
    {
        SCOPED_TRACE(pszName);
        CTraceCapture trace;
        EXPECT_FALSE(charSet.IsKnown(pszName));
        ci_string csOut = "untouched";
        EXPECT_FALSE(charSet.TranslateString(u"Open", pszName, csOut));
        EXPECT_EQ(csOut, "untouched");
        // The caller says it.
        EXPECT_TRUE(trace.Lines().empty());
    }
}
} // namespace
