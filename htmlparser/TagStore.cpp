#include "htmlparser/TagStore.h"

#include "htmlparser/Tag.h"

#include <algorithm>
#include <iterator>

namespace
{
bool BeginsBefore(const CTag* pTag, Position nPos)
{
    return pTag->m_nBegin < nPos;
}

bool PositionBefore(Position nPos, const CTag* pTag)
{
    return nPos < pTag->m_nBegin;
}

bool TagBefore(const CTag* pA, const CTag* pB)
{
    return pA->m_nBegin < pB->m_nBegin;
}

CTag* FindIn(const std::vector<CTag*>& tags, Position nPos)
{
    auto it = std::lower_bound(tags.begin(), tags.end(), nPos, BeginsBefore);
    return (it != tags.end() && (*it)->m_nBegin == nPos) ? *it : nullptr;
}

CTag* NearestIn(const std::vector<CTag*>& tags, Position nLow, Position nHigh, bool bHighest)
{
    if (bHighest)
    {
        auto it = std::upper_bound(tags.begin(), tags.end(), nHigh, PositionBefore);
        return (it != tags.begin() && (*(it - 1))->m_nBegin >= nLow) ? *(it - 1) : nullptr;
    }
    auto it = std::lower_bound(tags.begin(), tags.end(), nLow, BeginsBefore);
    return (it != tags.end() && (*it)->m_nBegin <= nHigh) ? *it : nullptr;
}
} // namespace

CTag* CTagStore::find(Position nPos) const
{
    if (CTag* pTag = FindIn(m_Buffer, nPos))
        return pTag;
    for (const std::vector<CTag*>& level : m_Levels)
    {
        if (CTag* pTag = FindIn(level, nPos))
            return pTag;
    }
    return nullptr;
}

CTag* CTagStore::nearest(Position nLow, Position nHigh, bool bHighest) const
{
    if (nLow > nHigh)
        return nullptr;
    CTag* pBest = NearestIn(m_Buffer, nLow, nHigh, bHighest);
    for (const std::vector<CTag*>& level : m_Levels)
    {
        CTag* pTag = NearestIn(level, nLow, nHigh, bHighest);
        if (pTag != nullptr && (pBest == nullptr || (bHighest ? pTag->m_nBegin > pBest->m_nBegin
                                                              : pTag->m_nBegin < pBest->m_nBegin)))
            pBest = pTag;
    }
    return pBest;
}

void CTagStore::insert(CTag* pTag)
{
    if (m_Buffer.capacity() < BUFFER_SIZE)
        m_Buffer.reserve(BUFFER_SIZE);
    m_Buffer.insert(std::upper_bound(m_Buffer.begin(), m_Buffer.end(), pTag, TagBefore), pTag);
    ++m_nSize;
    if (m_Buffer.size() < BUFFER_SIZE)
        return;
    // The buffer goes up as a carry: merged with each occupied level in turn, it settles in the first empty
    // one. Each merge makes a vector of exactly the merged size, so no level holds spare room.
    std::vector<CTag*> carry(m_Buffer.begin(), m_Buffer.end());
    m_Buffer.clear();
    size_t k = 0;
    for (; k < m_Levels.size() && !m_Levels[k].empty(); ++k)
    {
        std::vector<CTag*> merged;
        merged.reserve(m_Levels[k].size() + carry.size());
        std::merge(m_Levels[k].begin(), m_Levels[k].end(), carry.begin(), carry.end(),
                   std::back_inserter(merged), TagBefore);
        std::vector<CTag*>().swap(m_Levels[k]);
        carry = std::move(merged);
    }
    if (k == m_Levels.size())
        m_Levels.emplace_back();
    m_Levels[k] = std::move(carry);
}

void CTagStore::assign(std::vector<CTag*>&& tags)
{
    clear();
    m_nSize = tags.size();
    if (tags.empty())
        return;
    // The level whose size class holds them, so that later carries reach it only after as many insertions.
    size_t k = 0;
    while ((BUFFER_SIZE << k) < tags.size())
        ++k;
    m_Levels.resize(k + 1);
    m_Levels[k] = std::move(tags);
}

void CTagStore::clear()
{
    std::vector<CTag*>().swap(m_Buffer);
    std::vector<std::vector<CTag*>>().swap(m_Levels);
    m_nSize = 0;
}

std::vector<CTag*> CTagStore::all() const
{
    std::vector<CTag*> tags(m_Buffer.begin(), m_Buffer.end());
    for (const std::vector<CTag*>& level : m_Levels)
    {
        if (level.empty())
            continue;
        std::vector<CTag*> merged;
        merged.reserve(tags.size() + level.size());
        std::merge(tags.begin(), tags.end(), level.begin(), level.end(), std::back_inserter(merged),
                   TagBefore);
        tags = std::move(merged);
    }
    return tags;
}
