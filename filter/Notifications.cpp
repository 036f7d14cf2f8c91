#include "filter/Notifications.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"

void CNotifications::LogFinished(const char* pszHandler, const CDLLContext* pContext, DWORD dwRet)
{
    TraceLog("[CNotifications::%s] finished.  Win32 RC=%d.  Control Message=<%s>", pszHandler,
             static_cast<int>(dwRet), ControlMessageText(pContext));
}
