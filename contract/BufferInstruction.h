// The edits of one response body that the worker hands to the host: inserts and deletes at byte
// positions, kept in position order. The host reads both classes while it applies a list, so their
// layout is part of the contract with the host; both sides build them from this header.
#pragma once

#include "contract/CountedPtr.h"
#include "platform/WinError.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstring>
#include <deque>
#include <new>
#include <string>

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
    virtual ~CBufferInstructionList() { delete m_pSentinel; }

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
        // The new one goes before the first element it does not follow. The list is sorted, so that element
        // is found from the tail: a rewriter adds its edits mostly in page order, and each add then stops
        // at once instead of walking the whole list. An edit of the page's head made after those of its
        // body goes in front of them all without the walk: on a page of megabytes the list's nodes lie
        // scattered through the parser's memory, and a walk over thousands of them costs a cache miss each.
        const auto Precedes = [pNew](const CBufferInstruction* pElem)
        {
            return pNew->m_ullPosition < pElem->m_ullPosition ||
                   (pNew->m_ullPosition == pElem->m_ullPosition && pNew->m_dwKind <= pElem->m_dwKind);
        };
        CNode* pBefore = m_pSentinel;
        CNode* pFirst = m_pSentinel->m_pNext;
        if (pFirst != m_pSentinel && pFirst->m_spInstruction.Get() != nullptr &&
            Precedes(pFirst->m_spInstruction.Get()))
        {
            pBefore = pFirst;
        }
        else
        {
            for (CNode* pNode = m_pSentinel->m_pPrev; pNode != m_pSentinel; pNode = pNode->m_pPrev)
            {
                const CBufferInstruction* pElem = pNode->m_spInstruction.Get();
                if (pElem == nullptr)
                    continue;
                if (!Precedes(pElem))
                    break;
                pBefore = pNode;
            }
        }
        CNode* pNode = &m_nodes.emplace_back(CNode{pBefore, pBefore->m_pPrev, spInstruction});
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

private:
    // The nodes, in blocks in the order they were added, which is mostly the list's order. A page of
    // megabytes gets thousands of edits, and the list is walked several times (the worker's check, the
    // host's record and its applier, the release): nodes allocated one by one lie scattered through the
    // parser's memory and cost a cache miss each on every walk.
    std::deque<CNode> m_nodes;
};

// The check of a list's instructions one at a time, in the list's order, against a body of nSize bytes at
// ullBase: every edit inside the body, inserts with a text, deletes of something, positions in order, no
// delete overlapping the one before it and no insert inside a deleted range. A host applying the list checks
// each instruction as it comes to it, so that a list of thousands is walked once.
class CBufferInstructionCheck
{
public:
    CBufferInstructionCheck(ULONGLONG ullBase, size_t nSize) : m_ullBase(ullBase), m_nSize(nSize) {}

    // False with the reason when the instruction may not follow those before it.
    bool Accept(const CBufferInstruction& instruction, std::string& strError)
    {
        if (instruction.m_ullPosition < m_ullBase || instruction.m_ullPosition - m_ullBase > m_nSize)
        {
            strError = "an edit lies outside the body";
            return false;
        }
        const auto nOffset = static_cast<size_t>(instruction.m_ullPosition - m_ullBase);
        if (instruction.m_dwKind == BI_INSERT)
        {
            if (instruction.m_pszText == nullptr)
            {
                strError = "an insert has no text";
                return false;
            }
            if (nOffset > m_nDeletedBegin && nOffset < m_nDeletedEnd)
            {
                strError = "an insert lies inside a deleted range";
                return false;
            }
            if (nOffset < m_nCursor)
            {
                strError = "the list is not in position order";
                return false;
            }
            m_nCursor = nOffset;
        }
        else if (instruction.m_dwKind == BI_DELETE)
        {
            if (instruction.m_dwLength > m_nSize - nOffset)
            {
                strError = "a delete reaches past the body";
                return false;
            }
            if (nOffset < m_nCursor)
            {
                strError = "deletes overlap";
                return false;
            }
            m_nDeletedBegin = nOffset;
            m_nDeletedEnd = nOffset + instruction.m_dwLength;
            m_nCursor = m_nDeletedEnd;
        }
        else
        {
            strError = "an instruction of unknown kind";
            return false;
        }
        return true;
    }

private:
    ULONGLONG m_ullBase;
    size_t m_nSize;
    size_t m_nCursor = 0;       // the end of what the edits so far consumed of the body
    size_t m_nDeletedBegin = 0; // the last delete
    size_t m_nDeletedEnd = 0;
};

// Whether a host can apply the list in its order to a body of nSize bytes at ullBase (see
// CBufferInstructionCheck). False with the reason otherwise. The host refuses such a list, and the worker
// never hands one over.
inline bool CheckBufferInstructionList(const CBufferInstructionList& list, ULONGLONG ullBase, size_t nSize,
                                       std::string& strError)
{
    CBufferInstructionCheck check(ullBase, nSize);
    for (const auto* pNode = list.Sentinel()->m_pNext; pNode != list.Sentinel(); pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction != nullptr && !check.Accept(*pInstruction, strError))
            return false;
    }
    return true;
}

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
