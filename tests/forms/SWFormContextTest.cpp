#include "forms/SWFormContext.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{
// A record whose response context points into the page.
struct CResponseRecord
{
    explicit CResponseRecord(CTestPage& page)
    {
        m_context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
        m_context.m_spOutboundContext->HttpStatus = 200;
        m_context.m_spOutboundContext->m_pCommonPointers = page.Words();
    }
    CDLLContext m_context{};
    CBufferInstructionList m_list;
};

struct TemplateCase
{
    const char* m_pszName;
    std::string m_strPage;
    const char* m_pszTemplate;
    DWORD dwExperience;
};

TEST(SWFormContext, TemplateCommentNamesThePageAndItsExperience)
{
    const TemplateCase aCases[] = {
        {"premium", "<html><!-- OwaPage = ASP.forms_premium_readmessage_aspx --><body>",
         "ASP.forms_premium_readmessage_aspx", 1},
        {"blanks, tabs and line breaks around the name",
         "<!-- OwaPage = \r\n\t ASP.forms_premium_readmessage_aspx \t\r\n-->",
         "ASP.forms_premium_readmessage_aspx", 1},
        {"lower-case marker", "<!-- owapage = asp.FORMS_BASIC_basicreadmessage_aspx -->",
         "asp.FORMS_BASIC_basicreadmessage_aspx", 2},
        {"basic", "<!-- OwaPage = ASP.forms_basic_basicreadmessage_aspx -->",
         "ASP.forms_basic_basicreadmessage_aspx", 2},
        {"premium is tested first", "<!-- OwaPage = ASP.forms_basic_x_premium_aspx -->",
         "ASP.forms_basic_x_premium_aspx", 1},
        {"error page", "<!-- OwaPage = ASP.auth_error_aspx -->", "ASP.auth_error_aspx", 0},
        {"log-off page", "<!-- OwaPage = ASP.auth_logoff_aspx -->", "ASP.auth_logoff_aspx", 0},
        {"no blank after the dashes: no marker", "<!--OwaPage = ASP.forms_premium_readmessage_aspx -->", "",
         0},
        {"empty name", "<!-- OwaPage =  \t -->", "", 0},
        {"comment that never closes", "<!-- OwaPage = ASP.forms_premium_readmessage_aspx <body>", "", 0},
        {"no comment", "<html><body></body></html>", "", 0},
        {"the first marker counts",
         "<!-- OwaPage = ASP.auth_error_aspx --><!-- OwaPage = ASP.forms_premium_x_aspx -->",
         "ASP.auth_error_aspx", 0},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTraceCapture capture;
        CTestPage page(c.m_strPage);
        CResponseRecord record(page);
        CSWFormContext context(&record.m_context, &record.m_list);
        EXPECT_EQ(FromCi(context.m_csTemplateName), c.m_pszTemplate);
        EXPECT_EQ(context.m_eOWAExperience, c.dwExperience);
        EXPECT_EQ(context.m_pContext, &record.m_context);
        EXPECT_EQ(context.m_pcobBufferInstructionList, &record.m_list);
        EXPECT_EQ(context.m_pCommonPointers, page.Words());
        EXPECT_TRUE(context.HasDom());
        EXPECT_EQ(CTraceCapture::Has(
                      "[CSWForm::UpdateContextWithTemplateComment] Warning: Template comment not found."),
                  *c.m_pszTemplate == '\0');
    }
}

TEST(SWFormContext, ACommentBeforeTheHtmlDataIsNotSeen)
{
    CTestPage page("<!-- OwaPage = ASP.forms_premium_readmessage_aspx --><html><body></body></html>");
    page.SetWord(4, page.Data() + page.Body().find("<html"));
    CResponseRecord record(page);
    CSWFormContext context(&record.m_context, &record.m_list);
    EXPECT_TRUE(context.m_csTemplateName.empty());
    EXPECT_EQ(context.m_eOWAExperience, 0u);
}

TEST(SWFormContext, AnUnknownPageNameAbortsTheRewrite)
{
    for (const char* pszName : {"ASP.auth_logon_aspx", "ASP.forms_readmessage_aspx", "premium"})
    {
        CTraceCapture capture;
        CTestPage page(std::string("<!-- OwaPage = ") + pszName + " -->");
        CResponseRecord record(page);
        try
        {
            CSWFormContext context(&record.m_context, &record.m_list);
            ADD_FAILURE() << pszName << " accepted";
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_STREQ(e.what(), "invalid template");
        }
        EXPECT_TRUE(CTraceCapture::Has(
            "[CSWForm::UpdateContextWithTemplateComment] Warning: Template comment is invalid."));
    }
}

TEST(SWFormContext, MissingRecordPartsThrowTheFrameworksException)
{
    CTestPage page("<html></html>");
    CBufferInstructionList list;
    const auto Message = [&](CDLLContext* pContext)
    {
        try
        {
            CSWFormContext context(pContext, &list);
        }
        catch (const CSWFormException& e)
        {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(Message(nullptr), "Initialize context failed: pContext is NULL");
    CDLLContext context{};
    EXPECT_EQ(Message(&context), "Initialize context failed: m_pOutboundContext is NULL");
    context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
    EXPECT_EQ(Message(&context), "Initialize context failed: m_pCommonPointers is NULL");
}

TEST(SWFormContext, WithoutADomThePageHasNoTemplateComment)
{
    CTraceCapture capture;
    CTestPage page("<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->");
    page.SetWord(4, page.Data() - 1); // the source cannot be built
    CResponseRecord record(page);
    CSWFormContext context(&record.m_context, &record.m_list);
    EXPECT_FALSE(context.HasDom());
    EXPECT_TRUE(context.m_csTemplateName.empty());
    EXPECT_EQ(context.m_eOWAExperience, 0u);
    EXPECT_TRUE(CTraceCapture::Has(
        "[CSWForm::UpdateContextWithTemplateComment] Error: Exception when parsing template comment."));
    EXPECT_TRUE(CTraceCapture::Has(
        "[CSWForm::UpdateContextWithTemplateComment] Warning: Template comment not found."));
}
} // namespace
