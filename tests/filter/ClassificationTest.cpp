#include "FilterTestSupport.h"

#include "filter/Notifications.h"
#include "request/DLSWContext.h"
#include "request/Util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <ostream>
#include <utility>

namespace
{
const char* const UA_IE7 = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)";
const char* const UA_IE10 = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0)";
const char* const UA_FIREFOX = "Mozilla/5.0 (X11; Linux x86_64; rv:45.0) Gecko/20100101 Firefox/45.0";
const char* const UA_MAC = "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_6_8) Safari/534.50";

struct ClassificationCase
{
    const char* m_pszName;
    const char* m_pszMethod;
    DWORD m_dwSubscriptionType;
    std::initializer_list<std::pair<const char*, const char*>> m_params;
    const char* m_pszUserAgent;
    DWORD m_dwFlags;
    DWORD m_dwControlMessage; // the host gives 0 (None)
    DWORD m_dwCode;
};

const ClassificationCase s_aCases[] = {
    // Read or edit item: no bit of its own, yet of interest.
    {"read item", "GET", 2, {{"ae", "item"}, {"a", "x"}}, UA_FIREFOX, 0, CM_NONE, 0},
    {"read item by id", "POST", 2, {{"ae", "PreFormAction"}, {"id", "RgA"}}, UA_FIREFOX, RF_POST, CM_NONE, 0},
    {"distribution list",
     "GET",
     2,
     {{"ae", "item"}, {"a", "x"}, {"t", "ipm.distlist"}},
     UA_FIREFOX,
     0,
     CM_IGNORE,
     0},
    {"item without a or id", "GET", 2, {{"ae", "Item"}}, UA_FIREFOX, 0, CM_IGNORE, 0},
    {"item on another type", "GET", 4, {{"ae", "Item"}, {"a", "x"}}, UA_FIREFOX, 0, CM_IGNORE, 0},
    // Attach-file dialog and attachment manager share RF_ATTACH_FILE_DIALOG_OR_MANAGER.
    {"attach file dialog",
     "GET",
     2,
     {{"ae", "Dialog"}, {"t", "AttachFileDialog"}},
     UA_IE7,
     RF_ATTACH_FILE_DIALOG_OR_MANAGER | RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    {"basic attachment manager",
     "POST",
     2,
     {{"ae", "PreFormAction"}, {"a", "Attach"}},
     UA_FIREFOX,
     RF_POST | RF_ATTACH_FILE_DIALOG_OR_MANAGER,
     CM_NONE,
     0},
    {"basic attach dialog",
     "POST",
     2,
     {{"ae", "Dialog"}, {"t", "Attach"}},
     UA_FIREFOX,
     RF_POST | RF_ATTACH_FILE_DIALOG_OR_MANAGER,
     CM_NONE,
     0},
    {"attach dialog by GET", "GET", 2, {{"ae", "Dialog"}, {"t", "Attach"}}, UA_FIREFOX, 0, CM_IGNORE, 0},
    // Event requests.
    {"delete attachment",
     "POST",
     4,
     {{"ns", "Attachments"}, {"ev", "Delete"}},
     UA_IE7,
     RF_PREMIUM_DELETE_ATTACHMENT | RF_POST | RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    {"delete attachment by GET",
     "GET",
     4,
     {{"ns", "Attachments"}, {"ev", "Delete"}},
     UA_IE7,
     RF_PREMIUM_CLIENT,
     CM_IGNORE,
     0},
    {"document view sort",
     "POST",
     4,
     {{"ns", "UncListView"}, {"ev", "Sort"}},
     UA_IE7,
     RF_POST | RF_PREMIUM_CLIENT | RF_DOCUMENT_VIEW_SORT,
     CM_NONE,
     0},
    {"sharepoint sort",
     "POST",
     4,
     {{"ns", "SharepointListView"}, {"ev", "sort"}},
     UA_IE7,
     RF_POST | RF_PREMIUM_CLIENT | RF_DOCUMENT_VIEW_SORT,
     CM_NONE,
     0},
    {"document direct file",
     "GET",
     4,
     {{"ns", "UncDocument"}, {"ev", "GetDoc"}, {"URL", "\\\\s\\f.doc"}},
     UA_IE7,
     RF_PREMIUM_CLIENT | RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS,
     CM_NONE,
     0},
    {"document without URL",
     "GET",
     4,
     {{"ns", "UncDocument"}, {"ev", "GetDoc"}},
     UA_IE7,
     RF_PREMIUM_CLIENT,
     CM_IGNORE,
     0},
    {"document by POST",
     "POST",
     4,
     {{"ns", "SharepointDocument"}, {"ev", "GetDoc"}, {"URL", "x"}},
     UA_IE7,
     RF_POST | RF_PREMIUM_CLIENT,
     CM_IGNORE,
     0},
    {"document view folder",
     "GET",
     2,
     {{"ae", "Folder"}, {"t", "UncBrowse"}, {"URL", "\\\\s"}},
     UA_IE7,
     RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    // Direct attachment downloads.
    {"direct attachment",
     "GET",
     5,
     {{"attach", "1"}},
     UA_IE7,
     RF_DIRECT_ATTACHMENT_ACCESS | RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    {"direct attachment by POST",
     "POST",
     5,
     {{"attach", "1"}},
     UA_IE7,
     RF_POST | RF_PREMIUM_CLIENT,
     CM_IGNORE,
     0},
    {"attach=true", "GET", 5, {{"attach", "true"}}, UA_IE7, RF_PREMIUM_CLIENT, CM_IGNORE, 0},
    {"ATTACH stored in capitals",
     "GET",
     5,
     {{"ATTACH", "1"}},
     UA_IE7,
     RF_DIRECT_ATTACHMENT_ACCESS | RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    // The viewer's virtual folder, whatever the parameters.
    {"virtual folder 20", "GET", 20, {}, UA_FIREFOX, RF_FAKE_DORVEL_VIRTUAL_FOLDER, CM_NONE, 0},
    {"virtual folder 22", "GET", 22, {{"ae", "Item"}}, UA_FIREFOX, RF_FAKE_DORVEL_VIRTUAL_FOLDER, CM_NONE, 0},
    {"virtual folder 25 by POST",
     "POST",
     25,
     {},
     UA_FIREFOX,
     RF_FAKE_DORVEL_VIRTUAL_FOLDER | RF_POST,
     CM_NONE,
     0},
    {"type 26", "GET", 26, {}, UA_FIREFOX, 0, CM_IGNORE, 0},
    {"type 19", "GET", 19, {}, UA_FIREFOX, 0, CM_IGNORE, 0},
    // Methods: only GET and POST, in any case.
    {"post in lower case", "post", 20, {}, UA_FIREFOX, RF_FAKE_DORVEL_VIRTUAL_FOLDER | RF_POST, CM_NONE, 0},
    {"GETX", "GETX", 20, {}, UA_FIREFOX, 0, CM_IGNORE, 0},
    {"HEAD from a Mac", "HEAD", 2, {{"ae", "Item"}, {"a", "x"}}, UA_MAC, RF_MAC_CLIENT, CM_IGNORE, 0},
    // Client bits never make a request interesting by themselves.
    {"smime alone", "GET", 0, {{"smime", "1"}}, UA_IE7, RF_PREMIUM_CLIENT | RF_SMIME, CM_IGNORE, 0},
    {"smime empty",
     "GET",
     2,
     {{"smime", ""}, {"ae", "Item"}, {"a", "x"}},
     UA_IE7,
     RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
    {"MSIE 10 is not Premium", "GET", 20, {}, UA_IE10, RF_FAKE_DORVEL_VIRTUAL_FOLDER, CM_NONE, 0},
    {"owaauth on Windows is Premium",
     "GET",
     20,
     {},
     "owaauth (Windows NT 6.1)",
     RF_FAKE_DORVEL_VIRTUAL_FOLDER | RF_PREMIUM_CLIENT,
     CM_NONE,
     0},
};

void PrintTo(const ClassificationCase& c, std::ostream* pOut)
{
    *pOut << c.m_pszName;
}

class ClassificationTest : public ::testing::TestWithParam<ClassificationCase>
{
};

TEST_P(ClassificationTest, SetsFlagsAndControlMessage)
{
    const ClassificationCase& c = GetParam();
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest(c.m_pszMethod, "/owa/", c.m_pszUserAgent);
    for (const auto& param : c.m_params)
        record.RequestInfo().AddParam(param.first, param.second);
    record.m_context.SubscriptionType = c.m_dwSubscriptionType;
    record.m_context.RequestFlags = 0xFFFF0000; // left from an earlier request: cleared first

    CNotifications notifications;
    EXPECT_EQ(notifications.NotifyPreProcHeaders(&record.m_context), c.m_dwCode);
    EXPECT_EQ(record.m_context.RequestFlags, c.m_dwFlags);
    EXPECT_EQ(record.m_context.ControlMessage, c.m_dwControlMessage);
}

INSTANTIATE_TEST_SUITE_P(Requests, ClassificationTest, ::testing::ValuesIn(s_aCases),
                         [](const ::testing::TestParamInfo<ClassificationCase>& caseInfo)
                         {
                             std::string strName;
                             for (const char* p = caseInfo.param.m_pszName; *p != '\0'; ++p)
                                 strName += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return strName;
                         });

TEST(ClassificationTrace, SummaryLineNamesEveryResult)
{
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest("POST", "/owa/?ae=PreFormAction&a=Attach", UA_MAC);
    record.RequestInfo().AddParam("ae", "PreFormAction");
    record.RequestInfo().AddParam("a", "Attach");
    record.RequestInfo().AddParam("smime", "1");
    record.m_context.SubscriptionType = 2;
    CNotifications().NotifyPreProcHeaders(&record.m_context);

    EXPECT_TRUE(CTraceCapture::Has(
        std::string(
            "[CNotifications::NotifyPreProcHeaders] HTTP URL </owa/?ae=PreFormAction&a=Attach> METHOD <POST> "
            "SMIME <Y> UA <") +
        UA_MAC +
        "> Mac client <Y> Premium client <N> SubscriptionType <2> ReadEditItemRequest <Y> "
        "PremiumAttachFileDialogRequest <N> PremiumDeleteAttachmentRequest <N> PremiumDocumentViewRequest "
        "<N> "
        "PremiumDocumentViewSortRequest <N> BasicAttachmentManager <Y> DirectAttachmentAccessRequest <N> "
        "PremiumDocumentViewDirectFileAccessRequest <N> FakeDorvelVirtualFolderRequest <N>."));
    EXPECT_EQ(CTraceCapture::Lines().back(),
              "[CNotifications::NotifyPreProcHeaders] finished.  Win32 RC=0.  Control Message=<None>");
}

TEST(ClassificationTrace, UninterestingRequestIsIgnoredWithItsOwnLine)
{
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest("GET", "/owa/themes/base.css", UA_FIREFOX);
    record.m_context.ControlMessage = CM_HANDLED_REDIRECTED; // whatever the host had: overwritten by Ignore
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&record.m_context), ERROR_SUCCESS);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);
    const auto& lines = CTraceCapture::Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2],
              "[CNotifications::NotifyPreProcHeaders] We are not interested in this request. Ignore.");
}

TEST(ClassificationTrace, OtherMethodIsIgnoredWithoutSummary)
{
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest("OPTIONS", "/owa/", "UA");
    record.m_context.SubscriptionType = 2;
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&record.m_context), ERROR_SUCCESS);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(
        CTraceCapture::Lines(),
        (std::vector<std::string>{
            "[CNotifications::NotifyPreProcHeaders] HTTP URL </owa/> METHOD <OPTIONS> UA <UA>. We are not "
            "intersted in this request method. Ignore.",
            "[CNotifications::NotifyPreProcHeaders] finished.  Win32 RC=0.  Control Message=<Ignore>"}));
}

// A viewer request the worker lets go here never meets its redirect: it goes on only once the client's own
// level is out of its URL, and is refused when that cannot be done.
TEST(ClassificationTrace, ViewerRequestOfAnotherMethod)
{
    CTestRecord record;
    record.SetRequest("OPTIONS", "/X-Dorvel/bin/viewer.js?v=1", "UA");
    record.m_context.SubscriptionType = 20;
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&record.m_context), ERROR_SUCCESS);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);

    // This record offers the worker no way to set a header.
    CTraceCapture trace;
    CTestRecord level;
    level.SetRequest("OPTIONS", "/X-Dorvel/bin/dorvel.srf?owaal=3", "UA");
    level.m_context.SubscriptionType = 20;
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&level.m_context), ERROR_SUCCESS);
    EXPECT_EQ(level.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_TRUE(trace.Has("[CNotifications::NotifyPreProcHeaders] The viewer request could not be passed on "
                          "without the client's own parameters. Send '401 Access Denied' response."));
}

TEST(ClassificationTrace, ResetsTheWorkersPartOfTheRecord)
{
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest("GET", "/X-Dorvel/bin/view.htm", UA_FIREFOX);
    record.m_context.SubscriptionType = 20;
    CDLSWContext leftOver; // a host that reuses a record: the pointers are cleared, not freed
    char acBuffer[4] = {};
    record.m_context.m_pMyOwnContext = &leftOver;
    record.m_context.ReplaceBuffer = acBuffer;
    record.m_context.ReplaceBufferLength = 4;
    CNotifications().NotifyPreProcHeaders(&record.m_context);
    EXPECT_EQ(record.m_context.m_pMyOwnContext, nullptr);
    EXPECT_EQ(record.m_context.ReplaceBuffer, nullptr);
    EXPECT_EQ(record.m_context.ReplaceBufferLength, 0u);
}

// A request value that cannot be read ends in ERROR_ARENA_TRASHED and Ignore; the bits found before stay.
struct MissingValueCase
{
    const char* m_pszMissing;
    const char* m_pszLine;
    DWORD m_dwFlags;
};

void PrintTo(const MissingValueCase& c, std::ostream* pOut)
{
    *pOut << c.m_pszMissing;
}

class ClassificationMissingValueTest : public ::testing::TestWithParam<MissingValueCase>
{
};

TEST_P(ClassificationMissingValueTest, EndsWithArenaTrashedAndIgnore)
{
    const MissingValueCase& c = GetParam();
    CTraceCapture trace;
    CTestRecord record;
    const std::pair<const char*, const char*> aValues[] = {
        {"HTTP_URL", "/owa/"}, {"HTTP_METHOD", "post"}, {"HTTP_USER_AGENT", UA_MAC}};
    for (const auto& value : aValues)
    {
        if (std::string(value.first) != c.m_pszMissing)
            record.RequestInfo().SetServerVariable(value.first, value.second);
    }
    record.RequestInfo().AddParam("smime", "1");
    record.m_context.SubscriptionType = 2;

    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&record.m_context), ERROR_ARENA_TRASHED);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(record.m_context.RequestFlags, c.m_dwFlags);
    EXPECT_TRUE(CTraceCapture::Has(c.m_pszLine));
    EXPECT_TRUE(CTraceCapture::HasPrefix("[CNotifications::NotifyPreProcHeaders] HTTP URL <"));
    EXPECT_EQ(CTraceCapture::Lines().back(),
              "[CNotifications::NotifyPreProcHeaders] finished.  Win32 RC=7.  Control Message=<Ignore>");
}

INSTANTIATE_TEST_SUITE_P(
    Values, ClassificationMissingValueTest,
    ::testing::Values(
        MissingValueCase{"HTTP_URL", "[CNotifications::NotifyPreProcHeaders] Reading HTTP_URL header failed.",
                         0},
        MissingValueCase{"HTTP_METHOD",
                         "[CNotifications::NotifyPreProcHeaders] Reading HTTP_METHOD header failed.", 0},
        MissingValueCase{"HTTP_USER_AGENT",
                         "[CNotifications::NotifyPreProcHeaders] Reading HTTP_USER_AGENT header failed.",
                         RF_POST}),
    [](const ::testing::TestParamInfo<MissingValueCase>& caseInfo)
    { return std::string(caseInfo.param.m_pszMissing); });

TEST(ClassificationTrace, ServerVariableNamesAreExactCase)
{
    CTraceCapture trace;
    CTestRecord record;
    record.RequestInfo().SetServerVariable("http_url", "/owa/");
    record.RequestInfo().SetServerVariable("HTTP_METHOD", "GET");
    record.RequestInfo().SetServerVariable("HTTP_USER_AGENT", "");
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&record.m_context), ERROR_ARENA_TRASHED);
}

TEST(ClassificationInputs, NullRecordAndNullRequestInfo)
{
    CTraceCapture trace;
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(nullptr), ERROR_INVALID_DATA);
    EXPECT_EQ(CTraceCapture::Lines(),
              (std::vector<std::string>{
                  "[CNotifications::NotifyPreProcHeaders] CDLLContext pointer is NULL.",
                  "[CNotifications::NotifyPreProcHeaders] finished.  Win32 RC=13.  Control Message=<N/A>"}));

    CTraceCapture::Clear();
    CDLLContext context{};
    context.RequestFlags = RF_DIRECT_ATTACHMENT_ACCESS;
    EXPECT_EQ(CNotifications().NotifyPreProcHeaders(&context), ERROR_INVALID_DATA);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(context.RequestFlags, RF_DIRECT_ATTACHMENT_ACCESS); // not reset before the inputs are known
    EXPECT_EQ(CTraceCapture::Lines().front(),
              "[CNotifications::NotifyPreProcHeaders] CDLLContext.m_spRequestInfo is NULL.");
}

struct UserAgentCase
{
    const char* m_pszUserAgent;
    BOOL m_bMac;
    BOOL m_bPremium;
    BOOL m_bOwaAuth;
};

TEST(UserAgent, Predicates)
{
    const UserAgentCase aCases[] = {
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", FALSE, TRUE, FALSE},
        {"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", FALSE, TRUE, FALSE},
        {"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)", FALSE, FALSE, FALSE},
        {"Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)", FALSE, FALSE, FALSE},
        {"Mozilla/4.0 (compatible; msie 7.0; windows nt 6.1)", FALSE, TRUE, FALSE},
        {"Mozilla/4.0 (compatible; MSIE 7.0; Macintosh)", TRUE, FALSE, FALSE},
        {"Mozilla/4.0 (compatible; MSIE ", FALSE, FALSE, FALSE}, // nothing after the marker
        {"Mozilla/5.0 (Mac OS X 10.4) Safari", TRUE, FALSE, FALSE},
        {"Mozilla/4.0 (Mac_PowerPC)", TRUE, FALSE, FALSE},
        {"OWAAUTH client (Windows NT 6.1)", FALSE, FALSE, TRUE},
        {"owaauth client (X11)", FALSE, FALSE, FALSE},
        {"", FALSE, FALSE, FALSE},
    };
    for (const auto& c : aCases)
    {
        EXPECT_EQ(CUtil::IsMacUserAgent(c.m_pszUserAgent), c.m_bMac) << c.m_pszUserAgent;
        EXPECT_EQ(CUtil::IsPremiumUserAgent(c.m_pszUserAgent), c.m_bPremium) << c.m_pszUserAgent;
        EXPECT_EQ(CUtil::IsOwaAuthUserAgent(c.m_pszUserAgent), c.m_bOwaAuth) << c.m_pszUserAgent;
    }
}

TEST(RequestInfo, ParametersIgnoreCaseServerVariablesDoNot)
{
    CRequestInfo info;
    std::string strValue = "untouched";
    EXPECT_FALSE(info.GetParamValue("attach", strValue));
    info.AddParam("ATTACH", "1");
    info.AddParam("attach", "2"); // the first stays
    info.SetServerVariable("HTTP_URL", "/owa/");
    EXPECT_TRUE(info.GetParamValue("attach", strValue));
    EXPECT_EQ(strValue, "1");
    EXPECT_FALSE(info.GetParamValue("attac", strValue));
    EXPECT_FALSE(info.GetParamValue("attachx", strValue));
    strValue = "untouched";
    EXPECT_FALSE(info.GetServerVariable("http_url", strValue));
    EXPECT_EQ(strValue, "untouched");
    EXPECT_TRUE(info.GetServerVariable("HTTP_URL", strValue));
    EXPECT_EQ(strValue, "/owa/");
}
} // namespace
