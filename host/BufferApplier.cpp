#include "host/BufferApplier.h"

#include "contract/BufferInstruction.h"

#include <cstdint>

DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string& strBody,
                              std::string& strError)
{
    const ULONGLONG ullBase = reinterpret_cast<uintptr_t>(pBase);
    if (!CheckBufferInstructionList(list, ullBase, strBody.size(), strError))
        return ERROR_INVALID_DATA;
    std::string strOut;
    strOut.reserve(strBody.size());
    size_t nCursor = 0; // next byte of the original body not yet copied or deleted
    const CBufferInstructionList::CNode* pSentinel = list.Sentinel();
    for (const auto* pNode = pSentinel->m_pNext; pNode != pSentinel; pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        const auto nOffset = static_cast<size_t>(pInstruction->m_ullPosition - ullBase);
        strOut.append(strBody, nCursor, nOffset - nCursor);
        if (pInstruction->m_dwKind == BI_INSERT)
        {
            nCursor = nOffset;
            strOut += pInstruction->m_pszText;
        }
        else
        {
            nCursor = nOffset + pInstruction->m_dwLength;
        }
    }
    strOut.append(strBody, nCursor, std::string::npos);
    strBody.swap(strOut);
    return ERROR_SUCCESS;
}
