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
        {"a & b &quot &bogus; &#; &#x; &#12a;", true, "a & b &quot &bogus; &#; &#x; &#12a;"},
        // No NUL, no surrogate, nothing beyond Unicode, and no reference longer than any there is.
        {"&#0; &#xD800; &#1114112; &#00000000000000065;", true,
         "&#0; &#xD800; &#1114112; &#00000000000000065;"},
        {"&", true, "&"},
        {"&&quot;;", true, "&\";"},
        // A page in another character set keeps what it cannot write in its own bytes.
        {"caf&#233; &#65;&quot;\xE9", false, "caf&#233; A\"\xE9"},
        {"&nbsp;", false, "&nbsp;"},
    };
    const CPageEscape latin1("windows-1252");
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszText);
        EXPECT_EQ(CHtmlText::DecodeCharacterReferences(c.m_pszText, c.m_bUtf8 ? CPageEscape::Utf8() : latin1),
                  c.m_strExpected);
    }
}

// Read as characters, every reference has a place, whatever the page's set.
TEST(HtmlText, DecodesReferencesOfCharacters)
{
    EXPECT_EQ(CHtmlText::DecodeCharacterReferences(U"caf&#233; &#x8868;&quot;&bogus; \u00E9&amp;"),
              U"caf\u00E9 \u8868\"&bogus; \u00E9&");
}
} // namespace
