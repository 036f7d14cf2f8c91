// Checks of a rewritten page as a browser would read it: every script block and event handler must be
// JavaScript that node accepts, and every tag must have the attributes our parser and libxml2's HTML
// parser both see (an attribute left open would swallow the tags after it in one of them). The page is
// decoded as the browser decodes it before anything is parsed: its bytes in its character set, then the
// character references of its attributes, then the percent escapes of a javascript: URL.
// Link with libxml2; the decoding and the JavaScript checks need node on PATH (scripts/install-deps
// installs nodejs).
#pragma once

#include "tests/support/RunCommand.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <unicode/ucnv.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace page_checks
{
// The one runner of every test, here under this namespace too for the checks' callers.
using ::RunCommand;

// node reads Big5 as ICU's windows-950, which gives the Hong Kong pairs private-use characters where
// browsers read Big5 as Big5-HKSCS and give the characters themselves: each private-use character node
// gives, and what a browser reads for that pair (U+FFFD where Big5-HKSCS has none), as a JavaScript object.
inline std::string Big5PrivateUseToBrowser()
{
    std::string strTable = "{";
    UErrorCode status = U_ZERO_ERROR;
    UConverter* pNode = ucnv_open("windows-950", &status);
    UConverter* pBrowser = ucnv_open("ibm-1375_P100-2008", &status);
    if (U_SUCCESS(status))
    {
        for (int nLead = 0x87; nLead <= 0xFE; ++nLead)
        {
            for (int nTrail = 0x40; nTrail <= 0xFE; ++nTrail)
            {
                if (nTrail > 0x7E && nTrail < 0xA1)
                    continue;
                const char acPair[2] = {static_cast<char>(nLead), static_cast<char>(nTrail)};
                UChar aNode[4], aBrowser[4];
                UErrorCode nodeStatus = U_ZERO_ERROR, browserStatus = U_ZERO_ERROR;
                const int32_t nNode = ucnv_toUChars(pNode, aNode, 4, acPair, 2, &nodeStatus);
                const int32_t nBrowser = ucnv_toUChars(pBrowser, aBrowser, 4, acPair, 2, &browserStatus);
                if (U_FAILURE(nodeStatus) || nNode != 1 || aNode[0] < 0xE000 || aNode[0] > 0xF8FF)
                    continue;
                std::string strRead;
                if (U_FAILURE(browserStatus) || nBrowser < 1 || aBrowser[0] == 0xFFFD || aBrowser[0] == 0x1A)
                    strRead = "\\uFFFD";
                else
                {
                    for (int32_t n = 0; n < nBrowser; ++n)
                    {
                        char szUnit[8];
                        std::snprintf(szUnit, sizeof(szUnit), "\\u%04X", aBrowser[n]);
                        strRead += szUnit;
                    }
                }
                char szKey[16];
                std::snprintf(szKey, sizeof(szKey), "%d:", aNode[0]);
                strTable += szKey + std::string("'") + strRead + "',";
            }
        }
    }
    ucnv_close(pNode);
    ucnv_close(pBrowser);
    return strTable + "}";
}

// A JavaScript function decode(label, bytes) that reads bytes as a browser reads them in a character set.
// node's TextDecoder is the browser's, but node 20 reads windows-1252 (and the names browsers read as it,
// such as us-ascii and iso-8859-1) as ISO-8859-1: the 27 bytes where the two differ are mapped here; it
// reads a Big5 lead byte below 0x87 with the byte after it as one private-use character; and it reads the
// Hong Kong pairs of Big5 as private-use characters (above).
inline std::string BrowserDecodeFunction()
{
    return "const W1252 = [0x20AC,0x81,0x201A,0x192,0x201E,0x2026,0x2020,0x2021,0x2C6,0x2030,0x160,0x2039,"
           "0x152,0x8D,0x17D,0x8F,0x90,0x2018,0x2019,0x201C,0x201D,0x2022,0x2013,0x2014,0x2DC,0x2122,0x161,"
           "0x203A,0x153,0x9D,0x17E,0x178];\n"
           "const BIG5_HK = " +
           Big5PrivateUseToBrowser() +
           ";\n"
           "function big5(s) { return Array.from(s, c => { const r = BIG5_HK[c.charCodeAt(0)];\n"
           "  return c.length == 1 && r !== undefined ? r : c; }).join(''); }\n"
           "function decode(label, bytes) {\n"
           "  const d = new TextDecoder(label);\n"
           "  if (d.encoding === 'big5') {\n"
           "    // A lead byte below 0x87 is no character: U+FFFD, and an ASCII byte after it is itself.\n"
           "    const b = Buffer.from(bytes); let out = '', run = 0;\n"
           "    for (let i = 0; i < b.length;) {\n"
           "      if (b[i] < 0x81 || b[i] == 0xFF) { ++i; continue; }\n"
           "      if (b[i] > 0x86) { i += 2; continue; }\n"
           "      out += big5(new TextDecoder(label).decode(b.subarray(run, i))) + '\\uFFFD';\n"
           "      ++i; if (i < b.length && b[i] >= 0x80) ++i; run = i;\n"
           "    }\n"
           "    return out + big5(new TextDecoder(label).decode(b.subarray(run)));\n"
           "  }\n"
           "  const s = d.decode(Buffer.from(bytes));\n"
           "  if (d.encoding !== 'windows-1252') return s;\n"
           "  return Array.from(s, c => { const n = c.charCodeAt(0);\n"
           "    return n >= 0x80 && n <= 0x9F ? String.fromCharCode(W1252[n - 0x80]) : c; }).join('');\n"
           "}\n";
}

// A file for node, removed with this object.
class CScriptFile
{
public:
    explicit CScriptFile(const std::string& strCode, const char* pszSuffix = ".js")
    {
        std::snprintf(m_szPath, sizeof(m_szPath), "/tmp/dlsw-page-check-XXXXXX%s", pszSuffix);
        const int fd = mkstemps(m_szPath, static_cast<int>(std::strlen(pszSuffix)));
        if (fd >= 0)
        {
            close(fd);
            std::ofstream(m_szPath, std::ios::binary) << strCode;
        }
    }
    ~CScriptFile() { std::remove(m_szPath); }
    CScriptFile(const CScriptFile&) = delete;
    CScriptFile& operator=(const CScriptFile&) = delete;
    std::string Path() const { return m_szPath; }

private:
    char m_szPath[64] = {};
};

// The page's bytes as the browser reads them in its character set, as UTF-8; empty when node fails.
inline std::string BrowserText(const std::string& strBytes, const std::string& strCharSet)
{
    const CScriptFile bytes(strBytes, ".bin");
    const CScriptFile program(BrowserDecodeFunction() + "process.stdout.write(decode(process.argv[2], "
                                                        "require('fs').readFileSync(process.argv[3])));\n");
    int nExit = 0;
    const std::string strText = RunCommand(
        "node '" + program.Path() + "' '" + strCharSet + "' '" + bytes.Path() + "' 2>/dev/null", nExit);
    return nExit == 0 ? strText : std::string();
}

// The script a javascript: URL runs, as the browser gets it from the attribute's value: tabs and line
// breaks dropped and the ends trimmed as a URL is parsed, the scheme taken off, then the percent escapes
// decoded; empty when the value is no javascript: URL.
inline std::string JavaScriptUrlCode(const std::string& strValue)
{
    std::string strURL;
    for (const char c : strValue)
    {
        if (c != '\t' && c != '\n' && c != '\r')
            strURL += c;
    }
    const auto IsC0OrSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!strURL.empty() && IsC0OrSpace(strURL.front()))
        strURL.erase(0, 1);
    while (!strURL.empty() && IsC0OrSpace(strURL.back()))
        strURL.pop_back();
    static const std::string s_scheme = "javascript:";
    if (strURL.size() < s_scheme.size())
        return {};
    for (size_t i = 0; i < s_scheme.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(strURL[i])) != s_scheme[i])
            return {};
    }
    std::string strCode;
    const auto Hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    for (size_t i = s_scheme.size(); i < strURL.size(); ++i)
    {
        if (strURL[i] == '%' && i + 2 < strURL.size() && Hex(strURL[i + 1]) && Hex(strURL[i + 2]))
        {
            strCode += static_cast<char>(std::stoi(strURL.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        else
            strCode += strURL[i];
    }
    return strCode;
}
// One piece of script the page holds: where it stands, and its code.
struct CScriptPiece
{
    std::string m_strWhere; // "script #2", "onclick of <a>", "href of <a>"
    std::string m_strCode;
};

inline void CollectScripts(xmlNode* pNode, std::vector<CScriptPiece>& vecOut, size_t& nScripts)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        const std::string strName = reinterpret_cast<const char*>(pNode->name);
        if (xmlStrcasecmp(pNode->name, BAD_CAST "script") == 0 && !xmlHasProp(pNode, BAD_CAST "src"))
        {
            xmlChar* pszText = xmlNodeGetContent(pNode);
            vecOut.push_back({"script #" + std::to_string(++nScripts),
                              pszText != nullptr ? reinterpret_cast<const char*>(pszText) : ""});
            xmlFree(pszText);
        }
        for (xmlAttr* pAttr = pNode->properties; pAttr != nullptr; pAttr = pAttr->next)
        {
            const std::string strAttr = reinterpret_cast<const char*>(pAttr->name);
            xmlChar* pszValue = xmlNodeListGetString(pNode->doc, pAttr->children, 1);
            const std::string strValue = pszValue != nullptr ? reinterpret_cast<const char*>(pszValue) : "";
            xmlFree(pszValue);
            const bool bHandler = strAttr.size() > 2 && (strAttr[0] == 'o' || strAttr[0] == 'O') &&
                                  (strAttr[1] == 'n' || strAttr[1] == 'N');
            if (bHandler)
                vecOut.push_back({strAttr + " of <" + strName + ">", strValue});
            else if (xmlStrcasecmp(pAttr->name, BAD_CAST "href") == 0 && !JavaScriptUrlCode(strValue).empty())
                vecOut.push_back({"href of <" + strName + ">", JavaScriptUrlCode(strValue)});
        }
        CollectScripts(pNode->children, vecOut, nScripts);
    }
}

// Script blocks without src, event-handler attributes and javascript: links of a page already decoded
// into UTF-8 (tests/support/PageDecode.h decodes in process, as a browser does).
inline std::vector<CScriptPiece> ScriptsOfText(const std::string& strPage)
{
    std::vector<CScriptPiece> vecOut;
    htmlDocPtr pDoc = htmlReadMemory(strPage.data(), static_cast<int>(strPage.size()), nullptr, "utf-8",
                                     HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (pDoc == nullptr)
        return vecOut;
    size_t nScripts = 0;
    CollectScripts(xmlDocGetRootElement(pDoc), vecOut, nScripts);
    xmlFreeDoc(pDoc);
    return vecOut;
}

// The same of a page in that character set, decoded by node as a browser does.
inline std::vector<CScriptPiece> ScriptsOf(const std::string& strBytes,
                                           const std::string& strCharSet = "utf-8")
{
    return ScriptsOfText(BrowserText(strBytes, strCharSet));
}

// (tag name in lower case, attribute count) of every element, in document order.
inline void CollectAttributeCounts(xmlNode* pNode, std::vector<std::pair<std::string, size_t>>& vecOut)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        size_t nCount = 0;
        for (xmlAttr* pAttr = pNode->properties; pAttr != nullptr; pAttr = pAttr->next)
            ++nCount;
        vecOut.emplace_back(reinterpret_cast<const char*>(pNode->name), nCount);
        CollectAttributeCounts(pNode->children, vecOut);
    }
}

inline std::vector<std::pair<std::string, size_t>> LibxmlAttributeCounts(const std::string& strPage)
{
    std::vector<std::pair<std::string, size_t>> vecOut;
    htmlDocPtr pDoc =
        htmlReadMemory(strPage.data(), static_cast<int>(strPage.size()), nullptr, "utf-8",
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_NOIMPLIED);
    if (pDoc == nullptr)
        return vecOut;
    CollectAttributeCounts(xmlDocGetRootElement(pDoc), vecOut);
    xmlFreeDoc(pDoc);
    return vecOut;
}

// What node says of the code: empty when it parses. A handler is checked as the body of the function a
// browser makes of it.
inline std::string NodeCheck(const std::string& strCode, bool bHandler)
{
    const CScriptFile file(bHandler ? "function handler(event) {\n" + strCode + "\n}\n" : strCode);
    int nExit = 0;
    const std::string strOutput = RunCommand("node --check '" + file.Path() + "' 2>&1", nExit);
    if (nExit == 0)
        return {};
    return strOutput.empty() ? "node did not run (is nodejs installed?)" : strOutput;
}

// Runs a script with node and returns what it prints, "" when node fails.
inline std::string NodeRun(const std::string& strCode)
{
    const CScriptFile file(strCode);
    int nExit = 0;
    const std::string strOutput = RunCommand("node '" + file.Path() + "' 2>/dev/null", nExit);
    return nExit == 0 ? strOutput : std::string();
}

// Hostile attachment names as OWA writes them into a page's text (its markup characters as references)
// and hostile attachment ids, in bytes: each is read in the page's character set, so the same bytes are a
// different name in each set. Double-byte characters ending in a backslash (Shift_JIS, Big5, GBK), lone
// lead bytes before a backslash or a quote, percent escapes that a javascript: URL would decode, quotes,
// line breaks and the end of a script.
inline const std::vector<std::string>& HostileNames()
{
    static const std::vector<std::string> s_vec = {
        "x%22);alert(document.domain);//.txt",
        "%27 %25 %5C %0A",
        "say &quot;hi&quot; it's",
        "&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;",
        "back\\slash\\",
        "line&#x2028;sep",
        "A\x81\\&quot;,alert(1)//",
        "B\xA5\\',alert(1)//",
        "\x8C\xA9\x90\xCF\x95\x5C", // Shift_JIS: a quotation list, its last character ending in 0x5C
        "\x95\x5C&lt;b&gt;.pdf",    // Shift_JIS: a table before markup
        "\xA5\x5C\xB3\x5C",         // Big5: two characters ending in 0x5C
        "\x81\x5C\x81&quot;\x81'",  // GBK: one ending in 0x5C, then lead bytes before quotes
        "caf\xC3\xA9 \xE9\x80",     // UTF-8, then windows-1252
    };
    return s_vec;
}

inline const std::vector<std::string>& HostileIDs()
{
    static const std::vector<std::string> s_vec = {
        "x\");alert(document.domain);//",
        "%22%27%25%5C%0A",
        "a'b\\c\nd",
        "</script><script>x()//",
        "A\x81\\",
        "B\xA5\\",
        "\x95\x5C",
        "line\xE2\x80\xA8sep",
    };
    return s_vec;
}

// A JavaScript function html(s) that reads the character references of text as a browser does (those the
// hostile values hold).
inline std::string HtmlDecodeFunction()
{
    return "function html(s) {\n"
           "  return s.replace(/&(#x[0-9a-f]+|#[0-9]+|lt|gt|amp|quot);/gi, (m, r) =>\n"
           "    r[0] !== '#' ? {lt: '<', gt: '>', amp: '&', quot: '\"'}[r.toLowerCase()]\n"
           "    : String.fromCodePoint(parseInt(r[1] === 'x' ? r.slice(2) : r.slice(1), r[1] === 'x' ? 16 : "
           "10)));\n"
           "}\n";
}

// A JSON string of UTF-8 text.
inline std::string JsonString(const std::string& strText)
{
    std::string strOut = "\"";
    for (const char c : strText)
    {
        if (c == '"' || c == '\\')
            strOut += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
        {
            char szEscape[8];
            std::snprintf(szEscape, sizeof(szEscape), "\\u%04X", static_cast<unsigned>(c));
            strOut += szEscape;
        }
        else
            strOut += c;
    }
    return strOut + "\"";
}

// A JSON array of the bytes of a text.
inline std::string JsonBytes(const std::string& strBytes)
{
    std::string strOut = "[";
    for (const char c : strBytes)
        strOut += (strOut.size() > 1 ? "," : "") + std::to_string(static_cast<unsigned char>(c));
    return strOut + "]";
}

// Runs the page's pieces of script in node as a browser runs them, in document order: a script block as
// global code, an event handler as the body of a function of event, a javascript: link as global code.
// The prelude stubs the functions they call; a piece that throws (a SyntaxError above all) adds
// ["error", where, message] to the prelude's array calls. What node prints after the epilogue ran is
// returned.
inline std::string NodeRunPieces(const std::vector<CScriptPiece>& vecPieces, const std::string& strPrelude,
                                 const std::string& strEpilogue)
{
    std::string strProgram = BrowserDecodeFunction() + strPrelude + "\nconst pieces = [\n";
    for (const CScriptPiece& piece : vecPieces)
    {
        const char* pszKind = piece.m_strWhere.rfind("script #", 0) == 0  ? "script"
                              : piece.m_strWhere.rfind("href of", 0) == 0 ? "url"
                                                                          : "handler";
        strProgram += "[\"" + std::string(pszKind) + "\"," + JsonString(piece.m_strWhere) + "," +
                      JsonString(piece.m_strCode) + "],\n";
    }
    strProgram += "];\n"
                  "for (const [kind, where, code] of pieces) {\n"
                  "  try {\n"
                  "    if (kind === 'handler') new Function('event', code).call({style: {}, parentNode: {}}, "
                  "{button: 0});\n"
                  "    else (0, eval)(code);\n"
                  "  } catch (e) { calls.push(['error', where, String(e)]); }\n"
                  "}\n" +
                  strEpilogue;
    // Run as a classic script, as a page's scripts run: its declarations are the global ones the pieces see.
    const CScriptFile file(strProgram);
    const CScriptFile runner("require('vm').runInThisContext(require('fs').readFileSync(process.argv[2], "
                             "'utf8'), {filename: process.argv[2]});\n");
    int nExit = 0;
    const std::string strOutput =
        RunCommand("node '" + runner.Path() + "' '" + file.Path() + "' 2>&1", nExit);
    return nExit == 0 ? strOutput : "node failed: " + strOutput;
}
} // namespace page_checks
