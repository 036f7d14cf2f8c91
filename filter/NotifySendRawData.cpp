#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"
#include "contract/CountedPtr.h"
#include "contract/DLLContext.h"
#include "filter/BufferCommands.h"
#include "filter/Notifications.h"
#include "forms/DLForm.h"
#include "forms/DLFormFactory.h"
#include "forms/DOMSource.h"
#include "forms/EditCheck.h"
#include "forms/SWFormContext.h"

#include <cctype>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace
{
CCountedPtr<CBufferInstructionList> NewInstructionList()
{
    try
    {
        return CCountedPtr<CBufferInstructionList>(new CBufferInstructionList());
    }
    catch (const std::bad_alloc&)
    {
        return {};
    }
}

// The response's media type as the host describes it (word 3, "text/html; charset=utf-8", with or without
// the header's name, and its length in word 5), in lower case; empty when the host gives none.
std::string ResponseMediaType(const CDLLContext* pContext)
{
    char** pWords =
        pContext->m_spOutboundContext.IsNull() ? nullptr : pContext->m_spOutboundContext->m_pCommonPointers;
    if (pWords == nullptr || pWords[3] == nullptr)
        return {};
    std::string strType(pWords[3], static_cast<size_t>(reinterpret_cast<uintptr_t>(pWords[5])));
    strType = strType.substr(0, strType.find_first_of(";\r\n"));
    for (char& c : strType)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (strType.compare(0, 13, "content-type:") == 0)
        strType.erase(0, 13);
    TrimChars(strType, " \t");
    return strType;
}

// Whether the host can apply the list to the response body as it delivered it (words 1 and 2 of its
// pointers into the response): a rewriter's edits may collide on a page crafted to make its elements
// overlap, and such a list must not reach a host that would apply it blindly.
bool ListFitsTheBody(const CDLLContext* pContext, const CBufferInstructionList& list, std::string& strReason)
{
    char** pWords =
        pContext->m_spOutboundContext.IsNull() ? nullptr : pContext->m_spOutboundContext->m_pCommonPointers;
    const char* pData = pWords != nullptr ? pWords[1] : nullptr;
    const char* pLast = pWords != nullptr ? pWords[2] : nullptr;
    const size_t nSize =
        (pData != nullptr && pLast != nullptr && pLast >= pData) ? static_cast<size_t>(pLast - pData) + 1 : 0;
    return CheckBufferInstructionList(list, reinterpret_cast<uintptr_t>(pData), nSize, strReason);
}

// Builds the form context, lets the factory pick the page's rewriter and runs it. Every exception leaves.
// Only OWA's pages are rewritten: a download's bytes pass as they came, whatever comment they hold.
DWORD RewritePage(CDLLContext* pContext, CBufferInstructionList* pList)
{
    const std::string strMediaType = ResponseMediaType(pContext);
    if (!strMediaType.empty() && strMediaType != "text/html")
    {
        TraceLog(
            "[CNotifications::NotifySendRawData] Content-Type <%s> is not HTML, the body passes unchanged",
            strMediaType.c_str());
        return ERROR_INVALID_DATA;
    }
    CCountedPtr<CSWFormContext> spFormContext(new CSWFormContext(pContext, pList));
    CCountedPtr<CDLForm> spForm(CDLFormFactory::createForm(spFormContext.Get()));
    if (spForm.IsNull())
    {
        TraceLog("[CNotifications::NotifySendRawData] Unknown form, no need for modification");
        return ERROR_INVALID_DATA;
    }
    const DWORD dwRet = spForm->Process();
    // Whoever found an edit's position, it must land where the browser reads the page as the rewriter
    // meant; a page with one edit that does not goes out as it came. A list whose edits collide is refused
    // as such after this.
    std::string strReason;
    if (dwRet == ERROR_SUCCESS && !pList->IsEmpty() && spFormContext->HasDom() &&
        ListFitsTheBody(pContext, *pList, strReason) &&
        !CEditCheck::Check(*spFormContext->m_spDom->getSource().Get(), *pList, strReason))
    {
        TraceLog("[CNotifications::NotifySendRawData] The page goes out unchanged: %s.", strReason.c_str());
        return ERROR_INVALID_DATA;
    }
    return dwRet;
}
} // namespace

DWORD CNotifications::NotifySendRawData(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_SUCCESS;
    CCountedPtr<CBufferInstructionList> spList = NewInstructionList();
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifySendRawData] Context not populated for further activity");
        LogFinished("NotifySendRawData", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    if (spList.IsNull())
    {
        TraceLog("[CNotifications::NotifySendRawData] null CBufferInstructionList");
        pContext->ControlMessage = CM_IGNORE;
        LogFinished("NotifySendRawData", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    // A rewriter that throws has left only part of its edits: the page goes out as it came, never half
    // rewritten.
    bool bThrown = false;
    try
    {
        dwRet = RewritePage(pContext, spList.Get());
    }
    catch (const std::runtime_error& e)
    {
        TraceLog("[CNotifications::NotifySendRawData] Runtime exception: %s", e.what());
        bThrown = true;
    }
    catch (...)
    {
        TraceLog("[CNotifications::NotifySendRawData] Unexpected exception");
        bThrown = true;
    }
    if (bThrown)
    {
        dwRet = ERROR_ARENA_TRASHED;
        pContext->ControlMessage = CM_IGNORE;
    }
    else if (dwRet != ERROR_SUCCESS)
    {
        pContext->ControlMessage = CM_IGNORE;
    }
    else if (spList->IsEmpty())
    {
        TraceLog("[CNotifications::NotifySendRawData] m_pcobBufferInstructions is Empty ");
        if (pContext->ControlMessage != CM_REPLACE)
        {
            dwRet = ERROR_INVALID_DATA;
            pContext->ControlMessage = CM_IGNORE;
        }
    }
    else if (std::string strReason; !ListFitsTheBody(pContext, *spList, strReason))
    {
        TraceLog(
            "[CNotifications::NotifySendRawData] Instructions do not fit the page (%s). Nothing is sent.",
            strReason.c_str());
        dwRet = ERROR_INVALID_DATA;
        pContext->ControlMessage = CM_IGNORE;
    }
    else
    {
        TraceLog("[CNotifications::NotifySendRawData] Sending instructions to core services, number of "
                 "instructions "
                 "is %d ",
                 static_cast<int>(spList->Count()));
        const DWORD dwSubmit = SubmitBufferCommands(pContext->CoreServices, pContext, spList.Get());
        if (dwSubmit != ERROR_SUCCESS)
        {
            TraceLog("[CNotifications::NotifySendRawData] SubmitBufferCommands returned error %d",
                     static_cast<int>(dwSubmit));
            dwRet = dwSubmit;
            pContext->ControlMessage = CM_IGNORE;
        }
    }
    LogFinished("NotifySendRawData", pContext, dwRet);
    return dwRet;
}
