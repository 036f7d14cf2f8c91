// A set of positions kept as disjoint stretches [begin, end): touching or overlapping stretches are joined,
// so that a walk crosses everything known in one step.
#pragma once

#include "htmlparser/Position.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

class CStretchSet
{
public:
    // The stretch holding nPos, or {NPOS, NPOS}.
    std::pair<Position, Position> find(Position nPos) const
    {
        auto it = m_Stretches.upper_bound(nPos);
        if (it == m_Stretches.begin())
            return {NPOS, NPOS};
        --it;
        if (it->second <= nPos)
            return {NPOS, NPOS};
        return {it->first, it->second};
    }
    bool contains(Position nPos) const { return find(nPos).first != NPOS; }
    // End of the last stretch that lies wholly at or below nPos, or NPOS.
    Position endBelow(Position nPos) const
    {
        auto it = m_Stretches.upper_bound(nPos);
        return it == m_Stretches.begin() ? NPOS : std::prev(it)->second;
    }
    // Begin of the first stretch that begins above nPos, or NPOS.
    Position beginAbove(Position nPos) const
    {
        auto it = m_Stretches.upper_bound(nPos);
        return it == m_Stretches.end() ? NPOS : it->first;
    }
    void add(Position nBegin, Position nEnd)
    {
        if (nBegin >= nEnd)
            return;
        auto it = m_Stretches.upper_bound(nBegin);
        if (it != m_Stretches.begin())
        {
            auto itPrevious = std::prev(it);
            if (itPrevious->second >= nBegin)
            {
                nBegin = itPrevious->first;
                nEnd = std::max(nEnd, itPrevious->second);
                it = m_Stretches.erase(itPrevious);
            }
        }
        while (it != m_Stretches.end() && it->first <= nEnd)
        {
            nEnd = std::max(nEnd, it->second);
            it = m_Stretches.erase(it);
        }
        m_Stretches.emplace_hint(it, nBegin, nEnd);
    }
    void clear() { m_Stretches.clear(); }
    bool empty() const { return m_Stretches.empty(); }
    std::vector<std::pair<Position, Position>> all() const
    {
        return {m_Stretches.begin(), m_Stretches.end()};
    }

private:
    std::map<Position, Position> m_Stretches;
};
