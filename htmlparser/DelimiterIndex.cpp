#include "htmlparser/DelimiterIndex.h"

#include "htmlparser/GallopSearch.h"
#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CDelimiterIndex::CDelimiterIndex(const char* pText, Position nBegin, Position nEnd)
    : m_pText(pText), m_nBegin(nBegin),
      m_nEnd(pText != nullptr && nEnd > nBegin && nEnd - nBegin <= MAX_LENGTH ? nEnd : nBegin)
{
}

CDelimiterIndex::Offset CDelimiterIndex::toOffset(Position nPos) const
{
    return nPos <= m_nBegin ? 0 : static_cast<Offset>(std::min(nPos, m_nEnd) - m_nBegin);
}

namespace
{
// Whether the pattern, folded, is the folded key.
bool SameFolded(const std::string& sKey, const char* pszPattern)
{
    size_t i = 0;
    for (; i < sKey.size(); ++i)
    {
        if (pszPattern[i] == '\0' ||
            static_cast<char>(FoldNoCase(static_cast<unsigned char>(pszPattern[i]))) != sKey[i])
            return false;
    }
    return pszPattern[i] == '\0';
}

// Whether the folded key stands at nStart (the text holds its length there).
bool FoldedAt(const char* pText, Position nStart, const std::string& sKey)
{
    for (size_t i = 0; i < sKey.size(); ++i)
    {
        if (FoldNoCase(static_cast<unsigned char>(pText[nStart + i])) != static_cast<unsigned char>(sKey[i]))
            return false;
    }
    return true;
}

// The bits a byte keeps when compared with a folded byte: a folded letter stands for both cases.
unsigned char FoldMask(char cFolded)
{
    return cFolded >= 'A' && cFolded <= 'Z' ? 0xDF : 0xFF;
}

// Calls consider for every place in [nBegin, nEnd) where the folded key may begin: two neighbouring bytes of
// the key (its only one for a one-byte key) sift sixteen places at a time, and only the places where both
// stand are passed on to be compared whole. A page made of a delimiter's first bytes ("<!" for "<!--" and
// "<![cdata[") would otherwise stop a byte search at every place. The bytes sifted skip a leading '<', the
// commonest byte of markup.
template <class TConsider>
void SiftFolded(const char* pText, Position nBegin, Position nEnd, const std::string& sKey,
                TConsider consider)
{
    const size_t L = sKey.size();
    const size_t k = (L > 2 && sKey[0] == '<') ? 1 : 0;
    const auto c0 = static_cast<unsigned char>(sKey[k]);
    // A one-byte key sifts its byte twice.
    const size_t k1 = L > 1 ? k + 1 : k;
    const auto c1 = static_cast<unsigned char>(sKey[k1]);
    const unsigned char m0 = FoldMask(sKey[k]);
    const unsigned char m1 = FoldMask(sKey[k1]);
    const Position nStops = nEnd - L + 1; // places the key may begin at are below this
    Position s = nBegin;
#if defined(__SSE2__)
    // The last place of a block reads byte s + 15 + k1, which lies before nEnd since k1 < L.
    const __m128i vKey0 = _mm_set1_epi8(static_cast<char>(c0));
    const __m128i vKey1 = _mm_set1_epi8(static_cast<char>(c1));
    const __m128i vMask0 = _mm_set1_epi8(static_cast<char>(m0));
    const __m128i vMask1 = _mm_set1_epi8(static_cast<char>(m1));
    for (; s + 16 <= nStops; s += 16)
    {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pText + s + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pText + s + k1));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(a, vMask0), vKey0),
                                           _mm_cmpeq_epi8(_mm_and_si128(b, vMask1), vKey1));
        auto nBits = static_cast<uint32_t>(_mm_movemask_epi8(both));
        while (nBits != 0)
        {
            consider(s + static_cast<Position>(std::countr_zero(nBits)));
            nBits &= nBits - 1;
        }
    }
#endif
    for (; s < nStops; ++s)
    {
        if ((static_cast<unsigned char>(pText[s + k]) & m0) == c0 &&
            (static_cast<unsigned char>(pText[s + k1]) & m1) == c1)
            consider(s);
    }
}

// Every place in [nBegin, nEnd) where the folded key begins, as offsets from nBegin, in a list of its exact
// size. The places are gathered in blocks and copied once: on a page made of the key the list is as long as
// the page, and growing it would copy it over and over into fresh memory, and then once more to drop the
// room left over.
void FindEveryFolded(const char* pText, Position nBegin, Position nEnd, const std::string& sKey,
                     std::vector<uint32_t>& hits, uint64_t& nWork)
{
    constexpr size_t BLOCK = 4096;
    // The first block grows as usual, so that a delimiter with few places costs no full block.
    std::vector<std::vector<uint32_t>> blocks(1);
    size_t nHits = 0;
    nWork += nEnd - sKey.size() + 1 - nBegin;
    SiftFolded(pText, nBegin, nEnd, sKey,
               [&](Position q)
               {
                   ++nWork;
                   if (!FoldedAt(pText, q, sKey))
                       return;
                   if (blocks.back().size() == BLOCK)
                       blocks.emplace_back().reserve(BLOCK);
                   blocks.back().push_back(static_cast<uint32_t>(q - nBegin));
                   ++nHits;
               });
    hits.reserve(nHits);
    for (const std::vector<uint32_t>& block : blocks)
        hits.insert(hits.end(), block.begin(), block.end());
}
} // namespace

const CDelimiterIndex::Offsets& CDelimiterIndex::occurrences(const char* pszPattern)
{
    const bool bSingle = pszPattern[0] != '\0' && pszPattern[1] == '\0';
    const auto cSingle = FoldNoCase(static_cast<unsigned char>(pszPattern[0]));
    if (bSingle && m_SingleByte[cSingle] != nullptr)
        return *m_SingleByte[cSingle];
    if (!bSingle)
    {
        for (const SRecentPattern& recent : m_Recent)
        {
            if (recent.pHits != nullptr && SameFolded(recent.sKey, pszPattern))
                return *recent.pHits;
        }
    }
    std::string sKey(pszPattern);
    for (char& c : sKey)
        c = static_cast<char>(FoldNoCase(static_cast<unsigned char>(c)));
    auto it = m_Occurrences.find(sKey);
    if (it != m_Occurrences.end())
    {
        if (bSingle)
            m_SingleByte[cSingle] = &it->second;
        else
            remember(it->first, it->second);
        return it->second;
    }
    Offsets hits;
    const size_t L = sKey.size();
    if (L > 0 && m_pText != nullptr && m_nEnd > m_nBegin && L <= m_nEnd - m_nBegin)
        FindEveryFolded(m_pText, m_nBegin, m_nEnd, sKey, hits, m_nWork);
    const auto itStored = m_Occurrences.emplace(std::move(sKey), std::move(hits)).first;
    if (bSingle)
        m_SingleByte[cSingle] = &itStored->second;
    else
        remember(itStored->first, itStored->second);
    return itStored->second;
}

void CDelimiterIndex::remember(const std::string& sKey, const Offsets& hits)
{
    SRecentPattern& recent = m_Recent[m_nNextRecent];
    m_nNextRecent = (m_nNextRecent + 1) % RECENT_PATTERNS;
    recent.sKey = sKey;
    recent.pHits = &hits;
}

size_t& CDelimiterIndex::hintFor(const Offsets& hits)
{
    for (SHint& hint : m_Hints)
    {
        if (hint.pHits == &hits)
            return hint.nIndex;
    }
    SHint& hint = m_Hints[m_nNextHint];
    m_nNextHint = (m_nNextHint + 1) % HINTS;
    hint = {&hits, 0};
    return hint.nIndex;
}

Position CDelimiterIndex::findNext(const char* pszPattern, Position nFrom)
{
    if (pszPattern == nullptr)
        return NPOS;
    const Offsets& hits = occurrences(pszPattern);
    const Offset nOffset = toOffset(nFrom);
    size_t& nHint = hintFor(hits);
    nHint = GallopFrom(0, hits.size(), nHint, [&hits, nOffset](size_t k) { return hits[k] < nOffset; });
    return nHint == hits.size() ? NPOS : toPosition(hits[nHint]);
}

Position CDelimiterIndex::findPrevious(const char* pszPattern, Position nPos)
{
    if (pszPattern == nullptr || nPos == NPOS || nPos < m_nBegin)
        return NPOS;
    const Offsets& hits = occurrences(pszPattern);
    const Offset nOffset = toOffset(nPos);
    size_t& nHint = hintFor(hits);
    nHint = GallopFrom(0, hits.size(), nHint, [&hits, nOffset](size_t k) { return hits[k] <= nOffset; });
    return nHint == 0 ? NPOS : toPosition(hits[nHint - 1]);
}

CDelimiterIndex::SScannedText* CDelimiterIndex::scannedText(const char* pszPattern, std::string& sKey)
{
    if (pszPattern == nullptr || pszPattern[0] == '\0' || m_pText == nullptr || m_nEnd <= m_nBegin)
        return nullptr;
    sKey.assign(pszPattern);
    if (sKey.size() > m_nEnd - m_nBegin)
        return nullptr;
    for (char& c : sKey)
        c = static_cast<char>(FoldNoCase(static_cast<unsigned char>(c)));
    return &m_ScannedTexts[sKey];
}

Position CDelimiterIndex::findNextText(const char* pszPattern, Position nFrom, Position nLimit)
{
    std::string sKey;
    SScannedText* pText = scannedText(pszPattern, sKey);
    if (pText == nullptr || nFrom == NPOS)
        return NPOS;
    const Position L = sKey.size();
    nFrom = std::max(nFrom, m_nBegin);
    const Position nLast = std::min(m_nEnd - L, nLimit);
    if (nFrom > nLast)
        return NPOS;
    auto& scanned = pText->m_Scanned;
    auto& hits = pText->m_Hits;
    // The stretch that holds nFrom or ends right at it is extended; otherwise a new one starts at nFrom.
    auto it = scanned.upper_bound(nFrom);
    if (it != scanned.begin() && std::prev(it)->second >= nFrom)
        it = std::prev(it);
    else
        it = scanned.emplace(nFrom, nFrom).first;
    for (;;)
    {
        auto itHit = hits.lower_bound(nFrom);
        if (itHit != hits.end() && *itHit < it->second)
            return *itHit <= nLast ? *itHit : NPOS;
        const Position nCursor = it->second;
        if (nCursor > nLast)
            return NPOS;
        auto itNext = std::next(it);
        const Position nStop = itNext == scanned.end() ? nLast + 1 : std::min(itNext->first, nLast + 1);
        Position nHit = NPOS;
        if (nCursor < nStop)
        {
            nHit = FindStringNoCase(m_pText, sKey.c_str(), nCursor, nStop - 1 + L - nCursor);
            m_nWork += (nHit == NPOS ? nStop : nHit + 1) - nCursor;
            it->second = nHit == NPOS ? nStop : nHit + 1;
            if (nHit != NPOS)
                hits.insert(nHit);
        }
        if (itNext != scanned.end() && itNext->first <= it->second)
        {
            it->second = std::max(it->second, itNext->second);
            scanned.erase(itNext);
            if (nHit == NPOS)
                continue;
        }
        if (nHit != NPOS)
            return nHit;
        if (it->second > nLast)
            return NPOS;
    }
}

Position CDelimiterIndex::findPreviousText(const char* pszPattern, Position nPos)
{
    std::string sKey;
    SScannedText* pText = scannedText(pszPattern, sKey);
    if (pText == nullptr || nPos == NPOS || nPos < m_nBegin)
        return NPOS;
    const Position L = sKey.size();
    const Position nTop = std::min(nPos, m_nEnd - L);
    if (nTop < m_nBegin)
        return NPOS;
    auto& scanned = pText->m_Scanned;
    auto& hits = pText->m_Hits;
    auto it = scanned.upper_bound(nTop);
    if (it != scanned.begin() && std::prev(it)->second > nTop)
        it = std::prev(it);
    else if (it == scanned.end() || it->first != nTop + 1)
        it = scanned.emplace(nTop + 1, nTop + 1).first;
    for (;;)
    {
        auto itHit = hits.upper_bound(nTop);
        if (itHit != hits.begin() && *std::prev(itHit) >= it->first)
            return *std::prev(itHit);
        if (it->first <= m_nBegin)
            return NPOS;
        auto itPrev = it == scanned.begin() ? scanned.end() : std::prev(it);
        const Position nFloor = itPrev == scanned.end() ? m_nBegin : itPrev->second;
        const Position nLow = it->first;
        Position nHit = NPOS;
        if (nFloor < nLow)
        {
            nHit = FindStringNoCaseBackward(m_pText, sKey.c_str(), nLow - 1, m_nEnd, nLow - nFloor);
            m_nWork += nHit == NPOS ? nLow - nFloor : nLow - nHit;
        }
        // Map keys do not move: the stretch is put back under its lower begin.
        const Position nNewLow = nHit == NPOS ? nFloor : nHit;
        Position nHigh = it->second;
        scanned.erase(it);
        Position nBegin = nNewLow;
        if (itPrev != scanned.end() && itPrev->second >= nNewLow)
        {
            nBegin = itPrev->first;
            nHigh = std::max(nHigh, itPrev->second);
            scanned.erase(itPrev);
        }
        it = scanned.emplace(nBegin, nHigh).first;
        if (nHit != NPOS)
        {
            hits.insert(nHit);
            return nHit;
        }
    }
}

void CDelimiterIndex::buildHidingSpans()
{
    m_bHidingSpansBuilt = true;
    const Offsets& comments = occurrences("<!--");
    const Offsets& cdata = occurrences("<![cdata[");
    size_t i = 0;
    size_t j = 0;
    Position nCursor = m_nBegin;
    bool bCommentsClose = true;
    bool bCdataClose = true;
    while (i < comments.size() || j < cdata.size())
    {
        Position nStart;
        bool bComment;
        if (j >= cdata.size() || (i < comments.size() && comments[i] < cdata[j]))
        {
            nStart = toPosition(comments[i++]);
            bComment = true;
        }
        else
        {
            nStart = toPosition(cdata[j++]);
            bComment = false;
        }
        if (nStart < nCursor)
            continue;
        Position nClose = NPOS;
        if (bComment && bCommentsClose)
        {
            nClose = findNext("-->", nStart + 4);
            bCommentsClose = nClose != NPOS;
            if (nClose != NPOS)
                nClose += 3;
        }
        else if (!bComment && bCdataClose)
        {
            // The register knows the CDATA opening only as written in small letters.
            if (std::memcmp(m_pText + nStart, "<![cdata[", 9) != 0)
                continue;
            nClose = findNext("]]>", nStart + 9);
            bCdataClose = nClose != NPOS;
            if (nClose != NPOS)
                nClose += 3;
        }
        if (nClose == NPOS)
            continue;
        m_HidingSpanBegins.push_back(static_cast<Offset>(nStart - m_nBegin));
        m_HidingSpanEnds.push_back(static_cast<Offset>(nClose - m_nBegin));
        nCursor = nClose;
    }
    m_HidingSpanBegins.shrink_to_fit();
    m_HidingSpanEnds.shrink_to_fit();
}

bool CDelimiterIndex::isInsideHidingSpan(Position nPos)
{
    if (!m_bHidingSpansBuilt)
        buildHidingSpans();
    // The last stretch that begins before nPos; stretches never overlap. A position past the end is taken
    // as the end, which no stretch holds strictly inside.
    const Offset nOffset = toOffset(nPos);
    auto it = std::lower_bound(m_HidingSpanBegins.begin(), m_HidingSpanBegins.end(), nOffset);
    if (it == m_HidingSpanBegins.begin())
        return false;
    const size_t k = static_cast<size_t>(it - m_HidingSpanBegins.begin()) - 1;
    return nOffset < m_HidingSpanEnds[k];
}

void CDelimiterIndex::buildQuoteIndex()
{
    m_bQuoteIndexBuilt = true;
    size_t nParity = 0;
    char cLastBracket[2] = {0, 0};
    m_nWork += m_nEnd - m_nBegin;
    const char* pText = m_pText + m_nBegin;
    const auto nLength = static_cast<Offset>(m_nEnd - m_nBegin);
    const size_t nBlocks = nLength / PARITY_BLOCK + 1;
    m_QuoteParity.assign((nBlocks + 63) / 64, 0);
    for (size_t nStart = 0; nStart < nLength; nStart += PARITY_BLOCK)
    {
        const size_t nBlock = nStart / PARITY_BLOCK;
        m_QuoteParity[nBlock / 64] |= static_cast<uint64_t>(nParity) << (nBlock % 64);
        const size_t nStop = std::min<size_t>(nStart + PARITY_BLOCK, nLength);
        for (size_t p = nStart; p < nStop; ++p)
        {
            const char c = pText[p];
            switch (c)
            {
            case '"':
                nParity ^= 1;
                break;
            case '[':
            case ']':
                m_Brackets[nParity].push_back(static_cast<Offset>(p));
                cLastBracket[nParity] = c;
                break;
            case '>':
                m_Closers[nParity].push_back(static_cast<Offset>(p));
                if (cLastBracket[nParity] == ']')
                    m_ClosersAfterBracketClose[nParity].push_back(static_cast<Offset>(p));
                break;
            default:
                break;
            }
        }
    }
    // Kept for the life of the source: no growth slack.
    for (size_t k = 0; k < 2; ++k)
    {
        m_Closers[k].shrink_to_fit();
        m_Brackets[k].shrink_to_fit();
        m_ClosersAfterBracketClose[k].shrink_to_fit();
    }
}

size_t CDelimiterIndex::quoteParity(Position nPos)
{
    const Offset nOffset = toOffset(nPos);
    const Offset nBlock = nOffset / PARITY_BLOCK;
    size_t nParity = static_cast<size_t>(m_QuoteParity[nBlock / 64] >> (nBlock % 64)) & 1;
    const char* pText = m_pText + m_nBegin;
    for (Offset p = nBlock * PARITY_BLOCK; p < nOffset; ++p)
        nParity ^= pText[p] == '"' ? 1 : 0;
    m_nWork += nOffset - nBlock * PARITY_BLOCK;
    return nParity;
}

Position CDelimiterIndex::findMarkupDeclarationEnd(Position nPos)
{
    if (nPos < m_nBegin || nPos >= m_nEnd)
        return NPOS;
    if (!m_bQuoteIndexBuilt)
        buildQuoteIndex();
    // Outside quotes as seen from nPos are exactly the characters with as many quotes before them, mod 2.
    const Offsets& closers = m_Closers[quoteParity(nPos)];
    auto it = std::lower_bound(closers.begin(), closers.end(), toOffset(nPos));
    return it == closers.end() ? NPOS : toPosition(*it) + 1;
}

Position CDelimiterIndex::findDoctypeEnd(Position nPos)
{
    if (nPos < m_nBegin || nPos >= m_nEnd)
        return NPOS;
    if (!m_bQuoteIndexBuilt)
        buildQuoteIndex();
    const size_t nParity = quoteParity(nPos);
    const Offsets& brackets = m_Brackets[nParity];
    const Offsets& closers = m_Closers[nParity];
    const Offset nOffset = toOffset(nPos);
    auto itBracket = std::lower_bound(brackets.begin(), brackets.end(), nOffset);
    const Offset nFirstBracket = itBracket == brackets.end() ? toOffset(m_nEnd) : *itBracket;
    // Before the first bracket the scan is outside brackets.
    auto itCloser = std::lower_bound(closers.begin(), closers.end(), nOffset);
    if (itCloser != closers.end() && *itCloser < nFirstBracket)
        return toPosition(*itCloser) + 1;
    if (itBracket == brackets.end())
        return NPOS;
    // After it, a '>' ends the declaration exactly when the last bracket before it closed the brackets.
    const Offsets& eligible = m_ClosersAfterBracketClose[nParity];
    auto itEligible = std::lower_bound(eligible.begin(), eligible.end(), nFirstBracket);
    return itEligible == eligible.end() ? NPOS : toPosition(*itEligible) + 1;
}
