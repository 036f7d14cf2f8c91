#include "AuthTestSupport.h"

#include "filter/AuthCompleteHelper.h"
#include "filter/Notifications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
enum AuthSet
{
    SET_OPEN = 1, // direct downloads allowed
    SET_CLOSED,   // direct downloads only from a range no test client is in
    SET_BUTTONS_0,
    SET_BUTTONS_1,
    SET_BUTTONS_2,
    SET_BUTTONS_3,
};

constexpr const char* BYPASS_GROUP = "S-1-5-21-7-7-7-2000";

class AuthComplete : public CAuthSettingsTest
{
protected:
    void SetUp() override
    {
        CAuthSettingsTest::SetUp();
        LoadSettings(Item(48, BYPASS_GROUP), {Item(43, "1"), Item(43, "0") + Item(45, "10.0.0.0;10.0.0.255"),
                                              Item(51, "0"), Item(51, "1"), Item(51, "2"), Item(51, "3")});
    }

    static DWORD Run(CAuthRequest& request) { return CNotifications().NotifyAuthComplete(request.Record()); }
};

TEST_F(AuthComplete, CookieOfDirectDownloadsRepaired)
{
    CThreadUser user("alice", "EXAMPLE");
    struct Case
    {
        const char* m_pszCookie;
        const char* m_pszRepaired;
    };
    const Case aCases[] = {
        {"a=1,b=22", "b=22"}, {"aa=11,b=2", "aa=11"},    {"x,y", "x"},
        {"a=1, b=2", "b=2"},  {"a=1,\r\n\tb=2 ", "b=2"},
    };
    for (DWORD dwFlags : {RF_DIRECT_ATTACHMENT_ACCESS, RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS})
    {
        for (const Case& c : aCases)
        {
            SCOPED_TRACE(c.m_pszCookie);
            CTraceCapture trace;
            CAuthRequest request("/owa/attachment.ashx?attach=1&id=X", dwFlags);
            request.m_context.CriteriaID = SET_OPEN;
            request.SetHeaderValue("Cookie", c.m_pszCookie);
            EXPECT_EQ(Run(request), 0u);
            EXPECT_EQ(request.m_vecHeadersSet,
                      (std::vector<std::pair<std::string, std::string>>{{"Cookie:", c.m_pszRepaired}}));
            EXPECT_TRUE(
                trace.Has(std::string("[CNotifications::NotifyAuthComplete] Cookie header value was set "
                                      "successfully to <") +
                          c.m_pszRepaired + ">."));
        }
    }
    // Other requests keep their Cookie header as it came.
    CAuthRequest request("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
    request.SetHeaderValue("Cookie", "a=1,b=22");
    EXPECT_EQ(Run(request), 0u);
    EXPECT_TRUE(request.m_vecHeadersSet.empty());
}

TEST_F(AuthComplete, FailedCookieRewriteRefusesTheDownload)
{
    CThreadUser user("alice", "EXAMPLE");
    CAuthRequest request("/owa/attachment.ashx?attach=1&id=X", RF_DIRECT_ATTACHMENT_ACCESS);
    request.m_context.CriteriaID = SET_OPEN;
    request.SetHeaderValue("Cookie", "a=1,b=22");
    request.m_bSetHeaderResult = FALSE;
    EXPECT_EQ(Run(request), 7u);
    EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_TRUE(request.m_bSent);
}

TEST_F(AuthComplete, FormsBasedAuthenticationFlagsAndContext)
{
    CThreadUser user("alice", "EXAMPLE");
    struct Case
    {
        const char* m_pszCookie;
        const char* m_pszForwarded;
        DWORD m_dwFlags;
        BOOL m_bCadata;
        const char* m_pszCadata;
    };
    const Case aCases[] = {
        {"s=1; cadata=\"1Qm3\"; t=2", nullptr, 0x180, TRUE, "cadata=\"1Qm3\""},
        {"cadata=\"5Qm3\"", nullptr, 0x80, TRUE, "cadata=\"5Qm3\""},
        {"cadata=\"3Qm3\"", nullptr, 0, TRUE, "cadata=\"3Qm3\""},
        {"s=1", "\"2xyz\"", 0x180, FALSE, ""},
        {"", "\"2xyz\"", 0, FALSE, ""}, // no Cookie header: no test at all
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszCookie);
        CAuthRequest request("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
        request.SetHeaderValue("Cookie", c.m_pszCookie);
        if (c.m_pszForwarded != nullptr)
            request.SetHeaderValue("X-KS-FBA-CVALUE", c.m_pszForwarded);
        EXPECT_EQ(Run(request), 0u);
        EXPECT_EQ(request.m_context.RequestFlags, RF_PREMIUM_CLIENT | c.m_dwFlags);
        EXPECT_EQ(request.m_context.ControlMessage, CM_NONE);
        const CDLSWContext* pOwn = request.m_context.m_pMyOwnContext;
        ASSERT_NE(pOwn, nullptr);
        EXPECT_EQ(pOwn->m_strLanguage, "en");
        EXPECT_EQ(pOwn->m_bCadataCookie, c.m_bCadata);
        EXPECT_EQ(pOwn->m_strCadataCookie, c.m_pszCadata);
    }
}

TEST_F(AuthComplete, AttachFileDialogByButtonLevel)
{
    CThreadUser user("alice", "EXAMPLE");
    const struct
    {
        AuthSet m_eSet;
        bool m_bDenied;
    } aCases[] = {{SET_BUTTONS_0, false},
                  {SET_BUTTONS_1, true},
                  {SET_BUTTONS_2, true},
                  {SET_BUTTONS_3, false},
                  {SET_OPEN, true}}; // no block level anywhere: the settings cannot say the upload is allowed
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_eSet);
        CAuthRequest request("/owa/?ae=Dialog&t=AttachFileDialog",
                             RF_PREMIUM_CLIENT | RF_ATTACH_FILE_DIALOG_OR_MANAGER, 2);
        request.m_context.CriteriaID = c.m_eSet;
        EXPECT_EQ(Run(request), c.m_eSet == SET_OPEN ? 13u : 0u);
        EXPECT_EQ(request.m_bSent, c.m_bDenied);
        EXPECT_EQ(request.m_context.ControlMessage, c.m_bDenied ? CM_COMPLETED : CM_NONE);
        EXPECT_EQ(request.m_context.m_pMyOwnContext == nullptr, c.m_bDenied);
    }
}

TEST_F(AuthComplete, BypassedUserIgnoredEvenForADirectDownload)
{
    CThreadUser user("bob", "EXAMPLE", "S-1-5-21-7-7-7-1002", {BYPASS_GROUP});
    for (DWORD dwFlags : {RF_DIRECT_ATTACHMENT_ACCESS, RF_PREMIUM_CLIENT})
    {
        CTraceCapture trace;
        CAuthRequest request("/owa/attachment.ashx?attach=1&id=X", dwFlags);
        request.m_context.CriteriaID = SET_CLOSED;
        request.SetHeaderValue("Cookie", "a=1,b=22");
        EXPECT_EQ(Run(request), 0u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_IGNORE);
        EXPECT_FALSE(request.m_bSent);
        EXPECT_TRUE(request.m_vecHeadersSet.empty());
        EXPECT_EQ(request.m_context.m_pMyOwnContext, nullptr);
        EXPECT_TRUE(
            trace.Has("[CNotifications::NotifyAuthComplete] Service worker has to be bypassed for this group "
                      "or user! Ignore further notifications."));
        EXPECT_TRUE(
            trace.Has("[CNotifications::NotifyAuthComplete] Criteria ID <2> is mapped to Setting ID <2>."));
    }
}

TEST_F(AuthComplete, AnonymousRequests)
{
    // No token and no AUTH_USER: no language, so the worker steps aside, except for a direct download,
    // which is refused in English.
    CAuthRequest page("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
    EXPECT_EQ(Run(page), 7u);
    EXPECT_EQ(page.m_context.ControlMessage, CM_IGNORE);
    EXPECT_FALSE(page.m_bSent);

    CTraceCapture trace;
    CAuthRequest download("/owa/attachment.ashx?attach=1&id=X", RF_DIRECT_ATTACHMENT_ACCESS);
    download.m_context.CriteriaID = SET_OPEN;
    EXPECT_EQ(Run(download), 7u);
    EXPECT_EQ(download.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_NE(download.m_strSent.find("You are not authorized to view this file."), std::string::npos);
    EXPECT_TRUE(trace.Has("[CAuthCompleteHelper::DetectUserLanguage] 'AUTH_USER' server variable is empty."));
    EXPECT_TRUE(trace.Has("[CNotifications::NotifyAuthComplete] finished.  Win32 RC=7.  Control "
                          "Message=<Completed>"));
}

TEST_F(AuthComplete, UserNameFromTheTokenElseFromTheServer)
{
    {
        CThreadUser user("alice", "EXAMPLE");
        CTraceCapture trace;
        CAuthRequest request("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
        request.SetVariable("AUTH_USER", "OTHER\\carol");
        EXPECT_EQ(Run(request), 0u);
        EXPECT_TRUE(trace.HasPrefix("[CAuthCompleteHelper::DetectUserLanguage] User <alice> user lang <en>"));
        EXPECT_TRUE(trace.HasPrefix("GetThreadUser Domain/User EXAMPLE/alice"));
    }
    {
        // A token whose account cannot be looked up: the server's name for the user.
        CThreadUser user(std::string(300, 'x'), "EXAMPLE", "S-1-5-21-7-7-7-1003");
        CTraceCapture trace;
        CAuthRequest request("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
        request.SetVariable("AUTH_USER", "DOMAIN\\dave");
        EXPECT_EQ(Run(request), 0u);
        EXPECT_TRUE(
            trace.HasPrefix("[CAuthCompleteHelper::DetectUserLanguage] User <DOMAIN\\dave> user lang <en>"));
    }
    CTraceCapture trace;
    CAuthRequest request("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
    request.SetVariable("AUTH_USER", "DOMAIN\\bob");
    EXPECT_EQ(Run(request), 0u);
    EXPECT_TRUE(
        trace.HasPrefix("[CAuthCompleteHelper::DetectUserLanguage] User <DOMAIN\\bob> user lang <en>"));
    EXPECT_TRUE(
        trace.Has("[CAuthCompleteHelper::DetectUserLanguage] Reading <HTTP_ACCEPT-LANGUAGE> header value "
                  "failed. Go with default value (en)."));
}

TEST_F(AuthComplete, HostThatCannotSend)
{
    CThreadUser user("alice", "EXAMPLE");
    // An undecidable download with no way to answer it: ended, not passed on, and the code says so.
    CAuthRequest request("/owa/attachment.ashx?attach=1&id=X", RF_DIRECT_ATTACHMENT_ACCESS);
    request.m_context.CriteriaID = SET_CLOSED;
    request.m_context.CoreServices = nullptr;
    EXPECT_EQ(Run(request), 7u);
    EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_FALSE(request.m_bSent);
    EXPECT_EQ(request.m_context.m_pMyOwnContext, nullptr);

    // So is an attach-file dialog the settings refuse.
    CAuthRequest dialog("/owa/?ae=Dialog&t=AttachFileDialog", RF_ATTACH_FILE_DIALOG_OR_MANAGER, 2);
    dialog.m_context.CriteriaID = SET_BUTTONS_1;
    dialog.m_context.CoreServices = nullptr;
    EXPECT_EQ(Run(dialog), 7u);
    EXPECT_EQ(dialog.m_context.ControlMessage, CM_COMPLETED);
}

// A viewer request that goes on without the worker's redirect loses the client's "owaal" and "CMC245"; when
// its URL cannot be rewritten, or read, it is refused instead.
TEST_F(AuthComplete, ViewerRequestWithoutRedirect)
{
    CThreadUser user("alice", "EXAMPLE");
    {
        CTraceCapture trace;
        CAuthRequest request("/X-Dorvel/bin/dorvel.srf?cmd=show&owaal=3", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        EXPECT_EQ(Run(request), 13u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_IGNORE);
        EXPECT_EQ(request.m_vecHeadersSet, (std::vector<std::pair<std::string, std::string>>{
                                               {"URL", "/X-Dorvel/bin/dorvel.srf?cmd=show"}}));
        EXPECT_TRUE(
            trace.Has("[CAuthCompleteHelper::StripClientViewerParams] The viewer request goes on without the "
                      "worker's redirect. The client's <owaal> and <CMC245> are removed: "
                      "</X-Dorvel/bin/dorvel.srf?cmd=show>."));
    }
    {
        CAuthRequest request("/X-Dorvel/bin/dorvel.srf?cmd=show&owaal=3", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        request.m_bSetHeaderResult = FALSE;
        EXPECT_EQ(Run(request), 13u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
        EXPECT_NE(request.m_strSent.find("You are not authorized to view this file."), std::string::npos);
    }
    {
        // Rewritten, the URL is the worker's: what could end or split it is escaped.
        CAuthRequest request("/X-Dorvel/bin/dorvel.srf?a=1#x y\"&owaal=3", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        EXPECT_EQ(Run(request), 13u);
        EXPECT_EQ(request.m_vecHeadersSet, (std::vector<std::pair<std::string, std::string>>{
                                               {"URL", "/X-Dorvel/bin/dorvel.srf?a=1%23x%20y%22"}}));
    }
    {
        // Nothing to take out: a host that would refuse a rewrite is not asked for one.
        CAuthRequest request("/X-Dorvel/bin/viewer.js?v=1", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        request.m_bSetHeaderResult = FALSE;
        EXPECT_EQ(Run(request), 13u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_IGNORE);
        EXPECT_TRUE(request.m_vecHeadersSet.empty());
        EXPECT_FALSE(request.m_bSent);
    }
    CAuthRequest request("/X-Dorvel/bin/dorvel.srf", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
    request.m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>();
    EXPECT_EQ(Run(request), 13u);
    EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_TRUE(request.m_bSent);
}

TEST_F(AuthComplete, MissingInputs)
{
    CTraceCapture trace;
    EXPECT_EQ(CNotifications().NotifyAuthComplete(nullptr), 13u);
    EXPECT_TRUE(
        trace.Has("[CNotifications::NotifyAuthComplete] finished.  Win32 RC=13.  Control Message=<N/A>"));

    CAuthRequest page("/owa/?ae=Item&id=X", RF_PREMIUM_CLIENT, 2);
    page.m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>();
    EXPECT_EQ(Run(page), 13u);
    EXPECT_EQ(page.m_context.ControlMessage, CM_IGNORE);

    CAuthRequest download("/owa/attachment.ashx?attach=1", RF_DIRECT_ATTACHMENT_ACCESS);
    download.m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>();
    EXPECT_EQ(Run(download), 13u);
    EXPECT_EQ(download.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_TRUE(download.m_bSent);

    CThreadUser user("alice", "EXAMPLE");
    CAuthRequest noURL("/owa/attachment.ashx?attach=1", RF_DIRECT_ATTACHMENT_ACCESS);
    noURL.m_context.CriteriaID = SET_OPEN;
    noURL.RequestInfo().SetServerVariable("URL", "");
    EXPECT_EQ(Run(noURL), 7u);
    EXPECT_EQ(noURL.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_TRUE(noURL.m_bSent);
}
} // namespace
