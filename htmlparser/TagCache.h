// Remembered answers of the tag searches of one source: per tag type and for all tags, the tags found and
// the stretches of text whose every position is known to hold a recorded tag or none, so that repeated or
// overlapping searches only scan text nobody has scanned yet. Every question costs a logarithm of what is
// recorded plus the text it scans for the first time, in whatever order the questions come.
#pragma once

#include "htmlparser/KnownPositions.h"
#include "htmlparser/Position.h"
#include "htmlparser/TagStore.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CSource;
class CTag;
class CTagType;
class CCache;

// The full parse's tags in text order: in blocks, so that the list grows without copies of itself.
using CParsedTags = std::deque<CTag*>;

class CSubCache
{
public:
    CSubCache(CCache* pCache, CTagType* pTagType);
    virtual ~CSubCache();
    CSubCache(const CSubCache&) = delete;
    CSubCache& operator=(const CSubCache&) = delete;

    CTag* getTagAt(Position nPos);
    // The same, except that a tag that matched no registered type is not given an object: null then.
    CTag* getRegisteredTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, bool bPrevious);
    // Records the answer at one position: the tag that starts there, or (null) that none of this
    // sub-cache's kind does.
    void addEntry(Position nPos, CTag* pTag);
    void clear();

    // After a full parse: every tag of the list of this sub-cache's kind, in text order, and the whole text
    // known (the places the cache marks as bare hold the parse's tags that have no object).
    void bulkLoad(const CParsedTags& tags);
    // The same for a sub-cache of one type, from that type's tags of the list, in text order.
    void bulkLoadOfType(std::vector<CTag*>&& tags);

    // Tags recorded as objects, in text order (not the bare places the cache marks).
    std::vector<CTag*> recordedTags() const;
    // The stretches [begin, end) whose every position is known, in text order.
    std::vector<std::pair<Position, Position>> knownStretches() const;
    // The structural invariants; the first one broken is described in sWhy.
    bool checkInvariants(std::string& sWhy) const;
    bool isEmpty() const;
    CTagType* getTagType() const { return m_pTagType; }

private:
    bool counts(const CTag* pTag) const;
    void addKnown(Position nBegin, Position nEnd);
    void record(CTag* pTag);
    CTag* known(Position nPos) const;
    CTag* lookUp(Position nPos, bool bMakeBare);
    // The nearest counted tag in [nLow, nHigh]: the highest backward, the lowest forward.
    CTag* nearestCounted(Position nLow, Position nHigh, bool bPrevious) const;
    CTag* search(Position nPos, bool bPrevious);

    CCache* m_pCache;
    CTagType* m_pTagType;
    CKnownPositions m_Known;
    // Tags that searches return (registered ones), and, in the all-tags sub-cache, the unregistered ones
    // that only the lookup at a position returns and that were given an object; kept apart so that a search
    // steps over a whole stretch of unregistered tags at once.
    CTagStore m_Counted;
    CTagStore m_Uncounted;
    // After a bulk load: the whole text is known.
    bool m_bBulk = false;
};

class CCache
{
public:
    explicit CCache(CSource* pSource);
    virtual ~CCache();
    CCache(const CCache&) = delete;
    CCache& operator=(const CCache&) = delete;

    CTag* getTagAt(Position nPos);
    // The registered tag at nPos; null where none stands or where one that matched no registered type does,
    // which is then recorded without an object.
    CTag* getRegisteredTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious);
    // Looks the position up in the text and records what stands there; a tag that matched no registered
    // type is given an object only when bMakeBare is set.
    CTag* addTagAt(Position nPos, bool bMakeBare = true);
    // The full parse's tags (objects) and the places where its tags that matched no registered type stand
    // without objects (a set of positions, as bareSet makes it).
    void bulkLoad(const CParsedTags& tags, std::vector<uint64_t>&& bare);
    // Empties every sub-cache when any holds entries.
    void clearAll();
    // Every tag the all-tags sub-cache holds as an object, in text order.
    std::vector<CTag*> recordedTags() const;

    // Places where a tag that matched no registered type stands and was left without an object: a page of
    // lone '<' would otherwise hold an object of many bytes for each of its bytes. Such a tag is made
    // when it is asked for (makeBareTag).
    bool isBare(Position nPos) const;
    void setBare(Position nPos);
    // Gives the bare place at nPos its tag object (the one the tag's type would have made there), recorded
    // from then on in place of the mark.
    CTag* makeBareTag(Position nPos);
    // Hands over the marks (for the full parse, which asks what the on-demand lookups found).
    std::vector<uint64_t> takeBare();
    static bool isBareIn(const std::vector<uint64_t>& bare, Position nOffset);
    static void setBareIn(std::vector<uint64_t>& bare, Position nOffset);
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
    // One bit per position from the source's begin, made when the first bare place is marked.
    std::vector<uint64_t> m_Bare;
};
