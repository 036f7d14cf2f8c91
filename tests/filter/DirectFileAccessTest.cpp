#include "AuthTestSupport.h"

#include "common/StringHelpers.h"
#include "filter/AuthCompleteHelper.h"
#include "filter/Notifications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The settings sets of the decision table; criteria id n selects set n.
enum DecisionSet
{
    SET_ALLOWED = 1,
    SET_IP_ONLY,
    SET_HASHES,
    SET_HASHES_NO_OPEN_NO_SAVE,
    SET_HASHES_NO_OPEN,
    SET_INVALID_LEVEL,
    SET_NO_LEVEL,
    SET_HASHES_BLOCKED_LIST,
    SET_HASHES_BLOCKED_LIST_OFF,
};

constexpr const char* RANGE = "10.0.0.0;10.0.0.255";
constexpr const char* INSIDE = "10.0.0.5";
constexpr const char* OUTSIDE = "192.168.7.7";

class DirectDownload : public CAuthSettingsTest
{
protected:
    void SetUp() override
    {
        CAuthSettingsTest::SetUp();
        LoadSettings("", {
                             Item(43, "1"),
                             Item(43, "0") + Item(45, RANGE),
                             Item(43, "2") + Item(45, RANGE),
                             Item(43, "2") + Item(45, RANGE) + Item(2, "0") + Item(3, "0"),
                             Item(43, "2") + Item(45, RANGE) + Item(2, "0"),
                             Item(43, "7") + Item(45, RANGE),
                             Item(45, RANGE),
                             Item(43, "2") + Item(22, "1") + Item(42, "exe; PDF ;bat"),
                             Item(43, "2") + Item(22, "0") + Item(42, "exe;pdf;bat"),
                         });
    }
};

// An attachment link as the worker's pages write it: item X with attachments A and B, the link to B.
std::string AttachmentQuery(const std::string& strItemHash, const std::string& strAttachmentHash)
{
    return "attach=1&id=X&attcnt=2&attid0=A&attid1=B&midh=" + strItemHash + "&aidh=" + strAttachmentHash;
}
const std::string GOOD_MIDH = HashToDecimalString("XA");
const std::string GOOD_AIDH = HashToDecimalString("B");
const std::string FILE_URL = "/dir/report.pdf";
const std::string GOOD_FIDH = HashToDecimalString(FILE_URL.c_str());

struct DecisionCase
{
    const char* m_pszName;
    DecisionSet m_eSet;
    DWORD m_dwFlags;
    std::string m_strQuery;
    const char* m_pszClient;
    DWORD m_dwCode;
    DWORD m_dwControlMessage;
    bool m_bDenied;
    std::string m_strRewrittenURL; // empty: the URL stays
};

void RunCases(const std::vector<DecisionCase>& vecCases)
{
    for (const DecisionCase& c : vecCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CThreadUser user("alice", "EXAMPLE");
        const bool bAttachment = c.m_dwFlags == RF_DIRECT_ATTACHMENT_ACCESS;
        const std::string strPath = bAttachment ? "/owa/attachment.ashx" : "/owa/ev.owa";
        CAuthRequest request(strPath + "?" + c.m_strQuery, c.m_dwFlags, bAttachment ? 5 : 4);
        request.m_context.CriteriaID = c.m_eSet;
        request.SetVariable("REMOTE_ADDR", c.m_pszClient);
        CNotifications notifications;
        EXPECT_EQ(notifications.NotifyAuthComplete(request.Record()), c.m_dwCode);
        EXPECT_EQ(request.m_context.ControlMessage, c.m_dwControlMessage);
        EXPECT_EQ(request.m_bSent, c.m_bDenied);
        if (c.m_bDenied)
        {
            EXPECT_EQ(request.m_strSent.rfind("HTTP/1.0 401 OK\r\n", 0), 0u);
        }
        std::vector<std::pair<std::string, std::string>> vecExpected;
        if (!c.m_strRewrittenURL.empty())
            vecExpected.emplace_back("URL", c.m_strRewrittenURL);
        EXPECT_EQ(request.m_vecHeadersSet, vecExpected);
        // Whatever the host does next, an ignored or answered request keeps no context of the worker's.
        const bool bOver = c.m_dwControlMessage == CM_IGNORE || c.m_dwControlMessage == CM_COMPLETED;
        EXPECT_EQ(request.m_context.m_pMyOwnContext == nullptr, bOver);
    }
}

TEST_F(DirectDownload, AttachmentDecisionTable)
{
    const DWORD A = RF_DIRECT_ATTACHMENT_ACCESS;
    const std::string strGood = AttachmentQuery(GOOD_MIDH, GOOD_AIDH);
    const std::string strRewritten = "/owa/attachment.ashx?attach=1&id=X&attcnt=2&attid0=A&attid1=B";
    RunCases({
        {"level 1 allows, hash parameters removed", SET_ALLOWED, A, "id=X&midh=1&aidh=2&attcnt=1", OUTSIDE, 0,
         CM_IGNORE, false, "/owa/attachment.ashx?id=X&attcnt=1"},
        {"level 1 without hash parameters: no rewrite", SET_ALLOWED, A, "attach=1&id=X", OUTSIDE, 0,
         CM_IGNORE, false, ""},
        {"level 0 inside the range", SET_IP_ONLY, A, "attach=1&id=X", INSIDE, 0, CM_IGNORE, false, ""},
        {"level 0 outside the range", SET_IP_ONLY, A, "attach=1&id=X", OUTSIDE, 0, CM_COMPLETED, true, ""},
        {"level 0 ignores right hashes", SET_IP_ONLY, A, strGood, OUTSIDE, 0, CM_COMPLETED, true, ""},
        {"level 2 without hashes, inside", SET_HASHES, A, "attach=1&id=X", INSIDE, 0, CM_IGNORE, false, ""},
        {"level 2 without hashes, outside", SET_HASHES, A, "attach=1&id=X", OUTSIDE, 0, CM_COMPLETED, true,
         ""},
        {"level 2 midh without aidh: the address decides", SET_HASHES, A, "attach=1&id=X&midh=1", INSIDE, 0,
         CM_IGNORE, false, "/owa/attachment.ashx?attach=1&id=X"},
        {"level 2 right hashes", SET_HASHES, A, strGood, OUTSIDE, 0, CM_IGNORE, false, strRewritten},
        {"level 2 wrong aidh, even from inside", SET_HASHES, A, AttachmentQuery(GOOD_MIDH, "1"), INSIDE, 0,
         CM_COMPLETED, true, ""},
        {"level 2 wrong midh", SET_HASHES, A, AttachmentQuery("1", GOOD_AIDH), INSIDE, 0, CM_COMPLETED, true,
         ""},
        {"level 2 hash of B made over the item id only", SET_HASHES, A,
         AttachmentQuery(HashToDecimalString("X"), GOOD_AIDH), OUTSIDE, 0, CM_COMPLETED, true, ""},
        {"level 2 Open and Save off", SET_HASHES_NO_OPEN_NO_SAVE, A, strGood, INSIDE, 0, CM_COMPLETED, true,
         ""},
        {"level 2 only Open off", SET_HASHES_NO_OPEN, A, strGood, OUTSIDE, 0, CM_IGNORE, false, strRewritten},
        // Decisions that cannot be made are refusals.
        {"hashes without the item id", SET_HASHES, A, "attcnt=1&attid0=B&midh=1&aidh=" + GOOD_AIDH, INSIDE,
         13, CM_COMPLETED, true, ""},
        {"hashes without attachment ids", SET_HASHES, A, "id=X&midh=1&aidh=2", INSIDE, 13, CM_COMPLETED, true,
         ""},
        {"absurd attcnt", SET_HASHES, A, "id=X&attcnt=2000000000&attid0=A&midh=1&aidh=2", INSIDE, 13,
         CM_COMPLETED, true, ""},
        {"attcnt beyond 64 bits", SET_HASHES, A, "id=X&attcnt=100000000000000000000&attid0=A&midh=1&aidh=2",
         INSIDE, 13, CM_COMPLETED, true, ""},
        {"unreadable attcnt", SET_HASHES, A, "id=X&attcnt=two&attid0=A&midh=1&aidh=2", INSIDE, 13,
         CM_COMPLETED, true, ""},
        {"a missing attid", SET_HASHES, A,
         "id=X&attcnt=3&attid0=A&attid1=B&midh=" + GOOD_MIDH + "&aidh=" + GOOD_AIDH, INSIDE, 13, CM_COMPLETED,
         true, ""},
        {"invalid level", SET_INVALID_LEVEL, A, "attach=1&id=X", INSIDE, 13, CM_COMPLETED, true, ""},
        {"no level in the settings", SET_NO_LEVEL, A, "attach=1&id=X", INSIDE, 13, CM_COMPLETED, true, ""},
    });
}

std::string DocumentQuery(const std::string& strFileURL, const std::string& strHash)
{
    return "ns=UncDocument&ev=GetDoc&URL=" + strFileURL + (strHash.empty() ? "" : "&fidh=" + strHash);
}

TEST_F(DirectDownload, DocumentViewDecisionTable)
{
    const DWORD D = RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS;
    RunCases({
        {"level 1, force-save id removed: no Ignore, the page is rewritten later", SET_ALLOWED, D,
         "id=unresolved&fidh=5", OUTSIDE, 0, CM_NONE, false, "/owa/ev.owa?"},
        {"level 1, fidh removed", SET_ALLOWED, D, DocumentQuery(FILE_URL, "5"), OUTSIDE, 0, CM_IGNORE, false,
         "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + FILE_URL},
        {"level 1, nothing to remove", SET_ALLOWED, D, DocumentQuery(FILE_URL, "") + "&id=7", OUTSIDE, 0,
         CM_IGNORE, false, ""},
        {"level 2 without fidh, outside", SET_HASHES, D, DocumentQuery(FILE_URL, ""), OUTSIDE, 0,
         CM_COMPLETED, true, ""},
        {"level 2 without fidh, inside", SET_HASHES, D, DocumentQuery(FILE_URL, ""), INSIDE, 0, CM_IGNORE,
         false, ""},
        {"level 2 wrong fidh, even from inside", SET_HASHES, D, DocumentQuery(FILE_URL, "5"), INSIDE, 0,
         CM_COMPLETED, true, ""},
        {"level 2 right fidh, extension on the blocked list", SET_HASHES_BLOCKED_LIST, D,
         DocumentQuery(FILE_URL, GOOD_FIDH), INSIDE, 0, CM_COMPLETED, true, ""},
        {"fidh without the file URL", SET_HASHES, D, "ns=UncDocument&ev=GetDoc&fidh=5", INSIDE, 13,
         CM_COMPLETED, true, ""},
    });
}

// With OWA's own levels: a right hash goes ahead while OWA lets the file be opened or saved.
TEST_F(DirectDownload, DocumentViewByOWALevel)
{
    COWASettings owa(5); // an action OWA does not define: a type on no list cannot be decided
    const DWORD D = RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS;
    const auto Query = [](const std::string& strFile, const char* pszMore = "")
    { return DocumentQuery(strFile, HashToDecimalString(strFile.c_str())) + pszMore; };
    const auto Rewritten = [](const std::string& strFile)
    { return "/owa/ev.owa?ns=UncDocument&ev=GetDoc&URL=" + strFile; };
    RunCases({
        {"allowed by OWA", SET_HASHES, D, Query("/d/a.PDF"), OUTSIDE, 0, CM_IGNORE, false,
         Rewritten("/d/a.PDF")},
        {"force-save by OWA", SET_HASHES, D, Query("/d/a.doc"), OUTSIDE, 0, CM_IGNORE, false,
         Rewritten("/d/a.doc")},
        {"blocked by OWA", SET_HASHES, D, Query("/d/a.exe"), INSIDE, 0, CM_COMPLETED, true, ""},
        {"force-save by OWA, Open and Save off", SET_HASHES_NO_OPEN_NO_SAVE, D, Query("/d/a.doc"), INSIDE, 0,
         CM_COMPLETED, true, ""},
        {"force-save by OWA, Open off", SET_HASHES_NO_OPEN, D, Query("/d/a.doc"), OUTSIDE, 0, CM_IGNORE,
         false, Rewritten("/d/a.doc")},
        {"blocked list off: pdf goes", SET_HASHES_BLOCKED_LIST_OFF, D, Query("/d/a.pdf"), OUTSIDE, 0,
         CM_IGNORE, false, Rewritten("/d/a.pdf")},
        {"blocked list on: pdf refused", SET_HASHES_BLOCKED_LIST, D, Query("/d/a.pdf"), OUTSIDE, 0,
         CM_COMPLETED, true, ""},
        {"a level OWA cannot give", SET_HASHES, D, Query("/d/a.xyz"), INSIDE, 13, CM_COMPLETED, true, ""},
        {"no extension: OWA cannot decide", SET_HASHES_BLOCKED_LIST, D, Query("/d/README"), INSIDE, 13,
         CM_COMPLETED, true, ""},
    });
    // A public computer's client: OWA turns direct file access off for it.
    RunCases({
        {"public client", SET_HASHES, D | RF_FBA_CLIENT | RF_FBA_PUBLIC_CLIENT, Query("/d/a.pdf"), INSIDE, 0,
         CM_COMPLETED, true, ""},
    });
}

TEST(BlockedExtensions, WholeEntriesWithoutRegardToCase)
{
    struct Case
    {
        const char* m_pszExtension;
        const char* m_pszList;
        bool m_bBlocked;
    };
    const Case aCases[] = {
        {"exe", "exe;bat", true}, {"EXE", "exe;bat", true},   {"bat", "exe;bat", true},
        {"ex", "exe;bat", false}, {"xe", "exe;bat", false},   {"exe", "exec;bat", false},
        {"at", "exe;bat", false}, {"pdf", "exe; pdf ", true}, {"", "exe;bat", false},
        {"", "", false},          {"", "exe;;bat", true},     {"", ";exe", true},
        {"", "exe;", true},       {"exe", "", false},         {"e;x", "e;x", false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszExtension) + " in " + c.m_pszList);
        EXPECT_EQ(CAuthCompleteHelper::IsExtensionInBlockedList(c.m_pszExtension, c.m_pszList), c.m_bBlocked);
    }
}

TEST(ForceSaveID, RemovedOnlyWhenUnresolved)
{
    struct Case
    {
        const char* m_pszQuery;
        bool m_bRemoved;
        const char* m_pszAfter;
    };
    const Case aCases[] = {
        {"a=1&id=UNRESOLVED&b=2", true, "a=1&b=2"},
        {"id=unresolved&b=2", true, "b=2"},
        {"b=2&id=unresolved", true, "b=2"},
        {"id=unresolved", true, ""},
        {"id=unresolved2&x=1", false, "id=unresolved2&x=1"},
        {"xid=unresolved", false, "xid=unresolved"},
        {"id=resolved&id=unresolved", false, "id=resolved&id=unresolved"},
        {"", false, ""},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszQuery);
        ci_string csQuery = c.m_pszQuery;
        EXPECT_EQ(CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved(csQuery), c.m_bRemoved);
        EXPECT_EQ(csQuery, c.m_pszAfter);
    }
}

TEST(FileAccessLevel, Names)
{
    EXPECT_STREQ(CAuthCompleteHelper::FileAccessLevelToString(1), "blocked");
    EXPECT_STREQ(CAuthCompleteHelper::FileAccessLevelToString(2), "force-save");
    EXPECT_STREQ(CAuthCompleteHelper::FileAccessLevelToString(3), "allowed");
    EXPECT_STREQ(CAuthCompleteHelper::FileAccessLevelToString(0), "unknown");
    EXPECT_STREQ(CAuthCompleteHelper::FileAccessLevelToString(4), "unknown");
}

TEST_F(DirectDownload, RefusedRewriteAndMissingInputs)
{
    CThreadUser user("alice", "EXAMPLE");
    {
        // The host refuses the internal redirection: the download is refused rather than sent on with its
        // hashes.
        CAuthRequest request("/owa/attachment.ashx?id=X&midh=1&aidh=2&attcnt=1", RF_DIRECT_ATTACHMENT_ACCESS);
        request.m_context.CriteriaID = SET_ALLOWED;
        request.m_bSetHeaderResult = FALSE;
        EXPECT_EQ(CNotifications().NotifyAuthComplete(request.Record()), 7u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
        EXPECT_TRUE(request.m_bSent);
    }
    bool bSent = true;
    bool bRemoved = true;
    EXPECT_EQ(CAuthCompleteHelper::HandleDirectFileAccessRequest(
                  nullptr, "/a", "", DIRECT_FILE_ACCESS_ATTACHMENT, bSent, bRemoved),
              7u);
    EXPECT_FALSE(bSent);
    EXPECT_FALSE(bRemoved);
}
} // namespace
