// Remembered answers of the tag searches of one source: per tag type and for all tags, the tags found and
// the stretches of text whose every position is known to hold a recorded tag or none, so that repeated or
// overlapping searches only scan text nobody has scanned yet. Every question costs a logarithm of what is
// recorded plus the text it scans for the first time, in whatever order the questions come.
#pragma once

#include "htmlparser/Position.h"
#include "htmlparser/StretchSet.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CSource;
class CTag;
class CTagType;
class CCache;

class CSubCache
{
public:
    CSubCache(CCache* pCache, CTagType* pTagType);
    virtual ~CSubCache();
    CSubCache(const CSubCache&) = delete;
    CSubCache& operator=(const CSubCache&) = delete;

    CTag* getTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, bool bPrevious);
    // Records the answer at one position: the tag that starts there, or (null) that none of this
    // sub-cache's kind does.
    void addEntry(Position nPos, CTag* pTag);
    void clear();

    // After a full parse: every tag of the list of this sub-cache's kind, in text order, and the whole text
    // known.
    void bulkLoad(const std::vector<CTag*>& tags);
    // The same for a sub-cache of one type, from that type's tags of the list, in text order.
    void bulkLoadOfType(std::vector<CTag*>&& tags);

    // Tags recorded, in text order.
    std::vector<CTag*> recordedTags() const;
    // The stretches [begin, end) whose every position is known, in text order.
    std::vector<std::pair<Position, Position>> knownStretches() const;
    // The structural invariants; the first one broken is described in sWhy.
    bool checkInvariants(std::string& sWhy) const;
    bool isEmpty() const;
    CTagType* getTagType() const { return m_pTagType; }

private:
    using CTags = std::map<Position, CTag*>;

    bool counts(const CTag* pTag) const;
    void addKnown(Position nBegin, Position nEnd);
    void record(CTag* pTag);
    CTag* known(Position nPos) const;
    // The nearest counted tag in [nLow, nHigh]: the highest backward, the lowest forward.
    CTag* nearestCounted(Position nLow, Position nHigh, bool bPrevious) const;
    CTag* search(Position nPos, bool bPrevious);

    CCache* m_pCache;
    CTagType* m_pTagType;
    CStretchSet m_Known;
    // Tags that searches return (registered ones), and, in the all-tags sub-cache, the unregistered ones
    // that only the lookup at a position returns; kept apart so that a search steps over a whole stretch
    // of unregistered tags at once.
    CTags m_Counted;
    CTags m_Uncounted;
    // After a bulk load the same in plain sorted vectors (one of a type: all in m_BulkAll, which counts).
    bool m_bBulk = false;
    std::vector<CTag*> m_BulkCounted;
    std::vector<CTag*> m_BulkAll;
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
    const CSubCache& allTags() const { return *m_SubCaches[0]; }
    size_t subCacheCount() const { return m_SubCaches.size(); }
    const CSubCache& subCache(size_t i) const { return *m_SubCaches[i]; }

private:
    CSubCache* typedFor(const CTagType* pTagType) const;

    CSource* m_pSource;
    // Element 0 is the all-tags sub-cache, then one per type of the hiding-types list.
    std::vector<std::unique_ptr<CSubCache>> m_SubCaches;
};
