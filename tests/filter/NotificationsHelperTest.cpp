#include "AuthTestSupport.h"

#include "common/StringHelpers.h"
#include "filter/SecurityAccess.h"
#include "filter/StringOperation.h"
#include "platform/ThreadTokenApi.h"
#include "platform/WinHandle.h"
#include "platform/WinSecurity.h"
#include "platform/WinTime.h"
#include "request/NotificationsHelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
TEST(GetURLParamValue, FindsParametersAnywhereInTheQuery)
{
    struct Case
    {
        const char* m_pszText;
        const char* m_pszName;
        size_t m_nStart;
        bool m_bFound;
        const char* m_pszValue;
    };
    const Case aCases[] = {
        {"/owa/x.aspx?a=1&id=RgA%2Bb&c=3", "id", std::string::npos, true, "RgA+b"},
        {"/owa/x.aspx?id=first&b=2", "id", std::string::npos, true, "first"}, // right after the '?'
        {"/owa/x.aspx?a=1&id=", "id", std::string::npos, true, ""},
        {"/owa/x.aspx?xid=1&b=2", "id", std::string::npos, false, ""},
        {"/owa/x.aspx?a=1&ID=2", "id", std::string::npos, false, ""}, // names are exact-case
        {"/owa/x.aspx", "id", std::string::npos, false, ""},          // no '?'
        {"a=1&id=7", "a", 0, true, "1"},                              // a query text from its start
        {"a=1&id=7", "id", 0, true, "7"},
        {"a=1", "a", 50, false, ""}, // a start beyond the text finds nothing
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszText) + " / " + c.m_pszName);
        std::string strValue = "stale";
        EXPECT_EQ(CNotificationsHelper::GetURLParamValue(c.m_pszText, c.m_pszName, strValue, c.m_nStart),
                  c.m_bFound);
        EXPECT_EQ(strValue, c.m_pszValue);
    }
}

TEST(GetURLParamValue, TracesWhatItMissed)
{
    CTraceCapture trace;
    std::string strValue;
    CNotificationsHelper::GetURLParamValue("/a", "id", strValue);
    CNotificationsHelper::GetURLParamValue("/a?b=1", "id", strValue);
    EXPECT_TRUE(trace.Has("[CDLBasicFormWithAttachments::GetURLParamValue] '?' was not found in </a>."));
    EXPECT_TRUE(
        trace.Has("[CDLBasicFormWithAttachments::GetQueryStringParamValue] <&id=> query string parameter "
                  "was not found in QS <?b=1>."));
    EXPECT_TRUE(trace.Has("[CNotificationsHelper::GetURLParamValue] returned bRet <FALSE> sValue <>."));
}

TEST(Cookies, CadataValueAndCookie)
{
    struct Case
    {
        const char* m_pszCookie;
        bool m_bFound;
        const char* m_pszValue;
        const char* m_pszCookieText;
    };
    const Case aCases[] = {
        {"CADATA=v; x=1", true, "v", "CADATA=v"},
        {"a=1; cadata=\"1abc\"", true, "\"1abc\"", "cadata=\"1abc\""},
        {"a=1;cadata=", true, "", "cadata="},
        {"a=1; b=2", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszCookie);
        std::string strValue;
        std::string strCookie = "stale";
        EXPECT_EQ(CNotificationsHelper::GetCadataCookieValue(c.m_pszCookie, strValue), c.m_bFound);
        EXPECT_EQ(strValue, c.m_pszValue);
        EXPECT_EQ(CNotificationsHelper::ExtractCadataCookie(c.m_pszCookie, strCookie), c.m_bFound);
        EXPECT_EQ(strCookie, c.m_pszCookieText);
    }
}

TEST(Cookies, ExtractCookieRefusesBadKeys)
{
    CTraceCapture trace;
    std::string strValue;
    EXPECT_FALSE(extractCookie("a=1", "", strValue));
    EXPECT_FALSE(extractCookie("a=1", "a", strValue));
    EXPECT_TRUE(trace.Has("[extractCookie] ERROR Missing Key"));
    EXPECT_TRUE(trace.Has("[extractCookie] ERROR Key <a> requires '=' terminator"));
    EXPECT_TRUE(extractCookie("x=1; a=2", "a=", strValue));
    EXPECT_TRUE(trace.Has("[extractCookie] cookie:<x=1; a=2> key:<a=> value:<2> return <TRUE>"));
}

TEST(Cookies, FormsBasedAuthenticationFlags)
{
    struct Case
    {
        const char* m_pszCookie;
        const char* m_pszForwarded; // "HTTP_X_KS_FBA_CVALUE", null when absent
        DWORD m_dwFlags;
    };
    const Case aCases[] = {
        {"cadata=\"0x\"", nullptr, 0x180},
        {"cadata=\"1x\"", nullptr, 0x180},
        {"cadata=\"2x\"", nullptr, 0x180},
        {"cadata=\"4x\"", nullptr, 0x80},
        {"cadata=\"5x\"", nullptr, 0x80},
        {"cadata=\"6x\"", nullptr, 0x80},
        {"cadata=\"3x\"", nullptr, 0},
        {"cadata=\"", nullptr, 0},
        {"cadata=1x", nullptr, 0},
        {"a=1", "\"1q\"", 0x180}, // the value a front end forwards when the cookie has none
        {"a=1", "\"5q\"", 0x80},
        {"a=1", nullptr, 0},
        {"cadata=\"3x\"", "\"1q\"", 0}, // the cookie decides when it is there
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszCookie);
        CAuthRequest request;
        if (c.m_pszForwarded != nullptr)
            request.SetVariable("HTTP_X_KS_FBA_CVALUE", c.m_pszForwarded);
        EXPECT_EQ(CNotificationsHelper::GetFBAClientFlags(request.Record(), c.m_pszCookie), c.m_dwFlags);
    }
}

TEST(AttachmentIDs, ReadAndJoined)
{
    struct Case
    {
        const char* m_pszQuery;
        DWORD m_dwRet;
        std::vector<std::string> m_vecIDs;
        const char* m_pszJoinedButLast;
        const char* m_pszLast;
    };
    const Case aCases[] = {
        {"attcnt=2&attid0=A&attid1=B", 0, {"A", "B"}, "A", "B"},
        {"attcnt=3&attid0=A&attid1=B%26C&attid2=D", 0, {"A", "B&C", "D"}, "AB&C", "D"},
        {"attcnt=1&attid0=A", 0, {"A"}, "", "A"},
        {"", 0, {}, "", ""},
        {"attcnt=0", 0, {}, "", ""},
        {"attcnt=-4", 0, {}, "", ""},
        {"attcnt=3&attid0=A&attid1=B", 13, {"A", "B"}, "", ""},
        {"attcnt=x", 13, {}, "", ""},
        {"attcnt=", 0, {}, "", ""},
        // Counts a link never carries: refused before any id is read, nothing sized by them.
        {"attcnt=2000000000&attid0=A", 13, {}, "", ""},
        {"attcnt=100000000000000000000&attid0=A", 13, {}, "", ""},
        {"attcnt=1025&attid0=A", 13, {}, "", ""},
        {"ATTCNT=1&ATTID0=Z", 0, {"Z"}, "", "Z"}, // parameter names without regard to case
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszQuery);
        CAuthRequest request(std::string("/owa/attachment.ashx?") + c.m_pszQuery);
        std::vector<std::string> vecIDs{"stale"};
        EXPECT_EQ(CNotificationsHelper::GetRequestParamAttIDs(request.m_context.m_spRequestInfo, vecIDs),
                  c.m_dwRet);
        EXPECT_EQ(vecIDs, c.m_vecIDs);
        std::string strJoined = "stale";
        std::string strLast = "stale";
        EXPECT_EQ(CNotificationsHelper::ConcatRequestParamAttIDs(request.m_context.m_spRequestInfo, strJoined,
                                                                 strLast),
                  c.m_dwRet);
        EXPECT_EQ(strJoined, c.m_pszJoinedButLast);
        EXPECT_EQ(strLast, c.m_pszLast);
        std::string strAll = "stale";
        EXPECT_EQ(CNotificationsHelper::ConcatRequestParamAttIDs(request.m_context.m_spRequestInfo, strAll),
                  c.m_dwRet);
        EXPECT_EQ(strAll, c.m_dwRet == 0 ? std::string(c.m_pszJoinedButLast) + c.m_pszLast : "");
    }
}

TEST(AttachmentIDs, MissingRequestInfoAndTraces)
{
    CTraceCapture trace;
    std::vector<std::string> vecIDs;
    EXPECT_EQ(CNotificationsHelper::GetRequestParamAttIDs(CCountedPtr<CRequestInfo>(), vecIDs), 7u);
    EXPECT_TRUE(trace.Has("[CNotificationsHelper::GetRequestParamAttIDs] spRequestInfo is NULL"));
    CAuthRequest request("/a?attcnt=2&attid0=A");
    CNotificationsHelper::GetRequestParamAttIDs(request.m_context.m_spRequestInfo, vecIDs);
    EXPECT_TRUE(trace.Has("[CNotificationsHelper::GetRequestParamAttIDs] CRequestInfo::GetParamValue failed. "
                          "csAttIDAttr <attid1>."));
    CAuthRequest bad("/a?attcnt=two");
    CNotificationsHelper::GetRequestParamAttIDs(bad.m_context.m_spRequestInfo, vecIDs);
    EXPECT_TRUE(
        trace.Has("[CNotificationsHelper::GetRequestParamAttIDs] CStringOperation::String2Int failed. "
                  "csAttCntValue <two>."));
    EXPECT_TRUE(trace.Has("[CNotificationsHelper::GetRequestParamAttIDs] returned dwRet <13>."));
}

TEST(RemoveParamFromQueryString, RemovesTheFirstOccurrence)
{
    struct Case
    {
        const char* m_pszQuery;
        const char* m_pszName;
        BOOL m_bRet;
        const char* m_pszAfter;
    };
    const Case aCases[] = {
        {"a=1&b=2&c=3", "b", TRUE, "a=1&c=3"},
        {"a=1&b=2&c=3", "a", TRUE, "b=2&c=3"},
        {"a=1&b=2&c=3", "c", TRUE, "a=1&b=2"},
        {"a=1&b=2&c=3", "d", FALSE, "a=1&b=2&c=3"},
        {"a=1&b=2", "B", TRUE, "a=1"},
        {"b=1&b=2", "b", TRUE, "b=2"},
        {"ab=1&b=2", "b", TRUE, "ab=1"},
        {"b=1", "b", TRUE, ""},
        {"", "b", FALSE, ""},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszQuery) + " - " + c.m_pszName);
        ci_string csQuery = c.m_pszQuery;
        EXPECT_EQ(CNotificationsHelper::RemoveParamFromQueryString(csQuery, c.m_pszName), c.m_bRet);
        EXPECT_EQ(csQuery, c.m_pszAfter);
    }
}

class ClientAddress : public CAuthSettingsTest
{
};

TEST_F(ClientAddress, ForwardedAddressFirstThenRemoteAddress)
{
    LoadSettings("", {Item(45, "10.0.0.0;10.0.0.255")});
    struct Case
    {
        const char* m_pszForwarded; // null: the front end sent none
        const char* m_pszRemote;
        const char* m_pszUsed;
        BOOL m_bAllowed;
        const char* m_pszSource;
    };
    const char* const pszHeader = "header X-Remote-Client-IP";
    const char* const pszConnection = "connection REMOTE_ADDR";
    const Case aCases[] = {
        {"10.0.0.7", "192.168.1.1", "10.0.0.7", TRUE, pszHeader},
        {"192.168.1.1", "10.0.0.7", "192.168.1.1", FALSE, pszHeader},
        {"", "10.0.0.7", "10.0.0.7", TRUE, pszConnection},
        {nullptr, "10.0.0.8", "10.0.0.8", TRUE, pszConnection},
        {nullptr, "10.0.1.8", "10.0.1.8", FALSE, pszConnection},
        {nullptr, "", "", FALSE, pszConnection},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pszUsed);
        CTraceCapture trace;
        CAuthRequest request;
        request.m_context.SettingID = 1;
        if (c.m_pszForwarded != nullptr)
            request.SetHeaderValue("X-Remote-Client-IP", c.m_pszForwarded);
        request.SetVariable("REMOTE_ADDR", c.m_pszRemote);
        BOOL bAllowed = !c.m_bAllowed;
        EXPECT_EQ(CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange(request.Record(), bAllowed),
                  0u);
        EXPECT_EQ(bAllowed, c.m_bAllowed);
        EXPECT_TRUE(trace.Has(
            std::string("[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] Client IP: <") +
            c.m_pszUsed + ">. Source: " + c.m_pszSource + "."));
    }
    BOOL bAllowed = TRUE;
    EXPECT_EQ(CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange(nullptr, bAllowed), 7u);
    EXPECT_FALSE(bAllowed);
}

bool ThreadHasToken(std::string& strAccount)
{
    HANDLE hToken = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken))
        return false;
    CloseHandle(hToken);
    std::string strDomain;
    CSecurityAccess().GetThreadUser(strAccount, strDomain);
    return true;
}

TEST(SecurityAccess, ThreadUserAndTheTokenPutBack)
{
    {
        CThreadUser user("alice", "EXAMPLE");
        std::string strAccount;
        std::string strDomain;
        EXPECT_EQ(CSecurityAccess().GetThreadUser(strAccount, strDomain), 0u);
        EXPECT_EQ(strAccount, "alice");
        EXPECT_EQ(strDomain, "EXAMPLE");
        // The lookup ran as the process's own identity, not as alice; the thread impersonates alice again
        // afterwards.
        EXPECT_EQ(DlswLastAccountLookupIdentity(), "S-1-5-20");
        std::string strAgain;
        EXPECT_TRUE(ThreadHasToken(strAgain));
        EXPECT_EQ(strAgain, "alice");
    }
    {
        // An account name longer than the lookup's buffer: the lookup fails, the token still goes back.
        CThreadUser user(std::string(300, 'x'), "EXAMPLE", "S-1-5-21-7-7-7-1003");
        std::string strAccount = "stale";
        std::string strDomain;
        EXPECT_EQ(CSecurityAccess().GetThreadUser(strAccount, strDomain),
                  static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(strAccount, "stale");
        std::string strAgain;
        EXPECT_TRUE(ThreadHasToken(strAgain));
    }
    std::string strAccount = "stale";
    std::string strDomain = "stale";
    EXPECT_EQ(CSecurityAccess().GetThreadUser(strAccount, strDomain), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_EQ(strAccount, "stale");
    EXPECT_FALSE(ThreadHasToken(strAccount));
}

TEST(StringOperation, Decode64)
{
    struct Case
    {
        std::string m_strIn;
        bool m_bRet;
        std::string m_strOut;
    };
    std::string strDocs = "docs/a.b.docx";
    Base64EncodeInPlace(strDocs);
    const Case aCases[] = {
        {strDocs, true, "docs/a.b.docx"},
        {"cmVwb3J0LmRvYw==", true, "report.doc"},
        {"cmVwb3J0LmRvYw", true, "report.doc"},         // no fill
        {"cmVw\r\nb3J0\nLmRvYw==", true, "report.doc"}, // line breaks skipped
        {"QQ", true, "A"},                              // a last group of 2
        {"QUI", true, "AB"},                            // and of 3
        {"QUEAQkI=", true, "AA"},                       // up to the first NUL byte
        {"!!!", true, ""},
        {"", false, ""},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_strIn);
        std::string strText = c.m_strIn;
        EXPECT_EQ(CStringOperation::Decode64(strText), c.m_bRet);
        EXPECT_EQ(strText, c.m_strOut);
    }
}
} // namespace
