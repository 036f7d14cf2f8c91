// Arbitrary bytes as a response page through the send-raw-data handler: every list the worker submits must
// be one the host's applier accepts. A first byte below 128 picks the request's flags (and so the factory's
// row for a page without template comment), and the page goes in process to a rewriter on every row that
// edits it through the DOM layer wherever the page offers a place. From 128 on it picks a row of the
// factory, and the page, with that row's template comment forced in front, goes with a request of that row
// through the loaded worker library and its own rewriters.
#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"
#include "forms/DLForm.h"
#include "forms/DLFormFactory.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "host/BufferApplier.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"
#include "request/DLSWContext.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
            span.setAttribute("_KSDLAttFilename", CPageEscape::Utf8().HtmlAttribute(sName), pList);
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

// A row of the factory as a server meets it: a sample request that classifies as the row, the template
// comment of its pages (none for the fragments the request flags pick), and the client's address.
struct SRow
{
    const char* pszRequestFile;
    const char* pszTemplate;
    const char* pszClient = "127.0.0.1";
};
const SRow kRows[] = {
    {"15-premium-read-page.http", "ASP.forms_premium_readmessage_aspx"},
    {"16-premium-edit-page.http", "ASP.forms_premium_editmessage_aspx"},
    {"17-premium-attach-file-dialog.http", "ASP.forms_premium_attachfiledialog_aspx"},
    {"18-premium-attach-file-dialog-post.http", "ASP.forms_premium_attachfiledialog_aspx"},
    {"21-premium-document-view.http", "ASP.forms_premium_documentview_aspx"},
    {"10-premium-delete-attachment.http", nullptr},
    {"22-premium-document-view-sort.http", nullptr},
    {"23-document-view-force-save.http", "ASP.auth_error_aspx", "10.1.2.3"},
    {"19-basic-read-page.http", "ASP.forms_basic_basicreadmessage_aspx"},
    {"20-basic-edit-page.http", "ASP.forms_basic_basiceditmessage_aspx"},
    {"03-basic-attachment-manager.http", "ASP.forms_basic_basicattachmentmanager_aspx"},
    {"19-basic-read-page.http", "ASP.forms_basic_basiccalendaritemschedulingtab_aspx"},
};
constexpr size_t ROW_COUNT = sizeof(kRows) / sizeof(kRows[0]);

CHostFilter* g_pHost = nullptr;
CRawRequest g_aRowRequests[ROW_COUNT];

void LoadWorker()
{
    g_pHost = new CHostFilter();
    std::string strError;
    HTTP_FILTER_VERSION version{};
    if (!g_pHost->Load(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so", strError) ||
        !g_pHost->GetFilterVersion(version))
    {
        std::fprintf(stderr, "page_fuzz: the worker did not start: %s\n", strError.c_str());
        std::abort();
    }
    for (size_t i = 0; i < ROW_COUNT; ++i)
    {
        std::ifstream in(std::string(DLSW_SOURCE_DIR "/samples/requests/") + kRows[i].pszRequestFile,
                         std::ios::binary);
        const std::string strText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!RawRequest::Parse(strText, g_aRowRequests[i], strError))
        {
            std::fprintf(stderr, "page_fuzz: %s: %s\n", kRows[i].pszRequestFile, strError.c_str());
            std::abort();
        }
    }
}

int RunThroughTheWorker(uint8_t bRow, const uint8_t* pData, size_t nSize)
{
    const SRow& row = kRows[bRow % ROW_COUNT];
    CHostRequest request;
    request.m_raw = g_aRowRequests[bRow % ROW_COUNT];
    request.m_strUser = "EXAMPLE\\alice";
    request.m_strClientAddress = row.pszClient;
    request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
    if (row.pszTemplate != nullptr)
        request.m_strResponseBody = std::string("<!-- OwaPage = ") + row.pszTemplate + " -->\r\n";
    request.m_strResponseBody.append(reinterpret_cast<const char*>(pData), nSize);
    const CHostResult result = g_pHost->Process(request);
    if (result.m_bInstructionsSubmitted && result.m_dwSubmitResult != 0)
    {
        std::fprintf(stderr, "refused on the %s row: %s\n",
                     row.pszTemplate != nullptr ? row.pszTemplate : "fragment",
                     result.m_strSubmitError.c_str());
        for (const CHostInstruction& instruction : result.m_vecInstructions)
            std::fprintf(stderr, "  %s at %lld: %s %u\n",
                         instruction.m_dwKind == BI_INSERT ? "insert" : "delete", instruction.m_llPosition,
                         instruction.m_strText.c_str(), static_cast<unsigned>(instruction.m_dwLength));
        std::abort();
    }
    return 0;
}

char* Find(std::string& strBody, const char* pszTag)
{
    const size_t nPos = strBody.find(pszTag);
    return nPos == std::string::npos ? nullptr : strBody.data() + nPos;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    LoadWorker();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const PFN_MAKE_FORM s_pfnReplaced = CDLFormFactory::SetFormMaker(&MakeFuzzForm);
    (void)s_pfnReplaced;
    if (nSize == 0)
        return 0;
    if (pData[0] >= 128)
        return RunThroughTheWorker(static_cast<uint8_t>(pData[0] - 128), pData + 1, nSize - 1);
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
