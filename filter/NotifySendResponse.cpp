#include "common/SharedConstants.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"

namespace
{
constexpr DWORD HTTP_STATUS_CONTINUE = 100;
constexpr DWORD HTTP_STATUS_OK = 200;

// The first header the host refuses ends the run: the response goes on with what was added.
bool AddNoCacheHeaders(CDLLContext* pContext)
{
    for (const NoCacheHeader& header : g_NoCacheHeaders)
    {
        if (!CBaseNotifications::AddWorkerHeader(pContext, header.m_sName.c_str(), header.m_sValue.c_str()))
            return false;
    }
    return true;
}
} // namespace

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
    else
    {
        const DWORD dwStatus = pContext->m_spOutboundContext->HttpStatus;
        TraceLog("[CNotifications::NotifySendResponse] HTTP Status=%d", static_cast<int>(dwStatus));
        if (dwStatus == HTTP_STATUS_CONTINUE)
            TraceLog("[CNotifications::NotifySendResponse] Status is 100. Continue.");
        else if (dwStatus != HTTP_STATUS_OK)
        {
            TraceLog("[CNotifications::NotifySendResponse] Status is not 200. Ignore request");
            pContext->ControlMessage = CM_IGNORE;
        }
        else
        {
            TraceLog("Adding no cache headers.");
            const bool bAdded = AddNoCacheHeaders(pContext);
            TraceLog("[CNotificationsHelper::AddNoCacheHeaders] returns <%s>", bAdded ? "TRUE" : "FALSE");
        }
    }
    LogFinished("NotifySendResponse", pContext, dwRet);
    return dwRet;
}
