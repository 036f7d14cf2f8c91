// Authentication complete end to end with OWA's settings and users' languages from a real directory server:
// the worker, loaded by the host, reads them at start and per user.
#include "tests/integration/AuthDirectoryTreeSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
using namespace auth_tree;

// The directory's OWA settings for this server: direct file access on for private computers and off for
// public ones; .DOC and .txt allowed (so .doc, also on the block list, is allowed), .exe blocked, .zip
// force-save, every other type force-save.
class AuthDirectoryEndToEnd : public CAuthDirectoryTreeTest
{
};

std::string DocumentURL(const std::string& strFile)
{
    return "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + strFile + "&fidh=" + Hash(strFile);
}

TEST_F(AuthDirectoryEndToEnd, DocumentViewByOWALevel)
{
    const struct
    {
        const char* m_pszName;
        std::string m_strFile;
        DWORD m_dwCriteriaID;
        bool m_bPublic;
        bool m_bDenied;
    } aRows[] = {
        {"allowed by OWA", "/d/a.txt", SET_HASHES, false, false},
        {"on both lists: the allow list wins", "/d/a.doc", SET_HASHES, false, false},
        {"force-save by OWA", "/d/a.zip", SET_HASHES, false, false},
        {"a type on no list: force-save", "/d/a.xyz", SET_HASHES, false, false},
        {"blocked by OWA", "/d/a.exe", SET_HASHES, false, true},
        {"allowed by OWA, Open and Save off", "/d/a.txt", SET_HASHES_NO_OPEN_NO_SAVE, false, true},
        {"allowed by OWA, on the worker's blocked list", "/d/a.pdf", SET_HASHES_BLOCKED_LIST, false, true},
        {"a public computer", "/d/a.txt", SET_HASHES, true, true},
    };
    for (const auto& row : aRows)
    {
        SCOPED_TRACE(row.m_pszName);
        CInputs inputs;
        inputs.m_dwCriteriaID = row.m_dwCriteriaID;
        if (row.m_bPublic)
            inputs.m_vecHeaders = {"Cookie: cadata=\"1xyz\""};
        const CHostResult result = Run(DocumentURL(row.m_strFile), inputs);
        EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, row.m_bDenied ? CM_COMPLETED : CM_IGNORE);
        EXPECT_EQ(result.m_bResponseSent, row.m_bDenied);
        const std::string strPassedOn = "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + row.m_strFile;
        EXPECT_EQ(result.m_strURL, row.m_bDenied ? DocumentURL(row.m_strFile) : strPassedOn);
    }
}

TEST_F(AuthDirectoryEndToEnd, ViewCarriesOWALevel)
{
    const std::pair<const char*, const char*> aFiles[] = {
        {"cmVwb3J0LnR4dA%3D%3D", "3"}, // report.txt
        {"cnVuLmV4ZQ%3D%3D", "1"},     // run.exe
        {"YS56aXA%3D", "2"},           // a.zip
    };
    for (const auto& file : aFiles)
    {
        SCOPED_TRACE(file.first);
        CInputs inputs;
        const CHostResult result =
            Run(std::string("/X-Dorvel/bin/view.htm?owaal=3&fn=") + file.first, inputs);
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_HANDLED_REDIRECTED);
        EXPECT_EQ(result.m_strURL,
                  std::string("/X-Dorvel/bin/dorvel.srf?fn=") + file.first + "&owaal=" + file.second);
    }
}

// The level is the first file's; a viewer that read the second would open x.exe as an allowed file.
TEST_F(AuthDirectoryEndToEnd, ViewNamingTwoFilesIsRefused)
{
    const std::string strText = "YS50eHQ%3D"; // a.txt: allowed
    const std::string strExe = "eC5leGU%3D";  // x.exe: blocked
    for (const std::string& strQuery :
         {"fn=" + strText + "&fn=" + strExe, "FN=" + strText + "&fn=" + strExe,
          "%66n=" + strText + "&fn=" + strExe, "fn=" + strText + "&WR340U1=" + strExe})
    {
        SCOPED_TRACE(strQuery);
        const CHostResult result = Run("/X-Dorvel/bin/view.htm?" + strQuery, CInputs());
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
        EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
        EXPECT_TRUE(HeadersSet(result).empty());
    }
    const CHostResult result = Run("/X-Dorvel/bin/view.htm?fn=" + strText, CInputs());
    EXPECT_EQ(result.m_strURL, "/X-Dorvel/bin/dorvel.srf?fn=" + strText + "&owaal=3");
}

TEST_F(AuthDirectoryEndToEnd, DenialInTheDirectorysLanguage)
{
    // bob's culture is de-DE: it wins over the browser's French.
    CInputs inputs;
    inputs.m_dwCriteriaID = SET_IP_ONLY;
    inputs.m_strUser = "EXAMPLE\\bob";
    inputs.m_vecHeaders = {"Accept-Language: fr"};
    const CHostResult result = Run("/owa/attachment.ashx?attach=1&id=X", inputs);
    const std::string strGerman = "Sie sind nicht berechtigt, diese Datei anzuzeigen.";
    EXPECT_EQ(
        result.m_strResponseSent,
        "HTTP/1.0 401 OK\r\nContent-Length: " + std::to_string(232 + strGerman.size()) +
            "\r\nContent-Type: text/html\r\n\r\n" +
            DENIAL_EN.substr(DENIAL_EN.find("<HTML>"), DENIAL_EN.find("You are") - DENIAL_EN.find("<HTML>")) +
            strGerman + "</b></P></BODY></HTML>");
}
} // namespace
