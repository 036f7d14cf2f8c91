// OWA Premium pages end to end: the built worker loaded by the host's tool from a run-time tree of its own
// whose settings sets differ only where a page's rewrite depends on them. The page the host sends is
// compared whole with its golden copy; the download links of a rewritten read page go back through the
// host to the download check; attachment names that try to end a script, a string or an attribute must
// leave every script and event handler parseable by node and every tag with the attributes it had.
#include "common/CiString.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TextSearch.h"
#include "tests/directory/SlapdServer.h"
#include "tests/support/PageChecks.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& strText)
{
    std::ofstream(path, std::ios::binary) << strText;
}

std::string Replaced(std::string strText, const std::string& strWhat, const std::string& strWith)
{
    const size_t nPos = strText.find(strWhat);
    EXPECT_NE(nPos, std::string::npos) << strWhat;
    if (nPos != std::string::npos)
        strText.replace(nPos, strWhat.size(), strWith);
    return strText;
}

std::string Item(int nID, const std::string& strValue)
{
    return "<ITEM ID=\"" + std::to_string(nID) + "\" VALUE=\"" + strValue + "\"/>";
}

// One settings set per criteria id: the attach-file buttons enabled, disabled, removed and at a level the
// rewriter leaves alone. Downloads are checked by hash (level 2) from every address.
enum PageSet
{
    SET_BUTTONS_ENABLED = 1,
    SET_BUTTONS_DISABLED,
    SET_BUTTONS_REMOVED,
    SET_BUTTONS_LEVEL_3,
    SET_NO_BLOCKED_LIST, // buttons enabled, the blocked-extension list switched off
};

std::string SettingsFile()
{
    const std::string strCommon =
        Item(43, "2") + Item(22, "1") + Item(42, "exe;bat") + Item(24, "1") + Item(71, "1") + Item(73, "1");
    std::string strXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SETTINGS><GENERALSETTINGS>" +
                         Item(5, "1") + Item(7, "X-Dorvel") + Item(12, "2") + Item(14, "1") + Item(51, "0") +
                         "</GENERALSETTINGS><HIGHSPEED><APP NAME=\"All\" Extension=\"*\" ACTION=\"1\"/>"
                         "</HIGHSPEED>";
    for (int nSet = SET_BUTTONS_ENABLED; nSet <= SET_BUTTONS_LEVEL_3; ++nSet)
        strXml += "<SETTING ID=\"" + std::to_string(nSet) + "\" DESCR=\"set\"><ITEMS>" + strCommon +
                  Item(51, std::to_string(nSet - 1)) + "</ITEMS></SETTING>";
    strXml += "<SETTING ID=\"" + std::to_string(SET_NO_BLOCKED_LIST) + "\" DESCR=\"set\"><ITEMS>" +
              Replaced(strCommon, Item(22, "1"), Item(22, "0")) + Item(51, "0") + "</ITEMS></SETTING>";
    return strXml + "</SETTINGS>\n";
}

std::string LinkCriteriaFile()
{
    std::string strXml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SERVICEWORKERS><SW ID=\"3\" DESCR=\"OWA\">";
    for (int nSet = SET_BUTTONS_ENABLED; nSet <= SET_NO_BLOCKED_LIST; ++nSet)
        strXml += "<LINK CRITERIA_ID=\"" + std::to_string(nSet) + "\" SETTINGS_ID=\"" + std::to_string(nSet) +
                  "\"/>";
    return strXml + "</SW></SERVICEWORKERS>\n";
}

// A run-time tree in a folder of its own with the given worker, the sets above and a drive C: for the log.
class CTree
{
public:
    explicit CTree(const std::string& strModule)
    {
        m_root = fs::temp_directory_path() /
                 ("dlsw-premium-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++s_nTrees));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "C/Windows/System32/LogFiles/KestruneLogs");
        fs::copy(DLSW_INSTALL_TREE, m_root / "install", fs::copy_options::recursive);
        fs::copy(DLSW_COMMON_FILES, m_root / "Common Files", fs::copy_options::recursive);
        fs::copy_file(strModule, m_root / "install/bin/DL_ServiceWorker.so",
                      fs::copy_options::overwrite_existing);
        WriteFile(m_root / "install/Settings/SWSettings.xml", SettingsFile());
        WriteFile(m_root / "Common Files/Settings/LinkCriteriaSettings.xml", LinkCriteriaFile());
    }
    ~CTree() { fs::remove_all(m_root); }
    CTree(const CTree&) = delete;
    CTree& operator=(const CTree&) = delete;

    // The host's JSON report of one request, with the page as the host sends it; an empty page sends none.
    std::string Drive(const std::string& strRequest, const std::string& strPage, int nSet,
                      std::string& strSent)
    {
        return Drive(strRequest, strPage, nSet, m_strOptions, strSent);
    }
    std::string Drive(const std::string& strRequest, const std::string& strPage, int nSet,
                      const std::string& strOptions, std::string& strSent)
    {
        const fs::path request = m_root / "request.http";
        const fs::path page = m_root / "page.html";
        const fs::path sent = m_root / "sent.html";
        WriteFile(request, strRequest);
        WriteFile(page, strPage);
        fs::remove(sent);
        fs::remove(m_root / "C/Windows/System32/LogFiles/KestruneLogs/KSCommonLog.log");
        const std::string strBody =
            strPage.empty() ? std::string() : " --body '" + page.string() + "' --out '" + sent.string() + "'";
        int nExit = 0;
        const std::string strJson =
            RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --root '" +
                           (m_root / "install").string() + "' --user 'EXAMPLE\\alice' --criteria-id " +
                           std::to_string(nSet) + " " + strOptions + strBody + " '" + request.string() + "'",
                       nExit);
        EXPECT_EQ(nExit, 0) << strJson;
        strSent = strPage.empty() ? std::string() : ReadFileText(sent);
        m_strTrace = ReadFileText(m_root / "C/Windows/System32/LogFiles/KestruneLogs/KSCommonLog.log");
        return strJson;
    }

    // The worker's trace lines of the last run.
    bool Traced(const std::string& strLine) const { return m_strTrace.find(strLine) != std::string::npos; }
    const std::string& Trace() const { return m_strTrace; }

    fs::path Root() const { return m_root; }
    // Host options every later run of this tree gets.
    void SetOptions(const std::string& strOptions) { m_strOptions = strOptions; }
    const std::string& Options() const { return m_strOptions; }

private:
    static inline int s_nTrees = 0;
    fs::path m_root;
    std::string m_strTrace;
    std::string m_strOptions;
};

// The directory OWA's settings come from: it lets private computers, not public ones, open attachments
// directly. One slapd for the whole program, stopped when the program ends.
CSlapdServer* Directory()
{
    static const std::unique_ptr<CSlapdServer> s_spServer = []
    {
        auto spServer = std::make_unique<CSlapdServer>();
        std::string strError;
        if (!spServer->Start(strError))
        {
            ADD_FAILURE() << "slapd is a test dependency (scripts/install-deps installs it): " << strError;
            spServer.reset();
        }
        return spServer;
    }();
    return s_spServer.get();
}

// A tree of the shipped worker on a computer of that directory's domain.
class CDirectoryTree : public CTree
{
public:
    CDirectoryTree() : CTree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so")
    {
        const CSlapdServer* pServer = Directory();
        if (pServer == nullptr)
            return;
        const DirectoryServerConfig directory = pServer->MachineDirectory();
        SetOptions("--directory '" + directory.m_sUri + "' --directory-bind '" + directory.m_sBindDN +
                   "' --directory-password-file '" + directory.m_sBindPasswordFile +
                   "' --computer-name mail01.example.test");
    }
};

std::string SampleRequest(const char* pszName)
{
    return ReadFileText(fs::path(DLSW_SOURCE_DIR) / "samples/requests" / pszName);
}

std::string SamplePage(const char* pszName)
{
    return ReadFileText(fs::path(DLSW_SOURCE_DIR) / "samples/pages" / pszName);
}

// A request line and the sample's headers.
std::string RequestWith(const std::string& strRequestLine, const char* pszHeadersOf)
{
    const std::string strSample = SampleRequest(pszHeadersOf);
    return strRequestLine + strSample.substr(strSample.find('\n'));
}

std::string RawDataRecord(unsigned nCode, const char* pszControlMessage)
{
    return "{\"type\":1024,\"name\":\"send raw data\",\"code\":" + std::to_string(nCode) +
           ",\"control_message\":\"" + pszControlMessage + "\"}";
}

// The golden copy is the reference; DLSW_UPDATE_GOLDEN=1 writes it anew from what the worker sent.
void ExpectGolden(const std::string& strSent, const char* pszGolden)
{
    const fs::path golden = fs::path(DLSW_FIXTURES) / "pages" / pszGolden;
    const char* pszUpdate = std::getenv("DLSW_UPDATE_GOLDEN");
    if (pszUpdate != nullptr && std::string(pszUpdate) == "1")
        WriteFile(golden, strSent);
    EXPECT_EQ(strSent, ReadFileText(golden)) << pszGolden;
}

struct GoldenCase
{
    const char* m_pszPage;
    const char* m_pszRequest;
    int m_nSet;
    const char* m_pszGolden;
};

// Every Premium page the worker rewrites, as the shipped worker sends it: no directory tells it that OWA
// lets users open attachments, so Open and Save stay disabled and no page carries a hash.
TEST(PremiumPagesThroughTheHost, ShippedWorkerSendsTheGoldenPages)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    const GoldenCase aCases[] = {
        {"premium-read-item.html", "15-premium-read-page.http", SET_BUTTONS_ENABLED,
         "premium-read-item.html"},
        {"premium-edit-item.html", "16-premium-edit-page.http", SET_BUTTONS_ENABLED,
         "premium-edit-item-buttons-0.html"},
        {"premium-edit-item.html", "16-premium-edit-page.http", SET_BUTTONS_DISABLED,
         "premium-edit-item-buttons-1.html"},
        {"premium-edit-item.html", "16-premium-edit-page.http", SET_BUTTONS_REMOVED,
         "premium-edit-item-buttons-2.html"},
        {"premium-edit-item.html", "16-premium-edit-page.http", SET_BUTTONS_LEVEL_3,
         "premium-edit-item-buttons-3.html"},
        {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http", SET_BUTTONS_ENABLED,
         "premium-attach-file-dialog.html"},
        {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http", SET_NO_BLOCKED_LIST,
         "premium-attach-file-dialog-no-blocked-list.html"},
        {"premium-attach-file-dialog-result.html", "18-premium-attach-file-dialog-post.http",
         SET_BUTTONS_ENABLED, "premium-attach-file-dialog-result.html"},
        {"premium-delete-attachment.html", "10-premium-delete-attachment.http", SET_BUTTONS_ENABLED,
         "premium-delete-attachment.html"},
    };
    for (const GoldenCase& c : aCases)
    {
        SCOPED_TRACE(c.m_pszGolden);
        std::string strSent;
        const std::string strJson =
            tree.Drive(SampleRequest(c.m_pszRequest), SamplePage(c.m_pszPage), c.m_nSet, strSent);
        EXPECT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
        EXPECT_NE(strJson.find("\"submit_error\":\"\""), std::string::npos) << strJson;
        EXPECT_NE(strSent, SamplePage(c.m_pszPage));
        ExpectGolden(strSent, c.m_pszGolden);
    }
}

// Only OWA's pages are rewritten: a response of another type, a download above all, goes out as it came,
// whatever template comment its bytes hold, and one line says so.
TEST(PremiumPagesThroughTheHost, BodiesThatAreNotHtmlPassUnchanged)
{
    // With OWA's settings the force-saved document is let through, so that its content reaches the worker.
    CDirectoryTree tree;
    ASSERT_NE(Directory(), nullptr);
    const struct
    {
        const char* m_pszPage;
        const char* m_pszRequest;
        const char* m_pszOptions;
    } aPages[] = {
        {"premium-read-item.html", "15-premium-read-page.http", ""},
        {"premium-read-item-hostile-names.html", "15-premium-read-page.http", ""},
        {"premium-edit-item.html", "16-premium-edit-page.http", ""},
        {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http", ""},
        {"premium-attach-file-dialog-result.html", "18-premium-attach-file-dialog-post.http", ""},
        {"premium-delete-attachment.html", "10-premium-delete-attachment.http", ""},
        {"premium-document-view.html", "21-premium-document-view.http", ""},
        {"premium-document-view-sort.html", "22-premium-document-view-sort.http", ""},
        // The document's content holds OWA's error comment and a link; the client asked for the force-save.
        {"force-save-error.html", "23-document-view-force-save.http", "--client-ip 10.1.2.3"},
        {"basic-read-item.html", "19-basic-read-page.http", ""},
        {"basic-edit-item.html", "20-basic-edit-page.http", ""},
    };
    for (const auto& page : aPages)
    {
        const std::string strPage = SamplePage(page.m_pszPage);
        const std::string strRequest = SampleRequest(page.m_pszRequest);
        std::string strSent;
        {
            SCOPED_TRACE(std::string(page.m_pszPage) + " as HTML");
            tree.Drive(strRequest, strPage, SET_BUTTONS_ENABLED,
                       tree.Options() + " " + page.m_pszOptions +
                           " --response-header 'Content-Type: TEXT/HTML;charset=utf-8'",
                       strSent);
            EXPECT_NE(strSent, strPage) << "the page is one the worker rewrites";
        }
        for (const char* pszType : {"application/zip", "application/octet-stream"})
        {
            SCOPED_TRACE(std::string(page.m_pszPage) + " as " + pszType);
            const std::string strJson = tree.Drive(strRequest, strPage, SET_BUTTONS_ENABLED,
                                                   tree.Options() + " " + page.m_pszOptions +
                                                       " --response-header 'Content-Type: " + pszType + "'",
                                                   strSent);
            EXPECT_NE(strJson.find(RawDataRecord(13, "Ignore")), std::string::npos) << strJson;
            EXPECT_EQ(strSent, strPage);
            const std::string strLine = std::string("[CNotifications::NotifySendRawData] Content-Type <") +
                                        pszType + "> is not HTML, the body passes unchanged";
            const std::string& strTrace = tree.Trace();
            const size_t nFirst = strTrace.find(strLine);
            EXPECT_NE(nFirst, std::string::npos) << strTrace;
            EXPECT_EQ(strTrace.find(strLine, nFirst + 1), std::string::npos) << "one line";
            EXPECT_FALSE(tree.Traced("[CDLFormFactory::createForm]")) << "the factory does not run";
        }
    }
}

// A caching prefix that could lead a script reference out of the worker's script folder counts as none:
// the page goes out as it would without one, and the trace names the refusal.
TEST(PremiumPagesThroughTheHost, ScriptPrefixThatCouldLeaveTheScriptFolderIsRefused)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    for (const char* pszPrefix : {"//evil.example/", "../../../../evil/", "csm01/../../evil/", "http:evil/"})
    {
        for (const auto& [pszPage, pszRequest] :
             {std::pair("premium-read-item.html", "15-premium-read-page.http"),
              std::pair("premium-edit-item.html", "16-premium-edit-page.http")})
        {
            SCOPED_TRACE(std::string(pszPage) + " with " + pszPrefix);
            const std::string strPage = SamplePage(pszPage);
            const std::string strRequest = Replaced(SampleRequest(pszRequest), "KS_CSMPREFIX: csm01/",
                                                    std::string("KS_CSMPREFIX: ") + pszPrefix);
            std::string strSent;
            const std::string strJson = tree.Drive(strRequest, strPage, SET_BUTTONS_ENABLED, strSent);
            EXPECT_NE(strJson.find(RawDataRecord(13, "Ignore")), std::string::npos) << strJson;
            EXPECT_EQ(strSent, strPage);
            EXPECT_TRUE(
                tree.Traced(std::string("[CSWForm::GetCachedScriptManager] Error: HEADER_KS_CSMPREFIX <") +
                            pszPrefix + "> could leave the script folder, refused !"))
                << tree.Trace();
            EXPECT_TRUE(tree.Traced("[CSWForm::PrefixLinkedScripts] Error: HEADER_KS_CSMPREFIX empty !"));
        }
    }
}

// A user name, a URL and a User-Agent that carry line breaks and other control characters cannot write a
// line of their own into the trace: every trace call is one line, with the characters escaped.
TEST(PremiumPagesThroughTheHost, RequestValuesCannotForgeTraceLines)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    // The host refuses a bare CR or LF in the request itself: the URL carries them encoded (a view request's
    // file name, which the worker decodes and traces), the User-Agent the other control characters, and the
    // user's name (the host's own input) the line breaks themselves.
    const std::string strRequest =
        RequestWith("GET /X-Dorvel/bin/view.htm?fn=ZG9jcy9hDQpGQUtFIEVWRU5UOiB1cmwKLmRvYw%3D%3D HTTP/1.1\r",
                    "15-premium-read-page.http");
    const std::string strAgent =
        "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; Trident/4.0)";
    std::string strSent;
    const std::string strJson =
        tree.Drive(Replaced(strRequest, strAgent, strAgent + "\x0B\x0C\x1B[2J\x7F"), "", SET_BUTTONS_ENABLED,
                   "--user 'EXAMPLE\\al\r\nFAKE EVENT: user\rx\n'", strSent);
    EXPECT_NE(strJson.find("\"control_message\":\"Handled/Redirected\""), std::string::npos) << strJson;
    const std::string strLines = tree.Trace().substr(100); // the log's first 100 bytes are its own
    static const std::regex s_lineStart(
        "\r\n[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} +"
        "[0-9A-F]+ ");
    const auto nLines = std::distance(std::sregex_iterator(strLines.begin(), strLines.end(), s_lineStart),
                                      std::sregex_iterator());
    EXPECT_GT(nLines, 50);
    // Every CR and LF in the log is the start of one trace call's line, and no other control character is
    // left.
    EXPECT_EQ(std::count(strLines.begin(), strLines.end(), '\r'), nLines);
    EXPECT_EQ(std::count(strLines.begin(), strLines.end(), '\n'), nLines);
    EXPECT_EQ(std::count_if(strLines.begin(), strLines.end(),
                            [](char c) {
                                return (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') ||
                                       c == 0x7F;
                            }),
              0);
    // The values are in the trace, escaped.
    EXPECT_TRUE(tree.Traced("Filename <a\\r\\nFAKE EVENT: url\\n.doc> Ext <doc>")) << strLines;
    EXPECT_TRUE(tree.Traced("al\\r\\nFAKE EVENT: user\\rx\\n")) << strLines;
    EXPECT_TRUE(tree.Traced("Trident/4.0)\\x0B\\x0C\\x1B[2J\\x7F")) << strLines;
}

std::string ScriptValue(const std::string& strPage, const std::string& strVariable)
{
    std::smatch match;
    if (std::regex_search(strPage, match, std::regex("var " + strVariable + "=(\"([0-9]*)\"|null);")))
        return match[2];
    return "(none)";
}

// Pages the rewrite does not finish, or has nothing to do on, go out as OWA sent them; the worker's trace
// tells why.
TEST(PremiumPagesThroughTheHost, PagesLeftAsOWASentThem)
{
    CTree shipped(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    CDirectoryTree owa;
    ASSERT_NE(Directory(), nullptr);
    const std::string strRead = SamplePage("premium-read-item.html");
    const std::string strEdit = SamplePage("premium-edit-item.html");
    const std::string strResult = SamplePage("premium-attach-file-dialog-result.html");
    const std::string strReadRequest = SampleRequest("15-premium-read-page.http");
    const std::string strEditRequest = SampleRequest("16-premium-edit-page.http");
    const std::string strPostRequest = SampleRequest("18-premium-attach-file-dialog-post.http");
    const std::string strFigures = "<span id=\"spnAtmt\" _level=\"3\" _attid=\"RgAAAAAtt0\" level=\"3\">";
    const std::string strEmbedded =
        "<a id=\"lnkAtmt\" href=\"#\" onclick=\"opnEmb(this)\">Re: budget&#x200E;</a>";
    const struct
    {
        const char* m_pszName;
        bool m_bOwa;
        std::string m_strRequest;
        std::string m_strPage;
        int m_nSet;
        unsigned m_nCode;
        const char* m_pszTraceLine;
    } aCases[] = {
        {"S/MIME edit page, buttons removed by setting", false,
         RequestWith("GET /owa/?ae=Item&t=IPM.Note&a=New&smime=1 HTTP/1.1\r", "16-premium-edit-page.http"),
         strEdit, SET_BUTTONS_REMOVED, 13,
         "[CDLPremiumFormEditItem::CheckIfFormNeedsToBeProcessed] SMIME request <Y>, form needs to be "
         "changed <N>. "
         "return bRet <F>."},
        {"button without its image, buttons disabled", false, strEditRequest,
         Replaced(strEdit, "<img src=\"/owa/8.1.240.5/themes/base/attach.gif\">", ""), SET_BUTTONS_DISABLED,
         13,
         "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to find attachment "
         "button "
         "image!"},
        {"no attach-file button, buttons removed", false, strEditRequest,
         Replaced(strEdit, "id=\"attachfile\"", "id=\"attach\""), SET_BUTTONS_REMOVED, 13,
         "Failed to find attachment button! ID: <attachfile>."},
        {"no caching prefix in the request", false, Replaced(strEditRequest, "KS_CSMPREFIX", "X_OTHER_HDR_"),
         strEdit, SET_BUTTONS_ENABLED, 13, "[CDLPremiumFormItem::Process] PrefixLinkedScripts failed."},
        {"read request without an item id", false,
         RequestWith("GET /owa/?ae=Item&t=IPM.Note&a=Open HTTP/1.1\r", "15-premium-read-page.http"), strRead,
         SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash] "
         "CRequestInfo::GetParamValue() "
         "failed. <id>."},
        {"read page without attachments", false, strReadRequest,
         Replaced(strRead, "id=\"divAtch\"", "id=\"divX\""), SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormItem::Process] DIV <divAtch> not found. There are no attachments in this item."},
        {"attachment level outside 1 to 3", false, strReadRequest,
         Replaced(strRead, strFigures, Replaced(strFigures, "_level=\"3\"", "_level=\"7\"")),
         SET_BUTTONS_ENABLED, 13,
         "[CDLFormWithAttachments::GetOWAAttachmentLevel] Invalid <level> attribute value <7>."},
        {"attachment without its id", false, strReadRequest,
         Replaced(strRead, strFigures, Replaced(strFigures, "_attid=\"RgAAAAAtt0\"", "")),
         SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] <_attid> attribute not found."},
        {"embedded item OWA lets open, without OWA's link", false, strReadRequest,
         Replaced(strRead, strEmbedded, "Re: budget"), SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] <A id='lnkAtmt'> tag was not "
         "found."},
        {"no OWA build in the style sheets", false, strReadRequest,
         Replaced(strRead, "premium.css", "other.css"), SET_BUTTONS_ENABLED, 7,
         "[CDLPremiumFormItem::InsertJavaScriptVariables] GetOWABuildAndCurrentOWAThemeFromCSSLinkTags() "
         "failed."},
        {"edit page without OWA's item id", false, strEditRequest,
         Replaced(strEdit, "var a_sId = ", "var b_sId = "), SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormEditItem::CDLPremiumFormEditItem] "
         "InitItemIDFromResponseJavaScript_CalculateItemIDHash() "
         "failed."},
        {"edit page whose item id is empty", false, strEditRequest,
         std::regex_replace(strEdit, std::regex("var a_sId = \"[^\"]*\""), "var a_sId = \"\""),
         SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash] returned. "
         "bItemIDHashIsAvailable <N> dwRet <13>."},
        {"new item with a downloadable attachment has no item id to hash", true, strEditRequest,
         std::regex_replace(strEdit, std::regex("var a_sId = \"[^\"]*\";"), "var a_sId = null;"),
         SET_BUTTONS_ENABLED, 7,
         "[CDLPremiumFormEditItem::AppendItemIDHashJavaScriptVariable] Direct attachment access is enabled "
         "on this "
         "form but item ID hash is not available!"},
        {"dialog result whose id is empty", false, strPostRequest,
         std::regex_replace(strResult, std::regex("o.sId = \"[^\"]*\""), "o.sId = \"\""), SET_BUTTONS_ENABLED,
         13,
         "[CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog] "
         "InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash() failed."},
        // Checked before its script is looked for in a body it does not have.
        {"dialog result that is a fragment", false, strPostRequest,
         "<!-- OwaPage = ASP.forms_premium_attachfiledialog_aspx -->\n<script>var o = new Object();o.sId = "
         "\"RgAAAADs\";</script>\n<div id=\"divResult\"></div>\n",
         SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog] <HTML> element was not "
         "found!"},
        {"dialog result with a downloadable attachment but no result object", true, strPostRequest,
         Replaced(strResult, "var o = new Object();", "var o = {};"), SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable] <var o = new "
         "Object();> "
         "inside <SCRIPT> element was not found."},
        {"delete-attachment response without its list", false,
         SampleRequest("10-premium-delete-attachment.http"),
         Replaced(SamplePage("premium-delete-attachment.html"), "attWD", "attX"), SET_BUTTONS_ENABLED, 13,
         "[CDLPremiumFormDeleteAttachment::Process] DIV <attWD> not found. There are no attachments in this "
         "item."},
        {"attach-file dialog without OWA's dialog script", false,
         SampleRequest("17-premium-attach-file-dialog.http"),
         Replaced(SamplePage("premium-attach-file-dialog.html"), "dattach.js", "other.js"),
         SET_BUTTONS_ENABLED, 11, "[CDLPremiumFormGETAttachFileDialog::Process] PrefixLinkedScripts failed."},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTree& tree = c.m_bOwa ? static_cast<CTree&>(owa) : shipped;
        std::string strSent;
        const std::string strJson = tree.Drive(c.m_strRequest, c.m_strPage, c.m_nSet, strSent);
        EXPECT_NE(strJson.find(RawDataRecord(c.m_nCode, "Ignore")), std::string::npos) << strJson;
        EXPECT_EQ(strSent, c.m_strPage);
        EXPECT_TRUE(tree.Traced(c.m_pszTraceLine)) << tree.Trace();
        EXPECT_FALSE(tree.Traced("exception"));
    }
}

// A button that shares its parent with other controls goes alone at level 2: the toolbar and everything
// beside the button stay, and the rest of the page is rewritten as ever.
TEST(PremiumPagesThroughTheHost, AnAttachButtonThatSharesItsParentIsRemovedAlone)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    const std::string strEdit = SamplePage("premium-edit-item.html");
    const std::string strButton =
        "<a id=\"attachfile\" name=\"attachfile\" href=\"#\" onclick=\"return "
        "onClkTb('attachfile');\"><img src=\"/owa/8.1.240.5/themes/base/attach.gif\">"
        "Attach</a>";
    const std::string strShared =
        Replaced(strEdit, "<span class=\"tbBtn\">" + strButton + "</span>", strButton);
    std::string strSent;
    const std::string strJson =
        tree.Drive(SampleRequest("16-premium-edit-page.http"), strShared, SET_BUTTONS_REMOVED, strSent);
    EXPECT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
    EXPECT_EQ(strSent.find("attachfile"), std::string::npos) << strSent;
    EXPECT_NE(strSent.find("<div id=\"divToolbar\"><span class=\"sep\"></span><span class=\"tbBtn\"><a "
                           "id=\"checknames\" href=\"#\">Check Names</a></span></div>"),
              std::string::npos)
        << strSent;
    EXPECT_TRUE(
        tree.Traced("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] The parent "
                    "<div> of the attachment button holds more than the button. The button alone is "
                    "removed."))
        << tree.Trace();
    // Apart from the toolbar, the page is the one a button in a wrapper of its own gives.
    std::string strWrapped;
    tree.Drive(SampleRequest("16-premium-edit-page.http"), strEdit, SET_BUTTONS_REMOVED, strWrapped);
    EXPECT_EQ(strSent.substr(strSent.find("</div>")), strWrapped.substr(strWrapped.find("</div>")));
}

// An attachment OWA gives no link of its own gets the worker's, closed before the WebReady link: a link
// inside a link is not kept by browsers, which would move the WebReady link out of the attachment.
TEST(PremiumPagesThroughTheHost, TheWorkersAttachmentLinkClosesBeforeTheWebReadyLink)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    const std::string strPage =
        Replaced(SamplePage("premium-read-item.html"),
                 "<a id=\"lnkAtmt\" href=\"attachment.ashx?attach=1&amp;id=RgAAAADs4ZfQ&amp;attcnt=1&amp;"
                 "attid0=RgAAAAAtt0\" target=_blank title=\"figures.xls\">figures.xls&#x200E; (24 KB)</a>",
                 "figures.xls&#x200E; (24 KB)");
    std::string strSent;
    const std::string strJson =
        tree.Drive(SampleRequest("15-premium-read-page.http"), strPage, SET_BUTTONS_ENABLED, strSent);
    ASSERT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
    const size_t nOpen = strSent.find("<a id=lnkAtmt href=\"#\"");
    ASSERT_NE(nOpen, std::string::npos) << strSent;
    const size_t nClose = strSent.find("</a>", nOpen);
    ASSERT_NE(nClose, std::string::npos);
    const std::string strBeforeWebReady = "</a><span class=\"wvsn\">[<a id=\"wvLnk\" href=\"#\"";
    EXPECT_EQ(strSent.substr(nClose, strBeforeWebReady.size()), strBeforeWebReady) << strSent;
    EXPECT_EQ(strSent.substr(nOpen + 1, nClose - nOpen - 1).find("<a"), std::string::npos);
    // Every A element, as our parser pairs them, holds no other.
    CSource source(strSent.data(), 0, strSent.size());
    for (CTag* pTag : source.fullSequentialParse())
    {
        if (!pTag->isStartTag())
            continue;
        auto* pStartTag = static_cast<CStartTag*>(pTag);
        if (pStartTag->getName() != ci_string("A"))
            continue;
        const CElement* pElement = pStartTag->getElement();
        ASSERT_NE(pElement, nullptr);
        EXPECT_EQ(FindStringNoCase(strSent.data(), "<a ", pElement->getContentBegin(),
                                   pElement->getContentEnd() - pElement->getContentBegin()),
                  NPOS)
            << strSent.substr(pElement->m_nBegin, pElement->m_nEnd - pElement->m_nBegin);
    }
}

// OWA's own scripts escape the item id; the edit page and the attach-file dialog's result of the same item
// hand the viewer the same item hash, taken over the id without its backslashes.
TEST(PremiumPagesThroughTheHost, EditPageAndDialogResultHashTheSameItem)
{
    CDirectoryTree tree;
    ASSERT_NE(Directory(), nullptr);
    std::string strEdit;
    tree.Drive(SampleRequest("16-premium-edit-page.http"), SamplePage("premium-edit-item.html"),
               SET_BUTTONS_ENABLED, strEdit);
    std::string strResult;
    const std::string strJson =
        tree.Drive(SampleRequest("18-premium-attach-file-dialog-post.http"),
                   SamplePage("premium-attach-file-dialog-result.html"), SET_BUTTONS_ENABLED, strResult);
    ASSERT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
    ExpectGolden(strResult, "premium-attach-file-dialog-result-direct-access.html");
    const std::string strEditHash = ScriptValue(strEdit, "g_szKSDLItemIDH");
    ASSERT_FALSE(strEditHash.empty()) << tree.Trace();
    ASSERT_NE(strEditHash, "(none)");
    EXPECT_NE(strResult.find("var o = new Object();o.szKSDLItemIDH=\"" + strEditHash + "\";o.sId = "),
              std::string::npos)
        << strResult;

    std::string strUnescaped;
    tree.Drive(SampleRequest("16-premium-edit-page.http"),
               Replaced(SamplePage("premium-edit-item.html"), "VA3s\\/AAAC", "VA3s/AAAC"),
               SET_BUTTONS_ENABLED, strUnescaped);
    EXPECT_EQ(ScriptValue(strUnescaped, "g_szKSDLItemIDH"), strEditHash);
}

// The values of one attribute on every start tag that has it, in page order, as the browser reads them.
std::vector<std::string> AttributeValues(const std::string& strPage, const std::string& strAttribute)
{
    std::vector<std::string> vecValues;
    const std::regex re(strAttribute + "=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(strPage.begin(), strPage.end(), re); it != std::sregex_iterator();
         ++it)
        vecValues.push_back((*it)[1]);
    return vecValues;
}

std::string DownloadRequest(const std::string& strItemID, const std::vector<std::string>& vecAttIDs,
                            const std::string& strItemHash, const std::string& strAttHash)
{
    std::string strURL =
        "/owa/attachment.ashx?attach=1&id=" + strItemID + "&attcnt=" + std::to_string(vecAttIDs.size());
    for (size_t i = 0; i < vecAttIDs.size(); ++i)
        strURL += "&attid" + std::to_string(i) + "=" + vecAttIDs[i];
    strURL += "&midh=" + strItemHash + "&aidh=" + strAttHash;
    return "GET " + strURL +
           " HTTP/1.1\r\nHost: mail.example.test\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows "
           "NT "
           "6.1; Trident/4.0)\r\nCookie: sessionid=5f1c2a\r\n\r\n";
}

// Each attachment link of a rewritten read page makes the download request the viewer's script makes:
// the page's own item id and attachment ids with the attachment's id last, the item hash of the page and
// the attachment's hash. The download check lets each through and refuses it with one character of the
// item id changed. The read page itself is an embedded item's (one attachment id in its request), so the
// item hash must cover that id whole.
TEST(PremiumPagesThroughTheHost, DownloadLinksOfAReadPagePassTheDownloadCheck)
{
    CDirectoryTree tree;
    ASSERT_NE(Directory(), nullptr);
    const std::string strItemID = "RgAAAADs4ZfQ";
    const std::string strEmbeddedID = "BAAAAAAA";
    std::string strSent;
    const std::string strJson =
        tree.Drive(RequestWith("GET /owa/?ae=Item&t=IPM.Note&id=" + strItemID +
                                   "&attcnt=1&attid0=" + strEmbeddedID + "&a=Open HTTP/1.1\r",
                               "16-premium-edit-page.http"),
                   SamplePage("premium-read-item.html"), SET_BUTTONS_ENABLED, strSent);
    ASSERT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
    ExpectGolden(strSent, "premium-read-item-direct-access.html");
    const std::string strItemHash = ScriptValue(strSent, "g_szKSDLItemIDH");
    ASSERT_NE(strItemHash, "(none)");
    ASSERT_FALSE(strItemHash.empty()) << "the page offers no download";

    // Attachments that may be downloaded carry their hash right after their id's flags.
    std::vector<std::pair<std::string, std::string>> vecLinks;
    const std::regex reSpan("_attid=\"([^\"]*)\"[^>]*_KSDLAttIDHash=\"([0-9]+)\"");
    for (auto it = std::sregex_iterator(strSent.begin(), strSent.end(), reSpan); it != std::sregex_iterator();
         ++it)
        vecLinks.emplace_back((*it)[1], (*it)[2]);
    ASSERT_EQ(vecLinks.size(), 1u) << "figures.xls only: setup.exe is blocked, archive.zip blocked by OWA";

    for (const auto& link : vecLinks)
    {
        SCOPED_TRACE(link.first);
        std::string strNone;
        const std::string strAllowed =
            tree.Drive(DownloadRequest(strItemID, {strEmbeddedID, link.first}, strItemHash, link.second), "",
                       SET_BUTTONS_ENABLED, strNone);
        // Let through: OWA gets the request without the two hashes, and no page is sent in its place.
        EXPECT_NE(strAllowed.find("{\"type\":67108864,\"name\":\"authentication complete\",\"code\":0,"
                                  "\"control_message\":\"Ignore\"}"),
                  std::string::npos)
            << strAllowed;
        EXPECT_NE(
            strAllowed.find("\"passed_on\":{\"method\":\"GET\",\"url\":\"/owa/attachment.ashx?attach=1&id=" +
                            strItemID + "&attcnt=2&attid0=" + strEmbeddedID + "&attid1=" + link.first + "\""),
            std::string::npos)
            << strAllowed;
        EXPECT_NE(strAllowed.find("\"response_sent\":null"), std::string::npos) << strAllowed;

        std::string strChanged = strItemID;
        strChanged.back() = strChanged.back() == 'Q' ? 'R' : 'Q';
        const std::string strRefused =
            tree.Drive(DownloadRequest(strChanged, {strEmbeddedID, link.first}, strItemHash, link.second), "",
                       SET_BUTTONS_ENABLED, strNone);
        EXPECT_NE(strRefused.find("\"control_message\":\"Completed\""), std::string::npos) << strRefused;
        EXPECT_NE(strRefused.find("\"response_sent\":\"HTTP/1.0 401 "), std::string::npos) << strRefused;
    }
}

// Our parser's and libxml2's view of every start tag: its name and how many attributes it has, in order.
std::vector<std::pair<std::string, size_t>> OurTags(const std::string& strPage)
{
    std::vector<std::pair<std::string, size_t>> vecTags;
    CSource source(strPage.data(), 0, strPage.size());
    for (CTag* pTag : source.fullSequentialParse())
    {
        if (!pTag->isStartTag())
            continue;
        std::string strName = FromCi(static_cast<CStartTag*>(pTag)->getName());
        for (char& c : strName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (strName.empty() || strName[0] == '!')
            continue;
        const CAttributes* pAttributes = pTag->getAttributes();
        vecTags.emplace_back(strName, pAttributes == nullptr ? 0 : pAttributes->size());
    }
    return vecTags;
}

void LibxmlTags(xmlNode* pNode, std::vector<std::pair<std::string, size_t>>& vecTags,
                std::vector<std::string>& vecScripts, std::vector<std::string>& vecHandlers)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        size_t nAttributes = 0;
        for (xmlAttr* pAttr = pNode->properties; pAttr != nullptr; pAttr = pAttr->next)
        {
            ++nAttributes;
            const std::string strName = reinterpret_cast<const char*>(pAttr->name);
            if (strName.size() > 2 && (strName.compare(0, 2, "on") == 0 || strName.compare(0, 2, "On") == 0))
            {
                xmlChar* pszValue = xmlNodeGetContent(reinterpret_cast<xmlNode*>(pAttr));
                vecHandlers.emplace_back(reinterpret_cast<const char*>(pszValue));
                xmlFree(pszValue);
            }
        }
        const std::string strName = reinterpret_cast<const char*>(pNode->name);
        vecTags.emplace_back(strName, nAttributes);
        if (strName == "script")
        {
            xmlChar* pszText = xmlNodeGetContent(pNode);
            vecScripts.emplace_back(reinterpret_cast<const char*>(pszText));
            xmlFree(pszText);
        }
        LibxmlTags(pNode->children, vecTags, vecScripts, vecHandlers);
    }
}

// node's verdict on a script: empty when it parses, its message otherwise.
std::string NodeCheck(const fs::path& folder, const std::string& strScript, int nIndex)
{
    const fs::path file = folder / ("script-" + std::to_string(nIndex) + ".js");
    WriteFile(file, strScript);
    int nExit = 0;
    const std::string strOutput = RunCommand("node --check '" + file.string() + "' 2>&1", nExit);
    return nExit == 0 ? std::string() : strOutput.empty() ? "exit " + std::to_string(nExit) : strOutput;
}

std::string NodeRun(const fs::path& folder, const std::string& strScript)
{
    const fs::path file = folder / "run.js";
    WriteFile(file, strScript);
    int nExit = 0;
    const std::string strOutput = RunCommand("node '" + file.string() + "' 2>&1", nExit);
    EXPECT_EQ(nExit, 0) << strOutput;
    return strOutput;
}

// Names that try to end a string, an attribute or the script, a crafted attachment id and a crafted item id
// in the request: every script and handler parses, every tag keeps its attributes, and the values reach
// the viewer's functions as the user sees them.
TEST(PremiumPagesThroughTheHost, HostileAttachmentNamesStayText)
{
    int nExit = 0;
    const std::string strVersion = RunCommand("node --version 2>&1", nExit);
    ASSERT_EQ(nExit, 0) << "node is a test dependency (scripts/install-deps installs nodejs): " << strVersion;

    CDirectoryTree tree;
    ASSERT_NE(Directory(), nullptr);
    const std::string strPage = SamplePage("premium-read-item-hostile-names.html");
    std::string strSent;
    const std::string strJson =
        tree.Drive(Replaced(RequestWith("GET /owa/?ae=Item&t=IPM.Note&id=%22);alert(1)//&a=Open HTTP/1.1\r",
                                        "16-premium-edit-page.http"),
                            "Host: mail.example.test", "Host: mail.example.test\\\"</script>'"),
                   strPage, SET_BUTTONS_ENABLED, strSent);
    ASSERT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << strJson;
    ExpectGolden(strSent, "premium-read-item-hostile-names.html");
    EXPECT_EQ(strSent.find("alert(1)//&a"), std::string::npos) << "the request's id is only hashed";
    // The Host header reaches the page only inside the root URL's string literal.
    EXPECT_NE(
        strSent.find("var g_szRootURL = \"http://mail.example.test\\\\\\x22\\x3C/script\\x3E\\x27/owa/\";"),
        std::string::npos);

    // Same tags with the same number of attributes for both parsers, the worker's included.
    htmlDocPtr pDoc = htmlReadMemory(strSent.data(), static_cast<int>(strSent.size()), nullptr, "UTF-8",
                                     HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    ASSERT_NE(pDoc, nullptr);
    std::vector<std::pair<std::string, size_t>> vecLibxml;
    std::vector<std::string> vecScripts;
    std::vector<std::string> vecHandlers;
    LibxmlTags(xmlDocGetRootElement(pDoc), vecLibxml, vecScripts, vecHandlers);
    xmlFreeDoc(pDoc);
    std::vector<std::pair<std::string, size_t>> vecOurs = OurTags(strSent);
    EXPECT_EQ(vecOurs, vecLibxml);
    const size_t nSpans = AttributeValues(strSent, "_KSDLAttFilename").size();
    EXPECT_EQ(nSpans, 8u);

    // Every script block and every event handler parses.
    int nIndex = 0;
    for (const std::string& strScript : vecScripts)
        EXPECT_EQ(NodeCheck(tree.Root(), strScript, ++nIndex), "") << strScript;
    for (const std::string& strHandler : vecHandlers)
        EXPECT_EQ(NodeCheck(tree.Root(), "function handler(event) {\n" + strHandler + "\n}", ++nIndex), "")
            << strHandler;

    // The view links hand the viewer the attachment's id and name as the user sees them (double quotes
    // turned into single ones), and run nothing else.
    std::string strProgram = "var calls = [];\n"
                             "function f_viewAttachment(i, a, v, n) { calls.push([a, n]); }\n"
                             "function f_ShowExtBlockedMsg() { calls.push(['blocked']); }\n"
                             "function alert() { calls.push(['alert']); }\n"
                             "var a_sId = 'item';\n";
    for (const std::string& strHandler : vecHandlers)
    {
        if (strHandler.rfind("javascript:", 0) == 0)
            strProgram += "(function () {\n" + strHandler + "\n})();\n";
    }
    strProgram += "console.log(JSON.stringify(calls));\n";
    const std::string strCalls = NodeRun(tree.Root(), strProgram);
    EXPECT_EQ(strCalls,
              "[[\"Att0\",\"he said 'hi'.doc\"],[\"Att1\",\"it's.doc\"],"
              "[\"Att2\",\"</script><script>alert(1)</script>.txt\"],"
              "[\"Att3\",\"a'b'.doc\"],[\"Att4\",\"100%22 back\\\\slash.doc\"],"
              "[\"Att5\",\"naïve résumé — 日本\u2028.doc\"],"
              "[\"\\\");alert(1)//\",\"crafted.doc\"],"
              // An extension on the blocked list written as a character reference is blocked all the same.
              "[\"blocked\"]]\n");
}
// The hostile ids as OWA writes them into an _attid attribute, and one whose character a page of another
// set can hold only as a reference.
const std::vector<std::string>& PremiumHostileIDs()
{
    static const std::vector<std::string> s_vec = []
    {
        std::vector<std::string> vec;
        for (const std::string& strID : page_checks::HostileIDs())
        {
            std::string strMarkup;
            for (const char c : strID)
                strMarkup += c == '&'    ? "&amp;"
                             : c == '"'  ? "&quot;"
                             : c == '<'  ? "&lt;"
                             : c == '\n' ? "&#10;"
                                         : std::string(1, c);
            vec.push_back(strMarkup);
        }
        vec.push_back("line&#x2028;sep");
        return vec;
    }();
    return s_vec;
}

std::string PremiumHostilePage(const std::string& strCharSet)
{
    std::string strPage =
        "<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->\n<html dir=\"ltr\">\n<head>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
        strCharSet +
        "\">\n<title>Names that try to break out</title>\n"
        "<link type=\"text/css\" rel=\"stylesheet\" href=\"/owa/8.1.240.5/themes/base/premium.css\">\n"
        "<script type=\"text/javascript\" src=\"/owa/8.1.240.5/scripts/premium/uglobal.js\"></script>\n"
        "</head>\n<body class=\"rdFrmBody\">\n<div id=\"divAtch\" class=\"atchList\">\n";
    for (size_t i = 0; i < page_checks::HostileNames().size(); ++i)
        strPage += "<span id=\"spnAtmt\" _level=\"3\" _attid=\"" +
                   PremiumHostileIDs()[i % PremiumHostileIDs().size()] + "\">" +
                   page_checks::HostileNames()[i] + "</span>;\n";
    return strPage + "</div>\n</body>\n</html>\n";
}

// The values of one attribute of every element, as libxml2 reads them from the page decoded in its set
// (libxml2 names attributes in lower case).
void CollectAttribute(xmlNode* pNode, const char* pszName, std::vector<std::string>& vecOut)
{
    for (; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        if (xmlChar* pszValue = xmlGetProp(pNode, BAD_CAST pszName))
        {
            vecOut.emplace_back(reinterpret_cast<const char*>(pszValue));
            xmlFree(pszValue);
        }
        CollectAttribute(pNode->children, pszName, vecOut);
    }
}

// Every handler of a rewritten Premium page, decoded as the browser decodes it in the page's set and run
// in node with the functions it calls stubbed, hands the viewer each attachment's id and name as the
// browser reads them (double quotes of a name turned into single ones), and the attribute the context menu
// reads holds the name itself; the set stands in the Content-Type or only in the page's <meta>.
TEST(PremiumPagesThroughTheHost, HandlersPassHostileNamesAndIdsInEveryCharacterSet)
{
    CDirectoryTree tree;
    ASSERT_NE(Directory(), nullptr);
    for (const std::string strCharSet : {"utf-8", "shift_jis", "big5", "windows-1252", "us-ascii"})
    {
        for (const bool bMetaOnly : {false, true})
        {
            SCOPED_TRACE(strCharSet + (bMetaOnly ? ", only in <meta>" : ", in Content-Type"));
            const std::string strPage = PremiumHostilePage(strCharSet);
            std::string strSent;
            const std::string strJson =
                tree.Drive(RequestWith("GET /owa/?ae=Item&t=IPM.Note&id=A%81%5C&a=Open HTTP/1.1\r",
                                       "15-premium-read-page.http"),
                           strPage, SET_BUTTONS_ENABLED,
                           tree.Options() + " --response-header 'Content-Type: text/html" +
                               (bMetaOnly ? std::string() : "; charset=" + strCharSet) + "'",
                           strSent);
            ASSERT_NE(strJson.find(RawDataRecord(0, "None")), std::string::npos) << tree.Trace();
            const auto Above = [](const std::string& strText)
            { return std::count_if(strText.begin(), strText.end(), [](char c) { return (c & 0x80) != 0; }); };
            EXPECT_EQ(Above(strSent), Above(strPage)) << "the worker writes plain ASCII";

            const std::string strText = page_checks::BrowserText(strSent, strCharSet);
            htmlDocPtr pDoc =
                htmlReadMemory(strText.data(), static_cast<int>(strText.size()), nullptr, "utf-8",
                               HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
            ASSERT_NE(pDoc, nullptr);
            std::vector<std::string> vecNames;
            CollectAttribute(xmlDocGetRootElement(pDoc), "_ksdlattfilename", vecNames);
            xmlFreeDoc(pDoc);

            std::string strPrelude =
                "const label = " + page_checks::JsonString(strCharSet) +
                ";\nconst calls = [];\nvar a_sId = 'item';\n"
                "function f_viewAttachment(ids, id, v, name) { calls.push(['view', ids, id, "
                "name]); }\n"
                "function f_ShowExtBlockedMsg() { calls.push(['blocked']); }\n"
                "function alert() { calls.push(['alert']); }\n"
                "function _e() {}\n";
            std::string strEpilogue = page_checks::HtmlDecodeFunction() + "const names = [";
            for (const std::string& strName : vecNames)
                strEpilogue += page_checks::JsonString(strName) + ",";
            strEpilogue += "];\nconst expected = [];\nconst expectedNames = [];\n";
            for (size_t i = 0; i < page_checks::HostileNames().size(); ++i)
                strEpilogue += "{ const name = html(decode(label, " +
                               page_checks::JsonBytes(page_checks::HostileNames()[i]) +
                               ")).trim(); const id = html(decode(label, " +
                               page_checks::JsonBytes(PremiumHostileIDs()[i % PremiumHostileIDs().size()]) +
                               "));\n  expected.push(['view', 'item', id, name.replace(/\"/g, \"'\")]);\n"
                               "  expectedNames.push(name); }\n";
            strEpilogue += "console.log(JSON.stringify([calls, names], null, 1));\nconsole.log('----');\n"
                           "console.log(JSON.stringify([expected, expectedNames], null, 1));\n";
            const std::string strOutput = page_checks::NodeRunPieces(
                page_checks::ScriptsOf(strSent, strCharSet), strPrelude, strEpilogue);
            const size_t nSplit = strOutput.find("\n----\n");
            ASSERT_NE(nSplit, std::string::npos) << strOutput;
            EXPECT_EQ(strOutput.substr(0, nSplit + 1), strOutput.substr(nSplit + 6));
        }
    }
}
} // namespace
