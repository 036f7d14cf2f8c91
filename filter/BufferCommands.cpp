#include "filter/BufferCommands.h"

#include "common/TraceLog.h"
#include "filter/BufferInstruction.h"
#include "filter/DLLContext.h"
#include "filter/Util.h"

#include <new>

namespace
{
// An instruction the list takes over; null when it cannot be allocated.
CCountedPtr<CBufferInstruction> NewInstruction(DWORD dwKind, ULONGLONG ullPosition)
{
    CBufferInstruction* pInstruction = new (std::nothrow) CBufferInstruction();
    if (pInstruction == nullptr)
        throw static_cast<int32_t>(E_OUTOFMEMORY);
    CCountedPtr<CBufferInstruction> spInstruction(pInstruction);
    pInstruction->m_dwKind = dwKind;
    pInstruction->m_ullPosition = ullPosition;
    return spInstruction;
}
} // namespace

DWORD CUtil::InsertHtmlStringAtPosition(ULONGLONG ullPosition, const char* pszText,
                                        CBufferInstructionList* pList)
{
    if (ullPosition == 0 || pszText == nullptr || pList == nullptr)
    {
        TraceLog("[InsertHtmlStringAtPosition] invalid data.");
        return ERROR_INVALID_DATA;
    }
    CCountedPtr<CBufferInstruction> spInstruction = NewInstruction(BI_INSERT, ullPosition);
    spInstruction->SetText(pszText);
    return pList->Add(spInstruction);
}

DWORD CUtil::DeleteHtmlStringAtPosition(ULONGLONG ullPosition, DWORD dwLength, CBufferInstructionList* pList)
{
    if (ullPosition == 0 || pList == nullptr)
    {
        TraceLog("[DeleteHtmlStringAtPosition] invalid data. ");
        return ERROR_INVALID_DATA;
    }
    CCountedPtr<CBufferInstruction> spInstruction = NewInstruction(BI_DELETE, ullPosition);
    spInstruction->m_dwLength = dwLength;
    return pList->Add(spInstruction);
}

DWORD SubmitBufferCommands(CCoreServicesTable* pCoreServices, CDLLContext* pContext,
                           CBufferInstructionList* pList)
{
    if (pCoreServices == nullptr || pCoreServices->SubmitBufferCommands == nullptr)
        return ERROR_NOT_SUPPORTED;
    return pCoreServices->SubmitBufferCommands(pContext, pList);
}
