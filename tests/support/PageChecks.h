// Checks of a rewritten page as a browser would read it: every script block and event handler must be
// JavaScript that node accepts, and every tag must have the attributes our parser and libxml2's HTML
// parser both see (an attribute left open would swallow the tags after it in one of them).
// Link with libxml2; the JavaScript check needs node on PATH (scripts/install-deps installs nodejs).
#pragma once

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace page_checks
{
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
            else if ((strAttr == "href" || strAttr == "HREF") && strValue.rfind("javascript:", 0) == 0)
                vecOut.push_back({"href of <" + strName + ">", strValue.substr(11)});
        }
        CollectScripts(pNode->children, vecOut, nScripts);
    }
}

// Script blocks without src, event-handler attributes and javascript: links, decoded as a browser does.
inline std::vector<CScriptPiece> ScriptsOf(const std::string& strPage)
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

// The standard output of a shell command, and its exit code (-1 when it did not run).
inline std::string RunCommand(const std::string& strCommand, int& nExit)
{
    std::string strOutput;
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (pPipe == nullptr)
    {
        nExit = -1;
        return strOutput;
    }
    std::array<char, 4096> buffer{};
    size_t nRead = 0;
    while ((nRead = std::fread(buffer.data(), 1, buffer.size(), pPipe)) > 0)
        strOutput.append(buffer.data(), nRead);
    const int nStatus = pclose(pPipe);
    nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    return strOutput;
}

// A script in a temporary file for node, removed with this object.
class CScriptFile
{
public:
    explicit CScriptFile(const std::string& strCode)
    {
        const int fd = mkstemps(m_szPath, 3);
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
    char m_szPath[40] = "/tmp/dlsw-page-check-XXXXXX.js";
};

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
} // namespace page_checks
