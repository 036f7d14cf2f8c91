#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"
#include "host/HostReport.h"
#include "host/HostRequestState.h"
#include "host/RawRequest.h"
#include "request/IISParm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
TEST(RawRequest, ParsesRequestLineAndHeaders)
{
    CRawRequest request;
    std::string strError;
    ASSERT_TRUE(RawRequest::Parse("\r\nGET /owa/?ae=Item HTTP/1.1\r\nHost: mail\r\nUser-Agent:  MSIE 7.0 \r\n"
                                  "X-Long: a\r\n  b\r\n\r\nbody is ignored\r\n",
                                  request, strError));
    EXPECT_EQ(request.m_strMethod, "GET");
    EXPECT_EQ(request.m_strURL, "/owa/?ae=Item");
    EXPECT_EQ(request.m_strVersion, "HTTP/1.1");
    EXPECT_EQ(request.m_vecHeaders, (std::vector<std::pair<std::string, std::string>>{
                                        {"Host", "mail"}, {"User-Agent", "MSIE 7.0"}, {"X-Long", "a b"}}));

    ASSERT_TRUE(RawRequest::Parse("HEAD /x\n", request, strError)); // LF alone, no version
    EXPECT_EQ(request.m_strMethod, "HEAD");
    EXPECT_EQ(request.m_strURL, "/x");
    EXPECT_EQ(request.m_strVersion, "HTTP/1.0");
}

TEST(RawRequest, RefusesWhatIsNoRequest)
{
    const char* const aBad[] = {"",
                                "\r\n\r\n",
                                "GET\r\n",
                                " /owa/ HTTP/1.1\r\n",
                                "GET /owa/ HTTP/1.1\r\nNoColon\r\n",
                                "GET /owa/ HTTP/1.1\r\n: value\r\n"};
    for (const char* pszText : aBad)
    {
        CRawRequest request;
        std::string strError;
        EXPECT_FALSE(RawRequest::Parse(pszText, request, strError)) << pszText;
        EXPECT_FALSE(strError.empty());
    }
}

TEST(RawRequest, QueryParameters)
{
    using Params = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(RawRequest::ParseQuery("ae=Item&&a=&t&URL=%5c%5cs%5Cf+x.doc&bad=%zz%4"),
              (Params{{"ae", "Item"}, {"a", ""}, {"t", ""}, {"URL", "\\\\s\\f x.doc"}, {"bad", "%zz%4"}}));
    EXPECT_EQ(RawRequest::ParseQuery(""), Params{});
    EXPECT_EQ(RawRequest::ParseQuery("=v"), (Params{{"", "v"}}));
    EXPECT_EQ(RawRequest::QueryOf("/owa/?a=1?b"), "a=1?b");
    EXPECT_EQ(RawRequest::PathOf("/owa/?a=1?b"), "/owa/");
    EXPECT_EQ(RawRequest::QueryOf("/owa/"), "");
}

TEST(RawRequest, SubscriptionTypeFromTheURL)
{
    const std::pair<const char*, unsigned> aCases[] = {
        {"/owa/?ae=Item&t=IPM.Note", 2},
        {"/owa/?AE=Folder", 2},
        {"/owa/", 0},
        {"/owa/ev.owa?ns=Attachments&ev=Delete", 4},
        {"/OWA/attachment.ashx?attach=1", 5},
        {"/x-dorvel/bin/view.htm?fn=a", 20},
        {"/X-Dorvel/cmd/show/file/a.doc", 22},
        {"/X-Dorvel/scripts/GetFile.js", 25},
        {"/owa/themes/base.css", 0},
        {"/exchange/?ae=Item", 0},
        {"/owafoo/?ae=Item", 0},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(RawRequest::DeriveSubscriptionType(c.first, "X-Dorvel"), c.second) << c.first;
}

// The host's filter context as the worker reads it: the two-call protocol and the names a web server
// answers to.
class HostRequestStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strError;
        ASSERT_TRUE(RawRequest::Parse("GET /owa/?ae=Item&a=Open HTTP/1.1\r\nHost: mail.test\r\n"
                                      "X-Remote-Client-IP: 10.1.2.3\r\nCookie: a=1, b=22\r\n\r\n",
                                      m_request.m_raw, strError));
        m_request.m_strUser = "DOM\\alice";
        m_request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
        m_pState = std::make_unique<CHostRequestState>(m_request, m_result);
    }

    std::string Read(const char* pszName, bool& bRead)
    {
        std::string strValue = "<unread>";
        HTTP_FILTER_CONTEXT* pfc = m_pState->FilterContext();
        bRead = GetIISParmT(pfc, pfc->GetServerVariable, pszName, strValue);
        return strValue;
    }
    std::string Read(const char* pszName)
    {
        bool bRead = false;
        return Read(pszName, bRead);
    }

    CHostRequest m_request;
    CHostResult m_result;
    std::unique_ptr<CHostRequestState> m_pState;
};

TEST_F(HostRequestStateTest, ServerVariablesFollowTheTwoCallProtocol)
{
    m_pState->Record().NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    HTTP_FILTER_CONTEXT* pfc = m_pState->FilterContext();
    DWORD dwSize = 0;
    SetLastError(0);
    EXPECT_FALSE(pfc->GetServerVariable(pfc, const_cast<LPSTR>("URL"), nullptr, &dwSize));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(dwSize, 6u); // "/owa/" and its terminator
    char szSmall[3];
    dwSize = sizeof(szSmall);
    EXPECT_FALSE(pfc->GetServerVariable(pfc, const_cast<LPSTR>("URL"), szSmall, &dwSize));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    EXPECT_EQ(Read("URL"), "/owa/");
    EXPECT_EQ(Read("QUERY_STRING"), "ae=Item&a=Open");
    EXPECT_EQ(Read("HTTP_URL"), "/owa/?ae=Item&a=Open");
    EXPECT_EQ(Read("HTTP_METHOD"), "GET");
    EXPECT_EQ(Read("REMOTE_ADDR"), "127.0.0.1");
    EXPECT_EQ(Read("HTTP_X_Remote_Client_IP"), "10.1.2.3");
    EXPECT_EQ(Read("HTTP_COOKIE"), "a=1, b=22");
    EXPECT_EQ(Read("HEADER_Host"), "mail.test");
    EXPECT_EQ(Read("LOGON_USER"), "DOM\\alice");
    bool bRead = true;
    EXPECT_EQ(Read("HTTP_ACCEPT-LANGUAGE", bRead), "<unread>");
    EXPECT_FALSE(bRead);
    EXPECT_EQ(Read("NO_SUCH_VARIABLE", bRead), "<unread>");
    EXPECT_FALSE(bRead);
}

TEST_F(HostRequestStateTest, RequestInformationIsTheSnapshotTheWorkerReads)
{
    const CRequestInfo& info = *m_pState->Record().m_spRequestInfo.Get();
    std::string strValue;
    EXPECT_TRUE(info.GetParamValue("AE", strValue));
    EXPECT_EQ(strValue, "Item");
    EXPECT_TRUE(info.GetServerVariable("HTTP_USER_AGENT", strValue)); // present though the browser sent none
    EXPECT_EQ(strValue, "");
    EXPECT_TRUE(info.GetServerVariable("HTTP_X_REMOTE_CLIENT_IP", strValue));
    EXPECT_EQ(strValue, "10.1.2.3");
    EXPECT_EQ(m_pState->Record().SubscriptionType, 2u);
    EXPECT_EQ(m_pState->Record().CriteriaID, 1u);
}

TEST_F(HostRequestStateTest, HeaderChangesApplyToWhatTheHostPassesOn)
{
    CDLLContext& record = m_pState->Record();
    HTTP_FILTER_CONTEXT* pfc = m_pState->FilterContext();

    m_pState->Deliver([](CDLLContext*) -> DWORD { return 0; }, SF_NOTIFY_AUTH_COMPLETE);
    auto* pHeaders = static_cast<HTTP_FILTER_PREPROC_HEADERS*>(record.pvNotification);
    ASSERT_NE(pHeaders, nullptr);
    EXPECT_TRUE(pHeaders->SetHeader(pfc, const_cast<LPSTR>("URL"),
                                    const_cast<LPSTR>("/X-Dorvel/bin/dorvel.srf?cmd=x")));
    EXPECT_TRUE(pHeaders->SetHeader(pfc, const_cast<LPSTR>("Cookie:"), const_cast<LPSTR>("b=22")));
    EXPECT_TRUE(pHeaders->AddHeader(pfc, const_cast<LPSTR>("X-KSTz:"), const_cast<LPSTR>("60")));
    EXPECT_EQ(Read("URL"), "/X-Dorvel/bin/dorvel.srf");
    EXPECT_EQ(Read("QUERY_STRING"), "cmd=x");
    EXPECT_EQ(Read("HTTP_COOKIE"), "b=22");

    m_pState->Deliver([](CDLLContext*) -> DWORD { return 0; }, SF_NOTIFY_SEND_RESPONSE);
    pHeaders = static_cast<HTTP_FILTER_PREPROC_HEADERS*>(record.pvNotification);
    EXPECT_TRUE(pHeaders->AddHeader(pfc, const_cast<LPSTR>("Pragma:"), const_cast<LPSTR>("no-cache")));
    EXPECT_TRUE(pHeaders->SetHeader(pfc, const_cast<LPSTR>("Content-Type:"), const_cast<LPSTR>("")));
    m_pState->Finish();

    EXPECT_EQ(m_result.m_strURL, "/X-Dorvel/bin/dorvel.srf?cmd=x");
    EXPECT_EQ(m_result.m_vecRequestHeaders, (HeaderList{{"Host", "mail.test"},
                                                        {"X-Remote-Client-IP", "10.1.2.3"},
                                                        {"Cookie", "b=22"},
                                                        {"X-KSTz", "60"}}));
    EXPECT_EQ(m_result.m_vecResponseHeaders, (HeaderList{{"Pragma", "no-cache"}}));
    ASSERT_EQ(m_result.m_vecRequestHeadersSet.size(), 2u);
    EXPECT_EQ(m_result.m_vecRequestHeadersSet[1].m_strName, "Cookie:");
    ASSERT_EQ(m_result.m_vecResponseHeadersAdded.size(), 1u);
    EXPECT_EQ(m_result.m_vecResponseHeadersAdded[0].m_dwNotification, SF_NOTIFY_SEND_RESPONSE);
}

// A worker that hands the host one list of inserts (offset, text) in send raw data, at addresses counted
// from where the host points it into the response; no list when there are none.
std::vector<std::pair<size_t, const char*>> g_vecInserts;

DWORD SubmitInserts(CDLLContext* pContext)
{
    if (g_vecInserts.empty())
        return 0;
    const char* pData = pContext->m_spOutboundContext->m_pCommonPointers[1];
    CBufferInstructionList list;
    for (const auto& insert : g_vecInserts)
    {
        CCountedPtr<CBufferInstruction> sp(new CBufferInstruction());
        sp->m_dwKind = BI_INSERT;
        sp->m_ullPosition = reinterpret_cast<uintptr_t>(pData) + insert.first;
        sp->SetText(insert.second);
        list.Add(sp);
    }
    return pContext->CoreServices->SubmitBufferCommands(pContext, &list);
}

// What goes out is the page as the worker's list edits it, or the page as it came when the host refuses
// the list or none comes; the request's own page is never written.
TEST_F(HostRequestStateTest, ThePageGoesOutEditedOrAsItCame)
{
    const struct
    {
        const char* m_pszName;
        std::vector<std::pair<size_t, const char*>> m_vecInserts;
        const char* m_pszBody;
        const char* m_pszSubmitError;
    } aCases[] = {
        {"no list", {}, "<head></head>", ""},
        {"inserts", {{6, "<script/>"}, {13, "!"}}, "<head><script/></head>!", ""},
        {"an insert past the end", {{6, "x"}, {14, "y"}}, "<head></head>", "an edit lies outside the body"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        m_request.m_strResponseBody = "<head></head>";
        CHostResult result;
        CHostRequestState state(m_request, result);
        g_vecInserts = c.m_vecInserts;
        state.Deliver(&SubmitInserts, SF_NOTIFY_SEND_RAW_DATA);
        state.Finish();
        EXPECT_EQ(result.m_strBody, c.m_pszBody);
        EXPECT_EQ(result.m_strSubmitError, c.m_pszSubmitError);
        EXPECT_EQ(result.m_bInstructionsSubmitted, !c.m_vecInserts.empty());
        EXPECT_EQ(m_request.m_strResponseBody, "<head></head>");
    }
}

TEST(HostReport, JsonStringsAreEscaped)
{
    const struct
    {
        const char* pszText;
        const char* pszJson;
    } cases[] = {
        {"a\"b\\c\r\n\t\x01\x7F", "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u007f\""},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""}, // UTF-8 stays
        {"\xC3", "\"\\ufffd\""},                           // cut short
        {"\xE9t\xE9", "\"\\ufffdt\\ufffd\""},              // Latin-1, not UTF-8
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},                // overlong
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},     // surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonString(c.pszText), c.pszJson) << c.pszText;
}
} // namespace

namespace
{
// The host's words for the page's HTML, HEAD and BODY tags stand where the browser's tokenizer starts those
// tags: the look-alikes a sender writes inside a title, an alt, a comment or a script are passed over.
TEST(HostMarks, WordsStandAtTheTagsTheBrowserSees)
{
    const std::string strPage =
        "<!-- <html><head> --><html><head><script>s='</head><body>'</script></head>"
        "<body><a title=\"</body><img src=x>\">a</a><img alt='</BODY>'>b</BODY ></html>";
    std::string strBody = strPage;
    char* apWords[COMMON_POINTER_WORDS] = {};
    CHostRequestState::MarkTags(strBody, strBody.data(), apWords);
    const auto At = [&](size_t nWord)
    { return apWords[nWord] == nullptr ? -1 : apWords[nWord] - strBody.data(); };
    const size_t nAfterComment = strPage.find("-->") + 3;
    const size_t nAfterScript = strPage.find("</script>");
    EXPECT_EQ(At(15), static_cast<long>(strPage.find("<html>", nAfterComment)));
    EXPECT_EQ(At(16), static_cast<long>(strPage.find("<head>", nAfterComment)));
    EXPECT_EQ(At(17), static_cast<long>(strPage.find("</head>", nAfterScript)));
    EXPECT_EQ(At(19), static_cast<long>(strPage.find("<body><a")));
    EXPECT_EQ(At(21), static_cast<long>(strPage.find("</BODY >")));
    // A page without them leaves the words as they were; "<bodyx" is no body.
    std::string strOther = "<bodyx><p title='<body>'>";
    char* apOther[COMMON_POINTER_WORDS] = {};
    CHostRequestState::MarkTags(strOther, strOther.data(), apOther);
    for (const size_t nWord : {15u, 16u, 17u, 19u, 21u})
        EXPECT_EQ(apOther[nWord], nullptr) << nWord;
}
} // namespace
