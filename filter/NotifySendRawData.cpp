#include "common/CountedPtr.h"
#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "filter/Notifications.h"

#include <new>

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
