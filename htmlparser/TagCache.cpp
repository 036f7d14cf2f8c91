#include "htmlparser/TagCache.h"

#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TagTypeRegister.h"

#include <algorithm>

namespace
{
constexpr size_t INITIAL_SLOTS = 64;

// Entry positions as ordered keys: the begin sentinel of a source that begins at 0 sits at -1.
inline int64_t Key(Position nPos)
{
    return static_cast<int64_t>(nPos);
}

constexpr size_t ENTRY_BLOCK = 1024;

bool HoldsRegistered(const CSubCacheEntry* pEntry)
{
    return pEntry != nullptr && pEntry->pTag != nullptr && !pEntry->pTag->isUnregistered();
}
} // namespace

// Marks one cache operation. Entries are never freed while any operation runs, because a search further up
// the stack may hold them; the outermost operation compacts when it ends.
class CCacheOperation
{
public:
    explicit CCacheOperation(CCache* pCache) : m_pCache(pCache) { ++m_pCache->m_nDepth; }
    ~CCacheOperation()
    {
        if (--m_pCache->m_nDepth == 0)
        {
            for (auto& pSubCache : m_pCache->m_SubCaches)
            {
                pSubCache->compact();
                pSubCache->releaseRetired();
            }
        }
    }
    CCacheOperation(const CCacheOperation&) = delete;
    CCacheOperation& operator=(const CCacheOperation&) = delete;

private:
    CCache* m_pCache;
};

// ---------------------------------------------------------------------------------------------------------
// CSubCache

CSubCache::CSubCache(CCache* pCache, CTagType* pTagType) : m_pCache(pCache), m_pTagType(pTagType)
{
    m_Entries.resize(INITIAL_SLOTS);
    resetSentinels();
}

CSubCache::~CSubCache() = default;

void CSubCache::resetSentinels()
{
    const CSource* pSource = m_pCache->getSource();
    m_Entries[0] = m_pCache->newEntry(0, pSource->m_nBegin - 1, nullptr, false, false);
    m_Entries[1] = m_pCache->newEntry(1, pSource->m_nEnd, nullptr, false, false);
    m_pFirst = m_Entries[0].get();
    m_pLast = m_Entries[1].get();
}

size_t CSubCache::size() const
{
    return static_cast<size_t>(m_pLast->nIndex) + 1;
}

CSubCacheEntry* CSubCache::slot(size_t nIndex) const
{
    return nIndex < m_Entries.size() ? m_Entries[nIndex].get() : nullptr;
}

const CSubCacheEntry* CSubCache::entryAt(size_t nIndex) const
{
    return nIndex < size() ? slot(nIndex) : nullptr;
}

CSubCacheEntry* CSubCache::before(const CSubCacheEntry* pEntry) const
{
    if (pEntry == nullptr || pEntry->nIndex == 0)
        return nullptr;
    CSubCacheEntry* pBefore = slot(static_cast<size_t>(pEntry->nIndex - 1));
    // An entry taken out by a clearing no longer has neighbours.
    return (pBefore != nullptr && slot(static_cast<size_t>(pEntry->nIndex)) == pEntry) ? pBefore : nullptr;
}

CSubCacheEntry* CSubCache::after(const CSubCacheEntry* pEntry) const
{
    if (pEntry == nullptr || pEntry == m_pLast)
        return nullptr;
    CSubCacheEntry* pAfter = slot(static_cast<size_t>(pEntry->nIndex + 1));
    return (pAfter != nullptr && slot(static_cast<size_t>(pEntry->nIndex)) == pEntry) ? pAfter : nullptr;
}

size_t CSubCache::search(Position nPos) const
{
    size_t nLow = 0;
    size_t nHigh = size() - 1;
    const int64_t nKey = Key(nPos);
    while (nLow < nHigh)
    {
        const size_t nMid = nLow + (nHigh - nLow) / 2;
        if (Key(m_Entries[nMid]->nPos) < nKey)
            nLow = nMid + 1;
        else
            nHigh = nMid;
    }
    return nLow;
}

void CSubCache::insertAt(size_t nIndex, CSubCacheEntryPtr pEntry)
{
    const size_t nSize = size();
    if (m_Entries.size() == nSize)
        m_Entries.resize(nSize * 2);
    for (size_t i = nSize; i > nIndex; --i)
    {
        m_Entries[i] = std::move(m_Entries[i - 1]);
        m_Entries[i]->nIndex = i;
    }
    pEntry->nIndex = nIndex;
    m_Entries[nIndex] = std::move(pEntry);
}

void CSubCache::markObsolete(CSubCacheEntry* pEntry)
{
    if (pEntry == nullptr || isSentinel(pEntry))
        return;
    // An entry known to hold no tag lies inside a searched stretch on both sides.
    pEntry->bPreviousGapSearched = true;
    pEntry->bNextGapSearched = true;
    pEntry->bObsolete = true;
    m_bHasObsolete = true;
    m_nFirstObsolete = std::min(m_nFirstObsolete, static_cast<size_t>(pEntry->nIndex));
}

void CSubCache::compact()
{
    if (!m_bHasObsolete)
        return;
    m_bHasObsolete = false;
    const size_t nSize = size();
    const size_t nFirst = std::min(m_nFirstObsolete, nSize);
    m_nFirstObsolete = SIZE_MAX;
    size_t nOut = nFirst;
    for (size_t i = nFirst; i < nSize; ++i)
    {
        CSubCacheEntryPtr& pEntry = m_Entries[i];
        if (pEntry == nullptr || (pEntry->bObsolete && !isSentinel(pEntry.get())))
        {
            pEntry.reset();
            continue;
        }
        if (nOut != i)
            m_Entries[nOut] = std::move(pEntry);
        m_Entries[nOut]->nIndex = nOut;
        ++nOut;
    }
}

CTag* CSubCache::getTagAt(Position nPos)
{
    const CSource* pSource = m_pCache->getSource();
    if (nPos == NPOS || nPos < pSource->m_nBegin || nPos >= pSource->m_nEnd)
        return nullptr;
    const CSubCacheEntry* pEntry = m_Entries[search(nPos)].get();
    if (pEntry->nPos == nPos)
        return pEntry->pTag;
    if (pEntry->bPreviousGapSearched)
        return nullptr;
    return m_pCache->addTagAt(nPos);
}

void CSubCache::addEntry(Position nPos, CTag* pTag)
{
    const CSource* pSource = m_pCache->getSource();
    if (nPos == NPOS || nPos < pSource->m_nBegin || nPos >= pSource->m_nEnd)
        return;
    const size_t i = search(nPos);
    CSubCacheEntry* pNext = m_Entries[i].get();
    if (pNext->nPos == nPos)
    {
        // Already known: a tag found since only fills a tagless entry.
        if (pNext->pTag == nullptr && pTag != nullptr)
        {
            pNext->pTag = pTag;
            pNext->bObsolete = false;
        }
        return;
    }
    CSubCacheEntry* pPrevious = m_Entries[i - 1].get();
    const bool bNextGap = Key(nPos) + 1 == Key(pNext->nPos);
    const bool bPreviousGap = Key(pPrevious->nPos) + 1 == Key(nPos);
    if (pTag != nullptr || !bPreviousGap || !bNextGap)
        insertAt(i, m_pCache->newEntry(i, nPos, pTag, bPreviousGap, bNextGap));
    if (bPreviousGap)
    {
        pPrevious->bNextGapSearched = true;
        if (pPrevious->pTag == nullptr && pPrevious->bPreviousGapSearched)
            markObsolete(pPrevious);
    }
    if (bNextGap)
    {
        pNext->bPreviousGapSearched = true;
        if (pNext->pTag == nullptr && pNext->bNextGapSearched)
            markObsolete(pNext);
    }
}

void CSubCache::createEntryFor(Position nPos)
{
    if (m_pTagType == nullptr)
        m_pCache->addTagAt(nPos);
    else
        addEntry(nPos, nullptr);
}

void CSubCache::recordScanned(CTag* pTag)
{
    // The scan's own lookups record a tag in the all-tags sub-cache; a typed sub-cache records it here
    // (adding an entry that exists already changes nothing).
    if (pTag != nullptr && (m_pTagType != nullptr || !m_pCache->getSource()->m_bUseTagCache))
        addEntry(pTag->m_nBegin, pTag);
}

CTag* CSubCache::searchBackward(CSubCacheEntry* pLeft, CSubCacheEntry* pRight, Position nPos)
{
    CSource* pSource = m_pCache->getSource();
    Position p = nPos;
    for (;;)
    {
        if (pLeft == nullptr || pRight == nullptr)
            return nullptr;
        if (!pRight->bPreviousGapSearched)
        {
            CTag* pTag = CTag::findPreviousOrNextTagUncached(pSource, p, m_pTagType, true, pLeft->nPos);
            if (pTag != nullptr)
            {
                recordScanned(pTag);
                return pTag;
            }
        }
        if (pLeft == m_pFirst)
            return nullptr;
        if (HoldsRegistered(pLeft))
            return pLeft->pTag;
        if (pLeft->nPos <= pSource->m_nBegin)
            return nullptr;
        pRight = pLeft;
        p = pLeft->nPos - 1;
        pLeft = before(pLeft);
    }
}

CTag* CSubCache::searchForward(CSubCacheEntry* pLeft, CSubCacheEntry* pRight, Position nPos)
{
    CSource* pSource = m_pCache->getSource();
    // A typed scan's delimiter may run past the right entry's position: only its start must lie before it.
    const Position nOverhang = m_pTagType != nullptr ? m_pTagType->m_sStartDelimiter.size() - 1 : 0;
    Position p = nPos;
    for (;;)
    {
        if (pLeft == nullptr || pRight == nullptr)
            return nullptr;
        if (!pLeft->bNextGapSearched)
        {
            const Position nLimit = std::min(pRight->nPos + nOverhang, pSource->m_nEnd);
            CTag* pTag = CTag::findPreviousOrNextTagUncached(pSource, p, m_pTagType, false, nLimit);
            if (pTag != nullptr && pTag->m_nBegin < pRight->nPos)
            {
                recordScanned(pTag);
                return pTag;
            }
        }
        if (pRight == m_pLast)
            return nullptr;
        if (HoldsRegistered(pRight))
            return pRight->pTag;
        p = pRight->nPos + 1;
        if (p >= pSource->m_nEnd)
            return nullptr;
        pLeft = pRight;
        pRight = after(pRight);
    }
}

CTag* CSubCache::findPreviousOrNextTag(Position nPos, bool bPrevious)
{
    const CSource* pSource = m_pCache->getSource();
    Position p = nPos;
    if (bPrevious)
    {
        if (p != NPOS && p >= pSource->m_nEnd && pSource->m_nEnd != 0)
            p = pSource->m_nEnd - 1;
    }
    else if (p != NPOS && p < pSource->m_nBegin)
        p = pSource->m_nBegin;
    if (p == NPOS || p < pSource->m_nBegin || p >= pSource->m_nEnd)
        return nullptr;

    CSubCacheEntry* pEntry = m_Entries[search(p)].get();
    CTag* pTag = nullptr;
    if (bPrevious)
    {
        if (pEntry->nPos == p && HoldsRegistered(pEntry))
            return pEntry->pTag;
        pTag = searchBackward(before(pEntry), pEntry, p);
        if (!addPreviousTag(p, pTag))
        {
            TraceLog("[CSubCache::findPreviousOrNextTag] addPreviousTag() failed. nPos <%d>. Clear cache and "
                     "resume.",
                     LogPos(p));
            clear();
            if (!addPreviousTag(p, pTag))
                TraceLog("[CSubCache::findPreviousOrNextTag] addPreviousTag() failed. nPos <%d>.", LogPos(p));
        }
        return pTag;
    }
    if (pEntry->nPos == p)
    {
        if (HoldsRegistered(pEntry))
            return pEntry->pTag;
        pTag = searchForward(pEntry, after(pEntry), p);
    }
    else
        pTag = searchForward(before(pEntry), pEntry, p);
    if (!addNextTag(p, pTag))
    {
        TraceLog("[CSubCache::findPreviousOrNextTag] addNextTag() failed. nPos <%d>. Clear cache and resume.",
                 LogPos(p));
        clear();
        if (!addNextTag(p, pTag))
            TraceLog("[CSubCache::findPreviousOrNextTag] addNextTag() failed. nPos <%d>.", LogPos(p));
    }
    return pTag;
}

bool CSubCache::addPreviousTag(Position nPos, CTag* pTag)
{
    const int64_t nT = pTag != nullptr ? Key(pTag->m_nBegin) : Key(m_pFirst->nPos);
    if (nT == Key(nPos))
        return true;
    CSubCacheEntry* pEntry = m_Entries[search(nPos)].get();
    if (pEntry->nPos != nPos && !pEntry->bPreviousGapSearched)
    {
        createEntryFor(nPos);
        pEntry = m_Entries[search(nPos)].get();
    }
    if (pEntry->nPos == nPos)
    {
        pEntry->bPreviousGapSearched = true;
        if (pEntry->pTag == nullptr && pEntry->bNextGapSearched)
            markObsolete(pEntry);
    }
    CSubCacheEntry* pWalk = before(pEntry);
    while (pWalk != nullptr && Key(pWalk->nPos) != -1 && Key(pWalk->nPos) > nT)
    {
        if (HoldsRegistered(pWalk))
        {
            TraceLog("[CSubCache::addPreviousTag] INTERNAL ERROR: Cache entry no longer found in source.");
            return false;
        }
        if (pWalk->pTag != nullptr)
        {
            pWalk->bPreviousGapSearched = true;
            pWalk->bNextGapSearched = true;
        }
        else
            markObsolete(pWalk);
        pWalk = before(pWalk);
    }
    if (pWalk != nullptr && Key(pWalk->nPos) == nT)
    {
        pWalk->bNextGapSearched = true;
        return true;
    }
    TraceLog("[CSubCache::addPreviousTag] INTERNAL ERROR: Missing cache entry for found tag.");
    return false;
}

bool CSubCache::addNextTag(Position nPos, CTag* pTag)
{
    const int64_t nT = pTag != nullptr ? Key(pTag->m_nBegin) : Key(m_pLast->nPos);
    if (nT == Key(nPos))
        return true;
    CSubCacheEntry* pEntry = m_Entries[search(nPos)].get();
    if (pEntry->nPos != nPos)
    {
        CSubCacheEntry* pBefore = before(pEntry);
        if (pBefore != nullptr && !pBefore->bNextGapSearched)
        {
            createEntryFor(nPos);
            pEntry = m_Entries[search(nPos)].get();
        }
    }
    CSubCacheEntry* pWalk = pEntry;
    if (pEntry->nPos == nPos)
    {
        pEntry->bNextGapSearched = true;
        if (pEntry->pTag == nullptr && pEntry->bPreviousGapSearched)
            markObsolete(pEntry);
        pWalk = after(pEntry);
    }
    while (pWalk != nullptr && pWalk != m_pLast && Key(pWalk->nPos) < nT)
    {
        if (HoldsRegistered(pWalk))
        {
            TraceLog("[CSubCache::addNextTag] INTERNAL ERROR: Cache entry no longer found in source.");
            return false;
        }
        if (pWalk->pTag != nullptr)
        {
            pWalk->bPreviousGapSearched = true;
            pWalk->bNextGapSearched = true;
        }
        else
            markObsolete(pWalk);
        pWalk = after(pWalk);
    }
    if (pWalk != nullptr && Key(pWalk->nPos) == nT)
    {
        pWalk->bPreviousGapSearched = true;
        return true;
    }
    TraceLog("[CSubCache::addNextTag] INTERNAL ERROR: Missing cache entry for found tag.");
    return false;
}

void CSubCache::clear()
{
    const bool bBusy = m_pCache->isBusy();
    for (auto& pEntry : m_Entries)
    {
        if (pEntry != nullptr && bBusy)
            m_Retired.push_back(std::move(pEntry));
        pEntry.reset();
    }
    m_bHasObsolete = false;
    m_nFirstObsolete = SIZE_MAX;
    resetSentinels();
}

void CSubCache::bulkLoad_Init(size_t nTags)
{
    clear();
    for (auto& pEntry : m_Entries)
        pEntry.reset();
    m_Entries.clear();
    m_Entries.resize(nTags + 2);
    const CSource* pSource = m_pCache->getSource();
    m_Entries[0] = m_pCache->newEntry(0, pSource->m_nBegin - 1, nullptr, false, true);
    m_Entries[nTags + 1] = m_pCache->newEntry(nTags + 1, pSource->m_nEnd, nullptr, true, false);
    m_pFirst = m_Entries[0].get();
    m_pLast = m_Entries[nTags + 1].get();
    // Slots of tags that were not stored are dropped when the load is finished.
    m_bHasObsolete = nTags > 0;
    m_nFirstObsolete = 1;
}

void CSubCache::bulkLoad_Set(size_t nTagsIndex, CTag* pTag)
{
    if (pTag == nullptr || nTagsIndex + 1 >= m_Entries.size() || nTagsIndex + 1 >= size())
    {
        TraceLog("[CSubCache::bulkLoad_Set] pTag is 0 or invalid nTagsIndex.");
        return;
    }
    m_Entries[nTagsIndex + 1] = m_pCache->newEntry(nTagsIndex + 1, pTag->m_nBegin, pTag, true, true);
}

void CSubCache::bulkLoad_AddToTypeSpecificCache(CTag* pTag)
{
    if (pTag == nullptr)
    {
        TraceLog("[CSubCache::bulkLoad_AddToTypeSpecificCache] pTag is 0.");
        return;
    }
    insertAt(static_cast<size_t>(m_pLast->nIndex), m_pCache->newEntry(0, pTag->m_nBegin, pTag, true, true));
}

void CSubCache::bulkLoad_Finish()
{
    m_pFirst->bNextGapSearched = true;
    m_pLast->bPreviousGapSearched = true;
}

bool CSubCache::checkInvariants(std::string& sWhy) const
{
    const size_t nSize = size();
    if (nSize < 2 || m_Entries.size() < nSize || m_Entries[0].get() != m_pFirst ||
        m_Entries[nSize - 1].get() != m_pLast)
    {
        sWhy = "sentinels out of place";
        return false;
    }
    for (size_t i = 0; i < nSize; ++i)
    {
        const CSubCacheEntry* pEntry = m_Entries[i].get();
        if (pEntry == nullptr || pEntry->nIndex != i)
        {
            sWhy = "slot " + std::to_string(i) + " missing or misnumbered";
            return false;
        }
        if (i > 0 && Key(m_Entries[i - 1]->nPos) >= Key(pEntry->nPos))
        {
            sWhy = "positions not increasing at slot " + std::to_string(i);
            return false;
        }
        if (pEntry->bObsolete)
        {
            sWhy = "obsolete entry left at slot " + std::to_string(i);
            return false;
        }
        if (!isSentinel(pEntry) && pEntry->pTag == nullptr && pEntry->bPreviousGapSearched &&
            pEntry->bNextGapSearched)
        {
            sWhy = "tagless entry with both gaps searched at slot " + std::to_string(i);
            return false;
        }
        if (pEntry->pTag != nullptr && (pEntry->pTag->m_nBegin != pEntry->nPos ||
                                        (m_pTagType != nullptr && pEntry->pTag->getTagType() != m_pTagType)))
        {
            sWhy = "entry at slot " + std::to_string(i) + " holds a tag of another kind or position";
            return false;
        }
    }
    for (size_t i = nSize; i < m_Entries.size(); ++i)
    {
        if (m_Entries[i] != nullptr)
        {
            sWhy = "spare slot " + std::to_string(i) + " not empty";
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// CCache

void CSubCacheEntryRelease::operator()(CSubCacheEntry* pEntry) const
{
    if (pCache != nullptr && pEntry != nullptr)
        pCache->releaseEntry(pEntry);
}

CSubCacheEntryPtr CCache::newEntry(size_t nIndex, Position nPos, CTag* pTag, bool bPrevious, bool bNext)
{
    if (m_FreeEntries.empty())
    {
        m_EntryBlocks.push_back(std::unique_ptr<CSubCacheEntry[]>(new CSubCacheEntry[ENTRY_BLOCK]));
        CSubCacheEntry* pBlock = m_EntryBlocks.back().get();
        m_FreeEntries.reserve(m_FreeEntries.size() + ENTRY_BLOCK);
        for (size_t i = ENTRY_BLOCK; i-- > 0;)
            m_FreeEntries.push_back(&pBlock[i]);
    }
    CSubCacheEntry* pEntry = m_FreeEntries.back();
    m_FreeEntries.pop_back();
    *pEntry = CSubCacheEntry{nIndex, nPos, pTag, bPrevious, bNext, false};
    return CSubCacheEntryPtr(pEntry, CSubCacheEntryRelease{this});
}

CCache::CCache(CSource* pSource) : m_pSource(pSource)
{
    const std::vector<CTagType*>& types = CTagTypeSingletonData::getTagTypes();
    m_SubCaches.reserve(types.size() + 1);
    m_SubCaches.push_back(std::make_unique<CSubCache>(this, nullptr));
    m_pAllTagsCache = m_SubCaches[0].get();
    for (CTagType* pType : types)
        m_SubCaches.push_back(std::make_unique<CSubCache>(this, pType));
}

CCache::~CCache() = default;

CTag* CCache::getTagAt(Position nPos)
{
    if (!m_pSource->m_bUseTagCache)
        return CTag::getTagAtUncached(m_pSource, nPos);
    CCacheOperation operation(this);
    return m_pAllTagsCache->getTagAt(nPos);
}

CTag* CCache::findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious)
{
    CCacheOperation operation(this);
    for (size_t i = m_pSource->m_bUseTagCache ? 0 : 1; i < m_SubCaches.size(); ++i)
    {
        if (m_SubCaches[i]->getTagType() == pTagType)
            return m_SubCaches[i]->findPreviousOrNextTag(nPos, bPrevious);
    }
    return CTag::findPreviousOrNextTagUncached(m_pSource, nPos, pTagType, bPrevious, NPOS);
}

CTag* CCache::addTagAt(Position nPos)
{
    CCacheOperation operation(this);
    CTag* pTag = CTag::getTagAtUncached(m_pSource, nPos);
    m_pAllTagsCache->addEntry(nPos, pTag);
    if (pTag != nullptr)
    {
        for (size_t i = 1; i < m_SubCaches.size(); ++i)
        {
            if (m_SubCaches[i]->getTagType() == pTag->getTagType())
            {
                m_SubCaches[i]->addEntry(nPos, pTag);
                break;
            }
        }
    }
    return pTag;
}

void CCache::bulkLoad(const std::vector<CTag*>& tags)
{
    CCacheOperation operation(this);
    m_pAllTagsCache->bulkLoad_Init(tags.size());
    for (size_t i = 0; i < tags.size(); ++i)
    {
        CTag* pTag = tags[i];
        if (pTag == nullptr || pTag->m_pSource != m_pSource)
            continue;
        m_pAllTagsCache->bulkLoad_Set(i, pTag);
        for (size_t j = 1; j < m_SubCaches.size(); ++j)
        {
            if (m_SubCaches[j]->getTagType() == pTag->getTagType())
            {
                m_SubCaches[j]->bulkLoad_AddToTypeSpecificCache(pTag);
                break;
            }
        }
    }
    for (size_t j = 1; j < m_SubCaches.size(); ++j)
        m_SubCaches[j]->bulkLoad_Finish();
}

void CCache::clearAll()
{
    bool bAny = false;
    for (const auto& pSubCache : m_SubCaches)
        bAny = bAny || !pSubCache->holdsOnlySentinels();
    if (!bAny)
        return;
    for (auto& pSubCache : m_SubCaches)
        pSubCache->clear();
}

std::vector<CTag*> CCache::recordedTags() const
{
    std::vector<CTag*> tags;
    const size_t nSize = m_pAllTagsCache->size();
    for (size_t i = 1; i + 1 < nSize; ++i)
    {
        const CSubCacheEntry* pEntry = m_pAllTagsCache->entryAt(i);
        if (pEntry != nullptr && pEntry->pTag != nullptr && !pEntry->bObsolete)
            tags.push_back(pEntry->pTag);
    }
    return tags;
}

bool CCache::checkInvariants(std::string& sWhy) const
{
    for (const auto& pSubCache : m_SubCaches)
    {
        if (!pSubCache->checkInvariants(sWhy))
        {
            sWhy = (pSubCache->getTagType() == nullptr ? std::string("all tags: ")
                                                       : pSubCache->getTagType()->getDescription() + ": ") +
                   sWhy;
            return false;
        }
    }
    return true;
}
