// The tags of one kind that a tag cache holds, keyed by where they begin. They are kept in a few sorted
// vectors whose sizes grow geometrically: a new tag joins a short sorted buffer, and a full buffer is merged
// upwards like a carry, so that each tag is moved a logarithmic number of times in all, in whatever order
// the tags come, and the store costs about a word per tag. A bit per position of the text says where a tag
// begins: which tag is the nearest one, or whether there is one at all, is found there in a few word steps,
// and only a tag known to be present is looked for in the vectors.
#pragma once

#include "htmlparser/KnownPositions.h"
#include "htmlparser/Position.h"

#include <cstddef>
#include <vector>

class CTag;

class CTagStore
{
public:
    // The text [nBegin, nEnd) whose tags the store holds (the bits are made with the first tag).
    void setText(Position nBegin, Position nEnd);
    // The tag that begins at nPos, or null.
    CTag* find(Position nPos) const;
    // The tag with the highest begin in [nLow, nHigh] (bHighest), or with the lowest; null when none.
    CTag* nearest(Position nLow, Position nHigh, bool bHighest) const;
    // Adds a tag whose begin the store does not hold yet.
    void insert(CTag* pTag);
    // Replaces the content by tags in text order, one per begin.
    void assign(std::vector<CTag*>&& tags);
    void clear();
    bool empty() const { return m_nSize == 0; }
    size_t size() const { return m_nSize; }
    // Every tag, in text order.
    std::vector<CTag*> all() const;

private:
    static constexpr size_t BUFFER_SIZE = 32;

    CTag* findStored(Position nPos) const;
    void mark(Position nPos);

    std::vector<CTag*> m_Buffer;
    // Level k is empty or holds about BUFFER_SIZE << k tags; each is sorted by begin.
    std::vector<std::vector<CTag*>> m_Levels;
    // The first and last begin of each level, so that a search passes over the levels that cannot hold a
    // position without reading their tags.
    struct SSpan
    {
        Position nFirst = 0;
        Position nLast = 0;
    };
    std::vector<SSpan> m_Spans;
    size_t m_nSize = 0;
    Position m_nTextBegin = 0;
    Position m_nTextEnd = 0;
    CBitTree m_Present;
    bool m_bPresentMade = false;
    // Where the last search among the levels ended (a hint only: levels change under it).
    mutable size_t m_nHintLevel = 0;
    mutable size_t m_nHintIndex = 0;
};
