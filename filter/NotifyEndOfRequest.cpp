#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"
#include "request/DLSWContext.h"

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
