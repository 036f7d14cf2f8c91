// Keeps exceptions of a notification handler from reaching the host, which is not built to take them:
// one that escapes is traced and ends the worker's part in the request, and the handler's closing line is
// still written.
#pragma once

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"

#include <exception>

template <class THandler>
DWORD GuardHandler(CDLLContext* pContext, const char* pszHandler, THandler&& handler)
{
    try
    {
        return handler();
    }
    catch (const std::exception& e)
    {
        TraceLog("[HttpFilterProc] Exception <%s> in the handler of notification 0x%X. Ignore.", e.what(),
                 static_cast<unsigned>(pContext->NotificationType));
    }
    catch (...)
    {
        TraceLog("[HttpFilterProc] Exception <%s> in the handler of notification 0x%X. Ignore.", "unknown",
                 static_cast<unsigned>(pContext->NotificationType));
    }
    pContext->ControlMessage = CM_IGNORE;
    CNotifications::LogFinished(pszHandler, pContext, ERROR_ARENA_TRASHED);
    return ERROR_ARENA_TRASHED;
}
