#include "forms/PageEscape.h"
#include "common/StringHelpers.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Tag.h"
#include "tests/forms/FormsTestSupport.h"

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
using namespace std::string_literals;

const std::vector<std::string> g_vecHostile = {
    "plain text",
    "\"",
    "'",
    "\\",
    "</script>",
    "</SCRIPT ><script>alert(1)</script>",
    "&#34;",
    "&quot;&#x27;",
    "%22",
    "\r",
    "\n",
    "a\r\nb",
    "\0"s,
    "x\0y\"z"s,
    "\xE2\x80\xA8 and \xE2\x80\xA9",
    "\xC3",         // a lead byte at the end
    "\xC3\"",       // a lead byte swallowing a quote
    "\xC0\xA2",     // an overlong quote
    "\xED\xA0\x80", // a surrogate
    "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\x8E",
    "`${x}` = <!-- -->",
    "\\\"; alert(1); //",
    "onmouseover=alert(1) x=",
};

// The value as a UTF-8 page can carry it: each part of a sequence that is no character becomes U+FFFD,
// and so does NUL where bNulReplaced.
std::string Sanitized(const std::string& strValue, bool bNulReplaced)
{
    std::string strOut;
    for (const char32_t c : CPageEscape::Utf8().Decode(strValue))
        CHtmlText::AppendUtf8(strOut, c == 0 && bNulReplaced ? U'\uFFFD' : c);
    return strOut;
}

// What a script engine reads from the literal's body; false for an escape it would not take, or for a
// character that would end the literal or the line.
bool DecodeJSLiteral(const std::string& strLiteral, std::string& strOut)
{
    strOut.clear();
    for (size_t i = 0; i < strLiteral.size(); ++i)
    {
        const char c = strLiteral[i];
        if (c == '"' || c == '\'' || c == '\r' || c == '\n' ||
            strLiteral.compare(i, 3, "\xE2\x80\xA8") == 0 || strLiteral.compare(i, 3, "\xE2\x80\xA9") == 0)
            return false;
        if (c != '\\')
        {
            strOut += c;
            continue;
        }
        if (++i >= strLiteral.size())
            return false;
        const char e = strLiteral[i];
        const auto Hex = [&](size_t nDigits) -> bool
        {
            if (i + nDigits >= strLiteral.size())
                return false;
            const std::string strHex = strLiteral.substr(i + 1, nDigits);
            char* pEnd = nullptr;
            const unsigned long ul = std::strtoul(strHex.c_str(), &pEnd, 16);
            if (*pEnd != '\0')
                return false;
            char32_t cCode = static_cast<char32_t>(ul);
            i += nDigits;
            // A surrogate pair is one character.
            if (cCode >= 0xD800 && cCode <= 0xDBFF && strLiteral.compare(i + 1, 2, "\\u") == 0)
            {
                const unsigned long ulLow = std::strtoul(strLiteral.substr(i + 3, 4).c_str(), nullptr, 16);
                if (ulLow >= 0xDC00 && ulLow <= 0xDFFF)
                {
                    cCode = 0x10000 + ((cCode - 0xD800) << 10) + static_cast<char32_t>(ulLow - 0xDC00);
                    i += 6;
                }
            }
            CHtmlText::AppendUtf8(strOut, cCode);
            return true;
        };
        if (e == '\\')
            strOut += '\\';
        else if (e == 'r')
            strOut += '\r';
        else if (e == 'n')
            strOut += '\n';
        else if (e == 't')
            strOut += '\t';
        else if (e == 'x')
        {
            if (!Hex(2))
                return false;
        }
        else if (e == 'u')
        {
            if (!Hex(4))
                return false;
        }
        else
            return false;
    }
    return true;
}

std::string PageWith(const std::string& strJS, const std::string& strAttr, const std::string& strURL)
{
    return "<html><head><script>var s = \"" + strJS + "\"; var t = '" + strJS +
           "';</script></head><body>"
           "<div id=\"d\" title=\"" +
           strAttr + "\" data-s='" + strAttr + "' onclick=\"f('" + strJS + "', &quot;" + strJS +
           "&quot;)\" data-u=\"" + strURL + "\">x</div></body></html>";
}

xmlNode* FindElement(xmlNode* pNode, const char* pszName)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type == XML_ELEMENT_NODE && xmlStrcasecmp(pNode->name, BAD_CAST pszName) == 0)
            return pNode;
        if (xmlNode* pFound = FindElement(pNode->children, pszName))
            return pFound;
    }
    return nullptr;
}

std::string Prop(xmlNode* pNode, const char* pszName)
{
    xmlChar* p = xmlGetProp(pNode, BAD_CAST pszName);
    std::string s = p != nullptr ? reinterpret_cast<const char*>(p) : "<missing>";
    xmlFree(p);
    return s;
}

TEST(PageEscape, HostileValuesStayOneTokenForOurParserAndLibxml2)
{
    for (const std::string& strValue : g_vecHostile)
    {
        SCOPED_TRACE(::testing::PrintToString(strValue));
        const CPageEscape& escape = CPageEscape::Utf8();
        const std::string strJS = escape.JSString(strValue);
        const std::string strAttr = escape.HtmlAttribute(strValue);
        const std::string strURL = CPageEscape::UrlComponent(strValue);
        for (const std::string& strOut : {strJS, strAttr, strURL, escape.JavaScriptUrlString(strValue)})
            EXPECT_EQ(
                strOut.find_first_of("\x7F\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"),
                std::string::npos);
        const std::string strScript = "var s = \"" + strJS + "\"; var t = '" + strJS + "';";
        const std::string strOnclick = "f('" + strJS + "', \"" + strJS + "\")";
        const std::string strOnclickRaw = "f('" + strJS + "', &quot;" + strJS + "&quot;)";

        // The literal reads back as the value.
        std::string strDecoded;
        ASSERT_TRUE(DecodeJSLiteral(strJS, strDecoded)) << strJS;
        EXPECT_EQ(strDecoded, Sanitized(strValue, false));
        EXPECT_EQ(strJS.find_first_of("\"'<>&\r\n"s + '\0'), std::string::npos);
        EXPECT_EQ(UrlUnescape(strURL), strValue);
        EXPECT_EQ(
            strURL.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~%"),
            std::string::npos);

        // Our parser: one script element with exactly that text, one DIV with exactly these attributes.
        CTestPage page(PageWith(strJS, strAttr, strURL));
        CDOMSource dom(page.Words());
        const CDOMElementVector scripts = dom.getHead().getElementsByTagName("script");
        ASSERT_EQ(scripts.length(), 1u);
        std::string strText;
        const CDOMElement script = scripts.item(0);
        dom.substringData(script.getContentBeginPos(),
                          script.getContentEndPos() - script.getContentBeginPos(), strText);
        EXPECT_EQ(strText, strScript);
        const CDOMElement div = dom.getElementById("d");
        ASSERT_FALSE(div.isEmpty());
        EXPECT_EQ(div.getStartTag().getStartTag()->m_pAttributes->size(), 5u);
        EXPECT_EQ(div.getAttribute("title").getValue(), strAttr);
        EXPECT_EQ(div.getAttribute("data-s").getValue(), strAttr);
        EXPECT_EQ(div.getAttribute("onclick").getValue(), strOnclickRaw);
        EXPECT_EQ(div.getAttribute("data-u").getValue(), strURL);
        std::string strContent;
        dom.getPlainText(div.getContentBeginPos(), div.getContentEndPos(), strContent);
        EXPECT_EQ(strContent, "x");

        // libxml2's HTML parser: the same tree, and the attribute decodes to the value.
        const std::string& strPage = page.Body();
        htmlDocPtr pDoc = htmlReadMemory(strPage.data(), static_cast<int>(strPage.size()), nullptr, "UTF-8",
                                         HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
        ASSERT_NE(pDoc, nullptr);
        xmlNode* pRoot = xmlDocGetRootElement(pDoc);
        xmlNode* pScript = FindElement(pRoot, "script");
        ASSERT_NE(pScript, nullptr);
        xmlChar* pszScript = xmlNodeGetContent(pScript);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(pszScript)), strScript);
        xmlFree(pszScript);
        EXPECT_EQ(FindElement(pScript->next, "script"), nullptr);
        xmlNode* pDiv = FindElement(pRoot, "div");
        ASSERT_NE(pDiv, nullptr);
        size_t nAttributes = 0;
        for (xmlAttr* pAttr = pDiv->properties; pAttr != nullptr; pAttr = pAttr->next)
            ++nAttributes;
        EXPECT_EQ(nAttributes, 5u);
        EXPECT_EQ(Prop(pDiv, "title"), Sanitized(strValue, true));
        EXPECT_EQ(Prop(pDiv, "data-s"), Sanitized(strValue, true));
        EXPECT_EQ(Prop(pDiv, "onclick"), strOnclick);
        EXPECT_EQ(Prop(pDiv, "data-u"), strURL);
        xmlFreeDoc(pDoc);
    }
}

// Every character outside printable ASCII becomes an escape, whatever the page's set.
bool PlainAscii(const std::string& strText)
{
    for (const char c : strText)
    {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    }
    return true;
}

// Values are read in the page's set before they are escaped: a double-byte character whose second byte is
// a backslash or a quote stays one character, a lone lead byte takes the byte after it as a browser does,
// and a name browsers read as a wider set is read as that set.
TEST(PageEscape, ValuesAreEscapedAsCharactersOfThePagesSet)
{
    const struct
    {
        const char* m_pszCharSet;
        std::string m_strValue;
        const char* m_pszScript;
        const char* m_pszUrlScript;
        const char* m_pszAttribute;
    } aCases[] = {
        {"shift_jis", "\x8C\xA9\x90\xCF\x95\x5C", "\\u898B\\u7A4D\\u8868", "\\u898B\\u7A4D\\u8868",
         "&#35211;&#31309;&#34920;"},
        {"Shift_JIS", "\x95\x5C<b>.pdf", "\\u8868\\x3Cb\\x3E.pdf", "\\u8868\\x3Cb\\x3E.pdf",
         "&#34920;&lt;b&gt;.pdf"},
        {"shift_jis", "A\x81\\\",alert(1)//%22", "A\\u2015\\x22,alert(1)//%22",
         "A\\u2015\\x22,alert(1)//\\x2522", "A&#8213;&quot;,alert(1)//%22"},
        {"big5", "A\xA5\\\"", "A\\u529F\\x22", "A\\u529F\\x22", "A&#21151;&quot;"},
        {"gbk", "\x81\x5C\x81\x22", "\\u4E57\\uFFFD\\x22", "\\u4E57\\uFFFD\\x22", "&#20055;&#65533;&quot;"},
        {"windows-1252", "caf\xE9 \x80", "caf\\u00E9 \\u20AC", "caf\\u00E9 \\u20AC", "caf&#233; &#8364;"},
        {"us-ascii", "caf\xE9", "caf\\u00E9", "caf\\u00E9", "caf&#233;"},
        // Labels are read in any case.
        {"ISO-8859-1", "\x80\xE9", "\\u20AC\\u00E9", "\\u20AC\\u00E9", "&#8364;&#233;"},
        {"US-ASCII", "\x80", "\\u20AC", "\\u20AC", "&#8364;"},
        {"GB_2312", "\x81\x40", "\\u4E02", "\\u4E02", "&#19970;"},
        // A pair that is no character: U+FFFD for its lead, and its ASCII second byte read again as itself,
        // as browsers read it.
        {"shift_jis", "\x85\x5C\"", "\\uFFFD\\\\\\x22", "\\uFFFD\\\\\\x22", "&#65533;\\&quot;"},
        {"euc-kr", "\x83\x5C\"", "\\uFFFD\\\\\\x22", "\\uFFFD\\\\\\x22", "&#65533;\\&quot;"},
        {"big5", "\x81\x5C\"", "\\uFFFD\\\\\\x22", "\\uFFFD\\\\\\x22", "&#65533;\\&quot;"},
        {"big5", "\x86\xA1\xA4\xA4", "\\uFFFD\\u4E2D", "\\uFFFD\\u4E2D", "&#65533;&#20013;"},
        // Big5 is Big5-HKSCS, its Hong Kong pairs their characters; a lead takes a byte beyond ASCII that is
        // no second byte along.
        {"big5", "\x8C\xA9", "\\u738C", "\\u738C", "&#29580;"},
        {"big5", "\x87\x81\x5C", "\\uFFFD\\\\", "\\uFFFD\\\\", "&#65533;\\"},
        // Every ASCII byte is itself, and a Shift_JIS 0x80 alone is U+0080.
        {"shift_jis", "\x7F\x1A\x80", "\\x7F\\x1A\\u0080", "\\x7F\\x1A\\u0080", "&#127;&#26;&#65533;"},
        // Template literals end at a backtick.
        {"utf-8", "`${alert(1)}`", "\\x60${alert(1)}\\x60", "\\x60${alert(1)}\\x60", "`${alert(1)}`"},
        {"utf-8", "a\xE2\x80\xA8\xF0\x9F\x93\x8E\xC2\x81\\", "a\\u2028\\uD83D\\uDCCE\\u0081\\\\",
         "a\\u2028\\uD83D\\uDCCE\\u0081\\\\", "a&#8232;&#128206;&#129;\\"},
        {"utf-8", "\xE2\x80\"", "\\uFFFD\\x22", "\\uFFFD\\x22", "&#65533;&quot;"},
        // A stateful set: its escape sequences turn ASCII bytes into a double-byte character.
        {"iso-2022-jp", "\x1B$B!!\x1B(B\"", "\\u3000\\x22", "\\u3000\\x22", "&#12288;&quot;"},
        // A set nobody here knows: its bytes above ASCII are characters of unknown meaning.
        {"x-no-such-set", "A\x81\\\"", "A\\uFFFD\\\\\\x22", "A\\uFFFD\\\\\\x22", "A&#65533;\\&quot;"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszCharSet) + " " + ::testing::PrintToString(c.m_strValue));
        const CPageEscape escape(c.m_pszCharSet);
        EXPECT_EQ(escape.JSString(c.m_strValue), c.m_pszScript);
        EXPECT_EQ(escape.JavaScriptUrlString(c.m_strValue), c.m_pszUrlScript);
        EXPECT_EQ(escape.HtmlAttribute(c.m_strValue), c.m_pszAttribute);
        EXPECT_TRUE(PlainAscii(escape.HtmlText(c.m_strValue)));
        // A URL carries the value's own bytes.
        EXPECT_EQ(UrlUnescape(CPageEscape::UrlComponent(c.m_strValue)), c.m_strValue);
    }
    EXPECT_EQ(CPageEscape::UrlComponent("a b/c", "/"), "a%20b/c");
}

// Only sets whose every ASCII byte is that character wherever it stands are edited.
TEST(PageEscape, OnlyStatelessAsciiCompatibleSetsAreEditable)
{
    for (const char* pszCharSet : {"utf-8", "windows-1252", "ISO-8859-1", "shift_jis", "euc-kr", "big5",
                                   "gbk", "gb18030", "euc-jp", "koi8-r", "iso-8859-8-i"})
        EXPECT_TRUE(CPageEscape(pszCharSet).IsEditable()) << pszCharSet;
    for (const char* pszCharSet : {"iso-2022-jp", "csiso2022jp", "utf-7", "UTF-7", "hz-gb-2312", "HZ",
                                   "iso-2022-kr", "utf-16", "utf-16be", "UTF-32", "SCSU", "BOCU-1", "ibm-930",
                                   "ibm-037", "x-user-defined", "x-no-such-set", "iso-8859-16"})
        EXPECT_FALSE(CPageEscape(pszCharSet).IsEditable()) << pszCharSet;
}

// Text as it stands in a page is read as the browser reads it, its bytes first and its references after,
// and escaped once for its new place.
TEST(PageEscape, MarkupIsReadBeforeItIsEscaped)
{
    const CPageEscape sjis("shift_jis");
    using Context = CPageEscape::Context;
    EXPECT_EQ(sjis.EscapeMarkup(Context::ScriptString, "&#x8868;&quot;\x95\x5C&amp;lt;"),
              "\\u8868\\x22\\u8868\\x26lt;");
    // The lead byte before "&" is no character, and the reference after it stays one.
    EXPECT_EQ(sjis.EscapeMarkup(Context::HtmlAttribute, "\x81&#92;"), "&#65533;\\");
    // A reference of a C1 control stands for a windows-1252 character; the control itself has no form in
    // HTML.
    EXPECT_EQ(CPageEscape::Utf8().EscapeMarkup(Context::HtmlText, "it&#39;s &lt;b&gt; &#128; &#x81;"),
              "it's &lt;b&gt; &#8364; &#129;");
    EXPECT_EQ(CPageEscape::Utf8().HtmlText("\xC2\x80\xC2\x81"), "&#65533;&#129;");
    EXPECT_EQ(CPageEscape::Utf8().EscapeMarkup(Context::JavaScriptUrlString, "100&#37; &#x1F4CE;"),
              "100\\x25 \\uD83D\\uDCCE");
}
} // namespace
