// Pages cut off anywhere, rewritten by the worker loaded through the host: every element the worker inserts
// must stand where our parser and libxml2's both read it as an element (never inside a tag, an attribute
// value, a comment or a script the cut left open), and the page keeps all of its own text but for what the
// worker removes from the whole page too.
#include "host/RawRequest.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "tests/integration/AuthTreeSupport.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
using namespace auth_tree;

const fs::path SAMPLES = fs::path(DLSW_SOURCE_DIR) / "samples" / "pages";
const fs::path REQUESTS = fs::path(DLSW_SOURCE_DIR) / "samples" / "requests";

constexpr size_t CUT_STEP = 7;

// Every element libxml2 makes of a page, as its name and attributes: a multiset to count them by.
void LibxmlElements(xmlNode* pNode, std::map<std::string, size_t>& mapOut)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        std::string strKey = reinterpret_cast<const char*>(pNode->name);
        for (xmlAttr* pAttr = pNode->properties; pAttr != nullptr; pAttr = pAttr->next)
        {
            xmlChar* pszValue = xmlNodeListGetString(pNode->doc, pAttr->children, 1);
            strKey += std::string(" ") + reinterpret_cast<const char*>(pAttr->name) + "=" +
                      (pszValue != nullptr ? reinterpret_cast<const char*>(pszValue) : "");
            xmlFree(pszValue);
        }
        ++mapOut[strKey];
        LibxmlElements(pNode->children, mapOut);
    }
}

std::map<std::string, size_t> LibxmlElements(const std::string& strText)
{
    std::map<std::string, size_t> mapOut;
    htmlDocPtr pDoc =
        htmlReadMemory(strText.data(), static_cast<int>(strText.size()), nullptr, "utf-8",
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_NOIMPLIED);
    if (pDoc != nullptr)
    {
        LibxmlElements(xmlDocGetRootElement(pDoc), mapOut);
        xmlFreeDoc(pDoc);
    }
    return mapOut;
}

bool ContainsTag(std::string strText, const std::string& strOpen)
{
    for (char& c : strText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strText.find(strOpen) != std::string::npos;
}

// (position, lower-case name) of every start tag our parser finds.
std::set<std::pair<size_t, std::string>> OurStartTags(const std::string& strText)
{
    std::set<std::pair<size_t, std::string>> setOut;
    CSource source(strText.data(), 0, strText.size());
    for (CTag* pTag : source.fullSequentialParse())
    {
        if (!pTag->isStartTag())
            continue;
        std::string strName = FromCi(static_cast<CStartTag*>(pTag)->getName());
        if (strName.empty() || !std::isalpha(static_cast<unsigned char>(strName[0])))
            continue;
        for (char& c : strName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        setOut.emplace(static_cast<size_t>(pTag->m_nBegin), strName);
    }
    return setOut;
}

// One insert as it stands in the page the host sent.
struct CPlacedInsert
{
    size_t m_nOutPos;
    std::string m_strText;
};

// The page the host's instructions make of the body, rebuilt apart from the host (inserts at one place go
// out in the reverse of their order in the list, as the host applies them), with where each insert landed.
std::string Rebuild(const std::string& strBody, const std::vector<CHostInstruction>& vecInstructions,
                    std::vector<CPlacedInsert>& vecPlaced)
{
    std::string strOut;
    std::vector<const CHostInstruction*> vecRun;
    size_t nCursor = 0;
    const auto Flush = [&]()
    {
        for (auto it = vecRun.rbegin(); it != vecRun.rend(); ++it)
        {
            vecPlaced.push_back({strOut.size(), (*it)->m_strText});
            strOut += (*it)->m_strText;
        }
        vecRun.clear();
    };
    for (const CHostInstruction& instruction : vecInstructions)
    {
        const auto nPos = static_cast<size_t>(instruction.m_llPosition);
        if (nPos != nCursor)
        {
            Flush();
            strOut += strBody.substr(nCursor, nPos - nCursor);
        }
        nCursor = nPos;
        if (instruction.m_dwKind == 0)
            vecRun.push_back(&instruction);
        else
        {
            Flush();
            nCursor = nPos + instruction.m_dwLength;
        }
    }
    Flush();
    strOut += strBody.substr(std::min(nCursor, strBody.size()));
    return strOut;
}

struct CPageCase
{
    const char* m_pszPage;
    const char* m_pszRequest;     // the sample request whose headers go with it
    const char* m_pszRequestLine; // null: the sample's own
    // The attach buttons removed where a page has them; elsewhere enabled, as the attach-file dialog and
    // the attachment manager are refused otherwise.
    DWORD m_dwSet = SET_ALLOWED;
};

class CutOffPagesEndToEnd : public CAuthTreeTest
{
protected:
    static void SetUpTestSuite() { LoadWorker(); }
    static void TearDownTestSuite() { UnloadWorker(); }

    static CHostResult Send(const CPageCase& c, const std::string& strBody)
    {
        std::string strRaw = ReadFileText((REQUESTS / c.m_pszRequest).string());
        if (strRaw.find("\r\n") == std::string::npos)
        {
            for (size_t n = 0; (n = strRaw.find('\n', n)) != std::string::npos; n += 2)
                strRaw.insert(n, "\r");
        }
        if (c.m_pszRequestLine != nullptr)
            strRaw = c.m_pszRequestLine + strRaw.substr(strRaw.find("\r\n"));
        // The viewer's pages are rewritten only when the request carries its caching prefix.
        if (strRaw.find("KS_CSMPREFIX") == std::string::npos)
            strRaw.insert(strRaw.find("\r\n") + 2, "KS_CSMPREFIX: csm01/\r\n");
        CHostRequest request;
        std::string strError;
        EXPECT_TRUE(RawRequest::Parse(strRaw, request.m_raw, strError)) << strError;
        request.m_dwCriteriaID = c.m_dwSet;
        request.m_strClientAddress = OUTSIDE;
        request.m_strUser = "EXAMPLE\\alice";
        request.m_strResponseBody = strBody;
        request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
        return s_pHost->Process(request);
    }
};

using Delete = std::pair<long long, DWORD>;

std::set<Delete> DeletesOf(const CHostResult& result)
{
    std::set<Delete> setOut;
    for (const CHostInstruction& instruction : result.m_vecInstructions)
    {
        if (instruction.m_dwKind != 0)
            setOut.emplace(instruction.m_llPosition, instruction.m_dwLength);
    }
    return setOut;
}

TEST_F(CutOffPagesEndToEnd, InsertedElementsStayElementsAndThePageKeepsItsText)
{
    const CPageCase aCases[] = {
        {"premium-read-item.html", "15-premium-read-page.http", nullptr},
        {"premium-read-item-hostile-names.html", "15-premium-read-page.http", nullptr},
        {"premium-edit-item.html", "16-premium-edit-page.http", nullptr, SET_BUTTONS_2},
        {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http", nullptr},
        {"premium-attach-file-dialog-result.html", "18-premium-attach-file-dialog-post.http", nullptr},
        // The list left after a delete has no item id to hash, so its attachments must not be downloadable.
        {"premium-delete-attachment.html", "10-premium-delete-attachment.http", nullptr, SET_HASHES},
        {"premium-document-view.html", "21-premium-document-view.http", nullptr},
        {"premium-document-view-sort.html", "22-premium-document-view-sort.http", nullptr},
        {"force-save-error.html", "23-document-view-force-save.http", nullptr},
        {"basic-read-item.html", "19-basic-read-page.http", nullptr},
        {"basic-edit-item.html", "20-basic-edit-page.http", nullptr, SET_BUTTONS_2},
        {"basic-attachment-manager.html", "03-basic-attachment-manager.http", nullptr},
        {"basic-calendar-scheduling-tab.html", "19-basic-read-page.http",
         "GET /owa/?ae=Item&t=IPM.Appointment&id=RgAAAADs4ZfQ HTTP/1.1", SET_BUTTONS_2},
    };
    size_t nPages = 0;
    size_t nAllRewritten = 0;
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszPage);
        const std::string strPage = ReadFileText((SAMPLES / c.m_pszPage).string());
        ASSERT_FALSE(strPage.empty());
        ++nPages;
        // What the worker removes from the whole page; a cut-off page may lose no more.
        const CHostResult wholePage = Send(c, strPage);
        // The whole page is the worker's to rewrite, or this case would show nothing.
        EXPECT_TRUE(wholePage.m_bInstructionsSubmitted || wholePage.m_bBodyReplaced);
        const std::set<Delete> setWholeDeletes = DeletesOf(wholePage);
        size_t nRewritten = 0;
        for (size_t nCut = CUT_STEP; nCut < strPage.size(); nCut += CUT_STEP)
        {
            SCOPED_TRACE("cut at " + std::to_string(nCut));
            const std::string strBody = strPage.substr(0, nCut);
            const CHostResult result = Send(c, strBody);
            ASSERT_TRUE(result.m_strSubmitError.empty()) << result.m_strSubmitError;
            if (result.m_bBodyReplaced)
            {
                // The force-save page is replaced by a redirect, which is no page of its own.
                EXPECT_EQ(result.m_strBody.rfind("HTTP/1.1 302 Object Moved\r\n", 0), 0u);
                continue;
            }
            if (!result.m_bInstructionsSubmitted)
            {
                EXPECT_EQ(result.m_strBody, strBody);
                continue;
            }
            ++nRewritten;
            std::vector<CPlacedInsert> vecPlaced;
            ASSERT_EQ(Rebuild(strBody, result.m_vecInstructions, vecPlaced), result.m_strBody);
            const std::string& strSent = result.m_strBody;
            // Whatever the worker removes from a cut-off page, it removes from the whole page too.
            for (const Delete& removed : DeletesOf(result))
            {
                const bool bWithin =
                    std::any_of(setWholeDeletes.begin(), setWholeDeletes.end(),
                                [&](const Delete& whole) {
                                    return whole.first <= removed.first &&
                                           removed.first + removed.second <= whole.first + whole.second;
                                });
                EXPECT_TRUE(bWithin) << "removed " << removed.second << " bytes at " << removed.first << ": "
                                     << strBody.substr(static_cast<size_t>(removed.first), removed.second);
            }

            // The page without the inserts, and each insert's own elements, as both parsers read them.
            std::string strBase = strSent;
            for (auto it = vecPlaced.rbegin(); it != vecPlaced.rend(); ++it)
                strBase.erase(it->m_nOutPos, it->m_strText.size());
            // Each element an insert holds must be one more of its kind than the page has without the
            // inserts.
            const std::map<std::string, size_t> mapBase = LibxmlElements(strBase);
            std::map<std::string, size_t> mapExpected;
            const std::set<std::pair<size_t, std::string>> setOurs = OurStartTags(strSent);
            for (const CPlacedInsert& insert : vecPlaced)
            {
                for (const auto& element : LibxmlElements(insert.m_strText))
                {
                    // libxml2 wraps text that stands alone in a paragraph of its own making.
                    if (element.first == "p" && !ContainsTag(insert.m_strText, "<p"))
                        continue;
                    const auto itBase = mapBase.find(element.first);
                    auto& nCount = mapExpected[element.first];
                    if (nCount == 0 && itBase != mapBase.end())
                        nCount = itBase->second;
                    nCount += element.second;
                }
                for (const auto& tag : OurStartTags(insert.m_strText))
                {
                    EXPECT_EQ(setOurs.count({insert.m_nOutPos + tag.first, tag.second}), 1u)
                        << "our parser does not read <" << tag.second << "> of " << insert.m_strText
                        << " as a tag in\n"
                        << strSent;
                }
            }
            const std::map<std::string, size_t> mapSent = LibxmlElements(strSent);
            for (const auto& expected : mapExpected)
            {
                const auto it = mapSent.find(expected.first);
                EXPECT_GE(it == mapSent.end() ? 0u : it->second, expected.second)
                    << "libxml2 does not read " << expected.first << " as an element in\n"
                    << strSent;
            }
        }
        std::printf("%s: %zu of %zu cuts rewritten\n", c.m_pszPage, nRewritten, strPage.size() / CUT_STEP);
        nAllRewritten += nRewritten;
    }
    // Most cuts of most pages leave something to rewrite.
    EXPECT_GT(nAllRewritten, 500u);
    EXPECT_EQ(nPages, 13u);
}
} // namespace
