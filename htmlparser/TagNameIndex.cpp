#include "htmlparser/TagNameIndex.h"

#include "htmlparser/GallopSearch.h"
#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace
{
constexpr uint32_t HASH_BASIS = 2166136261u;
constexpr uint32_t HASH_PRIME = 16777619u;

uint32_t FoldedHash(const char* p, size_t nLength)
{
    uint32_t h = HASH_BASIS;
    for (size_t i = 0; i < nLength; ++i)
    {
        h ^= FoldNoCase(static_cast<unsigned char>(p[i]));
        h *= HASH_PRIME;
    }
    return h;
}

// Every place's name is read twice while building: a table lookup per byte keeps that cheap.
const std::array<bool, 256> g_NameChars = []
{
    std::array<bool, 256> table{};
    for (size_t c = 0; c < table.size(); ++c)
        table[c] = IsNameChar(static_cast<unsigned char>(c));
    return table;
}();

uint32_t Key(uint32_t nHash, CTagNameIndex::EKind eKind)
{
    return (nHash << 1) | static_cast<uint32_t>(eKind);
}

int CompareFolded(unsigned char c1, unsigned char c2)
{
    const unsigned char f1 = FoldNoCase(c1);
    const unsigned char f2 = FoldNoCase(c2);
    return f1 == f2 ? 0 : (f1 < f2 ? -1 : 1);
}
} // namespace

// The places come in position order; a stable radix sort over the 32-bit keys groups them by key, in key
// order, keeping position order within each key, in time linear in the places and with one more array of
// them: a comparison sort of every place made a page ten times as large cost noticeably more than ten times
// as much. The sorted places end in an array of exactly their number, so the growth slack of the one they
// were gathered in goes with it.
void CTagNameIndex::SortByKey(std::vector<SPlace>& vecPlaces)
{
    constexpr unsigned DIGIT_BITS = 11;
    constexpr size_t DIGITS = 3; // 11 + 11 + 10 bits
    constexpr uint32_t DIGIT_MASK = (1u << DIGIT_BITS) - 1;
    const size_t n = vecPlaces.size();
    std::vector<SPlace> vecOther(n);
    std::vector<uint32_t> vecCounts(DIGITS << DIGIT_BITS);
    for (const SPlace& place : vecPlaces)
    {
        for (size_t d = 0; d < DIGITS; ++d)
            ++vecCounts[(d << DIGIT_BITS) + ((place.nKey >> (d * DIGIT_BITS)) & DIGIT_MASK)];
    }
    SPlace* pFrom = vecPlaces.data();
    SPlace* pTo = vecOther.data();
    for (size_t d = 0; d < DIGITS && n > 0; ++d)
    {
        uint32_t* pCounts = vecCounts.data() + (d << DIGIT_BITS);
        const unsigned nShift = static_cast<unsigned>(d * DIGIT_BITS);
        // A digit all keys share moves nothing.
        if (pCounts[(pFrom[0].nKey >> nShift) & DIGIT_MASK] == n)
            continue;
        uint32_t nNext = 0;
        for (size_t i = 0; i <= DIGIT_MASK; ++i)
        {
            const uint32_t nCount = pCounts[i];
            pCounts[i] = nNext;
            nNext += nCount;
        }
        for (size_t i = 0; i < n; ++i)
            pTo[pCounts[(pFrom[i].nKey >> nShift) & DIGIT_MASK]++] = pFrom[i];
        std::swap(pFrom, pTo);
    }
    if (pFrom != vecOther.data())
        std::copy(pFrom, pFrom + n, vecOther.data());
    vecPlaces.swap(vecOther);
}

// A key stands for more than one name only when hashes collide. Those places are ordered by name, so that
// each name's places stay one run and a place is only ever refused by a question about its own name.
// Checking each place against the first of its key reads each name about once; only keys that do collide
// pay for a sort.
void CTagNameIndex::orderCollidingNames()
{
    const size_t n = m_Places.size();
    const Position nEnd = m_nEnd;
    // Whether the names (name-character runs) at two places are equal but for case.
    const auto sameName = [this, nEnd](Position nName1, Position nName2)
    {
        for (;; ++nName1, ++nName2)
        {
            const bool bEnds1 = nName1 >= nEnd || !g_NameChars[static_cast<unsigned char>(m_pText[nName1])];
            const bool bEnds2 = nName2 >= nEnd || !g_NameChars[static_cast<unsigned char>(m_pText[nName2])];
            if (bEnds1 || bEnds2)
                return bEnds1 && bEnds2;
            if (m_pText[nName1] != m_pText[nName2] &&
                FoldNoCase(static_cast<unsigned char>(m_pText[nName1])) !=
                    FoldNoCase(static_cast<unsigned char>(m_pText[nName2])))
                return false;
        }
    };
    for (size_t nLow = 0; nLow < n;)
    {
        const uint32_t nKey = m_Places[nLow].nKey;
        const auto eKind = static_cast<EKind>(nKey & 1);
        const Position nSkip = eKind == END_TAG ? 2 : 1;
        const Position nFirst = m_nBegin + m_Places[nLow].nOffset + nSkip;
        Position nLength = 0;
        while (nFirst + nLength < nEnd && g_NameChars[static_cast<unsigned char>(m_pText[nFirst + nLength])])
            ++nLength;
        size_t nHigh = nLow + 1;
        bool bOneName = true;
        for (; nHigh < n && m_Places[nHigh].nKey == nKey; ++nHigh)
        {
            if (!bOneName)
                continue;
            // Nearly always the same bytes, case and all, then a byte that ends the name.
            const Position nName = m_nBegin + m_Places[nHigh].nOffset + nSkip;
            if (nName + nLength < nEnd && std::memcmp(m_pText + nFirst, m_pText + nName, nLength) == 0 &&
                !g_NameChars[static_cast<unsigned char>(m_pText[nName + nLength])])
                continue;
            bOneName = sameName(nFirst, nName);
        }
        if (!bOneName)
        {
            m_CollidingKeys.push_back(nKey);
            std::sort(m_Places.begin() + static_cast<std::ptrdiff_t>(nLow),
                      m_Places.begin() + static_cast<std::ptrdiff_t>(nHigh),
                      [this, eKind](const SPlace& a, const SPlace& b)
                      {
                          const int nOrder =
                              compareNamesAt(eKind, m_nBegin + a.nOffset, m_nBegin + b.nOffset);
                          return nOrder != 0 ? nOrder < 0 : a.nOffset < b.nOffset;
                      });
        }
        nLow = nHigh;
    }
    m_CollidingKeys.shrink_to_fit();
}

CTagNameIndex::CTagNameIndex(const char* pText, Position nBegin, Position nEnd)
    : m_pText(pText), m_nBegin(nBegin),
      m_nEnd(pText != nullptr && nEnd > nBegin && nEnd - nBegin <= MAX_LENGTH ? nEnd : nBegin)
{
}

void CTagNameIndex::build()
{
    m_bBuilt = true;
    if (m_pText == nullptr || m_nEnd <= m_nBegin)
        return;
    // The end of the name at p, its hash left in nHash; -1 when no name starts there.
    const Position nEnd = m_nEnd;
    auto nameEnd = [this, nEnd](Position p, uint32_t& nHash)
    {
        if (p >= nEnd || !IsNameStartChar(static_cast<unsigned char>(m_pText[p])))
            return NPOS;
        uint32_t h = HASH_BASIS;
        do
        {
            h ^= FoldNoCase(static_cast<unsigned char>(m_pText[p]));
            h *= HASH_PRIME;
            ++p;
        } while (p < nEnd && g_NameChars[static_cast<unsigned char>(m_pText[p])]);
        nHash = h;
        return p;
    };
    const char* pBase = m_pText;
    Position q = m_nBegin;
    uint32_t nHash = 0;
    while (q < m_nEnd)
    {
        // A page of openings has one at every byte, where the call to the byte search costs more than the
        // look.
        const char* pHit =
            pBase[q] == '<'
                ? pBase + q
                : static_cast<const char*>(std::memchr(pBase + q, '<', static_cast<size_t>(m_nEnd - q)));
        if (pHit == nullptr)
            break;
        const auto c = static_cast<Position>(pHit - pBase);
        // Name runs never reach past the next '<', so the whole pass reads each byte about once.
        m_nWork += c - q + 1;
        q = c + 1;
        if (c + 1 < m_nEnd && pBase[c + 1] == '/')
        {
            const Position r = nameEnd(c + 2, nHash);
            if (r != NPOS && r < m_nEnd && pBase[r] == '>')
                m_Places.push_back({Key(nHash, END_TAG), static_cast<uint32_t>(c - m_nBegin)});
            continue;
        }
        const Position r = nameEnd(c + 1, nHash);
        if (r != NPOS)
            m_Places.push_back({Key(nHash, START_TAG), static_cast<uint32_t>(c - m_nBegin)});
    }
    SortByKey(m_Places);
    orderCollidingNames();
}

void CTagNameIndex::forgetAnswers()
{
    std::vector<uint32_t>().swap(m_NextOpen);
    std::vector<uint32_t>().swap(m_PreviousOpen);
}

// Most walks refuse no place at all: the steps over refused places take memory only once one is refused.
void CTagNameIndex::refuse(size_t i)
{
    if (m_NextOpen.empty())
    {
        const size_t n = m_Places.size();
        m_NextOpen.resize(n);
        m_PreviousOpen.resize(n);
        for (size_t k = 0; k < n; ++k)
        {
            m_NextOpen[k] = static_cast<uint32_t>(k);
            m_PreviousOpen[k] = static_cast<uint32_t>(k + 1);
        }
    }
    m_NextOpen[i] = static_cast<uint32_t>(i + 1);
    m_PreviousOpen[i] = static_cast<uint32_t>(i);
}

int CTagNameIndex::compareNameAt(EKind eKind, Position nPos, std::string_view name) const
{
    const Position nName = nPos + (eKind == END_TAG ? 2 : 1);
    for (size_t i = 0;; ++i)
    {
        const Position p = nName + i;
        const bool bPlaceEnds = p >= m_nEnd || !IsNameChar(static_cast<unsigned char>(m_pText[p]));
        if (bPlaceEnds || i == name.size())
            return (bPlaceEnds ? 0 : 1) - (i == name.size() ? 0 : 1);
        const int nOrder =
            CompareFolded(static_cast<unsigned char>(m_pText[p]), static_cast<unsigned char>(name[i]));
        if (nOrder != 0)
            return nOrder;
    }
}

int CTagNameIndex::compareNamesAt(EKind eKind, Position nPos1, Position nPos2) const
{
    const Position nSkip = eKind == END_TAG ? 2 : 1;
    const Position nName1 = nPos1 + nSkip;
    const Position nName2 = nPos2 + nSkip;
    for (Position i = 0;; ++i)
    {
        const bool bEnds1 =
            nName1 + i >= m_nEnd || !IsNameChar(static_cast<unsigned char>(m_pText[nName1 + i]));
        const bool bEnds2 =
            nName2 + i >= m_nEnd || !IsNameChar(static_cast<unsigned char>(m_pText[nName2 + i]));
        if (bEnds1 || bEnds2)
            return (bEnds1 ? 0 : 1) - (bEnds2 ? 0 : 1);
        const int nOrder = CompareFolded(static_cast<unsigned char>(m_pText[nName1 + i]),
                                         static_cast<unsigned char>(m_pText[nName2 + i]));
        if (nOrder != 0)
            return nOrder;
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
    // m_NextOpen[i] == i: open; else a place at or before the next open one. None refused yet: no array.
    if (m_NextOpen.empty())
        return i;
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
    if (m_PreviousOpen.empty())
        return i + 1;
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

CTagNameIndex::SRun& CTagNameIndex::runOf(EKind eKind, std::string_view name)
{
    const uint32_t nKey = Key(FoldedHash(name.data(), name.size()), eKind);
    SRun& kept = m_Runs[nKey % m_Runs.size()];
    if (kept.bValid && kept.nKey == nKey)
        return kept;
    auto itLow = std::lower_bound(m_Places.begin(), m_Places.end(), nKey,
                                  [](const SPlace& place, uint32_t k) { return place.nKey < k; });
    auto itHigh = std::upper_bound(itLow, m_Places.end(), nKey,
                                   [](uint32_t k, const SPlace& place) { return k < place.nKey; });
    // Names that share the key sit beside this one's run, in name order; nearly always there are none. Either
    // way every place of the run holds one name: if it is not the one asked for (a name of the page shares
    // the key with one that is absent), the first place says so and nothing is refused.
    SRun* pRun = &kept;
    if (itLow != itHigh && std::binary_search(m_CollidingKeys.begin(), m_CollidingKeys.end(), nKey))
    {
        itLow = std::lower_bound(itLow, itHigh, name,
                                 [this, eKind](const SPlace& place, std::string_view s)
                                 { return compareNameAt(eKind, m_nBegin + place.nOffset, s) < 0; });
        itHigh = std::upper_bound(itLow, itHigh, name,
                                  [this, eKind](std::string_view s, const SPlace& place)
                                  { return compareNameAt(eKind, m_nBegin + place.nOffset, s) > 0; });
        pRun = &m_SharedKeyRun;
    }
    const auto nLow = static_cast<size_t>(itLow - m_Places.begin());
    *pRun = {nKey, pRun == &kept, nLow, static_cast<size_t>(itHigh - m_Places.begin()), nLow};
    return *pRun;
}

Position CTagNameIndex::find(EKind eKind, std::string_view name, Position nPos, Position nLimit,
                             bool bPrevious, CAccept accept)
{
    if (nPos == NPOS || name.empty())
        return NPOS;
    if (!m_bBuilt)
        build();
    if (bPrevious && nPos < m_nBegin)
        return NPOS;
    SRun& run = runOf(eKind, name);
    const size_t nLow = run.nLow;
    const size_t nHigh = run.nHigh;
    // Past the end is the end, which no place reaches; below the begin (forward only) is the begin.
    const auto nOffset = static_cast<uint32_t>(std::min(std::max(nPos, m_nBegin), m_nEnd) - m_nBegin);
    if (!bPrevious)
    {
        size_t i = GallopFrom(nLow, nHigh, run.nHint,
                              [this, nOffset](size_t k) { return m_Places[k].nOffset < nOffset; });
        for (;;)
        {
            i = nextOpen(i, nHigh);
            run.nHint = i;
            if (i >= nHigh)
                return NPOS;
            const Position p = m_nBegin + m_Places[i].nOffset;
            if (nLimit != NPOS && p > nLimit)
                return NPOS;
            ++m_nWork;
            if (!nameAt(eKind, p, name))
                return NPOS;
            if (accept(p))
                return p;
            refuse(i);
        }
    }
    // One above the candidate.
    size_t j = GallopFrom(nLow, nHigh, run.nHint,
                          [this, nOffset](size_t k) { return m_Places[k].nOffset <= nOffset; });
    for (;;)
    {
        if (j <= nLow)
            return NPOS;
        j = previousOpen(j - 1, nLow);
        run.nHint = j;
        if (j <= nLow)
            return NPOS;
        const size_t i = j - 1;
        const Position p = m_nBegin + m_Places[i].nOffset;
        ++m_nWork;
        if (!nameAt(eKind, p, name))
            return NPOS;
        if (accept(p))
            return p;
        refuse(i);
        j = i;
    }
}
