#include "htmlparser/TagNameIndex.h"

#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <cstring>

namespace
{
uint64_t FoldedHash(const char* p, size_t nLength)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < nLength; ++i)
    {
        h ^= FoldNoCase(static_cast<unsigned char>(p[i]));
        h *= 1099511628211ull;
    }
    return h;
}

uint64_t Key(uint64_t nHash, CTagNameIndex::EKind eKind)
{
    return (nHash << 1) | static_cast<uint64_t>(eKind);
}
} // namespace

// The places come in position order; grouping them by key, in key order, and keeping that order within each
// key costs one pass to count each key's places and one to move them. A page has few tag names, so the keys
// are sorted among themselves; a comparison sort of every place made a page ten times as large cost
// noticeably more than ten times as much.
void CTagNameIndex::SortByKey(std::vector<SPlace>& vecPlaces)
{
    const size_t n = vecPlaces.size();
    // The keys are hashes already: an open-addressed table of them, twice as large as the keys it holds.
    std::vector<uint64_t> vecTableKeys(64);
    std::vector<uint32_t> vecTableSlots(64, UINT32_MAX);
    std::vector<uint64_t> vecKeys;      // by slot
    std::vector<size_t> vecCounts;      // by slot, then the next place of the slot
    std::vector<uint32_t> vecSlotOf(n); // by place
    const auto Find = [&](uint64_t nKey) -> uint32_t&
    {
        const size_t nMask = vecTableKeys.size() - 1;
        size_t i = static_cast<size_t>(nKey ^ (nKey >> 29)) & nMask;
        while (vecTableSlots[i] != UINT32_MAX && vecTableKeys[i] != nKey)
            i = (i + 1) & nMask;
        vecTableKeys[i] = nKey;
        return vecTableSlots[i];
    };
    for (size_t i = 0; i < n; ++i)
    {
        uint32_t& nSlot = Find(vecPlaces[i].nKey);
        if (nSlot == UINT32_MAX)
        {
            nSlot = static_cast<uint32_t>(vecKeys.size());
            vecKeys.push_back(vecPlaces[i].nKey);
            vecCounts.push_back(0);
            if (vecKeys.size() * 2 > vecTableKeys.size())
            {
                // Grow, and put every key back.
                vecTableKeys.assign(vecTableKeys.size() * 2, 0);
                vecTableSlots.assign(vecTableKeys.size(), UINT32_MAX);
                for (size_t nKeySlot = 0; nKeySlot < vecKeys.size(); ++nKeySlot)
                    Find(vecKeys[nKeySlot]) = static_cast<uint32_t>(nKeySlot);
            }
            vecSlotOf[i] = static_cast<uint32_t>(vecKeys.size() - 1);
        }
        else
            vecSlotOf[i] = nSlot;
        ++vecCounts[vecSlotOf[i]];
    }
    std::vector<uint32_t> vecOrder(vecKeys.size());
    for (size_t i = 0; i < vecOrder.size(); ++i)
        vecOrder[i] = static_cast<uint32_t>(i);
    std::sort(vecOrder.begin(), vecOrder.end(),
              [&](uint32_t a, uint32_t b) { return vecKeys[a] < vecKeys[b]; });
    size_t nNext = 0;
    for (uint32_t nSlot : vecOrder)
    {
        const size_t nCount = vecCounts[nSlot];
        vecCounts[nSlot] = nNext;
        nNext += nCount;
    }
    std::vector<SPlace> vecSorted(n);
    for (size_t i = 0; i < n; ++i)
        vecSorted[vecCounts[vecSlotOf[i]]++] = vecPlaces[i];
    vecPlaces.swap(vecSorted);
}

CTagNameIndex::CTagNameIndex(const char* pText, Position nBegin, Position nEnd)
    : m_pText(pText), m_nBegin(nBegin), m_nEnd(nEnd)
{
}

void CTagNameIndex::build()
{
    m_bBuilt = true;
    if (m_pText == nullptr || m_nEnd <= m_nBegin)
        return;
    auto nameEnd = [this](Position p)
    {
        if (p >= m_nEnd || !IsNameStartChar(static_cast<unsigned char>(m_pText[p])))
            return NPOS;
        ++p;
        while (p < m_nEnd && IsNameChar(static_cast<unsigned char>(m_pText[p])))
            ++p;
        return p;
    };
    const char* pBase = m_pText;
    Position q = m_nBegin;
    while (q < m_nEnd)
    {
        const void* pHit = std::memchr(pBase + q, '<', static_cast<size_t>(m_nEnd - q));
        if (pHit == nullptr)
            break;
        const auto c = static_cast<Position>(static_cast<const char*>(pHit) - pBase);
        // Name runs never reach past the next '<', so the whole pass reads each byte about once.
        m_nWork += c - q + 1;
        q = c + 1;
        if (c + 1 < m_nEnd && pBase[c + 1] == '/')
        {
            const Position r = nameEnd(c + 2);
            if (r != NPOS && r < m_nEnd && pBase[r] == '>')
                m_Places.push_back(
                    {Key(FoldedHash(pBase + c + 2, static_cast<size_t>(r - c - 2)), END_TAG), c});
            continue;
        }
        const Position r = nameEnd(c + 1);
        if (r != NPOS)
            m_Places.push_back(
                {Key(FoldedHash(pBase + c + 1, static_cast<size_t>(r - c - 1)), START_TAG), c});
    }
    SortByKey(m_Places);
    m_Places.shrink_to_fit();
    forgetAnswers();
}

void CTagNameIndex::forgetAnswers()
{
    const size_t n = m_Places.size();
    m_NextOpen.resize(n);
    m_PreviousOpen.resize(n);
    for (size_t i = 0; i < n; ++i)
    {
        m_NextOpen[i] = static_cast<uint32_t>(i);
        m_PreviousOpen[i] = static_cast<uint32_t>(i + 1);
    }
}

bool CTagNameIndex::nameAt(EKind eKind, Position nPos, std::string_view name) const
{
    const Position nName = nPos + (eKind == END_TAG ? 2 : 1);
    const Position nAfter = nName + name.size();
    if (nAfter > m_nEnd)
        return false;
    for (size_t i = 0; i < name.size(); ++i)
    {
        if (FoldNoCase(static_cast<unsigned char>(m_pText[nName + i])) !=
            FoldNoCase(static_cast<unsigned char>(name[i])))
            return false;
    }
    if (eKind == END_TAG)
        return nAfter < m_nEnd && m_pText[nAfter] == '>';
    return nAfter == m_nEnd || !IsNameChar(static_cast<unsigned char>(m_pText[nAfter]));
}

size_t CTagNameIndex::nextOpen(size_t i, size_t nStop)
{
    // m_NextOpen[i] == i: open; else a place at or before the next open one.
    size_t nRoot = i;
    while (nRoot < nStop && m_NextOpen[nRoot] != nRoot)
    {
        nRoot = m_NextOpen[nRoot];
        ++m_nWork;
    }
    while (i < nStop && i != nRoot)
    {
        const size_t nNext = m_NextOpen[i];
        m_NextOpen[i] = static_cast<uint32_t>(nRoot);
        i = nNext;
    }
    return nRoot;
}

size_t CTagNameIndex::previousOpen(size_t i, size_t nStop)
{
    // Indices are kept one higher, so that 0 stands for "none before"; m_PreviousOpen[i] == i + 1: open.
    size_t nRoot = i + 1;
    while (nRoot > nStop && m_PreviousOpen[nRoot - 1] != nRoot)
    {
        nRoot = m_PreviousOpen[nRoot - 1];
        ++m_nWork;
    }
    size_t j = i + 1;
    while (j > nStop && j != nRoot)
    {
        const size_t nNext = m_PreviousOpen[j - 1];
        m_PreviousOpen[j - 1] = static_cast<uint32_t>(nRoot);
        j = nNext;
    }
    return nRoot;
}

Position CTagNameIndex::find(EKind eKind, std::string_view name, Position nPos, Position nLimit,
                             bool bPrevious, const std::function<bool(Position)>& accept)
{
    if (nPos == NPOS || name.empty())
        return NPOS;
    if (!m_bBuilt)
        build();
    const uint64_t nKey = Key(FoldedHash(name.data(), name.size()), eKind);
    auto itLow = std::lower_bound(m_Places.begin(), m_Places.end(), nKey,
                                  [](const SPlace& place, uint64_t k) { return place.nKey < k; });
    auto itHigh = std::upper_bound(itLow, m_Places.end(), nKey,
                                   [](uint64_t k, const SPlace& place) { return k < place.nKey; });
    const auto nLow = static_cast<size_t>(itLow - m_Places.begin());
    const auto nHigh = static_cast<size_t>(itHigh - m_Places.begin());
    auto byPosition = [](const SPlace& place, Position p) { return place.nPos < p; };
    if (!bPrevious)
    {
        size_t i = static_cast<size_t>(std::lower_bound(itLow, itHigh, nPos, byPosition) - m_Places.begin());
        for (;;)
        {
            i = nextOpen(i, nHigh);
            if (i >= nHigh)
                return NPOS;
            const Position p = m_Places[i].nPos;
            if (nLimit != NPOS && p > nLimit)
                return NPOS;
            ++m_nWork;
            if (nameAt(eKind, p, name) && accept(p))
                return p;
            m_NextOpen[i] = static_cast<uint32_t>(i + 1);
            m_PreviousOpen[i] = static_cast<uint32_t>(i);
        }
    }
    auto itAbove =
        std::upper_bound(itLow, itHigh, nPos, [](Position p, const SPlace& place) { return p < place.nPos; });
    size_t j = static_cast<size_t>(itAbove - m_Places.begin()); // one above the candidate
    for (;;)
    {
        if (j <= nLow)
            return NPOS;
        j = previousOpen(j - 1, nLow);
        if (j <= nLow)
            return NPOS;
        const size_t i = j - 1;
        const Position p = m_Places[i].nPos;
        ++m_nWork;
        if (nameAt(eKind, p, name) && accept(p))
            return p;
        m_NextOpen[i] = static_cast<uint32_t>(i + 1);
        m_PreviousOpen[i] = static_cast<uint32_t>(i);
        j = i;
    }
}
