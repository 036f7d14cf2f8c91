#include "htmlparser/TagStore.h"

#include "htmlparser/GallopSearch.h"
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

// Two sorted runs into one. Tags met by a walk come in stretches of text order, so a carry nearly always lies
// wholly before or after the level it joins: then the runs are laid end to end without reading a tag, which
// a merge must do for every one, wherever it lies in memory.
std::vector<CTag*> Merged(const std::vector<CTag*>& lower, const std::vector<CTag*>& upper)
{
    std::vector<CTag*> merged;
    merged.reserve(lower.size() + upper.size());
    if (lower.empty() || upper.empty() || TagBefore(lower.back(), upper.front()))
    {
        merged.insert(merged.end(), lower.begin(), lower.end());
        merged.insert(merged.end(), upper.begin(), upper.end());
    }
    else if (TagBefore(upper.back(), lower.front()))
    {
        merged.insert(merged.end(), upper.begin(), upper.end());
        merged.insert(merged.end(), lower.begin(), lower.end());
    }
    else
        std::merge(lower.begin(), lower.end(), upper.begin(), upper.end(), std::back_inserter(merged),
                   TagBefore);
    return merged;
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
    for (size_t k = m_Levels.size(); k-- > 0;)
    {
        const std::vector<CTag*>& level = m_Levels[k];
        if (level.empty() || nPos < m_Spans[k].nFirst || nPos > m_Spans[k].nLast)
            continue;
        // A walk asks for tags one after another: the search starts where the last one in this level ended.
        const auto before = [&level, nPos](size_t j) { return level[j]->m_nBegin < nPos; };
        const size_t i =
            k == m_nHintLevel
                ? GallopFrom(0, level.size(), m_nHintIndex, before)
                : static_cast<size_t>(std::lower_bound(level.begin(), level.end(), nPos, BeginsBefore) -
                                      level.begin());
        m_nHintLevel = k;
        m_nHintIndex = i;
        if (i < level.size() && level[i]->m_nBegin == nPos)
            return level[i];
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
        std::vector<CTag*> merged = Merged(m_Levels[k], carry);
        std::vector<CTag*>().swap(m_Levels[k]);
        m_Spans[k] = {};
        carry = std::move(merged);
    }
    if (k == m_Levels.size())
    {
        m_Levels.emplace_back();
        m_Spans.emplace_back();
    }
    m_Levels[k] = std::move(carry);
    m_Spans[k] = {m_Levels[k].front()->m_nBegin, m_Levels[k].back()->m_nBegin};
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
    m_Spans.resize(k + 1);
    m_Levels[k] = std::move(tags);
    m_Spans[k] = {m_Levels[k].front()->m_nBegin, m_Levels[k].back()->m_nBegin};
}

void CTagStore::clear()
{
    std::vector<CTag*>().swap(m_Buffer);
    std::vector<std::vector<CTag*>>().swap(m_Levels);
    std::vector<SSpan>().swap(m_Spans);
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
