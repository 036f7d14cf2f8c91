#include "filter/Notifications.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/forms/ProbeForm.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The host's side of a submit: the applier over the record's page, its answer and the page after it.
struct CSubmitted
{
    static CSubmitted& Last()
    {
        static CSubmitted s_last;
        return s_last;
    }
    static DWORD Submit(CDLLContext* pContext, CBufferInstructionList* pList)
    {
        CSubmitted& last = Last();
        last.m_bCalled = true;
        char** pWords = pContext->m_spOutboundContext->m_pCommonPointers;
        last.m_strBody.assign(pWords[1], static_cast<size_t>(pWords[2] - pWords[1] + 1));
        last.m_dwResult = ApplyBufferInstructions(*pList, pWords[1], last.m_strBody, last.m_strError);
        return last.m_dwResult;
    }
    bool m_bCalled = false;
    DWORD m_dwResult = 0;
    std::string m_strBody;
    std::string m_strError;
};

class CProbesInstalled
{
public:
    CProbesInstalled() { InstallProbeForms(); }
    ~CProbesInstalled() { RemoveProbeForms(); }
    CProbesInstalled(const CProbesInstalled&) = delete;
    CProbesInstalled& operator=(const CProbesInstalled&) = delete;
};

std::string ProbePage(const char* pszOutcome)
{
    return std::string(
               "<!-- OwaPage = ASP.forms_premium_readmessage_aspx --><html><head><title>t</title></head>"
               "<body><div id=probe data-outcome=") +
           pszOutcome + " data-title='a\"b'>x</div></body></html>";
}

struct OutcomeCase
{
    const char* m_pszName;
    std::string m_strPage;
    bool m_bProbes;
    bool m_bSubmitEntry;
    DWORD m_dwResult;
    DWORD m_dwControlMessage;
    bool m_bSubmitted;
    std::vector<std::string> m_vecLines; // among the trace lines
};

TEST(SendRawData, OutcomesOfTheRewrite)
{
    GeneralSettingsWithResources();
    const std::string strFinished = "[CNotifications::NotifySendRawData] finished.  Win32 RC=";
    const OutcomeCase aCases[] = {
        {"no rewriter",
         ProbePage("rewrite"),
         false,
         true,
         13,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Unknown form, no need for modification",
          strFinished + "13.  Control Message=<Ignore>"}},
        {"rewritten",
         ProbePage("rewrite"),
         true,
         true,
         0,
         CM_NONE,
         true,
         {"[CNotifications::NotifySendRawData] Sending instructions to core services, number of instructions "
          "is 2 ",
          strFinished + "0.  Control Message=<None>"}},
        {"Process fails after an edit",
         ProbePage("error"),
         true,
         true,
         13,
         CM_IGNORE,
         false,
         {strFinished + "13.  Control Message=<Ignore>"}},
        {"nothing to do",
         ProbePage("empty"),
         true,
         true,
         13,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] m_pcobBufferInstructions is Empty ",
          strFinished + "13.  Control Message=<Ignore>"}},
        {"the page is replaced",
         ProbePage("replace"),
         true,
         true,
         0,
         CM_REPLACE,
         false,
         {"[CNotifications::NotifySendRawData] m_pcobBufferInstructions is Empty ",
          strFinished + "0.  Control Message=<Replace>"}},
        {"edits that collide never reach the host",
         ProbePage("overlap"),
         true,
         true,
         13,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Instructions do not fit the page (deletes overlap). Nothing "
          "is sent.",
          strFinished + "13.  Control Message=<Ignore>"}},
        {"the host offers no submit entry",
         ProbePage("rewrite"),
         true,
         false,
         50,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] SubmitBufferCommands returned error 50",
          strFinished + "50.  Control Message=<Ignore>"}},
        {"a runtime error after an edit",
         ProbePage("throw-runtime"),
         true,
         true,
         7,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Runtime exception: probe failure",
          strFinished + "7.  Control Message=<Ignore>"}},
        {"out of memory after an edit",
         ProbePage("throw-oom"),
         true,
         true,
         7,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Unexpected exception",
          strFinished + "7.  Control Message=<Ignore>"}},
        {"a DOM exception",
         ProbePage("throw-dom"),
         true,
         true,
         7,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Unexpected exception"}},
        {"a page the worker does not know",
         "<!-- OwaPage = ASP.auth_logon_aspx --><html></html>",
         true,
         true,
         7,
         CM_IGNORE,
         false,
         {"[CNotifications::NotifySendRawData] Runtime exception: invalid template"}},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        std::unique_ptr<CProbesInstalled> spProbes(c.m_bProbes ? new CProbesInstalled() : nullptr);
        CTraceCapture capture;
        CSubmitted::Last() = CSubmitted();
        CFormRecord record(c.m_strPage);
        if (c.m_bSubmitEntry)
            record.m_coreServices.SubmitBufferCommands = &CSubmitted::Submit;
        CNotifications notifications;
        EXPECT_EQ(notifications.NotifySendRawData(&record.m_context), c.m_dwResult);
        EXPECT_EQ(record.m_context.ControlMessage, c.m_dwControlMessage);
        EXPECT_EQ(CSubmitted::Last().m_bCalled, c.m_bSubmitted);
        for (const std::string& strLine : c.m_vecLines)
            EXPECT_TRUE(CTraceCapture::Has(strLine)) << strLine;
        delete[] record.m_context.ReplaceBuffer;
    }
}

TEST(SendRawData, TheRewrittenPageAsTheHostAppliesIt)
{
    GeneralSettingsWithResources();
    CProbesInstalled probes;
    CSubmitted::Last() = CSubmitted();
    CFormRecord record(ProbePage("rewrite"));
    record.m_coreServices.SubmitBufferCommands = &CSubmitted::Submit;
    CNotifications notifications;
    EXPECT_EQ(notifications.NotifySendRawData(&record.m_context), 0u);
    EXPECT_EQ(
        CSubmitted::Last().m_strBody,
        "<!-- OwaPage = ASP.forms_premium_readmessage_aspx --><html><head><script language='javascript'>\r\n"
        "var g_szTitle = \"a\\x22b\";\r\n</script><title>t</title></head><body><div id=probe "
        "data-outcome=rewrite data-title='a\"b' title=\"a&quot;b\">x</div></body></html>");
}

// The type the host gives decides whether the page is one of OWA's: text/html in any spelling, or no type
// at all, reaches the rewriter; any other type passes as it came, with one line and without the factory.
TEST(SendRawData, OnlyHtmlOrUntypedResponsesAreRewritten)
{
    GeneralSettingsWithResources();
    CProbesInstalled probes;
    const struct
    {
        const char* m_pszType; // null: the host gives none
        bool m_bRewritten;
    } aCases[] = {
        {nullptr, true},
        {"", true},
        {"text/html; charset=utf-8", true},
        {"Content-Type: TEXT/HTML\r\n", true},
        {" text/html ;charset=windows-1252", true},
        {"application/octet-stream", false},
        {"Content-Type: application/zip; name=\"a.html\"", false},
        {"text/plain; charset=utf-8", false},
        {"text/html-sandboxed", false},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszType == nullptr ? "(none)" : c.m_pszType);
        CTraceCapture capture;
        CSubmitted::Last() = CSubmitted();
        CFormRecord record(ProbePage("rewrite"));
        if (c.m_pszType != nullptr)
            record.DeclareCharSet(c.m_pszType);
        record.m_coreServices.SubmitBufferCommands = &CSubmitted::Submit;
        CNotifications notifications;
        EXPECT_EQ(notifications.NotifySendRawData(&record.m_context), c.m_bRewritten ? 0u : 13u);
        EXPECT_EQ(CSubmitted::Last().m_bCalled, c.m_bRewritten);
        EXPECT_EQ(CTraceCapture::Contains("is not HTML, the body passes unchanged"), !c.m_bRewritten);
        EXPECT_EQ(CTraceCapture::Contains("[CDLFormFactory::createForm]"), c.m_bRewritten);
        EXPECT_EQ(record.m_context.ControlMessage == CM_IGNORE, !c.m_bRewritten);
    }
}

TEST(SendRawData, MissingInputs)
{
    CTraceCapture capture;
    CNotifications notifications;
    EXPECT_EQ(notifications.NotifySendRawData(nullptr), 13u);
    EXPECT_TRUE(
        CTraceCapture::Has("[CNotifications::NotifySendRawData] Context not populated for further activity"));
    EXPECT_TRUE(CTraceCapture::Has(
        "[CNotifications::NotifySendRawData] finished.  Win32 RC=13.  Control Message=<N/A>"));
    // A response without pointers into its body.
    CFormRecord record("<html></html>");
    record.m_context.m_spOutboundContext->m_pCommonPointers = nullptr;
    EXPECT_EQ(notifications.NotifySendRawData(&record.m_context), 7u);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);
    EXPECT_TRUE(CTraceCapture::Has("[CNotifications::NotifySendRawData] Runtime exception: Initialize "
                                   "context failed: m_pCommonPointers is NULL"));
}
} // namespace
