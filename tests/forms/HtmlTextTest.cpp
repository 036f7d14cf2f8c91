#include "forms/HtmlText.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// Text from a page read as the browser shows it: each reference decoded once, anything that is not a
// complete reference left as it stands.
TEST(HtmlText, DecodesEachReferenceOnce)
{
    const struct
    {
        const char* m_pszText;
        bool m_bUtf8;
        std::string m_strExpected;
    } aCases[] = {
        {"he said &quot;hi&quot;.doc", true, "he said \"hi\".doc"},
        {"it&#39;s &#x27;x&#X27; &apos;", true, "it's 'x' '"},
        {"&lt;/script&gt;", true, "</script>"},
        {"&amp;lt; stays one level", true, "&lt; stays one level"},
        {"a&#x2028;b&nbsp;c&#233;", true,
         "a\xE2\x80\xA8"
         "b\xC2\xA0"
         "c\xC3\xA9"},
        {"&#x1F600;", true, "\xF0\x9F\x98\x80"},
        // Legacy names stand without their ";", numeric references too; what is no reference stays.
        {"a & b &quot &bogus; &#; &#x; &#12a;", true,
         "a & b \" &bogus; &#; &#x; \x0C"
         "a;"},
        {"&amp &lt&gt;&copy 2&#39x", true, "& <>\xC2\xA9 2'x"},
        // Every name of the table, in any case the table has it.
        {"&QUOT;&lpar;&rpar;&Tab;&NewLine;&nbsp;&hellip;", true, "\"()\t\n\xC2\xA0\xE2\x80\xA6"},
        {"&notin; &notit; &not", true, "\xE2\x88\x89 &notit; \xC2\xAC"},
        // Two characters for one name.
        {"&NotEqualTilde;", true, "\xE2\x89\x82\xCC\xB8"},
        // NUL, surrogates and what lies beyond Unicode are U+FFFD; leading zeros are no limit.
        {"&#0; &#xD800; &#1114112; &#x110000; &#99999999999; &#00000000000000065;", true,
         "\xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD A"},
        // 0x80 to 0x9F are the windows-1252 characters of those bytes, but where that set has none.
        {"&#128;&#x9F;&#x81;", true, "\xE2\x82\xAC\xC5\xB8\xC2\x81"},
        {"&", true, "&"},
        {"&&quot;;", true, "&\";"},
        // A page in another character set gets what it holds as its own bytes, the rest as references.
        {"caf&#233; &#65;&quot;\xE9", false, "caf\xE9 A\"\xE9"},
        {"&nbsp;&alpha;&#x3B1", false, "\xA0&#945;&#945;"},
    };
    const CPageEscape latin1("windows-1252");
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszText);
        EXPECT_EQ(CHtmlText::DecodeCharacterReferences(c.m_pszText, c.m_bUtf8 ? CPageEscape::Utf8() : latin1),
                  c.m_strExpected);
    }
}

// In an attribute value a legacy name without ";" before "=" or a letter or digit is text: a URL's query
// keeps its "&copy=1"; in text it is read.
TEST(HtmlText, LegacyNamesBeforeEqualsOrAlphanumericsStayInAttributes)
{
    const struct
    {
        const char* m_pszText;
        const char* m_pszAttribute;
        const char* m_pszText2;
    } aCases[] = {
        {"?a=1&copy=2", "?a=1&copy=2", "?a=1\xC2\xA9=2"},
        {"&ampx", "&ampx", "&x"},
        {"&amp;x", "&x", "&x"},
        {"&amp-x", "&-x", "&-x"},
        {"&notit;", "&notit;", "\xC2\xACit;"},
        {"&#39x", "'x", "'x"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszText);
        EXPECT_EQ(CHtmlText::DecodeCharacterReferences(c.m_pszText, CPageEscape::Utf8(), true),
                  c.m_pszAttribute);
        EXPECT_EQ(CHtmlText::DecodeCharacterReferences(c.m_pszText, CPageEscape::Utf8(), false),
                  c.m_pszText2);
    }
}

// References are read once the page's bytes are characters: a lead byte never joins a decoded reference
// into another character, and a page of any set gets the characters its references name.
TEST(HtmlText, ReferencesAreReadAfterThePagesBytes)
{
    const CPageEscape shiftJis("shift_jis");
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(std::string("\x83&#92;"), shiftJis), "&#65533;\\");
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(std::u32string(shiftJis.Decode("\x83&#92;"))),
              U"\uFFFD\\");
    EXPECT_EQ(shiftJis.EscapeMarkup(CPageEscape::Context::ScriptString, "\x83&#92;"), "\\uFFFD\\\\");
    // A character the set holds goes back as its bytes, and a character of two bytes stays one.
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(std::string("&#x8868;\x95\x5C&amp;"), shiftJis),
              "\x95\x5C\x95\x5C&");
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(std::string("&#x3042;&#239;"), shiftJis),
              "\x82\xA0&#239;");
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(std::string("&#239;.doc"), CPageEscape("windows-1252")),
              "\xEF.doc");
}

// Read as characters, every reference has a place, whatever the page's set.
TEST(HtmlText, DecodesReferencesOfCharacters)
{
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(U"caf&#233; &#x8868;&quot;&bogus; \u00E9&amp;"),
              U"caf\u00E9 \u8868\"&bogus; \u00E9&");
}
} // namespace
