// Send raw data on OWA-like pages of about 50 KB, 500 KB and 5 MB: the DOM over the page, its template
// comment, the factory and a rewriter that edits every SPAN of the body (as the attachment rewriters do
// with each attachment), the worker's check of the list and the host's applier; beside the page opened and
// its template comment read alone, and the escaping of page values.
#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"
#include "forms/DLForm.h"
#include "forms/DLFormFactory.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "host/BufferApplier.h"
#include "request/DLSWContext.h"

#include <benchmark/benchmark.h>

#include <map>
#include <new>
#include <string>

namespace
{
std::string Block(size_t i)
{
    const std::string n = std::to_string(i);
    return "<div class=\"row\" id=\"r" + n +
           "\"><table class=\"lst\"><tr><td class=\"c1\" nowrap><span id=\"spnAtmt\" level=\"3\" "
           "title=\"Subject " +
           n + "\">report" + n + ".doc&#x200E; (24 KB)</span></td><td><a href=\"/owa/?ae=Item&amp;id=RgAAAA" +
           n + "\" target=\"_blank\">Open</a></td></tr></table><!-- item " + n + " --><script>var a" + n +
           " = " + n + " < 5 ? \"x\" : \"y\";</script></div>\r\n";
}

const std::string& Page(size_t nBytes)
{
    static std::map<size_t, std::string> s_Pages;
    std::string& s = s_Pages[nBytes];
    if (s.empty())
    {
        s = "<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->\r\n<html><head><title>OWA</title></head>"
            "<body class=\"owa\">";
        for (size_t i = 0; s.size() < nBytes; ++i)
            s += Block(i);
        s += "</body></html>";
    }
    return s;
}

class CEverySpanForm : public CDLForm
{
public:
    explicit CEverySpanForm(CSWFormContext* pFormContext) : CDLForm(pFormContext) {}
    DWORD Process() override
    {
        CDOMSource& dom = *m_pFormContext->m_spDom;
        CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
        dom.getHead().getStartTag().insertDataAfter("<script>var g_s = \"x\";</script>", pList);
        const CDOMElementVector spans = dom.getBody().getElementsByTagName("span");
        for (size_t i = 0; i < spans.length(); ++i)
        {
            const CDOMElement span = spans.item(i);
            std::string sName;
            dom.getPlainText(span.getContentBeginPos(), span.getContentEndPos(), sName);
            span.setAttribute("_KSDLAttFilename", CPageEscape::Utf8().HtmlAttribute(sName), pList);
        }
        return ERROR_SUCCESS;
    }
};

CDLForm* MakeForm(FormKind, CSWFormContext* pFormContext)
{
    return new (std::nothrow) CEverySpanForm(pFormContext);
}

std::string g_strApplied;

DWORD Submit(CDLLContext* pContext, CBufferInstructionList* pList)
{
    char** pWords = pContext->m_spOutboundContext->m_pCommonPointers;
    g_strApplied.assign(pWords[1], static_cast<size_t>(pWords[2] - pWords[1] + 1));
    std::string strError;
    return ApplyBufferInstructions(*pList, pWords[1], g_strApplied, strError);
}

// The host's record over the page, as the host hands it over at send raw data.
struct CRecord
{
    explicit CRecord(std::string& strBody)
    {
        m_apWords[1] = strBody.data();
        m_apWords[2] = strBody.data() + strBody.size() - 1;
        m_apWords[16] = strBody.data() + strBody.find("<head>");
        m_apWords[17] = strBody.data() + strBody.find("</head>");
        m_apWords[19] = strBody.data() + strBody.find("<body");
        m_coreServices.SubmitBufferCommands = &Submit;
        m_context.NotificationType = 0x400;
        m_context.CoreServices = &m_coreServices;
        m_context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
        m_context.m_spOutboundContext->m_pCommonPointers = m_apWords;
        m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
        m_context.m_spExchangeURL = CCountedPtr<CExchangeURL>(new CExchangeURL());
        m_ownContext.m_strLanguage = "en";
        m_context.m_pMyOwnContext = &m_ownContext;
    }
    ~CRecord() { m_context.m_pMyOwnContext = nullptr; }
    CRecord(const CRecord&) = delete;
    CRecord& operator=(const CRecord&) = delete;

    char* m_apWords[COMMON_POINTER_WORDS] = {};
    CCoreServicesTable m_coreServices{};
    CDLSWContext m_ownContext;
    CDLLContext m_context{};
};

void BM_SendRawData(benchmark::State& state)
{
    CDLFormFactory::SetFormMaker(&MakeForm);
    std::string strBody = Page(static_cast<size_t>(state.range(0)));
    CRecord record(strBody);
    CNotifications notifications;
    for (auto _ : state)
    {
        record.m_context.ControlMessage = CM_NONE;
        benchmark::DoNotOptimize(notifications.NotifySendRawData(&record.m_context));
    }
    if (record.m_context.ControlMessage != CM_NONE)
        state.SkipWithError("the page was not rewritten");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SendRawData)->Arg(50 << 10)->Arg(500 << 10)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

void BM_OpenPageAndReadTemplate(benchmark::State& state)
{
    std::string strBody = Page(static_cast<size_t>(state.range(0)));
    CRecord record(strBody);
    CBufferInstructionList list;
    for (auto _ : state)
    {
        CSWFormContext context(&record.m_context, &list);
        benchmark::DoNotOptimize(context.m_eOWAExperience);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenPageAndReadTemplate)->Arg(50 << 10)->Arg(500 << 10)->Arg(5 << 20);

void BM_EscapeValues(benchmark::State& state)
{
    const std::string strValue = "report \"final\" </script> caf\xC3\xA9 \xE2\x80\xA8 100% done.doc";
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(CPageEscape::Utf8().JSString(strValue));
        benchmark::DoNotOptimize(CPageEscape::Utf8().HtmlAttribute(strValue));
        benchmark::DoNotOptimize(CPageEscape::UrlComponent(strValue));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(strValue.size() * 3));
}
BENCHMARK(BM_EscapeValues);
} // namespace

BENCHMARK_MAIN();
