// OWA Basic pages rewritten end to end: the worker loaded by the host from an installation whose settings
// sets are the rows of the authentication tables, OWA's settings read from a real directory server (direct
// file access on for private computers), each page sent through send raw data and the page the host sends
// compared whole with its golden copy. The links the pages carry are then followed back through the host's
// download decision.
#include "forms/PageEscape.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "tests/directory/SlapdServer.h"
#include "tests/integration/AuthTreeSupport.h"
#include "tests/support/PageChecks.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{
using namespace auth_tree;

const fs::path FIXTURES = fs::path(DLSW_SOURCE_DIR) / "tests" / "fixtures" / "pages" / "basic";
const fs::path SAMPLES = fs::path(DLSW_SOURCE_DIR) / "samples" / "pages";

constexpr const char* FIREFOX = "Mozilla/5.0 (X11; Linux x86_64; rv:45.0) Gecko/20100101 Firefox/45.0";
constexpr const char* MAC_SAFARI =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_6_8) AppleWebKit/534.59 (KHTML, like Gecko) Safari/534.59";

using page_checks::RunCommand;

// What the host's tool reported of one request, and the page it sent.
struct CToolRun
{
    std::string m_strJson;
    std::string m_strSent;

    bool Has(const std::string& strText) const { return m_strJson.find(strText) != std::string::npos; }
    // The whole list went to the host and its applier took it.
    bool ListApplied() const
    {
        return Has("\"instructions_submitted\":true") && Has("\"submit_result\":0") &&
               Has("{\"type\":1024,\"name\":\"send raw data\",\"code\":0,");
    }
    std::string AuthCompleteControl() const
    {
        std::smatch m;
        static const std::regex s_auth("\"name\":\"authentication complete\",\"code\":[0-9]+,"
                                       "\"control_message\":\"([^\"]*)\"");
        return std::regex_search(m_strJson, m, s_auth) ? m[1].str() : std::string();
    }
};

// The tree of the authentication tables (one settings set per criteria id), driven by the host's tool
// with OWA's settings from a slapd the test starts.
class BasicPagesEndToEnd : public CAuthTreeTest
{
protected:
    static void SetUpTestSuite()
    {
        s_pServer = new CSlapdServer();
        std::string strError;
        ASSERT_TRUE(s_pServer->Start(strError)) << strError;
        LoadWorker();
    }
    static void TearDownTestSuite()
    {
        UnloadWorker();
        delete s_pServer;
        s_pServer = nullptr;
    }

    // One request through the host's tool; with a page, OWA's answer to it.
    static CToolRun RunTool(const std::string& strMethod, const std::string& strURL, DWORD dwCriteriaID,
                            const std::string& strPage, const char* pszUserAgent = FIREFOX,
                            const std::string& strHost = "mail.example.test",
                            const std::string& strContentType = "")
    {
        static int s_nRun = 0;
        const fs::path dir = s_parent / ("run-" + std::to_string(++s_nRun));
        fs::create_directories(dir);
        WriteFile(dir / "request.http", strMethod + " " + strURL + " HTTP/1.1\r\nHost: " + strHost + "\r\n" +
                                            "User-Agent: " + pszUserAgent +
                                            "\r\nKS_CSMPREFIX: c4f2a9/\r\n\r\n");
        std::string strPageArgs;
        if (!strPage.empty())
        {
            WriteFile(dir / "page.html", strPage);
            strPageArgs =
                " --body '" + (dir / "page.html").string() + "' --out '" + (dir / "sent.html").string() + "'";
            if (!strContentType.empty())
                strPageArgs += " --response-header 'Content-Type: " + strContentType + "'";
        }
        const DirectoryServerConfig directory = s_pServer->MachineDirectory();
        int nExit = 0;
        CToolRun run;
        run.m_strJson = RunCommand(
            std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + (s_parent / "install").string() +
                "' --user 'EXAMPLE\\alice' --client-ip " + OUTSIDE + " --criteria-id " +
                std::to_string(dwCriteriaID) + " --directory '" + directory.m_sUri + "' --directory-bind '" +
                directory.m_sBindDN + "' --directory-password-file '" + directory.m_sBindPasswordFile +
                "' --computer-name mail01.example.test" + strPageArgs + " '" +
                (dir / "request.http").string() + "'",
            nExit);
        EXPECT_EQ(nExit, 0) << run.m_strJson;
        if (!strPage.empty())
            run.m_strSent = ReadFileText((dir / "sent.html").string());
        return run;
    }

    inline static CSlapdServer* s_pServer = nullptr;
};

// Writes the golden copy instead of comparing when DLSW_UPDATE_GOLDEN is set (to look at the change with
// git diff afterwards).
void ExpectGolden(const std::string& strPage, const std::string& strGolden)
{
    const fs::path path = FIXTURES / strGolden;
    if (std::getenv("DLSW_UPDATE_GOLDEN") != nullptr)
        WriteFile(path, strPage);
    EXPECT_EQ(strPage, ReadFileText(path.string())) << "golden " << strGolden;
}

struct PageCase
{
    const char* m_pszName;
    const char* m_pszMethod;
    std::string m_strURL;
    DWORD m_dwCriteriaID;
    fs::path m_page;
    const char* m_pszGolden; // null: the page goes out as OWA sent it
    const char* m_pszUserAgent = FIREFOX;
};

const std::vector<PageCase>& PageCases()
{
    static const std::vector<PageCase> s_vecCases = {
        // The item id from each of its three sources; an item opened inside another carries its chain of
        // attachment ids, which the item-id variable lists.
        {"read, id from the request", "GET",
         "/owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ&attcnt=1&attid0=BAAAAAAE", SET_HASHES,
         SAMPLES / "basic-read-item.html", "read-item-request-id.html"},
        {"read, id from the hidden input", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=Other",
         SET_HASHES, SAMPLES / "basic-read-item.html", "read-item-hidden-input.html"},
        {"read, id from the attachment link", "POST", "/owa/?ae=Item&a=SaveClose&t=IPM.Note", SET_HASHES,
         SAMPLES / "basic-read-item.html", "read-item-save-close.html"},
        {"read, Mac client", "GET", "/owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ", SET_HASHES,
         SAMPLES / "basic-read-item.html", "read-item-mac.html", MAC_SAFARI},
        {"edit, buttons enabled", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ",
         SET_ALLOWED, SAMPLES / "basic-edit-item.html", "edit-item-level-0.html"},
        {"edit, buttons disabled", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ",
         SET_BUTTONS_1, SAMPLES / "basic-edit-item.html", "edit-item-level-1.html"},
        {"edit, buttons removed", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ",
         SET_BUTTONS_2, SAMPLES / "basic-edit-item.html", "edit-item-level-2.html"},
        {"edit, invalid level: the page as OWA sent it", "GET",
         "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ", SET_BUTTONS_3,
         SAMPLES / "basic-edit-item.html", nullptr},
        // An attachments link inside the divider cell goes with the cell; the content link is the one after.
        {"edit, buttons removed, a link inside the divider", "GET",
         "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ", SET_BUTTONS_2,
         FIXTURES / "edit-item-link-in-divider.html", "edit-item-link-in-divider.out.html"},
        {"scheduling tab, buttons disabled", "GET", "/owa/?ae=Item&t=IPM.Appointment&id=RgAAAADs4ZfQ",
         SET_BUTTONS_1, SAMPLES / "basic-calendar-scheduling-tab.html", "scheduling-tab-level-1.html"},
        {"scheduling tab, buttons removed", "GET", "/owa/?ae=Item&t=IPM.Appointment&id=RgAAAADs4ZfQ",
         SET_BUTTONS_2, SAMPLES / "basic-calendar-scheduling-tab.html", "scheduling-tab-level-2.html"},
        {"attachment manager with blocked extensions", "POST",
         "/owa/?ae=PreFormAction&a=Attach&t=IPM.Note&id=RgAAAADs4ZfQ", SET_HASHES_BLOCKED_LIST,
         SAMPLES / "basic-attachment-manager.html", "attachment-manager.html"},
    };
    return s_vecCases;
}

TEST_F(BasicPagesEndToEnd, GoldenPages)
{
    for (const PageCase& c : PageCases())
    {
        SCOPED_TRACE(c.m_pszName);
        const std::string strPage = ReadFileText(c.m_page.string());
        ASSERT_FALSE(strPage.empty()) << c.m_page;
        const CToolRun run = RunTool(c.m_pszMethod, c.m_strURL, c.m_dwCriteriaID, strPage, c.m_pszUserAgent);
        if (c.m_pszGolden == nullptr)
        {
            EXPECT_TRUE(run.Has("\"instructions_submitted\":false")) << run.m_strJson;
            EXPECT_EQ(run.m_strSent, strPage);
            continue;
        }
        EXPECT_TRUE(run.ListApplied()) << run.m_strJson;
        ExpectGolden(run.m_strSent, c.m_pszGolden);
    }
}

// An attach button that shares its toolbar cell with another control goes alone at level 2: the cell, the
// other control and the divider stay, the content link goes, and the rest of the page is rewritten.
TEST_F(BasicPagesEndToEnd, AnAttachButtonThatSharesItsCellIsRemovedAlone)
{
    const std::string strSend =
        "<a id=\"lnkHdrsend\" href=\"#\" onclick=\"return onClkTb('send');\">Send</a>";
    std::string strPage = ReadFileText((SAMPLES / "basic-edit-item.html").string());
    const size_t nCellEnd = strPage.find("alt=\"Attach\"></a></td>");
    ASSERT_NE(nCellEnd, std::string::npos);
    strPage.insert(nCellEnd + std::string("alt=\"Attach\"></a>").size(), " " + strSend);
    const CToolRun run =
        RunTool("GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=RgAAAADs4ZfQ", SET_BUTTONS_2, strPage);
    EXPECT_TRUE(run.ListApplied()) << run.m_strJson;
    EXPECT_EQ(run.m_strSent.find("attachfile"), std::string::npos) << run.m_strSent;
    EXPECT_NE(
        run.m_strSent.find("<table class=\"tb\"><tr>\n<td class=\"tbBtn\"> " + strSend +
                           "</td>\n<td class=\"dv\"><img src=\"/owa/8.1.240.5/themes/base/dv.gif\"></td>"),
        std::string::npos)
        << run.m_strSent;
    EXPECT_EQ(run.m_strSent.find("Attachments..."), std::string::npos);
    // The attachments got the viewer's links as on any edit page.
    EXPECT_NE(run.m_strSent.find("f_KSDLOnMouseDown(event,"), std::string::npos) << run.m_strSent;
}

// The literal of a script string as node reads it.
std::string JSValue(const std::string& strLiteral)
{
    return page_checks::NodeRun("process.stdout.write(\"" + strLiteral + "\")");
}

struct CLink
{
    std::string m_strAttID;
    std::string m_strAttHash;
};

// What the viewer's scripts read off a rewritten page: the item's ids, its hash and each attachment's id
// and hash from its mouse-down call.
struct CPageLinks
{
    std::vector<std::string> m_vecItemIDs; // the item id, then the chain of attachment ids
    std::string m_strItemHash;
    std::vector<CLink> m_vecLinks;
};

CPageLinks LinksOf(const std::string& strPage)
{
    CPageLinks links;
    std::smatch m;
    if (std::regex_search(strPage, m, std::regex("var g_sKSDLItemID=\"([^\"]*)\";")))
        links.m_vecItemIDs.push_back(JSValue(m[1]));
    else if (std::regex_search(strPage, m, std::regex("var g_oKSDLItemIDAttIDs=new Array\\(\"(.*)\"\\);")))
    {
        const std::string strList = m[1];
        size_t nPos = 0;
        for (size_t nNext = 0; (nNext = strList.find("\",\"", nPos)) != std::string::npos; nPos = nNext + 3)
            links.m_vecItemIDs.push_back(JSValue(strList.substr(nPos, nNext - nPos)));
        links.m_vecItemIDs.push_back(JSValue(strList.substr(nPos)));
    }
    if (std::regex_search(strPage, m, std::regex("var g_sKSDLItemIDHash=\"([0-9]*)\";")))
        links.m_strItemHash = m[1];
    const std::regex call("f_KSDLOnMouseDown\\(event,\"[^\"]*\",\"([^\"]*)\",\"([0-9]*)\"");
    for (auto it = std::sregex_iterator(strPage.begin(), strPage.end(), call); it != std::sregex_iterator();
         ++it)
        links.m_vecLinks.push_back({JSValue((*it)[1]), (*it)[2]});
    return links;
}

// The download the viewer makes of one attachment link: the item, the chain of ids ending in this
// attachment, and both hashes.
std::string DownloadURL(const CPageLinks& links, const std::string& strAttID, const std::string& strAttHash)
{
    std::string strURL =
        "/owa/attachment.ashx?attach=1&id=" + CPageEscape::UrlComponent(links.m_vecItemIDs[0]);
    const size_t nCount = links.m_vecItemIDs.size();
    strURL += "&attcnt=" + std::to_string(nCount);
    for (size_t i = 1; i < nCount; ++i)
        strURL += "&attid" + std::to_string(i - 1) + "=" + CPageEscape::UrlComponent(links.m_vecItemIDs[i]);
    strURL += "&attid" + std::to_string(nCount - 1) + "=" + CPageEscape::UrlComponent(strAttID);
    return strURL + "&midh=" + links.m_strItemHash + "&aidh=" + strAttHash;
}

TEST_F(BasicPagesEndToEnd, EveryRewrittenLinkDownloadsAtLevelTwoAndATamperedOneIsRefused)
{
    const struct
    {
        const char* m_pszName;
        const char* m_pszMethod;
        std::string m_strURL;
        fs::path m_page;
        size_t m_nLinks;
    } aPages[] = {
        {"read, id and chain from the request", "GET",
         "/owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ&attcnt=1&attid0=BAAAAAAE",
         SAMPLES / "basic-read-item.html", 2},
        {"read, id from the hidden input", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note&id=Other",
         SAMPLES / "basic-read-item.html", 2},
        {"read, id from the attachment link", "POST", "/owa/?ae=Item&a=SaveClose&t=IPM.Note",
         SAMPLES / "basic-read-item.html", 2},
        {"edit item", "GET", "/owa/?ae=PreFormAction&a=Reply&t=IPM.Note", SAMPLES / "basic-edit-item.html",
         1},
        {"attachment manager", "POST", "/owa/?ae=PreFormAction&a=Attach&t=IPM.Note",
         SAMPLES / "basic-attachment-manager.html", 1},
        {"names that fight back", "GET", "/owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ",
         FIXTURES / "hostile-names.html", 6},
    };
    for (const auto& p : aPages)
    {
        SCOPED_TRACE(p.m_pszName);
        const CToolRun page = RunTool(p.m_pszMethod, p.m_strURL, SET_HASHES, ReadFileText(p.m_page.string()));
        ASSERT_TRUE(page.ListApplied()) << page.m_strJson;
        const CPageLinks links = LinksOf(page.m_strSent);
        ASSERT_FALSE(links.m_vecItemIDs.empty());
        ASSERT_FALSE(links.m_strItemHash.empty()) << "Open or Save is usable, so the item hash is there";
        ASSERT_EQ(links.m_vecLinks.size(), p.m_nLinks);
        for (const CLink& link : links.m_vecLinks)
        {
            SCOPED_TRACE(link.m_strAttID);
            ASSERT_FALSE(link.m_strAttHash.empty());
            const std::string strURL = DownloadURL(links, link.m_strAttID, link.m_strAttHash);
            const CToolRun allowed = RunTool("GET", strURL, SET_HASHES, "");
            EXPECT_EQ(allowed.AuthCompleteControl(), "Ignore") << strURL << allowed.m_strJson;
            EXPECT_FALSE(allowed.Has("You are not authorized")) << allowed.m_strJson;
            // Let through with its hash parameters taken off.
            std::smatch m;
            ASSERT_TRUE(std::regex_search(
                allowed.m_strJson, m,
                std::regex("\"request_headers_set\":\\[\\{\"name\":\"URL\",\"value\":\"([^\"]*)\"")))
                << allowed.m_strJson;
            EXPECT_EQ(m[1].str().find("midh="), std::string::npos);
            EXPECT_EQ(m[1].str().find("aidh="), std::string::npos);

            // One character of the attachment id changed: its hash no longer fits.
            std::string strTampered = link.m_strAttID;
            strTampered.back() = strTampered.back() == 'A' ? 'B' : 'A';
            const CToolRun refused =
                RunTool("GET", DownloadURL(links, strTampered, link.m_strAttHash), SET_HASHES, "");
            EXPECT_EQ(refused.AuthCompleteControl(), "Completed") << refused.m_strJson;
            EXPECT_TRUE(refused.Has("You are not authorized to view this file.")) << refused.m_strJson;
        }
    }
}

// (lower-case tag name, attribute count) of the start tags our parser finds, in order.
std::vector<std::pair<std::string, size_t>> OurAttributeCounts(std::string strPage)
{
    std::vector<std::pair<std::string, size_t>> vecOut;
    CSource source(strPage.data(), 0, strPage.size());
    for (CTag* pTag : source.fullSequentialParse())
    {
        auto* pStartTag = dynamic_cast<CStartTag*>(pTag);
        if (pStartTag == nullptr)
            continue;
        std::string strName = FromCi(pStartTag->getName());
        for (char& ch : strName)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        CAttributes* pAttributes = pStartTag->getAttributes();
        vecOut.emplace_back(strName, pAttributes != nullptr ? pAttributes->size() : 0);
    }
    return vecOut;
}

std::vector<std::pair<std::string, size_t>> OnlyTags(const std::vector<std::pair<std::string, size_t>>& vecIn)
{
    static const std::set<std::string> s_setNames = {"a",     "img",    "span", "div",
                                                     "input", "script", "link", "form"};
    std::vector<std::pair<std::string, size_t>> vecOut;
    for (const auto& tag : vecIn)
    {
        if (s_setNames.count(tag.first) != 0)
            vecOut.push_back(tag);
    }
    return vecOut;
}

TEST_F(BasicPagesEndToEnd, HostileNamesAndACraftedRequestIdStayText)
{
    const std::string strCraftedID = "\");alert(1)//</script>'\\";
    const std::string strURL = "/owa/?ae=Item&t=IPM.Note&id=" + CPageEscape::UrlComponent(strCraftedID) +
                               "&attcnt=1&attid0=%27%29%3B";
    const std::string strInput = ReadFileText((FIXTURES / "hostile-names.html").string());
    // The Host header goes into the root URL's literal.
    const CToolRun run = RunTool("GET", strURL, SET_HASHES, strInput, FIREFOX, "m\"</script><script>x()//");
    ASSERT_TRUE(run.ListApplied()) << run.m_strJson;
    const std::string& strPage = run.m_strSent;
    ExpectGolden(strPage, "hostile-names.out.html");

    // Every script and handler parses (and the check does refuse a script a name broke open).
    ASSERT_NE(page_checks::NodeCheck("return f(\"a\"b\");", true), "");
    const std::vector<page_checks::CScriptPiece> vecScripts = page_checks::ScriptsOf(strPage);
    EXPECT_GE(vecScripts.size(), 30u);
    for (const auto& piece : vecScripts)
    {
        const bool bHandler = piece.m_strWhere.rfind("script #", 0) != 0;
        EXPECT_EQ(page_checks::NodeCheck(piece.m_strCode, bHandler), "")
            << piece.m_strWhere << ": " << piece.m_strCode;
    }

    // Every attribute closed where it opened: both parsers see the same tags with the same attributes.
    const auto vecOurs = OnlyTags(OurAttributeCounts(strPage));
    const auto vecLibxml = OnlyTags(page_checks::LibxmlAttributeCounts(strPage));
    EXPECT_EQ(vecOurs, vecLibxml);
    EXPECT_EQ(OnlyTags(OurAttributeCounts(strInput)).size() + 7 * 2 + 1 + 2 + 3, vecOurs.size())
        << "a view link and its picture per attachment, the menu, two script blocks and three script links";

    // The request's ids arrive in the script as the values they are, nothing more.
    const std::string strVariables = vecScripts.front().m_strCode;
    const std::string strRead =
        page_checks::NodeRun(strVariables + "\nprocess.stdout.write(JSON.stringify(g_oKSDLItemIDAttIDs));");
    EXPECT_EQ(strRead, "[\"\\\");alert(1)//</script>'\\\\\",\"');\"]");

    // The names reach the viewer as the user reads them.
    std::vector<std::string> vecNames;
    for (const auto& piece : vecScripts)
    {
        if (piece.m_strWhere != "onmousedown of <a>")
            continue;
        vecNames.push_back(
            page_checks::NodeRun("function f_KSDLOnMouseDown(e, n) { process.stdout.write(n); }\n"
                                 "(function(event) {" +
                                 piece.m_strCode + "})(null);"));
    }
    const std::vector<std::string> vecExpected = {"say \"hi\".txt",
                                                  "it's O'Brien's.txt",
                                                  "</script><script>alert(1)</script>.txt",
                                                  "&#34;ref&#34; %22pct%22.txt",
                                                  "back\\slash\\\".txt",
                                                  "Ελληνικά line\u2028sep.txt"};
    EXPECT_EQ(vecNames, vecExpected);
}

// A Basic read page in that character set with one attachment per hostile name, declared in its <meta>.
std::string HostilePage(const std::string& strCharSet)
{
    std::string strPage =
        "<!-- OwaPage = ASP.forms_basic_basicreadmessage_aspx -->\n<html>\n<head>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
        strCharSet +
        "\">\n<title>Names that fight back</title>\n"
        "<link type=\"text/css\" rel=\"stylesheet\" href=\"/owa/8.1.240.5/themes/base/basic.css\">\n"
        "</head>\n<body>\n<div id=\"divAtt\">\n";
    for (size_t i = 0; i < page_checks::HostileNames().size(); ++i)
    {
        const std::string& strID = page_checks::HostileIDs()[i % page_checks::HostileIDs().size()];
        strPage +=
            "<span id=\"spnAtmt\" level=\"3\"><img src=\"/owa/8.1.240.5/themes/base/txt.gif\"> "
            "<a id=\"lnkAtmt\" href=\"attachment.ashx?attach=1&amp;id=RgAAAADs4ZfQ&amp;attcnt=1&amp;attid0=" +
            CPageEscape::UrlComponent(strID) + "\" target=_blank>" + page_checks::HostileNames()[i] +
            "&#x200E; (1 KB)</a></span>\n";
    }
    return strPage + "</div>\n</body>\n</html>\n";
}

// A read request whose item id and attachment ids are hostile too: the worker reflects them into the
// page's script. The item id is a lone lead byte before a backslash, in Shift_JIS, in Big5, and as UTF-8
// of U+0081 (a Shift_JIS reader takes its second byte for the lead of a character).
struct CReflected
{
    std::string m_strItemID;
    std::vector<std::string> m_vecAttIDs;

    std::string URL() const
    {
        std::string strURL = "/owa/?ae=Item&t=IPM.Note&id=" + CPageEscape::UrlComponent(m_strItemID) +
                             "&attcnt=" + std::to_string(m_vecAttIDs.size());
        for (size_t i = 0; i < m_vecAttIDs.size(); ++i)
            strURL += "&attid" + std::to_string(i) + "=" + CPageEscape::UrlComponent(m_vecAttIDs[i]);
        return strURL;
    }
};

const std::vector<CReflected>& ReflectedRequests()
{
    static const std::vector<CReflected> s_vec = {
        {"A\x81\\", {");alert(document.domain);//", "x"}},
        {"A\xA5\\", {"\");alert(1);//%22", "\x95\x5C"}},
        {"A\xC2\x81\\", {"\xE2\x80\xA8</script>", "'\\"}},
    };
    return s_vec;
}

// Runs every handler and javascript: link of the page the host sent, decoded as a browser decodes it in
// that character set, with the functions they call stubbed; each call must receive the attachment's name
// and id, and the item's ids, as the browser reads them in that set, and nothing may throw or call alert.
void ExpectHandlersPassTheValues(const std::string& strSent, const std::string& strCharSet,
                                 const CReflected& request)
{
    const std::vector<page_checks::CScriptPiece> vecPieces = page_checks::ScriptsOf(strSent, strCharSet);
    ASSERT_FALSE(vecPieces.empty());
    std::string strPrelude = "const label = " + page_checks::JsonString(strCharSet) + ";\n";
    strPrelude +=
        "const calls = [];\n"
        "function f_viewAttachment(ids, id, v, name) { calls.push(['view', ids, id, name]); }\n"
        "function f_KSDLOnMouseDown(e, name, id) { calls.push(['down', name, id]); return false; }\n"
        "function f_ShowExtBlockedMsg() { calls.push(['blocked']); }\n"
        "function alert() { calls.push(['alert']); }\n"
        "function f_KSDLOnClick() {} function f_KSDLOnMouseUp() {} function f_KSDLAttAction() {}\n"
        "function f_KSDLcheckOut() {} function f_KSDLcheckIn() {} function f_KSDLOnLoad() {}\n";
    std::string strEpilogue = page_checks::HtmlDecodeFunction();
    strEpilogue += "const itemIds = [" + page_checks::JsonBytes(request.m_strItemID);
    for (const std::string& strID : request.m_vecAttIDs)
        strEpilogue += "," + page_checks::JsonBytes(strID);
    strEpilogue += "].map(b => decode(label, b));\nconst expected = [];\n";
    for (size_t i = 0; i < page_checks::HostileNames().size(); ++i)
    {
        strEpilogue +=
            "{ const name = html(decode(label, " + page_checks::JsonBytes(page_checks::HostileNames()[i]) +
            ")).trim(); const id = decode(label, " +
            page_checks::JsonBytes(page_checks::HostileIDs()[i % page_checks::HostileIDs().size()]) +
            ");\n  expected.push(['view', itemIds, id, name], ['down', name, id]); }\n";
    }
    strEpilogue += "console.log(JSON.stringify(calls, null, 1));\nconsole.log('----');\n"
                   "console.log(JSON.stringify(expected, null, 1));\n";
    const std::string strOutput = page_checks::NodeRunPieces(vecPieces, strPrelude, strEpilogue);
    const size_t nSplit = strOutput.find("\n----\n");
    ASSERT_NE(nSplit, std::string::npos) << strOutput;
    EXPECT_EQ(strOutput.substr(0, nSplit + 1), strOutput.substr(nSplit + 6));
}

size_t BytesAboveAscii(const std::string& strText)
{
    size_t nCount = 0;
    for (const char c : strText)
        nCount += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
    return nCount;
}

// Every hostile name and id, from the page and from the request, reaches the functions of every handler
// and javascript: link as the browser reads it, with the page's character set in the response's
// Content-Type and only in its <meta>. Run(URL, page, Content-Type) drives one request.
template <typename Run> void RunHostileTable(const std::vector<std::string>& vecCharSets, Run RunRequest)
{
    for (const std::string& strCharSet : vecCharSets)
    {
        for (const bool bMetaOnly : {false, true})
        {
            for (const CReflected& request : ReflectedRequests())
            {
                SCOPED_TRACE(strCharSet + (bMetaOnly ? ", only in <meta>, " : ", in Content-Type, ") +
                             request.URL());
                const std::string strPage = HostilePage(strCharSet);
                const CToolRun run = RunRequest(request.URL(), strPage,
                                                bMetaOnly ? "text/html" : "text/html; charset=" + strCharSet);
                ASSERT_TRUE(run.ListApplied()) << run.m_strJson;
                // Whatever the set, what the worker wrote is plain ASCII: the page's own bytes are all there
                // is above it.
                EXPECT_EQ(BytesAboveAscii(run.m_strSent), BytesAboveAscii(strPage));
                ExpectHandlersPassTheValues(run.m_strSent, strCharSet, request);
            }
        }
    }
}

TEST_F(BasicPagesEndToEnd, HandlersAndLinksPassHostileNamesAndIdsInUtf8ShiftJisAndBig5)
{
    RunHostileTable(
        {"utf-8", "shift_jis", "big5"},
        [](const std::string& strURL, const std::string& strPage, const std::string& strContentType) {
            return RunTool("GET", strURL, SET_HASHES, strPage, FIREFOX, "mail.example.test", strContentType);
        });
}

// Pages in these sets are rewritten only once the resource texts can be translated into them.
TEST_F(BasicPagesEndToEnd, HandlersAndLinksPassHostileNamesAndIdsInWindows1252AndUsAscii)
{
    RunHostileTable(
        {"windows-1252", "us-ascii"},
        [](const std::string& strURL, const std::string& strPage, const std::string& strContentType) {
            return RunTool("GET", strURL, SET_HASHES, strPage, FIREFOX, "mail.example.test", strContentType);
        });
}

// A Basic read page with one embedded item whose handler is the one given, in the attribute's own quotes.
std::string EmbeddedItemPage(const std::string& strBom, const std::string& strOnClick)
{
    return strBom +
           "<!-- OwaPage = ASP.forms_basic_basicreadmessage_aspx "
           "-->\n<html>\n<head>\n<title>Embedded</title>\n"
           "<link type=\"text/css\" rel=\"stylesheet\" href=\"/owa/8.1.240.5/themes/base/basic.css\">\n"
           "</head>\n<body>\n<div id=\"divAtt\">\n"
           "<span id=\"spnAtmt\" level=\"3\"><img src=\"/owa/8.1.240.5/themes/base/msg.gif\"> "
           "<a id=\"lnkAtmt\" href=\"#\" onclick=" +
           strOnClick + " title=\"Minutes\">Minutes&#x200E;</a></span>\n</div>\n</body>\n</html>\n";
}

// The calls the page's handlers make when node runs them, with onClkEmbItem and alert recorded.
std::string HandlerCalls(const std::string& strPage, const std::string& strCharSet)
{
    const std::vector<page_checks::CScriptPiece> vecPieces = page_checks::ScriptsOf(strPage, strCharSet);
    const std::string strPrelude =
        "const calls = [];\n"
        "function onClkEmbItem(...args) { calls.push(['embedded', ...args]); return false; }\n"
        "function alert() { calls.push(['alert']); }\n"
        "function f_KSDLOnClick() {} function f_KSDLOnMouseUp() {} function f_KSDLAttAction() {}\n"
        "function f_KSDLOnMouseDown() {} function f_KSDLOnLoad() {} function f_viewAttachment() {}\n"
        "function f_ShowExtBlockedMsg() {} function f_KSDLcheckOut() {} function f_KSDLcheckIn() {}\n";
    return page_checks::NodeRunPieces(vecPieces, strPrelude,
                                      "console.log(JSON.stringify(calls.filter(c => c[0] !== 'error' || "
                                      "!/ReferenceError/.test(c[2]))));\n");
}

// OWA's handler of an embedded item is copied byte for byte, in its own quotes. Read and escaped again,
// the backslash that keeps a quote inside OWA's string was lost wherever the worker read a byte otherwise
// than the browser (an unmapped Shift_JIS pair swallows it), and the copy ran the rest of the string.
TEST_F(BasicPagesEndToEnd, AnEmbeddedItemsHandlerIsCopiedAsOwaWroteIt)
{
    const auto Handler = [](const std::string& strName, char cQuote)
    {
        const std::string strApostrophe = cQuote == '\'' ? "&#39;" : "'";
        return cQuote +
               ("return onClkEmbItem(" + strApostrophe + "RgAAAADs4ZfQ" + strApostrophe + "," +
                strApostrophe + "IPM.Note" + strApostrophe + "," + strApostrophe + strName + "\\" +
                strApostrophe + ",alert(1))//" + strApostrophe + ");") +
               cQuote;
    };
    const struct
    {
        const char* m_pszName;
        std::string m_strBom;
        const char* m_pszContentType;
        const char* m_pszBrowserSet; // as the browser reads the page; null: node's decoder does not
        std::string m_strName;       // bytes before OWA's backslash
    } aCases[] = {
        // A browser keeps the backslash of the unmapped pair 85 5C; node's decoder, like ICU, swallows it.
        {"Shift_JIS, an unmapped pair's lead byte", "", "text/html; charset=shift_jis", nullptr, "X\x85"},
        {"Shift_JIS, a character", "", "text/html; charset=shift_jis", "shift_jis", "X\x83\x41"},
        {"UTF-8, a character", "", "text/html; charset=utf-8", "utf-8", "X\xE2\x80\xA6"},
        {"UTF-8, a stray lead byte", "", "text/html; charset=utf-8", "utf-8", "X\xE3\x83"},
        {"UTF-8 by its byte-order mark over a Shift_JIS Content-Type", "\xEF\xBB\xBF",
         "text/html; charset=shift_jis", "utf-8", "X\x83"},
    };
    for (const auto& c : aCases)
    {
        for (const char cQuote : {'"', '\''})
        {
            SCOPED_TRACE(std::string(c.m_pszName) + ", in " + cQuote + " quotes");
            const std::string strHandler = Handler(c.m_strName, cQuote);
            const std::string strPage = EmbeddedItemPage(c.m_strBom, strHandler);
            const CToolRun run = RunTool("GET", "/owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ", SET_HASHES,
                                         strPage, FIREFOX, "mail.example.test", c.m_pszContentType);
            ASSERT_TRUE(run.ListApplied()) << run.m_strJson;
            // OWA's link and the worker's copy before it, each with the handler's bytes as OWA sent them.
            const std::string strCopy =
                "<a href=\"#\" onclick=" + strHandler + " title=\"Minutes\"><img src=";
            EXPECT_NE(run.m_strSent.find(strCopy), std::string::npos) << run.m_strSent;
            EXPECT_NE(run.m_strSent.find("<a id=\"lnkAtmt\" href=\"#\" onclick=" + strHandler),
                      std::string::npos);
            if (c.m_pszBrowserSet == nullptr)
                continue;
            // Run by a browser's reading, the copy calls what OWA's link calls, and nothing else.
            const std::string strOwaCalls = HandlerCalls(strPage, c.m_pszBrowserSet);
            ASSERT_EQ(strOwaCalls.find("[\"alert\"]"), std::string::npos) << strOwaCalls;
            ASSERT_EQ(strOwaCalls.rfind("[[\"embedded\",\"RgAAAADs4ZfQ\",\"IPM.Note\",", 0), 0u)
                << strOwaCalls;
            const std::string strCall = strOwaCalls.substr(1, strOwaCalls.size() - 3);
            EXPECT_EQ(HandlerCalls(run.m_strSent, c.m_pszBrowserSet), "[" + strCall + "," + strCall + "]\n");
        }
    }
}
} // namespace
