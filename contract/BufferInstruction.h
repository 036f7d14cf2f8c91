// The edits of one response body that the worker hands to the host: inserts and deletes at byte
// positions, kept in position order. The host reads both classes while it applies a list, so their
// layout is part of the contract with the host; both sides build them from this header.
#pragma once

#include "common/CountedPtr.h"
#include "platform/WinError.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstring>
#include <new>

enum BufferInstructionKind : DWORD
{
    BI_INSERT = 0,
    BI_DELETE = 1,
    BI_NONE = 0xFFFFFFFFu,
};

class CBufferInstruction
{
public:
    CBufferInstruction() = default;
    CBufferInstruction(const CBufferInstruction&) = delete;
    CBufferInstruction& operator=(const CBufferInstruction&) = delete;
    virtual ~CBufferInstruction() { SetText(nullptr); }

    // Keeps an own copy of the text; null lets go of it. Raises E_OUTOFMEMORY when the copy cannot be
    // allocated.
    void SetText(const char* pszText)
    {
        if (m_bOwnsText && m_pszText != nullptr)
            delete[] m_pszText;
        m_pszText = nullptr;
        m_bOwnsText = FALSE;
        if (pszText == nullptr)
            return;
        const size_t nTextLen = std::strlen(pszText);
        const size_t nLen = nTextLen < 1 ? 1 : nTextLen;
        char* pszCopy = new (std::nothrow) char[nLen + 1];
        if (pszCopy == nullptr)
            ThrowIfFailed(E_OUTOFMEMORY);
        std::memset(pszCopy, 0, nLen + 1);
        std::memcpy(pszCopy, pszText, nTextLen);
        m_pszText = pszCopy;
        m_bOwnsText = TRUE;
    }

    DWORD m_dwKind = BI_NONE;
    ULONGLONG m_ullPosition = 0; // address in the response buffer
    char* m_pszText = nullptr;   // insert only
    BOOL m_bOwnsText = FALSE;
    DWORD m_dwLength = 0; // delete only
};

// A circular doubly linked list with a sentinel node; the host walks it from the sentinel.
class CBufferInstructionList
{
public:
    struct CNode
    {
        CNode* m_pNext;
        CNode* m_pPrev;
        CCountedPtr<CBufferInstruction> m_spInstruction;
    };

    CBufferInstructionList()
    {
        m_pSentinel = new CNode{nullptr, nullptr, {}};
        m_pSentinel->m_pNext = m_pSentinel;
        m_pSentinel->m_pPrev = m_pSentinel;
    }
    CBufferInstructionList(const CBufferInstructionList&) = delete;
    CBufferInstructionList& operator=(const CBufferInstructionList&) = delete;
    virtual ~CBufferInstructionList()
    {
        CNode* pNode = m_pSentinel->m_pNext;
        while (pNode != m_pSentinel)
        {
            CNode* pNext = pNode->m_pNext;
            delete pNode;
            pNode = pNext;
        }
        delete m_pSentinel;
    }

    // Takes ownership in every case. ERROR_INVALID_DATA for an insert without text or a delete of nothing.
    // Keeps the list by position; at one position inserts come before deletes, and the latest of one kind
    // comes first.
    DWORD Add(const CCountedPtr<CBufferInstruction>& spInstruction)
    {
        const CBufferInstruction* pNew = spInstruction.Get();
        if (pNew == nullptr)
            return ERROR_INVALID_DATA;
        const bool bValid = (pNew->m_dwKind == BI_INSERT && pNew->m_pszText != nullptr) ||
                            (pNew->m_dwKind == BI_DELETE && pNew->m_dwLength != 0);
        if (!bValid)
            return ERROR_INVALID_DATA;
        CNode* pBefore = m_pSentinel;
        for (CNode* pNode = m_pSentinel->m_pNext; pNode != m_pSentinel; pNode = pNode->m_pNext)
        {
            const CBufferInstruction* pElem = pNode->m_spInstruction.Get();
            if (pElem == nullptr)
                continue;
            if (pNew->m_ullPosition < pElem->m_ullPosition ||
                (pNew->m_ullPosition == pElem->m_ullPosition && pNew->m_dwKind <= pElem->m_dwKind))
            {
                pBefore = pNode;
                break;
            }
        }
        CNode* pNode = new CNode{pBefore, pBefore->m_pPrev, spInstruction};
        pBefore->m_pPrev->m_pNext = pNode;
        pBefore->m_pPrev = pNode;
        ++m_ullCount;
        return ERROR_SUCCESS;
    }

    ULONGLONG Count() const { return m_ullCount; }
    bool IsEmpty() const { return m_ullCount == 0; }
    const CNode* Sentinel() const { return m_pSentinel; }

    // Read by the host in place.
    PVOID m_pvReserved = nullptr;
    CNode* m_pSentinel = nullptr;
    ULONGLONG m_ullCount = 0;
};

// The layout the host reads. The classes have a virtual table, so their offsets are not standard-layout
// offsets; the compiler still gives them for single, non-virtual inheritance.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(CBufferInstruction, m_dwKind) == 8);
static_assert(offsetof(CBufferInstruction, m_ullPosition) == 16);
static_assert(offsetof(CBufferInstruction, m_pszText) == 24);
static_assert(offsetof(CBufferInstruction, m_bOwnsText) == 32);
static_assert(offsetof(CBufferInstruction, m_dwLength) == 36);
static_assert(sizeof(CBufferInstruction) == 40);
static_assert(offsetof(CBufferInstructionList, m_pSentinel) == 16);
static_assert(offsetof(CBufferInstructionList, m_ullCount) == 24);
static_assert(offsetof(CBufferInstructionList::CNode, m_pNext) == 0);
static_assert(offsetof(CBufferInstructionList::CNode, m_pPrev) == 8);
static_assert(offsetof(CBufferInstructionList::CNode, m_spInstruction) == 16);
#pragma GCC diagnostic pop
