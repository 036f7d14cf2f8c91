// The positions of a text that a tag cache knows, one bit each, kept twice (known and unknown) under
// summaries of one bit per word, so that the stretch around a position and the nearest known or unknown
// position on either side are found in a few word steps however the stretches lie. A set of stretches in a
// tree would hold a node for every stretch, and a walk that leaves a gap after each tag makes one per tag.
#pragma once

#include "htmlparser/Position.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// A set of bits with a summary per level (bit j of a level: word j of the level below is not zero).
class CBitTree
{
public:
    static constexpr size_t NONE = ~static_cast<size_t>(0);

    void init(size_t nBits, bool bValue);
    void clear() { std::vector<std::vector<uint64_t>>().swap(m_Levels); }
    bool test(size_t i) const;
    void assign(size_t nFrom, size_t nTo, bool bValue);
    // The first set bit at or after i, the last at or before it; NONE when none.
    size_t next(size_t i) const { return nextFrom(0, i); }
    size_t previous(size_t i) const { return previousFrom(0, i); }

private:
    size_t nextFrom(size_t nLevel, size_t i) const;
    size_t previousFrom(size_t nLevel, size_t i) const;
    void summarise(size_t nLevel, size_t nWord);

    std::vector<std::vector<uint64_t>> m_Levels;
};

class CKnownPositions
{
public:
    // The stretch [begin, end) of known positions holding nPos, or {NPOS, NPOS}.
    std::pair<Position, Position> find(Position nPos) const;
    bool contains(Position nPos) const;
    // End of the last stretch that begins at or below nPos, or NPOS.
    Position endBelow(Position nPos) const;
    // Begin of the first stretch that begins above nPos, or NPOS.
    Position beginAbove(Position nPos) const;
    // Marks [nBegin, nEnd) known; the text is [nTextBegin, nTextEnd), which the first call fixes.
    void add(Position nBegin, Position nEnd, Position nTextBegin, Position nTextEnd);
    void clear();
    bool empty() const { return !m_bAny; }
    // Every stretch, in text order.
    std::vector<std::pair<Position, Position>> all() const;

private:
    bool inside(Position nPos) const { return m_bAny && nPos != NPOS && nPos >= m_nBegin && nPos < m_nEnd; }
    size_t offset(Position nPos) const { return static_cast<size_t>(nPos - m_nBegin); }

    bool m_bAny = false;
    Position m_nBegin = 0;
    Position m_nEnd = 0;
    CBitTree m_Known;
    CBitTree m_Unknown;
};
