#include "host/BufferApplier.h"

#include "contract/BufferInstruction.h"

#include <cstdint>
#include <vector>

DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string& strBody,
                              std::string& strError)
{
    const ULONGLONG ullBase = reinterpret_cast<uintptr_t>(pBase);
    if (!CheckBufferInstructionList(list, ullBase, strBody.size(), strError))
        return ERROR_INVALID_DATA;
    std::string strOut;
    strOut.reserve(strBody.size());
    size_t nCursor = 0; // next byte of the original body not yet copied or deleted
    // Each insert goes in at its address ahead of whatever earlier instructions put there, as an insert
    // into the live buffer would. The list holds the latest insert of one address first, so one address's
    // inserts are written out from the last to the first: the page gets them in the order the worker made
    // them.
    std::vector<const char*> vecRun;
    const auto flushRun = [&]()
    {
        for (auto it = vecRun.rbegin(); it != vecRun.rend(); ++it)
            strOut += *it;
        vecRun.clear();
    };
    const CBufferInstructionList::CNode* pSentinel = list.Sentinel();
    for (const auto* pNode = pSentinel->m_pNext; pNode != pSentinel; pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        const auto nOffset = static_cast<size_t>(pInstruction->m_ullPosition - ullBase);
        if (nOffset != nCursor)
            flushRun();
        strOut.append(strBody, nCursor, nOffset - nCursor);
        if (pInstruction->m_dwKind == BI_INSERT)
        {
            nCursor = nOffset;
            vecRun.push_back(pInstruction->m_pszText);
        }
        else
        {
            flushRun();
            nCursor = nOffset + pInstruction->m_dwLength;
        }
    }
    flushRun();
    strOut.append(strBody, nCursor, std::string::npos);
    strBody.swap(strOut);
    return ERROR_SUCCESS;
}
