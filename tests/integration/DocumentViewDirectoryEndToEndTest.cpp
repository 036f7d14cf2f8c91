// The document view end to end with OWA's file-access lists from a real directory server: the links a
// rewritten list carries pass the worker's download check, a tampered one is refused, and a file OWA forces
// to be saved comes back through the redirect of OWA's error page.
#include "tests/directory/SlapdServer.h"
#include "tests/integration/AuthTreeSupport.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace
{
using namespace auth_tree;

const std::string GOLDEN = std::string(DLSW_SOURCE_DIR) + "/tests/fixtures/pages/docview/";

// The directory's OWA settings: .txt and .doc allowed, .exe blocked, .zip and every other type forced to
// be saved; direct file access on for private computers.
class DocumentViewDirectoryEndToEnd : public CAuthTreeTest
{
protected:
    static void SetUpTestSuite()
    {
        s_pServer = new CSlapdServer();
        std::string strError;
        ASSERT_TRUE(s_pServer->Start(strError)) << strError;
        CMachineConfig::Instance().SetDirectoryServer(s_pServer->MachineDirectory());
        CMachineConfig::Instance().SetComputerName("MAIL01", "mail01", "example.test");
        LoadWorker();
    }
    static void TearDownTestSuite()
    {
        UnloadWorker();
        delete s_pServer;
        s_pServer = nullptr;
        CMachineConfig::Instance().Reset();
    }

    // A GET with OWA's answer to it.
    static CHostResult Answer(const std::string& strURL, const std::string& strPage, DWORD dwCriteriaID,
                              const std::string& strMoreHeaders = "")
    {
        CHostRequest request;
        std::string strError;
        EXPECT_TRUE(RawRequest::Parse("GET " + strURL +
                                          " HTTP/1.1\r\nHost: mail.example.test\r\nUser-Agent: Mozilla/4.0 "
                                          "(compatible; MSIE 8.0; Windows NT 6.1)\r\n" +
                                          strMoreHeaders + "\r\n",
                                      request.m_raw, strError))
            << strError;
        request.m_dwCriteriaID = dwCriteriaID;
        request.m_strClientAddress = OUTSIDE;
        request.m_strUser = "EXAMPLE\\alice";
        request.m_strResponseBody = strPage;
        request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
        return s_pHost->Process(request);
    }

    static std::string DocumentList()
    {
        const CHostResult result =
            Answer("/owa/?ae=Folder&t=IPF.DocumentLibrary&URL=http%3a%2f%2fportal.example.test%2fdocs",
                   ReadFileText(GOLDEN + "directory-document-view.html"), SET_HASHES,
                   "KS_CSMPREFIX: c7f3a/cache/\r\n");
        EXPECT_TRUE(result.m_bInstructionsSubmitted);
        return result.m_strBody;
    }

    // The hash the list gives a file, or empty.
    static std::string HashOf(const std::string& strPage, const std::string& strName)
    {
        std::smatch match;
        const std::regex re("_KSDLFilename=\"" + strName + "\" _KSDLFileIDHash=\"([0-9]+)\"");
        return std::regex_search(strPage, match, re) ? match[1].str() : std::string();
    }

    inline static CSlapdServer* s_pServer = nullptr;
};

std::string Escaped(const std::string& strPath)
{
    std::string strOut;
    for (char c : strPath)
        strOut += c == ':' ? std::string("%3a") : c == '/' ? std::string("%2f") : std::string(1, c);
    return strOut;
}

TEST_F(DocumentViewDirectoryEndToEnd, GoldenList)
{
    EXPECT_EQ(DocumentList(), ReadFileText(GOLDEN + "directory-document-view.sent.html"));
}

TEST_F(DocumentViewDirectoryEndToEnd, TheListsLinksPassTheDownloadCheck)
{
    const std::string strPage = DocumentList();
    const struct
    {
        const char* m_pszName;
        const char* m_pszPath;
        const char* m_pszNamespace;
    } aFiles[] = {
        {"notes.txt", "http://portal.example.test/docs/notes.txt", "SharepointDocument"},
        {"plan.zip", "http://portal.example.test/docs/plan.zip", "SharepointDocument"},
        {"report.doc", "file://fileserver/share/report.doc", "UncDocument"},
        {"archive.zip", "file://fileserver/share/archive.zip", "UncDocument"},
    };
    for (const auto& file : aFiles)
    {
        SCOPED_TRACE(file.m_pszName);
        const std::string strHash = HashOf(strPage, file.m_pszName);
        ASSERT_FALSE(strHash.empty());
        const std::string strPassedOn = std::string("/owa/ev.owa?ns=") + file.m_pszNamespace +
                                        "&ev=GetDoc&URL=" + Escaped(file.m_pszPath);
        const CHostResult allowed = Answer(strPassedOn + "&fidh=" + strHash, "", SET_HASHES);
        EXPECT_EQ(AuthComplete(allowed)->m_dwControlMessage, CM_IGNORE);
        EXPECT_FALSE(allowed.m_bResponseSent);
        EXPECT_EQ(allowed.m_strURL, strPassedOn);
        const CHostResult tampered = Answer(strPassedOn + "&fidh=" + strHash + "1", "", SET_HASHES);
        EXPECT_EQ(AuthComplete(tampered)->m_dwControlMessage, CM_COMPLETED);
        EXPECT_TRUE(tampered.m_bResponseSent);
    }
    // OWA blocks .exe: its link carries no hash, and one made up is refused.
    EXPECT_EQ(HashOf(strPage, "setup.exe"), "");
    const std::string strExe = "file://fileserver/share/setup.exe";
    const CHostResult made =
        Answer("/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + Escaped(strExe) + "&fidh=" + Hash(strExe), "",
               SET_HASHES);
    EXPECT_TRUE(made.m_bResponseSent);
}

TEST_F(DocumentViewDirectoryEndToEnd, UnresolvedForceSaveIdRoundTrip)
{
    const std::string strPage = DocumentList();
    ASSERT_NE(strPage.find("_KSDLFilename=\"plan.zip\" _KSDLFileIDHash=\"" + HashOf(strPage, "plan.zip") +
                           "\" _KSDLOWAForceSaveID=\"unresolved\" "),
              std::string::npos);
    const std::string strLink = "/owa/ev.owa?ns=SharepointDocument&ev=GetDoc&URL=" +
                                Escaped("http://portal.example.test/docs/plan.zip");
    const std::string strHash = HashOf(strPage, "plan.zip");
    // The viewer's download of the file: the worker takes the id and the hash off and marks the request;
    // OWA answers with its error page, which the worker turns into a redirect to the page's link.
    const std::string strErrorPage =
        "<!-- OwaPage = ASP.auth_error_aspx -->\n<html><head><title>e</title></head>"
        "<body><a href=\"ev.owa?ns=SharepointDocument&amp;ev=GetDoc&amp;URL=" +
        Escaped("http://portal.example.test/docs/plan.zip") + "\">Save</a></body></html>";
    const CHostResult download = Answer(strLink + "&id=unresolved&fidh=" + strHash, strErrorPage, SET_HASHES);
    EXPECT_EQ(download.m_strURL, strLink);
    EXPECT_NE(download.m_dwRequestFlags & RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, 0u);
    ASSERT_TRUE(download.m_bBodyReplaced);
    const std::string strPrefix = "HTTP/1.1 302 Object Moved\r\nLocation:";
    ASSERT_EQ(download.m_strBody.rfind(strPrefix, 0), 0u);
    const std::string strLocation = download.m_strBody.substr(
        strPrefix.size(), download.m_strBody.find("\r\n", strPrefix.size()) - strPrefix.size());
    EXPECT_EQ(strLocation, strLink + "&fidh=" + strHash);
    // The browser follows the redirect: the download passes the check and goes to OWA without the hash.
    const CHostResult followed = Answer(strLocation, "", SET_HASHES);
    EXPECT_EQ(AuthComplete(followed)->m_dwControlMessage, CM_IGNORE);
    EXPECT_FALSE(followed.m_bResponseSent);
    EXPECT_EQ(followed.m_strURL, strLink);
    EXPECT_EQ(followed.m_dwRequestFlags & RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, 0u);
}
} // namespace
