#include "filter/Notifications.h"

#include "common/CountedPtr.h"
#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "filter/DLSWContext.h"

#include <new>

void CNotifications::LogFinished(const char* pszHandler, const CDLLContext* pContext, DWORD dwRet)
{
    TraceLog("[CNotifications::%s] finished.  Win32 RC=%d.  Control Message=<%s>", pszHandler,
             static_cast<int>(dwRet), ControlMessageText(pContext));
}

// The decisions of authentication complete come with the settings they read; until then the handler
// checks its inputs and leaves the request as the host gave it.
DWORD CNotifications::NotifyAuthComplete(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CDLLContext pointer is NULL.");
        dwRet = ERROR_INVALID_DATA;
    }
    else if (pContext->m_spRequestInfo.IsNull())
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CDLLContext.m_spRequestInfo is NULL.");
        dwRet = ERROR_INVALID_DATA;
        pContext->ControlMessage = CM_IGNORE;
    }
    LogFinished("NotifyAuthComplete", pContext, dwRet);
    return dwRet;
}

// The no-cache headers come with the shared header table; until then the handler checks its inputs.
DWORD CNotifications::NotifySendResponse(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifySendResponse] DLLcontext NULL, do nothing.");
        TraceLog("[CNotifications::NotifySendResponse] Invalid pointers");
        dwRet = ERROR_INVALID_DATA;
    }
    else if (pContext->m_spOutboundContext.IsNull())
    {
        TraceLog("[CNotifications::NotifySendResponse] Invalid pointers");
        dwRet = ERROR_INVALID_DATA;
        pContext->ControlMessage = CM_IGNORE;
    }
    LogFinished("NotifySendResponse", pContext, dwRet);
    return dwRet;
}

// No page rewriter is known yet, so every page is one for which no rewriter fits: it goes out unchanged.
DWORD CNotifications::NotifySendRawData(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_SUCCESS;
    CCountedPtr<CBufferInstructionList> spList(new (std::nothrow) CBufferInstructionList());
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifySendRawData] Context not populated for further activity");
        dwRet = ERROR_INVALID_DATA;
    }
    else if (spList.IsNull())
    {
        TraceLog("[CNotifications::NotifySendRawData] null CBufferInstructionList");
        dwRet = ERROR_INVALID_DATA;
        pContext->ControlMessage = CM_IGNORE;
    }
    else
    {
        TraceLog("[CNotifications::NotifySendRawData] Unknown form, no need for modification");
        dwRet = ERROR_INVALID_DATA;
        pContext->ControlMessage = CM_IGNORE;
    }
    LogFinished("NotifySendRawData", pContext, dwRet);
    return dwRet;
}

DWORD CNotifications::NotifyEndOfRequest(CDLLContext* pContext)
{
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifyEndOfRequest] pointer to CDLLContext is NULL");
        LogFinished("NotifyEndOfRequest", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    if (pContext->m_pMyOwnContext != nullptr)
    {
        TraceLog("[CNotifications::NotifyEndOfRequest] delete  CDLSWContext instance: %p",
                 static_cast<void*>(pContext->m_pMyOwnContext));
        delete pContext->m_pMyOwnContext;
        pContext->m_pMyOwnContext = nullptr;
    }
    if (pContext->ReplaceBuffer != nullptr)
    {
        TraceLog("[CNotifications::NotifyEndOfRequest] delete  replace buffer: %p",
                 static_cast<void*>(pContext->ReplaceBuffer));
        delete[] pContext->ReplaceBuffer;
        pContext->ReplaceBuffer = nullptr;
        pContext->ReplaceBufferLength = 0;
    }
    LogFinished("NotifyEndOfRequest", pContext, ERROR_SUCCESS);
    return ERROR_SUCCESS;
}
