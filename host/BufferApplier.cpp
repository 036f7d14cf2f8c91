#include "host/BufferApplier.h"

#include "contract/BufferInstruction.h"

#include <cstdint>

DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string& strBody,
                              std::string& strError)
{
    const uintptr_t uBase = reinterpret_cast<uintptr_t>(pBase);
    const size_t nSize = strBody.size();
    std::string strOut;
    strOut.reserve(nSize);
    size_t nCursor = 0;       // next byte of the original body not yet copied or deleted
    size_t nDeletedBegin = 0; // the last delete, to refuse inserts inside it
    size_t nDeletedEnd = 0;
    const CBufferInstructionList::CNode* pSentinel = list.Sentinel();
    for (const auto* pNode = pSentinel->m_pNext; pNode != pSentinel; pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        const ULONGLONG ullAddress = pInstruction->m_ullPosition;
        if (ullAddress < uBase || ullAddress - uBase > nSize)
        {
            strError = "an edit lies outside the body";
            return ERROR_INVALID_DATA;
        }
        const size_t nOffset = static_cast<size_t>(ullAddress - uBase);
        if (pInstruction->m_dwKind == BI_INSERT)
        {
            if (pInstruction->m_pszText == nullptr)
            {
                strError = "an insert has no text";
                return ERROR_INVALID_DATA;
            }
            if (nOffset > nDeletedBegin && nOffset < nDeletedEnd)
            {
                strError = "an insert lies inside a deleted range";
                return ERROR_INVALID_DATA;
            }
            if (nOffset < nCursor)
            {
                strError = "the list is not in position order";
                return ERROR_INVALID_DATA;
            }
            strOut.append(strBody, nCursor, nOffset - nCursor);
            nCursor = nOffset;
            strOut += pInstruction->m_pszText;
        }
        else if (pInstruction->m_dwKind == BI_DELETE)
        {
            if (pInstruction->m_dwLength > nSize - nOffset)
            {
                strError = "a delete reaches past the body";
                return ERROR_INVALID_DATA;
            }
            if (nOffset < nCursor)
            {
                strError = "deletes overlap";
                return ERROR_INVALID_DATA;
            }
            strOut.append(strBody, nCursor, nOffset - nCursor);
            nDeletedBegin = nOffset;
            nDeletedEnd = nOffset + pInstruction->m_dwLength;
            nCursor = nDeletedEnd;
        }
        else
        {
            strError = "an instruction of unknown kind";
            return ERROR_INVALID_DATA;
        }
    }
    strOut.append(strBody, nCursor, std::string::npos);
    strBody.swap(strOut);
    return ERROR_SUCCESS;
}
