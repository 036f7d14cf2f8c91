#include "filter/Notifications.h"

#include "common/CountedPtr.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"

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
