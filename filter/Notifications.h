// The handlers of the host's notifications. No state: one is built per call.
#pragma once

#include "request/BaseNotifications.h"

class CNotifications : public CBaseNotifications
{
public:
    CNotifications() = default;
    ~CNotifications() override = default;

    DWORD NotifyAuthComplete(CDLLContext* pContext) override;
    // Classifies the request from its method, user agent, subscription type and query parameters.
    DWORD NotifyPreProcHeaders(CDLLContext* pContext) override;
    DWORD NotifySendResponse(CDLLContext* pContext) override;
    DWORD NotifySendRawData(CDLLContext* pContext) override;
    // Frees what the worker kept for the request.
    DWORD NotifyEndOfRequest(CDLLContext* pContext) override;

    // Every handler ends with this line.
    static void LogFinished(const char* pszHandler, const CDLLContext* pContext, DWORD dwRet);
};
