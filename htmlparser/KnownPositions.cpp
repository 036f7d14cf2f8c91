#include "htmlparser/KnownPositions.h"

#include <bit>

namespace
{
uint64_t FromBit(size_t nBit)
{
    return ~uint64_t{0} << nBit;
}

uint64_t UpToBit(size_t nBit)
{
    return ~uint64_t{0} >> (63 - nBit);
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// CBitTree

void CBitTree::init(size_t nBits, bool bValue)
{
    clear();
    size_t nWords = (nBits + 63) / 64;
    m_Levels.emplace_back(nWords, 0);
    if (bValue && nBits != 0)
    {
        std::vector<uint64_t>& bits = m_Levels[0];
        for (size_t w = 0; w + 1 < nWords; ++w)
            bits[w] = ~uint64_t{0};
        bits[nWords - 1] = UpToBit((nBits - 1) % 64);
    }
    while (nWords > 1)
    {
        const std::vector<uint64_t>& below = m_Levels.back();
        std::vector<uint64_t> level((nWords + 63) / 64, 0);
        for (size_t w = 0; w < nWords; ++w)
        {
            if (below[w] != 0)
                level[w / 64] |= uint64_t{1} << (w % 64);
        }
        nWords = level.size();
        m_Levels.push_back(std::move(level));
    }
}

bool CBitTree::test(size_t i) const
{
    if (m_Levels.empty() || i / 64 >= m_Levels[0].size())
        return false;
    return ((m_Levels[0][i / 64] >> (i % 64)) & 1) != 0;
}

void CBitTree::summarise(size_t nLevel, size_t nWord)
{
    // Carries whether word nWord of level nLevel is empty up through the levels above, as far as it changes
    // something.
    while (nLevel + 1 < m_Levels.size())
    {
        const bool bAny = m_Levels[nLevel][nWord] != 0;
        uint64_t& above = m_Levels[nLevel + 1][nWord / 64];
        const uint64_t nMask = uint64_t{1} << (nWord % 64);
        const bool bWasEmpty = above == 0;
        if (((above & nMask) != 0) == bAny)
            return;
        above = bAny ? (above | nMask) : (above & ~nMask);
        if (bWasEmpty == (above == 0))
            return;
        ++nLevel;
        nWord /= 64;
    }
}

void CBitTree::assign(size_t nFrom, size_t nTo, bool bValue)
{
    if (m_Levels.empty() || nFrom >= nTo)
        return;
    std::vector<uint64_t>& bits = m_Levels[0];
    for (size_t w = nFrom / 64; w <= (nTo - 1) / 64 && w < bits.size(); ++w)
    {
        uint64_t nMask = ~uint64_t{0};
        if (w == nFrom / 64)
            nMask &= FromBit(nFrom % 64);
        if (w == (nTo - 1) / 64)
            nMask &= UpToBit((nTo - 1) % 64);
        const uint64_t nOld = bits[w];
        bits[w] = bValue ? (nOld | nMask) : (nOld & ~nMask);
        if ((nOld != 0) != (bits[w] != 0))
            summarise(0, w);
    }
}

size_t CBitTree::nextFrom(size_t nLevel, size_t i) const
{
    if (nLevel >= m_Levels.size())
        return NONE;
    const std::vector<uint64_t>& level = m_Levels[nLevel];
    size_t w = i / 64;
    if (w >= level.size())
        return NONE;
    const uint64_t x = level[w] & FromBit(i % 64);
    if (x != 0)
        return w * 64 + static_cast<size_t>(std::countr_zero(x));
    if (nLevel + 1 == m_Levels.size())
    {
        // The top level is one word.
        for (++w; w < level.size(); ++w)
        {
            if (level[w] != 0)
                return w * 64 + static_cast<size_t>(std::countr_zero(level[w]));
        }
        return NONE;
    }
    const size_t j = nextFrom(nLevel + 1, w + 1);
    if (j == NONE)
        return NONE;
    return j * 64 + static_cast<size_t>(std::countr_zero(level[j]));
}

size_t CBitTree::previousFrom(size_t nLevel, size_t i) const
{
    if (nLevel >= m_Levels.size() || i == NONE)
        return NONE;
    const std::vector<uint64_t>& level = m_Levels[nLevel];
    if (level.empty())
        return NONE;
    size_t w = i / 64;
    size_t nBit = i % 64;
    if (w >= level.size())
    {
        w = level.size() - 1;
        nBit = 63;
    }
    const uint64_t x = level[w] & UpToBit(nBit);
    if (x != 0)
        return w * 64 + 63 - static_cast<size_t>(std::countl_zero(x));
    if (w == 0)
        return NONE;
    if (nLevel + 1 == m_Levels.size())
    {
        while (w-- > 0)
        {
            if (level[w] != 0)
                return w * 64 + 63 - static_cast<size_t>(std::countl_zero(level[w]));
        }
        return NONE;
    }
    const size_t j = previousFrom(nLevel + 1, w - 1);
    if (j == NONE)
        return NONE;
    return j * 64 + 63 - static_cast<size_t>(std::countl_zero(level[j]));
}

// ---------------------------------------------------------------------------------------------------------
// CKnownPositions

std::pair<Position, Position> CKnownPositions::find(Position nPos) const
{
    if (!contains(nPos))
        return {NPOS, NPOS};
    const size_t i = offset(nPos);
    const size_t nBelow = m_Unknown.previous(i);
    const size_t nAbove = m_Unknown.next(i);
    return {nBelow == CBitTree::NONE ? m_nBegin : m_nBegin + nBelow + 1,
            nAbove == CBitTree::NONE ? m_nEnd : m_nBegin + nAbove};
}

bool CKnownPositions::contains(Position nPos) const
{
    return inside(nPos) && m_Known.test(offset(nPos));
}

Position CKnownPositions::endBelow(Position nPos) const
{
    if (!m_bAny || nPos == NPOS || nPos < m_nBegin)
        return NPOS;
    if (nPos >= m_nEnd)
        nPos = m_nEnd - 1;
    const size_t i = offset(nPos);
    if (m_Known.test(i))
    {
        const size_t nAbove = m_Unknown.next(i);
        return nAbove == CBitTree::NONE ? m_nEnd : m_nBegin + nAbove;
    }
    const size_t nLast = m_Known.previous(i);
    return nLast == CBitTree::NONE ? NPOS : m_nBegin + nLast + 1;
}

Position CKnownPositions::beginAbove(Position nPos) const
{
    if (!m_bAny || nPos == NPOS)
        return NPOS;
    if (nPos < m_nBegin)
        return m_Known.test(0) ? m_nBegin : beginAbove(m_nBegin);
    if (nPos >= m_nEnd)
        return NPOS;
    size_t i = offset(nPos);
    if (m_Known.test(i))
    {
        i = m_Unknown.next(i);
        if (i == CBitTree::NONE)
            return NPOS;
    }
    const size_t nFirst = m_Known.next(i);
    return nFirst == CBitTree::NONE ? NPOS : m_nBegin + nFirst;
}

void CKnownPositions::add(Position nBegin, Position nEnd, Position nTextBegin, Position nTextEnd)
{
    if (!m_bAny)
    {
        if (nTextEnd <= nTextBegin)
            return;
        m_nBegin = nTextBegin;
        m_nEnd = nTextEnd;
        const auto nBits = static_cast<size_t>(nTextEnd - nTextBegin);
        m_Known.init(nBits, false);
        m_Unknown.init(nBits, true);
        m_bAny = true;
    }
    nBegin = std::max(nBegin, m_nBegin);
    nEnd = std::min(nEnd, m_nEnd);
    if (nBegin >= nEnd)
        return;
    m_Known.assign(offset(nBegin), offset(nEnd), true);
    m_Unknown.assign(offset(nBegin), offset(nEnd), false);
}

void CKnownPositions::clear()
{
    m_Known.clear();
    m_Unknown.clear();
    m_bAny = false;
}

std::vector<std::pair<Position, Position>> CKnownPositions::all() const
{
    std::vector<std::pair<Position, Position>> stretches;
    if (!m_bAny)
        return stretches;
    size_t i = m_Known.next(0);
    while (i != CBitTree::NONE)
    {
        const size_t nEnd = m_Unknown.next(i);
        const Position nStretchEnd = nEnd == CBitTree::NONE ? m_nEnd : m_nBegin + nEnd;
        stretches.emplace_back(m_nBegin + i, nStretchEnd);
        if (nEnd == CBitTree::NONE)
            break;
        i = m_Known.next(nEnd);
    }
    return stretches;
}
