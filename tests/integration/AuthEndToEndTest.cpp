// Authentication complete end to end: the built worker loaded by the host from an installation whose
// settings sets stand for the rows of the decision tables, one link criterion per set.
#include "tests/integration/AuthTreeSupport.h"
#include "tests/support/MembershipFailure.h"
#include "tests/support/RunCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace
{
using namespace auth_tree;

class AuthEndToEnd : public CAuthTreeTest
{
protected:
    static void SetUpTestSuite() { LoadWorker(); }
    static void TearDownTestSuite() { UnloadWorker(); }
};

// One row: the request, the host's inputs, then what authentication complete did.
struct DecisionRow
{
    const char* m_pszName;
    std::string m_strURL;
    DWORD m_dwCriteriaID;
    const char* m_pszClient;
    DWORD m_dwCode;
    DWORD m_dwControlMessage;
    bool m_bDenied;
    std::string m_strPassedOnURL;
};

const std::string ITEM_HASH = Hash("RgAAAXA");
const std::string ATTACHMENT_HASH = Hash("BB");
std::string AttachmentURL(const std::string& strItemHash, const std::string& strAttachmentHash)
{
    return "/owa/attachment.ashx?attach=1&id=RgAAAX&attcnt=2&attid0=A&attid1=BB&midh=" + strItemHash +
           "&aidh=" + strAttachmentHash;
}
const std::string ALLOWED_ATTACHMENT = "/owa/attachment.ashx?attach=1&id=RgAAAX&attcnt=2&attid0=A&attid1=BB";
const std::string FILE_URL = "/dir/report.pdf";
std::string DocumentURL(const std::string& strHash, const std::string& strMore = "")
{
    return "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + FILE_URL +
           (strHash.empty() ? "" : "&fidh=" + strHash) + strMore;
}

TEST_F(AuthEndToEnd, DirectDownloadDecisionTable)
{
    const DecisionRow aRows[] = {
        {"level 1 allows; hashes removed", "/owa/attachment.ashx?attach=1&id=X&midh=1&aidh=2&attcnt=1",
         SET_ALLOWED, OUTSIDE, 0, CM_IGNORE, false, "/owa/attachment.ashx?attach=1&id=X&attcnt=1"},
        {"level 0, inside a range", "/owa/attachment.ashx?attach=1&id=X", SET_IP_ONLY, INSIDE, 0, CM_IGNORE,
         false, "/owa/attachment.ashx?attach=1&id=X"},
        {"level 0, outside", "/owa/attachment.ashx?attach=1&id=X", SET_IP_ONLY, OUTSIDE, 0, CM_COMPLETED,
         true, ""},
        {"level 2, no hashes, inside", "/owa/attachment.ashx?attach=1&id=X", SET_HASHES, INSIDE, 0, CM_IGNORE,
         false, "/owa/attachment.ashx?attach=1&id=X"},
        {"level 2, no hashes, outside", "/owa/attachment.ashx?attach=1&id=X", SET_HASHES, OUTSIDE, 0,
         CM_COMPLETED, true, ""},
        {"level 2, right hashes", AttachmentURL(ITEM_HASH, ATTACHMENT_HASH), SET_HASHES, OUTSIDE, 0,
         CM_IGNORE, false, ALLOWED_ATTACHMENT},
        {"level 2, wrong hash from an allowed address", AttachmentURL(ITEM_HASH, "7"), SET_HASHES, INSIDE, 0,
         CM_COMPLETED, true, ""},
        {"level 2, right hashes, Open and Save off", AttachmentURL(ITEM_HASH, ATTACHMENT_HASH),
         SET_HASHES_NO_OPEN_NO_SAVE, INSIDE, 0, CM_COMPLETED, true, ""},
        {"level 2, right hashes, Open off", AttachmentURL(ITEM_HASH, ATTACHMENT_HASH), SET_HASHES_NO_OPEN,
         OUTSIDE, 0, CM_IGNORE, false, ALLOWED_ATTACHMENT},
        {"document view, level 1, force-save id",
         "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=a.doc&id=unresolved&fidh=5", SET_ALLOWED, OUTSIDE, 0,
         CM_NONE, false, "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=a.doc"},
        {"document view, level 2, wrong hash from inside", DocumentURL("5"), SET_HASHES, INSIDE, 0,
         CM_COMPLETED, true, ""},
        {"document view, level 2, blocked extension", DocumentURL(Hash(FILE_URL)), SET_HASHES_BLOCKED_LIST,
         INSIDE, 0, CM_COMPLETED, true, ""},
        {"document view, level 2, no fidh, inside", DocumentURL(""), SET_HASHES, INSIDE, 0, CM_IGNORE, false,
         DocumentURL("")},
        // The crafted requests of a decision that cannot be made.
        {"hashes without the item id",
         "/owa/attachment.ashx?attach=1&attcnt=1&attid0=BB&midh=1&aidh=" + ATTACHMENT_HASH, SET_HASHES,
         INSIDE, 13, CM_COMPLETED, true, ""},
        {"attcnt of two thousand million",
         "/owa/attachment.ashx?attach=1&id=X&attcnt=2000000000&attid0=A&midh=1&aidh=2", SET_HASHES, INSIDE,
         13, CM_COMPLETED, true, ""},
        {"attcnt of 10^20", "/owa/attachment.ashx?attach=1&id=X&attcnt=100000000000000000000&midh=1&aidh=2",
         SET_HASHES, INSIDE, 13, CM_COMPLETED, true, ""},
        {"unreadable attcnt", "/owa/attachment.ashx?attach=1&id=X&attcnt=x&midh=1&aidh=2", SET_HASHES, INSIDE,
         13, CM_COMPLETED, true, ""},
        {"invalid level", "/owa/attachment.ashx?attach=1&id=X", SET_INVALID_LEVEL, INSIDE, 13, CM_COMPLETED,
         true, ""},
        {"no level", "/owa/attachment.ashx?attach=1&id=X", SET_NO_LEVEL, INSIDE, 13, CM_COMPLETED, true, ""},
    };
    for (const DecisionRow& row : aRows)
    {
        SCOPED_TRACE(row.m_pszName);
        CInputs inputs;
        inputs.m_dwCriteriaID = row.m_dwCriteriaID;
        inputs.m_strClient = row.m_pszClient;
        const CHostResult result = Run(row.m_strURL, inputs);
        const CNotificationRecord* pAuth = AuthComplete(result);
        ASSERT_NE(pAuth, nullptr);
        EXPECT_EQ(pAuth->m_dwCode, row.m_dwCode);
        EXPECT_EQ(pAuth->m_dwControlMessage, row.m_dwControlMessage);
        EXPECT_EQ(result.m_bResponseSent, row.m_bDenied);
        if (row.m_bDenied)
        {
            EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
            EXPECT_EQ(result.m_vecNotifications.size(), 3u) << "nothing after the refusal but end of request";
        }
        else
            EXPECT_EQ(result.m_strURL, row.m_strPassedOnURL);
    }
}

TEST_F(AuthEndToEnd, CookieRepairsAndFormsBasedAuthentication)
{
    const std::pair<const char*, const char*> aCookies[] = {
        {"a=1,b=22", "b=22"}, {"aa=11,b=2", "aa=11"}, {"x,y", "x"}, {"a=1, b=2", "b=2"}};
    for (const auto& cookie : aCookies)
    {
        SCOPED_TRACE(cookie.first);
        CInputs inputs;
        inputs.m_vecHeaders = {std::string("Cookie: ") + cookie.first};
        const CHostResult result = Run("/owa/attachment.ashx?attach=1&id=X", inputs);
        EXPECT_EQ(HeadersSet(result),
                  (std::vector<std::pair<std::string, std::string>>{{"Cookie:", cookie.second}}));
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_IGNORE);
    }
    const struct
    {
        const char* m_pszHeader;
        DWORD m_dwFlags;
    } aFBA[] = {
        {"Cookie: s=1; cadata=\"1Qm3kF\"", 0x1C0},
        {"Cookie: s=1; cadata=\"5Qm3kF\"", 0x0C0},
        {"Cookie: s=1; cadata=\"3Qm3kF\"", 0x040},
        {"X-KS-FBA-CVALUE: \"2abc\"", 0x040}, // no Cookie header: no test
    };
    for (const auto& row : aFBA)
    {
        SCOPED_TRACE(row.m_pszHeader);
        CInputs inputs;
        inputs.m_vecHeaders = {row.m_pszHeader};
        EXPECT_EQ(Run("/owa/?ae=Item&t=IPM.Note&id=X&a=Open", inputs).m_dwRequestFlags, row.m_dwFlags);
    }
    CInputs forwarded;
    forwarded.m_vecHeaders = {"Cookie: s=1", "X-KS-FBA-CVALUE: \"2abc\""};
    EXPECT_EQ(Run("/owa/?ae=Item&t=IPM.Note&id=X&a=Open", forwarded).m_dwRequestFlags, 0x1C0u);
}

TEST_F(AuthEndToEnd, AttachFileDialogBypassAndAnonymousUsers)
{
    const std::pair<DWORD, bool> aLevels[] = {
        {SET_ALLOWED, false}, {SET_BUTTONS_1, true}, {SET_BUTTONS_2, true}, {SET_BUTTONS_3, false}};
    for (const auto& level : aLevels)
    {
        SCOPED_TRACE(level.first);
        CInputs inputs;
        inputs.m_dwCriteriaID = level.first;
        const CHostResult result = Run("/owa/?ae=Dialog&t=AttachFileDialog", inputs);
        EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, level.second ? CM_COMPLETED : CM_NONE);
        EXPECT_EQ(result.m_strResponseSent, level.second ? DENIAL_EN : "");
    }
    // A bypassed user goes past the worker, even with a download every other user is refused.
    CInputs bypassed;
    bypassed.m_dwCriteriaID = SET_IP_ONLY;
    bypassed.m_vecGroups = {BYPASS_GROUP};
    bypassed.m_vecHeaders = {"Cookie: a=1,b=22"};
    CHostResult result = Run("/owa/attachment.ashx?attach=1&id=X", bypassed);
    EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
    EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_IGNORE);
    EXPECT_FALSE(result.m_bResponseSent);
    EXPECT_TRUE(HeadersSet(result).empty());

    // Nobody signed in: no language, so pages go on without the worker and downloads are refused in English.
    CInputs anonymous;
    anonymous.m_strUser.clear();
    result = Run("/owa/?ae=Item&t=IPM.Note&id=X&a=Open", anonymous);
    EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_IGNORE);
    result = Run("/owa/attachment.ashx?attach=1&id=X", anonymous);
    EXPECT_EQ(AuthComplete(result)->m_dwCode, 7u);
    EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
    EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
}

// When the server cannot tell whether the user is in a bypass group, a download the settings would allow is
// refused all the same; a page goes on without the worker.
TEST_F(AuthEndToEnd, AFailingMembershipCheckRefusesADownload)
{
    const CMembershipFailure failure(ERROR_ACCESS_DENIED);
    for (const std::string& strURL :
         {std::string("/owa/attachment.ashx?attach=1&id=X"), DocumentURL("", "&id=unresolved")})
    {
        SCOPED_TRACE(strURL);
        const CHostResult result = Run(strURL, CInputs());
        EXPECT_EQ(AuthComplete(result)->m_dwCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
        EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
        EXPECT_EQ(result.m_vecNotifications.size(), 3u) << "nothing after the refusal but end of request";
    }
    const CHostResult page = Run("/owa/?ae=Item&t=IPM.Note&id=X&a=Open", CInputs());
    EXPECT_EQ(AuthComplete(page)->m_dwCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(AuthComplete(page)->m_dwControlMessage, CM_IGNORE);
    EXPECT_FALSE(page.m_bResponseSent);
}

TEST_F(AuthEndToEnd, ViewerRedirects)
{
    const std::string strShowHash = Hash("/cmd/show/file/abc/def.doc");
    const struct
    {
        const char* m_pszName;
        DWORD m_dwSubscriptionType; // 0: as the host derives it from the URL
        std::string m_strURL;
        std::vector<std::string> m_vecHeaders;
        DWORD m_dwCriteriaID;
        std::string m_strPassedOn;
    } aRows[] = {
        {"close",
         21,
         "/X-Dorvel/close.htm?path=abc",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=close&path=path=abc"},
        {"print",
         23,
         "/X-Dorvel/print.htm?path=abc",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=print&path=path=abc"},
        {"menu", 24, "/X-Dorvel/menu.htm?m=1", {}, SET_ALLOWED, "/X-Dorvel/bin/dorvel.srf?cmd=menu&m=1"},
        {"GetFile.js",
         0,
         "/X-Dorvel/GetFile.js?v=1",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=GetFile&v=1"},
        {"show",
         0,
         "/X-Dorvel/cmd/show/file/abc/def.doc?aid=A&mid=M&bld=1&thm=2",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&aid=A&mid=M"},
        {"show, MMKey over HTTPS",
         0,
         "/X-Dorvel/cmd/show/file/abc/def.doc?MMKey" + strShowHash,
         {"Front-End-Https: on"},
         SET_CACHE_MULTIMEDIA,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=1"},
        {"show, MMKey over HTTP",
         0,
         "/X-Dorvel/cmd/show/file/abc/def.doc?MMKey" + strShowHash,
         {},
         SET_CACHE_MULTIMEDIA,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0"},
        {"show, hostile values",
         0,
         "/X-Dorvel/cmd/show/file/abc/def.doc?aid=1%26cmd%3Dclose&mid=%23%3F%20x",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&aid=1%26cmd%3Dclose&mid=%23%3F%20x"},
        {"show, hostile path",
         0,
         "/X-Dorvel/cmd/show/file/a%26cmd%3Dclose/b.doc",
         {},
         SET_ALLOWED,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=a%26cmd%3Dclose/b.doc&CMC245=0"},
    };
    for (const auto& row : aRows)
    {
        SCOPED_TRACE(row.m_pszName);
        CInputs inputs;
        inputs.m_dwCriteriaID = row.m_dwCriteriaID;
        inputs.m_dwSubscriptionType = row.m_dwSubscriptionType;
        inputs.m_vecHeaders = row.m_vecHeaders;
        const CHostResult result = Run(row.m_strURL, inputs);
        EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
        EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_HANDLED_REDIRECTED);
        EXPECT_EQ(result.m_strURL, row.m_strPassedOn);
    }
}

TEST_F(AuthEndToEnd, DenialInTheUsersLanguage)
{
    // Without a directory the browser's language decides; the page counts its bytes, not its characters.
    const std::string strFrench = "Vous n'\xC3\xAAtes pas autoris\xC3\xA9 \xC3\xA0 afficher ce fichier.";
    const std::string strPage =
        "<HTML><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<HEAD><TITLE>Dorvel</TITLE></HEAD>\n<BODY><P align=center><b>Kestrune Dorvel</b><br></P><P "
        "align=center>"
        "<FONT FACE=\"Verdana\" SIZE=\"2\"><b>" +
        strFrench + "</b></P></BODY></HTML>";
    ASSERT_EQ(strPage.size(), 282u); // 47 characters of text, 50 bytes
    CInputs inputs;
    inputs.m_dwCriteriaID = SET_IP_ONLY;
    inputs.m_vecHeaders = {"Accept-Language: fr-CA,fr;q=0.8,en;q=0.5"};
    CHostResult result = Run("/owa/attachment.ashx?attach=1&id=X", inputs);
    EXPECT_EQ(result.m_strResponseSent,
              "HTTP/1.0 401 OK\r\nContent-Length: 282\r\nContent-Type: text/html\r\n\r\n" + strPage);

    // A language the product has no strings for: English.
    inputs.m_vecHeaders = {"Accept-Language: nn"};
    result = Run("/owa/attachment.ashx?attach=1&id=X", inputs);
    EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
}

TEST_F(AuthEndToEnd, ViewRequestGetsOnlyTheWorkersLevel)
{
    // Without OWA's settings from a directory every file is blocked for OWA: level 1, whatever the client
    // says.
    const std::string strFile = "cmVwb3J0LmRvYw%3D%3D"; // report.doc
    CInputs inputs;
    const CHostResult result =
        Run("/X-Dorvel/bin/view.htm?owaal=3&fn=" + strFile + "&OWAAL=3&%6fwaal=3&x=1%26owaal%3D3", inputs);
    EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_HANDLED_REDIRECTED);
    EXPECT_EQ(result.m_strURL, "/X-Dorvel/bin/dorvel.srf?fn=" + strFile + "&x=1%26owaal%3D3&owaal=1");
}

// The parameters the worker decides (the access level, the multimedia-cache decision, the command where the
// worker gives one) reach the viewer only as the worker wrote them, on every kind, however the client
// spells their names.
TEST_F(AuthEndToEnd, ViewerGetsOnlyTheWorkersOwnParameters)
{
    const std::string strFile = "fn=cmVwb3J0LmRvYw%3D%3D"; // report.doc: level 1 without a directory
    const struct
    {
        const char* m_pszName;
        DWORD m_dwSubscriptionType; // 0: as the host derives it from the URL
        const char* m_pszPath;
        std::string m_strQuery; // what the client may send and the viewer gets
        const char* m_pszPrefix;
        const char* m_pszSuffix;
        bool m_bWorkerCommand;
    } aKinds[] = {
        {"view", 0, "/X-Dorvel/bin/view.htm", strFile + "&cp2lta3=reports/q3.doc", "?", "&owaal=1", false},
        {"close", 21, "/X-Dorvel/close.htm", "path=abc&x=1", "?cmd=close&path=", "", true},
        {"print", 23, "/X-Dorvel/print.htm", "path=abc&x=1", "?cmd=print&path=", "", true},
        {"menu", 24, "/X-Dorvel/menu.htm", "m=1", "?cmd=menu&", "", true},
        {"GetFile.js", 0, "/X-Dorvel/GetFile.js", "v=1", "?cmd=GetFile&", "", true},
    };
    const struct
    {
        const char* m_pszPiece;
        bool m_bCommand;
    } aSmuggled[] = {
        {"owaal=3", false},    {"OWAAL=3", false},      {"%6fwaal=3", false}, {"CMC245=1", false},
        {"cmc245=1", false},   {"CMC%32%345=1", false}, {"cmd=show", true},   {"CMD=print", true},
        {"%63md=close", true}, {"c%4dd=GetFile", true},
    };
    for (const auto& kind : aKinds)
    {
        for (const auto& smuggled : aSmuggled)
        {
            for (const std::string& strQuery : {kind.m_strQuery + "&" + smuggled.m_pszPiece,
                                                std::string(smuggled.m_pszPiece) + "&" + kind.m_strQuery})
            {
                SCOPED_TRACE(std::string(kind.m_pszName) + ": " + strQuery);
                CInputs inputs;
                inputs.m_dwSubscriptionType = kind.m_dwSubscriptionType;
                const CHostResult result = Run(std::string(kind.m_pszPath) + "?" + strQuery, inputs);
                ASSERT_EQ(AuthComplete(result)->m_dwControlMessage, CM_HANDLED_REDIRECTED);
                // Only the worker's own command goes: the view's is the client's parameter for the viewer.
                const std::string& strKept =
                    smuggled.m_bCommand && !kind.m_bWorkerCommand ? strQuery : kind.m_strQuery;
                EXPECT_EQ(result.m_strURL, std::string("/X-Dorvel/bin/dorvel.srf") + kind.m_pszPrefix +
                                               strKept + kind.m_pszSuffix);
            }
        }
    }

    // The show command builds its query itself: nothing the client adds becomes one of its parameters.
    CInputs inputs;
    const CHostResult result =
        Run("/X-Dorvel/cmd/show/file/abc/def.doc?aid=A&CMC245=1&cmd=close&owaal=3&%63mc245=1", inputs);
    EXPECT_EQ(result.m_strURL, "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&aid=A");
}

// The names of a URL's query parameters as any viewer could read them: unescaped, '+' as a blank, cut at a
// NUL, without surrounding blanks, in lower case.
std::vector<std::string> ViewerParamNames(const std::string& strURL)
{
    std::vector<std::string> vecNames;
    const size_t nQuery = strURL.find('?');
    if (nQuery == std::string::npos)
        return vecNames;
    std::istringstream pieces(strURL.substr(nQuery + 1));
    std::string strPiece;
    while (std::getline(pieces, strPiece, '&'))
    {
        std::string strName;
        const std::string strRaw = strPiece.substr(0, strPiece.find('='));
        for (size_t i = 0; i < strRaw.size(); ++i)
        {
            if (strRaw[i] == '%' && i + 2 < strRaw.size() &&
                std::isxdigit(static_cast<unsigned char>(strRaw[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(strRaw[i + 2])))
            {
                strName += static_cast<char>(std::stoi(strRaw.substr(i + 1, 2), nullptr, 16));
                i += 2;
            }
            else
                strName += strRaw[i] == '+' ? ' ' : strRaw[i];
        }
        strName = strName.substr(0, strName.find('\0'));
        const size_t nFirst = strName.find_first_not_of(" \t");
        strName = nFirst == std::string::npos
                      ? ""
                      : strName.substr(nFirst, strName.find_last_not_of(" \t") + 1 - nFirst);
        for (char& c : strName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        vecNames.push_back(strName);
    }
    return vecNames;
}

size_t CountOf(const std::vector<std::string>& vecNames, const char* pszName)
{
    return static_cast<size_t>(std::count(vecNames.begin(), vecNames.end(), pszName));
}

// A request under the viewer's folder that ends without the worker's redirect goes on, as the viewer's own
// pages and resources must, but without an access level or a multimedia-cache decision the client wrote;
// one that names a file after a failure is refused, since the worker could not give it a level.
TEST_F(AuthEndToEnd, ViewerRequestsTheWorkerDoesNotRedirectCarryNoneOfTheClientsLevels)
{
    const std::string strDoc = "fn=cmVwb3J0LmRvYw%3D%3D"; // report.doc
    enum Who
    {
        SIGNED_IN,
        ANONYMOUS,
        BYPASSED,
        MEMBERSHIP_FAILS,
    };
    const std::string REFUSED;
    const struct
    {
        const char* m_pszName;
        std::string m_strURL;
        DWORD m_dwSubscriptionType; // 0: as the host derives it from the URL
        Who m_eWho;
        DWORD m_dwCode;
        std::string m_strPassedOn; // REFUSED: the denial page
    } aRows[] = {
        {"the viewer page asked for directly",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/x.exe&CMC245=1&owaal=3", 0, SIGNED_IN, 13,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/x.exe"},
        {"no file name", "/X-Dorvel/bin/view.htm?id=1&OWAAL=3&cmc245=1", 0, SIGNED_IN, 13,
         "/X-Dorvel/bin/view.htm?id=1"},
        {"an empty file name", "/X-Dorvel/bin/view.htm?fn=&owaal=3&CMC245=1&cmd=show", 0, SIGNED_IN, 13,
         REFUSED},
        {"an empty relative path", "/X-Dorvel/bin/dorvel.srf?WR340U1=&owaal=3", 0, SIGNED_IN, 13, REFUSED},
        {"an anonymous user", "/X-Dorvel/bin/view.htm?" + strDoc + "&owaal=3&CMC245=1", 0, ANONYMOUS, 7,
         REFUSED},
        {"an anonymous user's menu", "/X-Dorvel/menu.htm?m=1&owaal=3", 24, ANONYMOUS, 7,
         "/X-Dorvel/menu.htm?m=1"},
        {"a failing membership check", "/X-Dorvel/bin/view.htm?" + strDoc + "&owaal=3&CMC245=1", 0,
         MEMBERSHIP_FAILS, ERROR_ACCESS_DENIED, REFUSED},
        {"a failing membership check on the viewer page", "/X-Dorvel/bin/dorvel.srf?" + strDoc + "&owaal=3",
         0, MEMBERSHIP_FAILS, ERROR_ACCESS_DENIED, REFUSED},
        {"a failing membership check, no file", "/X-Dorvel/bin/dorvel.srf?cmd=menu&CMC245=1", 0,
         MEMBERSHIP_FAILS, ERROR_ACCESS_DENIED, "/X-Dorvel/bin/dorvel.srf?cmd=menu"},
        {"a bypassed user", "/X-Dorvel/bin/dorvel.srf?owaal=3&" + strDoc, 0, BYPASSED, 0,
         "/X-Dorvel/bin/dorvel.srf?" + strDoc},
        {"a show request without a file", "/X-Dorvel/other/x.doc?CMC245=1&aid=A", 22, SIGNED_IN, 0,
         "/X-Dorvel/other/x.doc?aid=A"},
        {"every spelling of the names",
         "/X-Dorvel/bin/dorvel.srf?%6fwaal=3&owaal+=3&CMC%32%345=1&owaal%00x=3&x=owaal", 0, SIGNED_IN, 13,
         "/X-Dorvel/bin/dorvel.srf?x=owaal"},
        {"nothing else left", "/X-Dorvel/bin/dorvel.srf?owaal=3", 0, SIGNED_IN, 13,
         "/X-Dorvel/bin/dorvel.srf"},
        {"a resource of the viewer goes on untouched", "/X-Dorvel/bin/viewer.js?v=2&cmd=x", 0, SIGNED_IN, 13,
         "/X-Dorvel/bin/viewer.js?v=2&cmd=x"},
    };
    for (const auto& row : aRows)
    {
        SCOPED_TRACE(row.m_pszName);
        CInputs inputs;
        inputs.m_dwSubscriptionType = row.m_dwSubscriptionType;
        if (row.m_eWho == ANONYMOUS)
            inputs.m_strUser.clear();
        if (row.m_eWho == BYPASSED)
            inputs.m_vecGroups = {BYPASS_GROUP};
        std::optional<CMembershipFailure> failure;
        if (row.m_eWho == MEMBERSHIP_FAILS)
            failure.emplace(ERROR_ACCESS_DENIED);
        const CHostResult result = Run(row.m_strURL, inputs);
        ASSERT_NE(AuthComplete(result), nullptr);
        EXPECT_EQ(AuthComplete(result)->m_dwCode, row.m_dwCode);
        if (row.m_strPassedOn == REFUSED)
        {
            EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
            EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
            EXPECT_EQ(result.m_vecNotifications.size(), 3u) << "nothing after the refusal but end of request";
            EXPECT_TRUE(HeadersSet(result).empty());
            continue;
        }
        EXPECT_NE(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
        EXPECT_FALSE(result.m_bResponseSent);
        EXPECT_EQ(result.m_strURL, row.m_strPassedOn);
        const std::vector<std::string> vecNames = ViewerParamNames(result.m_strURL);
        EXPECT_EQ(CountOf(vecNames, "owaal"), 0u);
        EXPECT_EQ(CountOf(vecNames, "cmc245"), 0u);
        // A URL with nothing to take out is not rewritten at all.
        EXPECT_EQ(HeadersSet(result).empty(), row.m_strURL == row.m_strPassedOn);
    }
}

// A method the worker does not handle never reaches authentication complete; the viewer may still serve it.
TEST_F(AuthEndToEnd, ViewerRequestsOfOtherMethodsCarryNoneOfTheClientsLevels)
{
    for (const char* pszMethod : {"HEAD", "OPTIONS", "PUT", "PROPFIND"})
    {
        SCOPED_TRACE(pszMethod);
        CInputs inputs;
        inputs.m_strMethod = pszMethod;
        const CHostResult result =
            Run("/X-Dorvel/bin/dorvel.srf?fn=cmVwb3J0LmRvYw%3D%3D&owaal=3&%43MC245=1", inputs);
        EXPECT_EQ(AuthComplete(result), nullptr);
        ASSERT_FALSE(result.m_vecNotifications.empty());
        EXPECT_EQ(result.m_vecNotifications.front().m_dwControlMessage, CM_IGNORE);
        EXPECT_FALSE(result.m_bResponseSent);
        EXPECT_EQ(result.m_strURL, "/X-Dorvel/bin/dorvel.srf?fn=cmVwb3J0LmRvYw%3D%3D");
    }
    // Other folders are not the worker's to touch.
    CInputs inputs;
    inputs.m_strMethod = "OPTIONS";
    EXPECT_EQ(Run("/owa/?ae=Item&owaal=3", inputs).m_strURL, "/owa/?ae=Item&owaal=3");
}

// The level of a view request is worked out for one file, so a request that names more than one, however it
// spells the names, is refused: the viewer never gets two.
TEST_F(AuthEndToEnd, ViewRequestNamingTwoFilesIsRefused)
{
    const std::string strText = "YS50eHQ%3D"; // a.txt
    const std::string strExe = "eC5leGU%3D";  // x.exe
    for (const std::string& strQuery : {
             "fn=" + strText + "&fn=" + strExe,
             "FN=" + strText + "&fn=" + strExe,
             "%66n=" + strText + "&fn=" + strExe,
             "fn=" + strText + "&WR340U1=" + strExe,
             "WR340U1=" + strText + "&wr340u1=" + strExe,
             "fn=" + strText + "&f%4E+=" + strExe + "&owaal=3",
             "MMKey1&fn=" + strText + "&fn=" + strExe,
         })
    {
        for (const char* pszPath : {"/X-Dorvel/bin/view.htm?", "/X-Dorvel/bin/dorvel.srf?"})
        {
            SCOPED_TRACE(pszPath + strQuery);
            const CHostResult result = Run(pszPath + strQuery, CInputs());
            EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
            EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
            EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
            EXPECT_TRUE(HeadersSet(result).empty());
            EXPECT_EQ(result.m_vecNotifications.size(), 3u) << "nothing after the refusal but end of request";
        }
    }
    // One file, however its name is spelt, goes to the viewer with the worker's level.
    const CHostResult result = Run("/X-Dorvel/bin/view.htm?FN=" + strText + "&owaal=3", CInputs());
    EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_HANDLED_REDIRECTED);
    EXPECT_EQ(result.m_strURL, "/X-Dorvel/bin/dorvel.srf?FN=" + strText + "&owaal=1");
}

// The attach-file dialog and its upload, and the Basic attachment manager, are refused whenever the worker
// cannot tell whether the settings allow them, as undecidable downloads are.
TEST_F(AuthEndToEnd, UploadDialogsFailClosed)
{
    const struct
    {
        const char* m_pszName;
        const char* m_pszMethod;
        const char* m_pszURL;
    } aRequests[] = {
        {"attach-file dialog", "GET", "/owa/?ae=Dialog&t=AttachFileDialog"},
        {"its upload", "POST", "/owa/?ae=Dialog&t=AttachFileDialog&a=Add"},
        {"Basic attachment manager", "POST", "/owa/?ae=Item&a=Attach&id=X"},
        {"Basic attach dialog", "POST", "/owa/?ae=Dialog&t=Attach"},
    };
    for (const auto& request : aRequests)
    {
        SCOPED_TRACE(request.m_pszName);
        CInputs inputs;
        inputs.m_strMethod = request.m_pszMethod;
        for (DWORD dwSet : {SET_ALLOWED, SET_BUTTONS_1})
        {
            SCOPED_TRACE(dwSet);
            inputs.m_dwCriteriaID = dwSet;
            // Allowed, or refused by the settings, when the worker can tell.
            CHostResult result = Run(request.m_pszURL, inputs);
            EXPECT_EQ(AuthComplete(result)->m_dwCode, 0u);
            EXPECT_EQ(result.m_bResponseSent, dwSet == SET_BUTTONS_1);

            const CMembershipFailure failure(ERROR_ACCESS_DENIED);
            result = Run(request.m_pszURL, inputs);
            EXPECT_EQ(AuthComplete(result)->m_dwCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
            EXPECT_EQ(AuthComplete(result)->m_dwControlMessage, CM_COMPLETED);
            EXPECT_EQ(result.m_strResponseSent, DENIAL_EN);
            EXPECT_EQ(result.m_vecNotifications.size(), 3u) << "nothing after the refusal but end of request";
        }
        inputs.m_strUser.clear();
        const CHostResult anonymous = Run(request.m_pszURL, inputs);
        EXPECT_EQ(AuthComplete(anonymous)->m_dwCode, 7u);
        EXPECT_EQ(AuthComplete(anonymous)->m_dwControlMessage, CM_COMPLETED);
        EXPECT_EQ(anonymous.m_strResponseSent, DENIAL_EN);
    }
}

std::string RunTool(const std::string& strArguments, int& nExit)
{
    return RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json " + strArguments, nExit);
}

// The viewer and upload cases through the tool itself, each request from a file as a user would give it.
TEST(AuthTool, ViewerAndUploadRequests)
{
    char szFolder[] = "/tmp/dlsw-auth-tool-XXXXXX";
    ASSERT_NE(mkdtemp(szFolder), nullptr);
    const std::filesystem::path folder = szFolder;
    const struct
    {
        const char* m_pszName;
        const char* m_pszRequestLine;
        const char* m_pszUser; // empty: anonymous
        std::vector<std::string> m_vecParts;
    } aRows[] = {
        {"the viewer page asked for directly",
         "GET /X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/x.exe&CMC245=1&owaal=3",
         "EXAMPLE\\alice",
         {"\"code\":13,\"control_message\":\"Ignore\"", "\"response_sent\":null",
          "\"passed_on\":{\"method\":\"GET\",\"url\":\"/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/"
          "x.exe\""}},
        {"two file names",
         "GET /X-Dorvel/bin/view.htm?fn=YS50eHQ%3D&FN=eC5leGU%3D",
         "EXAMPLE\\alice",
         {"\"control_message\":\"Completed\"", "\"response_sent\":\"HTTP/1.0 401 OK\\r\\n"}},
        {"an anonymous upload",
         "POST /owa/?ae=Dialog&t=AttachFileDialog&a=Add",
         "",
         {"\"code\":7,\"control_message\":\"Completed\"", "\"response_sent\":\"HTTP/1.0 401 OK\\r\\n"}},
        {"an anonymous attach-file dialog",
         "GET /owa/?ae=Dialog&t=AttachFileDialog",
         "",
         {"\"code\":7,\"control_message\":\"Completed\"", "\"response_sent\":\"HTTP/1.0 401 OK\\r\\n"}},
    };
    int nFile = 0;
    for (const auto& row : aRows)
    {
        SCOPED_TRACE(row.m_pszName);
        const std::filesystem::path request = folder / (std::to_string(++nFile) + ".http");
        std::ofstream(request, std::ios::binary) << row.m_pszRequestLine
                                                 << " HTTP/1.1\r\nHost: mail.example.test\r\n"
                                                    "User-Agent: Mozilla/5.0\r\n\r\n";
        const std::string strUser =
            *row.m_pszUser == '\0' ? "" : std::string(" --user '") + row.m_pszUser + "'";
        int nExit = 0;
        const std::string strOutput = RunTool("--root '" + std::string(DLSW_INSTALL_TREE) + "'" + strUser +
                                                  " '" + request.string() + "'",
                                              nExit);
        EXPECT_EQ(nExit, 0);
        for (const std::string& strPart : row.m_vecParts)
            EXPECT_NE(strOutput.find(strPart), std::string::npos) << strPart << "\n" << strOutput;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// The samples of the demo, through the tool with the arguments the demo gives them.
TEST(AuthSamples, ThroughTheTool)
{
    const struct
    {
        const char* m_pszSample;
        std::vector<std::string> m_vecParts;
    } aSamples[] = {
        {"11-direct-download-wrong-hash",
         {"\"control_message\":\"Completed\"", "\"response_sent\":\"HTTP/1.0 401 OK\\r\\n"}},
        {"12-direct-download-allowed",
         {"\"control_message\":\"Ignore\"", "\"response_sent\":null",
          "\"passed_on\":{\"method\":\"GET\",\"url\":\"/owa/"
          "attachment.ashx?attach=1&id=RgAAAADs4ZfQ%2bWvTQ5dYtJbqPEoBwBdm6Ks&attcnt=1&"
          "attid0=RgAAAAAtt0\""}},
        {"13-bypassed-user",
         {"\"control_message\":\"Ignore\"", "\"response_sent\":null", "\"request_headers_set\":[]"}},
        {"14-viewer-show-redirect",
         {"\"control_message\":\"Handled/Redirected\"",
          "\"url\":\"/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=reports/"
          "q3.doc&CMC245=0&aid=BAAAAAAA&mid=RgAAAADs4ZfQ&"
          "bld=8.3&thm=base&prexp=0\""}},
    };
    for (const auto& sample : aSamples)
    {
        SCOPED_TRACE(sample.m_pszSample);
        const std::string strBase = std::string(DLSW_SOURCE_DIR) + "/samples/requests/" + sample.m_pszSample;
        std::string strArguments = "--user 'EXAMPLE\\alice'";
        std::ifstream args(strBase + ".args");
        if (args)
        {
            std::ostringstream text;
            text << args.rdbuf();
            strArguments.clear();
            std::istringstream words(text.str());
            std::string strWord;
            while (words >> strWord)
                strArguments += " '" + strWord + "'";
        }
        int nExit = 0;
        const std::string strOutput = RunTool("--root '" + std::string(DLSW_INSTALL_TREE) + "' " +
                                                  strArguments + " '" + strBase + ".http'",
                                              nExit);
        EXPECT_EQ(nExit, 0);
        for (const std::string& strPart : sample.m_vecParts)
            EXPECT_NE(strOutput.find(strPart), std::string::npos) << strPart << "\n" << strOutput;
    }
}
} // namespace
