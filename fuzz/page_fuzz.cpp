// Arbitrary bytes as a response page through the send-raw-data handler, with a rewriter on every row of
// the form factory that edits the page through the DOM layer wherever the page offers a place: every list
// the handler submits must be one the host's applier accepts. The first byte picks the request's flags
// (and so the factory's row for a page without template comment).
#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "filter/DLSWContext.h"
#include "filter/Notifications.h"
#include "forms/DLForm.h"
#include "forms/DLFormFactory.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "host/BufferApplier.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace
{
class CFuzzForm : public CDLForm
{
public:
    explicit CFuzzForm(CSWFormContext* pFormContext) : CDLForm(pFormContext) {}

    DWORD Process() override
    {
        try
        {
            Edit();
        }
        catch (const CDOMParserException&)
        {
            return ERROR_ARENA_TRASHED;
        }
        return ERROR_SUCCESS;
    }

private:
    void Edit()
    {
        CDOMSource& dom = *m_pFormContext->m_spDom;
        CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
        if (!dom.getHead().isEmpty())
        {
            dom.getHead().getStartTag().insertDataAfter("<script>var g_s = \"x\";</script>", pList);
            dom.getHead().appendContentData("<SCRIPT src=\"a.js\"></SCRIPT>\n", pList);
        }
        CDOMElement& body = dom.getBody();
        const CDOMElement& scope = body.isEmpty() ? dom.getHtml() : body;
        if (scope.isEmpty())
            return;
        // A rewriter never edits inside what it removed: the host would refuse the list.
        std::vector<std::pair<Position, Position>> vecRemoved;
        const auto Removed = [&](Position nPos)
        {
            for (const auto& range : vecRemoved)
            {
                if (nPos >= range.first && nPos < range.second)
                    return true;
            }
            return false;
        };
        const CDOMElementVector spans = scope.getElementsByTagName("span");
        for (size_t i = 0; i < spans.length() && i < 64; ++i)
        {
            CDOMElement span = spans.item(i);
            if (Removed(span.getBeginPos()))
                continue;
            std::string sName;
            dom.getPlainText(span.getContentBeginPos(), span.getContentEndPos(), sName);
            const CDOMAttribute cls = span.getAttribute("class");
            if (!cls.isEmpty() && cls.getValue() == "wvsn")
            {
                span.remove(pList);
                vecRemoved.emplace_back(span.getBeginPos(), span.getEndPos());
                continue;
            }
            span.setAttribute("_KSDLAttFilename", CPageEscape::HtmlAttribute(sName), pList);
            span.removeAttribute("title", pList);
            const CDOMAttribute level = span.getAttribute("level");
            if (!level.isEmpty())
                level.insertValueData(
                    level.hasValue() ? level.getValueEndPos() - level.getValueBeginPos() : 0, "0", pList);
            span.appendContentData("</a>", pList);
            span.parentNode();
            span.nextSibling();
        }
        const CDOMStartTagVector links = scope.getStartTagsByTagName("a");
        for (size_t i = 0; i < links.length() && i < 64; ++i)
        {
            const CDOMStartTag link = links.item(i);
            if (Removed(link.getBeginPos()))
                continue;
            link.insertDataBefore("<b>", pList);
            link.setAttribute("onclick", "f()", pList);
        }
    }
};

CDLForm* MakeFuzzForm(FormKind /*eKind*/, CSWFormContext* pFormContext)
{
    return new (std::nothrow) CFuzzForm(pFormContext);
}

std::string* g_pBody = nullptr;

DWORD Submit(CDLLContext* pContext, CBufferInstructionList* pList)
{
    std::string strBody = *g_pBody;
    std::string strError;
    if (ApplyBufferInstructions(*pList, pContext->m_spOutboundContext->m_pCommonPointers[1], strBody,
                                strError) != 0)
    {
        // A list the host refuses: say why, and which edits it held, before stopping.
        std::fprintf(stderr, "refused: %s\n", strError.c_str());
        const auto uBase = reinterpret_cast<uintptr_t>(pContext->m_spOutboundContext->m_pCommonPointers[1]);
        for (auto* pNode = pList->Sentinel()->m_pNext; pNode != pList->Sentinel(); pNode = pNode->m_pNext)
        {
            const CBufferInstruction* p = pNode->m_spInstruction.Get();
            std::fprintf(stderr, "  %s at %llu: %s %u\n", p->m_dwKind == BI_INSERT ? "insert" : "delete",
                         static_cast<unsigned long long>(p->m_ullPosition - uBase),
                         p->m_pszText != nullptr ? p->m_pszText : "", p->m_dwLength);
        }
        std::abort();
    }
    return ERROR_SUCCESS;
}

char* Find(std::string& strBody, const char* pszTag)
{
    const size_t nPos = strBody.find(pszTag);
    return nPos == std::string::npos ? nullptr : strBody.data() + nPos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const bool s_bInstalled = []
    {
        for (int i = 1; i < static_cast<int>(FormKind::Count); ++i)
            CDLFormFactory::SetFormMaker(static_cast<FormKind>(i), &MakeFuzzForm);
        return true;
    }();
    (void)s_bInstalled;
    if (nSize == 0)
        return 0;
    static const DWORD s_adwFlags[] = {0,
                                       RF_POST,
                                       RF_PREMIUM_DELETE_ATTACHMENT,
                                       RF_DOCUMENT_VIEW_SORT,
                                       RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED,
                                       RF_POST | RF_FBA_PUBLIC_CLIENT};
    std::string strBody(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    g_pBody = &strBody;
    char* apWords[COMMON_POINTER_WORDS] = {};
    apWords[1] = strBody.data();
    apWords[2] = strBody.empty() ? nullptr : strBody.data() + strBody.size() - 1;
    apWords[15] = Find(strBody, "<html");
    apWords[16] = Find(strBody, "<head");
    apWords[17] = Find(strBody, "</head");
    apWords[19] = Find(strBody, "<body");
    apWords[21] = Find(strBody, "</body");

    CCoreServicesTable coreServices{};
    coreServices.SubmitBufferCommands = &Submit;
    CDLLContext context{};
    context.NotificationType = 0x400;
    context.RequestFlags = s_adwFlags[pData[0] % (sizeof(s_adwFlags) / sizeof(s_adwFlags[0]))];
    context.CoreServices = &coreServices;
    context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
    context.m_spOutboundContext->HttpStatus = 200;
    context.m_spOutboundContext->m_pCommonPointers = apWords;
    context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
    context.m_spExchangeURL = CCountedPtr<CExchangeURL>(new CExchangeURL());
    CDLSWContext ownContext;
    ownContext.m_strLanguage = "en";
    context.m_pMyOwnContext = &ownContext;
    CNotifications notifications;
    notifications.NotifySendRawData(&context);
    context.m_pMyOwnContext = nullptr;
    delete[] context.ReplaceBuffer;
    return 0;
}
