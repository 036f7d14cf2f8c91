#include "forms/BufferEdits.h"

#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"

#include <new>

namespace
{
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

DWORD InsertHtmlStringAtPosition(ULONGLONG ullPosition, const char* pszText, CBufferInstructionList* pList)
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

DWORD DeleteHtmlStringAtPosition(ULONGLONG ullPosition, DWORD dwLength, CBufferInstructionList* pList)
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
