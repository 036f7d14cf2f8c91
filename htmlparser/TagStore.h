// The tags of one kind that a tag cache holds, keyed by where they begin. They are kept in a few sorted
// vectors whose sizes grow geometrically: a new tag joins a short sorted buffer, and a full buffer is merged
// upwards like a carry, so that each tag is moved a logarithmic number of times in all, in whatever order
// the tags come, and the store costs about a word per tag. A question binary-searches each vector.
#pragma once

#include "htmlparser/Position.h"

#include <cstddef>
#include <vector>

class CTag;

class CTagStore
{
public:
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

    std::vector<CTag*> m_Buffer;
    // Level k is empty or holds about BUFFER_SIZE << k tags; each is sorted by begin.
    std::vector<std::vector<CTag*>> m_Levels;
    size_t m_nSize = 0;
};
