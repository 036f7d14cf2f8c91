#include "request/BaseNotifications.h"

#include "common/SharedConstants.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "request/Util.h"

namespace
{
bool HeadersAllowed(const CDLLContext* pContext)
{
    switch (pContext->NotificationType)
    {
    case SF_NOTIFY_SEND_RESPONSE:
    case SF_NOTIFY_PREPROC_HEADERS:
    case SF_NOTIFY_AUTH_COMPLETE:
        return true;
    default:
        return false;
    }
}

// The three notification structures share the layout of their header call-backs.
const HTTP_FILTER_PREPROC_HEADERS* HeaderCallbacks(const CDLLContext* pContext)
{
    return static_cast<const HTTP_FILTER_PREPROC_HEADERS*>(pContext->pvNotification);
}
} // namespace

BOOL CBaseNotifications::AddWorkerHeader(CDLLContext* pContext, const char* pszName, const char* pszValue)
{
    BOOL bRet = FALSE;
    if (pContext != nullptr && HeadersAllowed(pContext) && pContext->pfc != nullptr &&
        pContext->pvNotification != nullptr && HeaderCallbacks(pContext)->AddHeader != nullptr)
    {
        bRet = HeaderCallbacks(pContext)->AddHeader(pContext->pfc, const_cast<LPSTR>(pszName),
                                                    const_cast<LPSTR>(pszValue));
    }
    TraceLog("[AddWorkerHeader] for header: %s return %d", pszName != nullptr ? pszName : "", bRet);
    return bRet;
}

BOOL CBaseNotifications::SetWorkerHeader(CDLLContext* pContext, const char* pszName, const char* pszValue)
{
    BOOL bRet = FALSE;
    if (pContext != nullptr && HeadersAllowed(pContext) && pContext->pfc != nullptr &&
        pContext->pvNotification != nullptr && HeaderCallbacks(pContext)->SetHeader != nullptr)
    {
        bRet = HeaderCallbacks(pContext)->SetHeader(pContext->pfc, const_cast<LPSTR>(pszName),
                                                    const_cast<LPSTR>(pszValue));
    }
    TraceLog("[SetHeader] for header: %s return %d", pszName != nullptr ? pszName : "", bRet);
    return bRet;
}

DWORD CBaseNotifications::SendResponse(CDLLContext* pContext, const char* pszResponse,
                                       const char* pszStatusText, DWORD dwLength)
{
    TraceLog("[CBaseNotifications::SendResponse] SendResponse %s",
             pszStatusText != nullptr ? pszStatusText : "");
    if (pContext == nullptr || pContext->CoreServices == nullptr ||
        pContext->CoreServices->SendResponse == nullptr)
        return ERROR_ARENA_TRASHED;
    DWORD dwResponseLength = dwLength;
    pContext->CoreServices->SendResponse(pContext, pszResponse, &dwResponseLength, pContext->CoreServices);
    pContext->ControlMessage = CM_COMPLETED;
    return ERROR_SUCCESS;
}

void CBaseNotifications::GetClientIP(CDLLContext* pContext, std::string& strClientIP, bool* pbFromHeader)
{
    strClientIP.clear();
    CUtil::GetServerVariable(pContext, g_sHTTP_X_Remote_Client_IP, strClientIP);
    const bool bFromHeader = !strClientIP.empty();
    if (!bFromHeader)
        CUtil::GetServerVariable(pContext, g_sREMOTE_ADDR, strClientIP);
    if (pbFromHeader != nullptr)
        *pbFromHeader = bFromHeader;
}
