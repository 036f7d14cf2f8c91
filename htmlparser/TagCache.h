// Remembered answers of the tag searches of one source: position-ordered entries per tag type and for all
// tags, with the stretches between entries known to hold no tag, so that repeated or overlapping searches
// only scan text nobody has scanned yet.
#pragma once

#include "htmlparser/Position.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSource;
class CTag;
class CTagType;
class CCache;

struct CSubCacheEntry
{
    uint64_t nIndex;
    Position nPos;
    CTag* pTag;
    bool bPreviousGapSearched;
    bool bNextGapSearched;
    bool bObsolete;
};

// Hands an entry back to the pool of its cache.
struct CSubCacheEntryRelease
{
    CCache* pCache = nullptr;
    void operator()(CSubCacheEntry* pEntry) const;
};
using CSubCacheEntryPtr = std::unique_ptr<CSubCacheEntry, CSubCacheEntryRelease>;

class CSubCache
{
public:
    CSubCache(CCache* pCache, CTagType* pTagType);
    virtual ~CSubCache();
    CSubCache(const CSubCache&) = delete;
    CSubCache& operator=(const CSubCache&) = delete;

    size_t size() const;
    // Index of the entry at nPos, or else of the first entry after it (begin <= nPos < end).
    size_t search(Position nPos) const;
    CTag* getTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, bool bPrevious);
    void addEntry(Position nPos, CTag* pTag);
    bool addPreviousTag(Position nPos, CTag* pTag);
    bool addNextTag(Position nPos, CTag* pTag);
    void clear();

    void bulkLoad_Init(size_t nTags);
    void bulkLoad_Set(size_t nTagsIndex, CTag* pTag);
    void bulkLoad_AddToTypeSpecificCache(CTag* pTag);
    void bulkLoad_Finish();

    // Drops the entries marked for removal; called when no search holds entries any more.
    void compact();
    // Frees entries that a clearing took out while a search could still hold them.
    void releaseRetired() { m_Retired.clear(); }
    // The structural invariants; the first one broken is described in sWhy.
    bool checkInvariants(std::string& sWhy) const;
    bool holdsOnlySentinels() const { return size() == 2; }
    CTagType* getTagType() const { return m_pTagType; }
    const CSubCacheEntry* entryAt(size_t nIndex) const;

    CCache* m_pCache;
    CTagType* m_pTagType;
    CSubCacheEntry* m_pFirst = nullptr;
    CSubCacheEntry* m_pLast = nullptr;
    std::vector<CSubCacheEntryPtr> m_Entries;

private:
    CSubCacheEntry* slot(size_t nIndex) const;
    CSubCacheEntry* before(const CSubCacheEntry* pEntry) const;
    CSubCacheEntry* after(const CSubCacheEntry* pEntry) const;
    void insertAt(size_t nIndex, CSubCacheEntryPtr pEntry);
    void markObsolete(CSubCacheEntry* pEntry);
    void resetSentinels();
    bool isSentinel(const CSubCacheEntry* pEntry) const { return pEntry == m_pFirst || pEntry == m_pLast; }
    CTag* searchBackward(CSubCacheEntry* pLeft, CSubCacheEntry* pRight, Position nPos);
    CTag* searchForward(CSubCacheEntry* pLeft, CSubCacheEntry* pRight, Position nPos);
    void recordScanned(CTag* pTag);
    void createEntryFor(Position nPos);

    bool m_bHasObsolete = false;
    // No slot below this one is marked: insertions only move marked entries up, so compacting starts here
    // instead of walking the whole cache after every operation that marked something.
    size_t m_nFirstObsolete = SIZE_MAX;
    std::vector<CSubCacheEntryPtr> m_Retired;
};

class CCache
{
public:
    explicit CCache(CSource* pSource);
    virtual ~CCache();
    CCache(const CCache&) = delete;
    CCache& operator=(const CCache&) = delete;

    CTag* getTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious);
    CTag* addTagAt(Position nPos);
    void bulkLoad(const std::vector<CTag*>& tags);
    // Empties every sub-cache when any holds entries.
    void clearAll();
    // Every tag the all-tags sub-cache holds, in text order.
    std::vector<CTag*> recordedTags() const;
    bool checkInvariants(std::string& sWhy) const;

    CSource* getSource() const { return m_pSource; }
    // True while a cache operation runs: entries are then retired instead of freed.
    bool isBusy() const { return m_nDepth > 0; }

    // Entries come from blocks owned by the cache and are reused, one allocation per block.
    CSubCacheEntryPtr newEntry(size_t nIndex, Position nPos, CTag* pTag, bool bPrevious, bool bNext);
    void releaseEntry(CSubCacheEntry* pEntry) { m_FreeEntries.push_back(pEntry); }

    CSource* m_pSource;

private:
    std::vector<std::unique_ptr<CSubCacheEntry[]>> m_EntryBlocks;
    std::vector<CSubCacheEntry*> m_FreeEntries;

public:
    CSubCache* m_pAllTagsCache = nullptr;
    std::vector<std::unique_ptr<CSubCache>> m_SubCaches;

private:
    friend class CCacheOperation;
    int m_nDepth = 0;
};
