#include "forms/CachedScriptDecorator.h"
#include "forms/SWForm.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace
{
// The caching prefix the request carries, as the web server's filter context answers it.
std::string& CsmPrefix()
{
    static std::string s_str;
    return s_str;
}

BOOL GetServerVariable(HTTP_FILTER_CONTEXT*, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize)
{
    if (std::strcmp(pszName, "HEADER_KS_CSMPREFIX") != 0 || CsmPrefix().empty())
    {
        SetLastError(1413);
        return FALSE;
    }
    const auto dwNeeded = static_cast<DWORD>(CsmPrefix().size() + 1);
    if (pvBuffer == nullptr || *pdwSize < dwNeeded)
    {
        *pdwSize = dwNeeded;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pvBuffer, CsmPrefix().c_str(), dwNeeded);
    *pdwSize = dwNeeded;
    return TRUE;
}

class CTestForm : public CSWForm
{
public:
    DWORD Execute() override { return 0; }
};

// A page with its form context, as the send-raw-data handler builds them.
struct CScriptPage
{
    explicit CScriptPage(const std::string& strPage, const std::string& strPrefix = "") : m_page(strPage)
    {
        CsmPrefix() = strPrefix;
        m_fc.GetServerVariable = &GetServerVariable;
        m_context.pfc = &m_fc;
        m_context.NotificationType = 0x400;
        m_context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
        m_context.m_spOutboundContext->m_pCommonPointers = m_page.Words();
        m_spFormContext = std::make_unique<CSWFormContext>(&m_context, &m_list);
    }
    std::string Applied() const { return m_page.Applied(m_list); }

    CTestPage m_page;
    HTTP_FILTER_CONTEXT m_fc{};
    CDLLContext m_context{};
    CBufferInstructionList m_list;
    std::unique_ptr<CSWFormContext> m_spFormContext;
    CTestForm m_form;
};

TEST(CachedScriptDecorator, SplitsTheCachingPrefix)
{
    EXPECT_EQ(CCachedScriptDecorator::Create("abcd"), nullptr);
    std::unique_ptr<CCachedScriptDecorator> spShort(CCachedScriptDecorator::Create("abcde"));
    ASSERT_NE(spShort, nullptr);
    EXPECT_EQ(spShort->GetBody(), "");
    EXPECT_EQ(spShort->Decorate(), "abcde");
    EXPECT_TRUE(spShort->HasBodyAtKeyEnd("123456"));
    EXPECT_FALSE(spShort->HasBodyAtKeyEnd("12345"));
    std::unique_ptr<CCachedScriptDecorator> sp(CCachedScriptDecorator::Create("K1234/body/"));
    EXPECT_EQ(sp->GetKey(), "K1234");
    EXPECT_EQ(sp->GetBody(), "/body/");
    EXPECT_EQ(sp->DecorateValue("x.js"), "K1234/body/x.js");
    EXPECT_EQ(sp->StripKey("zzzzz"), "zzzzz");
    EXPECT_EQ(sp->StripKey("zzzzzY"), "Y");
    EXPECT_TRUE(sp->HasBodyAtKeyEnd("xxxxx/body/y"));
    EXPECT_FALSE(sp->HasBodyAtKeyEnd("xxxx/body/y"));
}

TEST(SWFormScriptPath, JoinsFolderProductVersionAndFile)
{
    const CSWFormScriptPath path(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
    EXPECT_EQ(path.GetScriptPath("ks_dlPremium.js"), "KSScripts/Dorvel/1.5/ks_dlPremium.js");
    std::unique_ptr<CCachedScriptDecorator> sp(CCachedScriptDecorator::Create("K1234rest"));
    EXPECT_EQ(path.GetCachedScriptPath("a.js", sp.get()), "KSScripts/Dorvel/1.5/K1234a.js");
    EXPECT_EQ(path.GetCachedScriptPath("a.js", nullptr), "");
    // A key from the request cannot leave its place in the path.
    std::unique_ptr<CCachedScriptDecorator> spHostile(CCachedScriptDecorator::Create("\"><x>rest"));
    EXPECT_EQ(path.GetCachedScriptPath("a.js", spHostile.get()), "KSScripts/Dorvel/1.5/%22%3E%3Cx%3Ea.js");
    const auto Message = [](const char* pszFolder, const char* pszProduct, const char* pszVersion)
    {
        try
        {
            CSWFormScriptPath p("Dorvel", "1.5");
            p.Initialize(pszFolder, pszProduct, pszVersion);
        }
        catch (const CSWFormException& e)
        {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(Message("", "p", "v"), "Initialize CSWFormScriptPath failed: empty base folder");
    EXPECT_EQ(Message("f", "", "v"), "Initialize CSWFormScriptPath failed: empty product name");
    EXPECT_EQ(Message("f", "p", ""), "Initialize CSWFormScriptPath failed: empty version info");
}

const char* const PAGE = "<html><head><script src=\"/owa/8.1/scripts/UGLOBAL.js\"></script>"
                         "<script src=\"/owa/8.1/scripts/uglobal.js\"></script></head>"
                         "<body><script src=\"/owa/body.js\"></script></body></html>";

TEST(SWForm, PrefixesTheFirstScriptThatNamesTheFile)
{
    CScriptPage page(PAGE, "K1234/cache/");
    EXPECT_EQ(page.m_form.PrefixLinkedScripts(page.m_spFormContext.get(), "uglobal.js", true), 0u);
    EXPECT_EQ(page.Applied(), "<html><head><script src=\"/owa/8.1/scripts/K1234/cache/UGLOBAL.js\"></script>"
                              "<script src=\"/owa/8.1/scripts/uglobal.js\"></script></head>"
                              "<body><script src=\"/owa/body.js\"></script></body></html>");
}

TEST(SWForm, PrefixOutcomes)
{
    const struct
    {
        const char* m_pszName;
        const char* m_pszPrefix;
        const char* m_pszFile;
        bool m_bInHead;
        DWORD m_dwResult;
        const char* m_pszLine;
    } aCases[] = {
        {"body searched with the flag clear", "K1234", "body.js", false, 0,
         "[CCalForm:PrefixLinkedFiles] Done! dwRet : <0>"},
        {"body not searched with the flag set", "K1234", "body.js", true, 11,
         "[CSWForm::PrefixLinkedScripts] Error: File name: <body.js> not found!"},
        {"prefix of four characters", "K123", "uglobal.js", true, 13,
         "[CSWForm::PrefixLinkedScripts] Error: HEADER_KS_CSMPREFIX empty !"},
        {"no prefix", "", "uglobal.js", true, 13,
         "[CSWForm::PrefixLinkedScripts] Error: HEADER_KS_CSMPREFIX empty !"},
        {"empty file name", "K1234", "", true, 13,
         "[CSWForm::PrefixLinkedScripts] Error: Invalid parameter: csFileName is empty!"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTraceCapture capture;
        CScriptPage page(PAGE, c.m_pszPrefix);
        EXPECT_EQ(page.m_form.PrefixLinkedScripts(page.m_spFormContext.get(), c.m_pszFile, c.m_bInHead),
                  c.m_dwResult);
        if (std::strlen(c.m_pszPrefix) == 4)
            EXPECT_FALSE(
                CTraceCapture::Contains("HEADER_KS_CSMPREFIX empty")); // a short prefix is no error line
        else
            EXPECT_TRUE(CTraceCapture::Has(c.m_pszLine));
        EXPECT_EQ(page.m_list.IsEmpty(), c.m_dwResult != 0);
    }
}

// The caching prefix is a request header joined into script URLs: a value that could lead out of the script
// folder, to the server's root or to another host, counts as no prefix at all.
TEST(SWForm, PrefixThatCouldLeaveTheScriptFolderIsRefused)
{
    for (const char* pszPrefix :
         {"//evil.example/", "/scripts/", "../../../../evil/", "K1234/../x/", "K1234/./x/", "K1234/x/..",
          "K1234//x/", "K1234:x/", "K1234\\x/", "\"><b>x", "K1234 x/", "K1234%2e%2e/", "K1234.js/"})
    {
        SCOPED_TRACE(pszPrefix);
        CTraceCapture capture;
        CScriptPage page(PAGE, pszPrefix);
        EXPECT_EQ(page.m_form.PrefixLinkedScripts(page.m_spFormContext.get(), "body.js", false), 13u);
        EXPECT_TRUE(page.m_list.IsEmpty());
        EXPECT_TRUE(
            CTraceCapture::Has(std::string("[CSWForm::GetCachedScriptManager] Error: HEADER_KS_CSMPREFIX <") +
                               pszPrefix + "> could leave the script folder, refused !"));
        EXPECT_TRUE(CTraceCapture::Has("[CSWForm::PrefixLinkedScripts] Error: HEADER_KS_CSMPREFIX empty !"));
        const CSWFormScriptPath path(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
        EXPECT_EQ(page.m_form.AddExternalScript(page.m_spFormContext.get(), "ks_dl.css",
                                                SCRIPT_LINK_STYLESHEET, path, true),
                  11u);
    }
    for (const char* pszPrefix : {"c4f2a9/", "K-1_2/cache/", "K1234"})
    {
        SCOPED_TRACE(pszPrefix);
        CTraceCapture capture;
        CScriptPage page(PAGE, pszPrefix);
        EXPECT_EQ(page.m_form.PrefixLinkedScripts(page.m_spFormContext.get(), "body.js", false), 0u);
        EXPECT_NE(page.Applied().find(std::string("src=\"/owa/") + pszPrefix + "body.js\""),
                  std::string::npos);
        EXPECT_FALSE(CTraceCapture::Contains("refused"));
    }
}

TEST(SWForm, ScriptLinksGoAtTheEndOfTheHead)
{
    CTraceCapture capture;
    CScriptPage page("<html><head><title>t</title></head><body></body></html>", "K1234rest");
    const CSWFormScriptPath path(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
    CSWFormContext* pContext = page.m_spFormContext.get();
    EXPECT_EQ(page.m_form.AddExternalScript(pContext, "ks_dlHelper.js", SCRIPT_LINK_SCRIPT, path, false), 0u);
    EXPECT_EQ(page.m_form.AddExternalScript(pContext, "ks_dl.css", SCRIPT_LINK_STYLESHEET, path, true), 0u);
    EXPECT_EQ(page.m_form.InsertScriptLink(pContext, "a.js?x=\"y\"", SCRIPT_LINK_SCRIPT), 0u);
    EXPECT_EQ(page.m_form.AddExternalScript(pContext, "", SCRIPT_LINK_SCRIPT, path, false), 11u);
    EXPECT_TRUE(CTraceCapture::Has("[CSWForm::InsertScriptLink] csFileName paramter not found"));
    EXPECT_EQ(page.m_form.InsertScriptLink(pContext, "", SCRIPT_LINK_SCRIPT), 11u);
    EXPECT_TRUE(CTraceCapture::Has("[CSWForm::InsertScriptLink] csScriptPath paramter not found"));
    // The links are recorded at one position, where the instruction list puts the latest first and the
    // host puts each ahead of the earlier ones: the page gets them in the order of the calls.
    EXPECT_EQ(page.Applied(),
              "<html><head><title>t</title>"
              "<SCRIPT language=\"javascript\" src=\"KSScripts/Dorvel/1.5/ks_dlHelper.js\"></SCRIPT>\n"
              "<LINK rel=\"stylesheet\" type=\"text/css\" href=\"KSScripts/Dorvel/1.5/K1234ks_dl.css\">\n"
              "<SCRIPT language=\"javascript\" src=\"a.js?x=&quot;y&quot;\"></SCRIPT>\n"
              "</head><body></body></html>");
    // Without a caching prefix the cached link has no URL.
    CScriptPage plain("<html><head></head></html>");
    EXPECT_EQ(
        plain.m_form.AddExternalScript(plain.m_spFormContext.get(), "a.js", SCRIPT_LINK_SCRIPT, path, true),
        11u);
    EXPECT_TRUE(
        CTraceCapture::Has("[CSWForm::InsertScriptLink] Error: failed to initialize script manager "));
}
} // namespace
