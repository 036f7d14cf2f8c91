// The base of the notification handlers and the host services they share: setting and adding headers
// through the notification structure, and sending a whole response through the host's call-back table.
#pragma once

#include "platform/WinTypes.h"

#include <string>

struct CDLLContext;

class CBaseNotifications
{
public:
    CBaseNotifications() = default;
    virtual ~CBaseNotifications() = default;

    virtual DWORD NotifyAuthComplete(CDLLContext* pContext) = 0;
    virtual DWORD NotifyPreProcHeaders(CDLLContext* pContext) = 0;
    virtual DWORD NotifySendResponse(CDLLContext* pContext) = 0;
    virtual DWORD NotifySendRawData(CDLLContext* pContext) = 0;
    virtual DWORD NotifyEndOfRequest(CDLLContext* pContext) = 0;

    // The host's answer, FALSE when the notification does not allow headers or a call-back is missing.
    static BOOL AddWorkerHeader(CDLLContext* pContext, const char* pszName, const char* pszValue);
    static BOOL SetWorkerHeader(CDLLContext* pContext, const char* pszName, const char* pszValue);
    // ERROR_SUCCESS and Completed once the host took the response; ERROR_ARENA_TRASHED when the host offers
    // no way to send one.
    static DWORD SendResponse(CDLLContext* pContext, const char* pszResponse, const char* pszStatusText,
                              DWORD dwLength);
    // The client's address: the one a front end forwards in "HTTP_X_Remote_Client_IP", else
    // "REMOTE_ADDR"; empty when neither can be read. pbFromHeader, when given, tells whether the front end's
    // header gave it.
    static void GetClientIP(CDLLContext* pContext, std::string& strClientIP, bool* pbFromHeader = nullptr);
};
