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
        CPageEscape::Encoding m_eEncoding;
        std::string m_strExpected;
    } aCases[] = {
        {"he said &quot;hi&quot;.doc", CPageEscape::Encoding::Utf8, "he said \"hi\".doc"},
        {"it&#39;s &#x27;x&#X27; &apos;", CPageEscape::Encoding::Utf8, "it's 'x' '"},
        {"&lt;/script&gt;", CPageEscape::Encoding::Utf8, "</script>"},
        {"&amp;lt; stays one level", CPageEscape::Encoding::Utf8, "&lt; stays one level"},
        {"a&#x2028;b&nbsp;c&#233;", CPageEscape::Encoding::Utf8,
         "a\xE2\x80\xA8"
         "b\xC2\xA0"
         "c\xC3\xA9"},
        {"&#x1F600;", CPageEscape::Encoding::Utf8, "\xF0\x9F\x98\x80"},
        {"a & b &quot &bogus; &#; &#x; &#12a;", CPageEscape::Encoding::Utf8,
         "a & b &quot &bogus; &#; &#x; &#12a;"},
        // No NUL, no surrogate, nothing beyond Unicode, and no reference longer than any there is.
        {"&#0; &#xD800; &#1114112; &#00000000000000065;", CPageEscape::Encoding::Utf8,
         "&#0; &#xD800; &#1114112; &#00000000000000065;"},
        {"&", CPageEscape::Encoding::Utf8, "&"},
        {"&&quot;;", CPageEscape::Encoding::Utf8, "&\";"},
        // A page in another character set keeps what it cannot write in its own bytes.
        {"caf&#233; &#65;&quot;\xE9", CPageEscape::Encoding::Bytes, "caf&#233; A\"\xE9"},
        {"&nbsp;", CPageEscape::Encoding::Bytes, "&nbsp;"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszText);
        EXPECT_EQ(CHtmlText::DecodeCharacterReferences(c.m_pszText, c.m_eEncoding), c.m_strExpected);
    }
}
} // namespace
