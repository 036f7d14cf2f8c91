#include "filter/BufferCommands.h"

#include "contract/DLLContext.h"

DWORD SubmitBufferCommands(CCoreServicesTable* pCoreServices, CDLLContext* pContext,
                           CBufferInstructionList* pList)
{
    if (pCoreServices == nullptr || pCoreServices->SubmitBufferCommands == nullptr)
        return ERROR_NOT_SUPPORTED;
    return pCoreServices->SubmitBufferCommands(pContext, pList);
}
