#include "forms/PageEscape.h"
#include "common/StringHelpers.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
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

// The value as a UTF-8 page can carry it: each byte that is not part of well-formed UTF-8 becomes U+FFFD,
// and so does NUL where bNulReplaced.
std::string Sanitized(const std::string& strValue, bool bNulReplaced)
{
    std::string strOut;
    for (size_t i = 0; i < strValue.size();)
    {
        if (strValue[i] == '\0' && bNulReplaced)
        {
            strOut += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const size_t nLen = CPageEscape::Utf8SequenceLength(strValue, i);
        if (nLen == 0)
        {
            strOut += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        strOut.append(strValue, i, nLen);
        i += nLen;
    }
    return strOut;
}

void AppendUtf8(std::string& strOut, unsigned nCode)
{
    if (nCode < 0x80)
        strOut += static_cast<char>(nCode);
    else if (nCode < 0x800)
    {
        strOut += static_cast<char>(0xC0 | (nCode >> 6));
        strOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
    else
    {
        strOut += static_cast<char>(0xE0 | (nCode >> 12));
        strOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        strOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
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
            AppendUtf8(strOut, static_cast<unsigned>(ul));
            i += nDigits;
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
        const std::string strJS = CPageEscape::JSString(strValue);
        const std::string strAttr = CPageEscape::HtmlAttribute(strValue);
        const std::string strURL = CPageEscape::UrlComponent(strValue);
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

TEST(PageEscape, BytesOfAnotherCharacterSetPassUnchanged)
{
    const std::string strLatin1 = "caf\xE9 \"x\"\n";
    EXPECT_EQ(CPageEscape::JSString(strLatin1, CPageEscape::Encoding::Bytes), "caf\xE9 \\x22x\\x22\\n");
    EXPECT_EQ(CPageEscape::HtmlAttribute(strLatin1, CPageEscape::Encoding::Bytes),
              "caf\xE9 &quot;x&quot;&#10;");
    EXPECT_EQ(CPageEscape::JSString(strLatin1), "caf\\uFFFD \\x22x\\x22\\n");
    EXPECT_EQ(CPageEscape::EncodingOf("UTF-8"), CPageEscape::Encoding::Utf8);
    EXPECT_EQ(CPageEscape::EncodingOf("utf8"), CPageEscape::Encoding::Utf8);
    EXPECT_EQ(CPageEscape::EncodingOf("iso-8859-1"), CPageEscape::Encoding::Bytes);
    EXPECT_EQ(CPageEscape::UrlComponent("a b/c", "/"), "a%20b/c");
}
} // namespace
