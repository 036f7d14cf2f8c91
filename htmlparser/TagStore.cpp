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

bool TagBefore(const CTag* pA, const CTag* pB)
{
    return pA->m_nBegin < pB->m_nBegin;
}

CTag* FindIn(const std::vector<CTag*>& tags, Position nPos)
{
    auto it = std::lower_bound(tags.begin(), tags.end(), nPos, BeginsBefore);
    return (it != tags.end() && (*it)->m_nBegin == nPos) ? *it : nullptr;
}

} // namespace

void CTagStore::setText(Position nBegin, Position nEnd)
{
    m_nTextBegin = nBegin;
    m_nTextEnd = nEnd > nBegin ? nEnd : nBegin;
}

void CTagStore::mark(Position nPos)
{
    if (nPos < m_nTextBegin || nPos >= m_nTextEnd)
        return;
    if (!m_bPresentMade)
    {
        m_Present.init(static_cast<size_t>(m_nTextEnd - m_nTextBegin), false);
        m_bPresentMade = true;
    }
    const auto i = static_cast<size_t>(nPos - m_nTextBegin);
    m_Present.assign(i, i + 1, true);
}

CTag* CTagStore::findStored(Position nPos) const
{
    // The largest vectors hold most tags: they are asked first, each only when its range holds the position
    // (tags that come in text order leave every vector a range of its own).
    for (auto it = m_Levels.rbegin(); it != m_Levels.rend(); ++it)
    {
        const std::vector<CTag*>& level = *it;
        if (level.empty() || nPos < level.front()->m_nBegin || nPos > level.back()->m_nBegin)
            continue;
        if (CTag* pTag = FindIn(level, nPos))
            return pTag;
    }
    return FindIn(m_Buffer, nPos);
}

CTag* CTagStore::find(Position nPos) const
{
    if (m_nSize == 0 || nPos < m_nTextBegin || nPos >= m_nTextEnd ||
        !m_Present.test(static_cast<size_t>(nPos - m_nTextBegin)))
        return nullptr;
    return findStored(nPos);
}

CTag* CTagStore::nearest(Position nLow, Position nHigh, bool bHighest) const
{
    if (nLow > nHigh || m_nSize == 0 || nHigh < m_nTextBegin || nLow >= m_nTextEnd)
        return nullptr;
    const auto nFirst = static_cast<size_t>(std::max(nLow, m_nTextBegin) - m_nTextBegin);
    const auto nLast = static_cast<size_t>(std::min(nHigh, m_nTextEnd - 1) - m_nTextBegin);
    const size_t i = bHighest ? m_Present.previous(nLast) : m_Present.next(nFirst);
    if (i == CBitTree::NONE || i < nFirst || i > nLast)
        return nullptr;
    return findStored(m_nTextBegin + i);
}

void CTagStore::insert(CTag* pTag)
{
    if (m_Buffer.capacity() < BUFFER_SIZE)
        m_Buffer.reserve(BUFFER_SIZE);
    m_Buffer.insert(std::upper_bound(m_Buffer.begin(), m_Buffer.end(), pTag, TagBefore), pTag);
    ++m_nSize;
    mark(pTag->m_nBegin);
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
    for (const CTag* pTag : tags)
        mark(pTag->m_nBegin);
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
    m_Present.clear();
    m_bPresentMade = false;
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
