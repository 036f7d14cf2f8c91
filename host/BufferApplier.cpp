#include "host/BufferApplier.h"

#include "contract/BufferInstruction.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string_view body,
                              std::string& strEdited, std::string& strError)
{
    const ULONGLONG ullBase = reinterpret_cast<uintptr_t>(pBase);
    // Each instruction is checked as the walk comes to it; the body is only written once the whole list
    // has passed.
    CBufferInstructionCheck check(ullBase, body.size());
    // The edited body is gathered as pieces first (runs of the body and insert texts) and written out once
    // into a string of its final size: grown by doubling, a page of megabytes would be copied again and
    // its fresh pages faulted in once more.
    std::vector<std::string_view> vecPieces;
    size_t nCursor = 0; // next byte of the original body not yet copied or deleted
    // Each insert goes in at its address ahead of whatever earlier instructions put there, as an insert
    // into the live buffer would. The list holds the latest insert of one address first, so one address's
    // inserts are written out from the last to the first: the page gets them in the order the worker made
    // them.
    size_t nRun = 0; // the inserts at the cursor, at the end of the pieces in list order
    const auto flushRun = [&]()
    {
        std::reverse(vecPieces.end() - static_cast<std::ptrdiff_t>(nRun), vecPieces.end());
        nRun = 0;
    };
    const CBufferInstructionList::CNode* pSentinel = list.Sentinel();
    for (const auto* pNode = pSentinel->m_pNext; pNode != pSentinel; pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        if (!check.Accept(*pInstruction, strError))
            return ERROR_INVALID_DATA;
        const auto nOffset = static_cast<size_t>(pInstruction->m_ullPosition - ullBase);
        if (nOffset != nCursor)
        {
            flushRun();
            vecPieces.push_back(body.substr(nCursor, nOffset - nCursor));
        }
        if (pInstruction->m_dwKind == BI_INSERT)
        {
            nCursor = nOffset;
            vecPieces.emplace_back(pInstruction->m_pszText);
            ++nRun;
        }
        else
        {
            flushRun();
            nCursor = nOffset + pInstruction->m_dwLength;
        }
    }
    flushRun();
    vecPieces.push_back(body.substr(nCursor));
    size_t nSize = 0;
    for (const std::string_view& piece : vecPieces)
        nSize += piece.size();
    std::string strOut;
    strOut.reserve(nSize);
    for (const std::string_view& piece : vecPieces)
        strOut.append(piece);
    strEdited.swap(strOut);
    return ERROR_SUCCESS;
}

DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string& strBody,
                              std::string& strError)
{
    std::string strEdited;
    const DWORD dwResult =
        ApplyBufferInstructions(list, pBase, std::string_view(strBody), strEdited, strError);
    if (dwResult == ERROR_SUCCESS)
        strBody.swap(strEdited);
    return dwResult;
}
