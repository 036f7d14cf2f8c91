// The three basic questions over a source: the tag at a position, the nearest tag before or after one, and
// every tag of the text (the full sequential parse).
#include "common/StaticMemory.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <cstring>

namespace
{
// Last '<' in [nLow, nHigh], or -1.
Position LastOpen(CSource* pSource, Position nLow, Position nHigh)
{
    if (nHigh < nLow)
        return NPOS;
    // The nearest bytes first: in a run of openings a library call per byte would cost many times the test.
    const char* pText = pSource->m_pText;
    const Position nQuickLow = nHigh - nLow >= 16 ? nHigh - 15 : nLow;
    Position nHit = NPOS;
    for (Position q = nHigh + 1; q-- > nQuickLow;)
    {
        if (pText[q] == '<')
        {
            nHit = q;
            break;
        }
    }
    if (nHit == NPOS && nQuickLow > nLow)
    {
        const void* pHit = memrchr(pText + nLow, '<', static_cast<size_t>(nQuickLow - nLow));
        if (pHit != nullptr)
            nHit = static_cast<Position>(static_cast<const char*>(pHit) - pText);
    }
    pSource->addWork(nHit == NPOS ? nHigh - nLow + 1 : nHigh - nHit + 1);
    return nHit;
}

// First '<' in [nLow, nBound), or -1.
Position FirstOpen(CSource* pSource, Position nLow, Position nBound)
{
    if (nLow >= nBound)
        return NPOS;
    const Position nHit = FindCharNoCase(pSource->m_pText, '<', nLow, nBound - nLow);
    pSource->addWork(nHit == NPOS ? nBound - nLow : nHit - nLow + 1);
    return nHit;
}

// The searches below return registered tags only, so they pass over openings where no registered tag can
// begin (see CTagType::mayBeginRegisteredTag) without looking them up, unless a log line is to say what each
// was: a page made of them then costs a few tests per '<', with nothing recorded for each. The caches
// remember the stretch searched as a whole. Backward: the last candidate in [nLow, nFrom]; forward: the first
// in [nFrom, nLimit).
Position NearestCandidate(CSource* pSource, Position nFrom, Position nLimit, bool bPrevious)
{
    auto open = [&](Position p)
    { return bPrevious ? LastOpen(pSource, nLimit, p) : FirstOpen(pSource, p, nLimit); };
    Position c = open(nFrom);
    if (ParserTraceOn())
        return c;
    while (c != NPOS && !CTagType::mayBeginRegisteredTag(pSource, c))
    {
        if (bPrevious && c <= nLimit)
            return NPOS;
        c = open(bPrevious ? c - 1 : c + 1);
    }
    return c;
}

// The searches return registered tags only: the cache need not build the others.
CTag* LookUp(CSource* pSource, Position nPos)
{
    return pSource->m_bUseTagCache ? pSource->m_Cache.getRegisteredTagAt(nPos)
                                   : CTagType::getTagAt(pSource, nPos);
}

bool MovesFullParsePos(const CTag* pTag)
{
    const CTagType* pType = pTag->getTagType();
    if (pType == nullptr || pType->m_bIsServerTag || pTag->isUnregistered())
        return false;
    return pType != Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(6);
}

// What the full parse takes at a position: a tag object, or a tag that matched no registered type, which
// it leaves without an object (bBare).
struct SParsed
{
    CTag* pTag = nullptr;
    bool bBare = false;
    bool found() const { return pTag != nullptr || bBare; }
};

// The tag the full parse takes at c. A tag the on-demand searches found there before the parse is kept as
// the same object when the parse would build the same tag, so that elements and handles stay consistent.
SParsed FullParseTagAt(CSource* pSource, Position c, const std::vector<CTag*>& earlier,
                       const std::vector<uint64_t>& earlierBare, bool bMakeBare)
{
    auto it = std::lower_bound(earlier.begin(), earlier.end(), c,
                               [](const CTag* pTag, Position nPos) { return pTag->m_nBegin < nPos; });
    if (it != earlier.end() && (*it)->m_nBegin == c)
    {
        CTag* pTag = *it;
        // The same types are offered in the same order; only the validity rule differs, and a tag of a
        // server type or at a position the parse accepts would be built again exactly as it stands.
        if (pTag->getTagType()->m_bIsServerTag || c >= pSource->m_nFullParsePos)
            return {pTag, false};
        return {};
    }
    SParsed parsed;
    if (CCache::isBareIn(earlierBare, c - pSource->m_nBegin))
    {
        // Found on demand as a tag of no registered type (never a server type).
        if (c < pSource->m_nFullParsePos)
            return {};
        parsed.bBare = true;
    }
    else
        parsed.pTag = CTagType::findTagAt(pSource, c, parsed.bBare);
    if (parsed.bBare && bMakeBare)
        return {CTagType::makeUnregisteredTagAt(pSource, c), false};
    return parsed;
}

// The next tag of the full parse at or after nPos; c holds where it begins.
SParsed ParseNext(CSource* pSource, Position nPos, bool bMakeBare, Position& c)
{
    static const std::vector<CTag*> s_None;
    static const std::vector<uint64_t> s_NoBare;
    const bool bRunning = pSource->m_bFullParseRunning;
    const Position p = std::max(nPos, pSource->getBegin());
    c = FirstOpen(pSource, p, pSource->m_nEnd);
    while (c != NPOS)
    {
        const SParsed parsed = FullParseTagAt(pSource, c, bRunning ? pSource->m_EarlierTags : s_None,
                                              bRunning ? pSource->m_EarlierBare : s_NoBare, bMakeBare);
        if (parsed.pTag != nullptr)
        {
            if (MovesFullParsePos(parsed.pTag) &&
                (pSource->m_nFullParsePos == NPOS || parsed.pTag->m_nEnd > pSource->m_nFullParsePos))
                pSource->m_nFullParsePos = parsed.pTag->m_nEnd;
            return parsed;
        }
        if (parsed.bBare)
            return parsed;
        c = FirstOpen(pSource, c + 1, pSource->m_nEnd);
    }
    return {};
}
} // namespace

CTag* CTag::getTagAtUncached(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::getTagAtUncached] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    return CTagType::getTagAt(pSource, nPos);
}

CTag* CTag::getTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::getTagAt] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    if (!pSource->m_bUseTagCache)
        return getTagAtUncached(pSource, nPos);
    return pSource->m_Cache.getTagAt(nPos);
}

CTag* CTag::getRegisteredTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::getTagAt] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    return pSource->m_Cache.getRegisteredTagAt(nPos);
}

CTag* CTag::findPreviousOrNextTag(CSource* pSource, Position nPos, bool bPrevious)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::findPreviousOrNextTag] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (pSource->m_bUseTagCache)
        return pSource->m_Cache.findPreviousOrNextTag(nPos, nullptr, bPrevious);
    return findPreviousOrNextTagUncached(pSource, nPos, bPrevious, NPOS);
}

CTag* CTag::findPreviousOrNextTag(CSource* pSource, Position nPos, CTagType* pTagType, bool bPrevious)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::findPreviousOrNextTag] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->m_bUseSearchCache)
        return findPreviousOrNextTagUncached(pSource, nPos, pTagType, bPrevious, NPOS);
    return pSource->m_Cache.findPreviousOrNextTag(nPos, pTagType, bPrevious);
}

CTag* CTag::findPreviousOrNextTagUncached(CSource* pSource, Position nPos, bool bPrevious, Position nLimit)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::findPreviousOrNextTagUncached] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    const Position nBegin = pSource->m_nBegin;
    const Position nEnd = pSource->m_nEnd;
    if (bPrevious)
    {
        Position p = nPos;
        if (p != NPOS && p >= nEnd && nEnd != 0)
            p = nEnd - 1;
        if (!pSource->holds(p))
            return nullptr;
        const bool bLimited = nLimit != NPOS && nLimit >= nBegin;
        if (bLimited && nLimit >= p)
            return nullptr;
        const Position nLow = bLimited ? nLimit + 1 : nBegin;
        Position c = NearestCandidate(pSource, p, nLow, true);
        while (c != NPOS)
        {
            CTag* pTag = LookUp(pSource, c);
            if (pTag != nullptr && !pTag->isUnregistered())
                return pTag;
            if (c <= nLow)
                return nullptr;
            c = NearestCandidate(pSource, c - 1, nLow, true);
        }
        return nullptr;
    }
    const Position nBound = (nLimit == NPOS || nLimit > nEnd) ? nEnd : nLimit;
    const Position p = nPos == NPOS ? NPOS : std::max(nPos, nBegin);
    if (p == NPOS || p >= nEnd || p >= nBound)
        return nullptr;
    Position c = NearestCandidate(pSource, p, nBound, false);
    while (c != NPOS)
    {
        CTag* pTag = LookUp(pSource, c);
        if (pTag != nullptr && !pTag->isUnregistered())
            return pTag;
        c = NearestCandidate(pSource, c + 1, nBound, false);
    }
    return nullptr;
}

CTag* CTag::findPreviousOrNextTagUncached(CSource* pSource, Position nPos, CTagType* pTagType, bool bPrevious,
                                          Position nLimit)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::findPreviousOrNextTagUncached] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (pTagType == nullptr)
        return findPreviousOrNextTagUncached(pSource, nPos, bPrevious, nLimit);
    const char* pszDelimiter = pTagType->m_sStartDelimiter.c_str();
    const Position nLength = pTagType->m_sStartDelimiter.size();
    const Position nBegin = pSource->m_nBegin;
    const Position nEnd = pSource->m_nEnd;
    if (bPrevious)
    {
        Position c = pSource->findDelimiterBackward(pszDelimiter, nPos, nLimit);
        while (c != NPOS)
        {
            if (pSource->holds(c))
            {
                CTag* pTag = LookUp(pSource, c);
                if (pTag != nullptr && pTag->getTagType() == pTagType)
                    return pTag;
            }
            if (c <= nBegin)
                return nullptr;
            c = pSource->findDelimiterBackward(pszDelimiter, c - 1, nLimit);
        }
        return nullptr;
    }
    const Position nBound = (nLimit == NPOS || nLimit > nEnd) ? nEnd : nLimit;
    const Position p = nPos == NPOS ? NPOS : std::max(nPos, nBegin);
    if (p == NPOS || p >= nEnd || p >= nBound)
        return nullptr;
    CDelimiterIndex& index = pSource->getDelimiterIndex();
    Position c = index.findNext(pszDelimiter, p);
    while (c != NPOS && c + nLength <= nBound)
    {
        CTag* pTag = LookUp(pSource, c);
        if (pTag != nullptr && pTag->getTagType() == pTagType)
            return pTag;
        if (c + 1 >= nEnd)
            return nullptr;
        c = index.findNext(pszDelimiter, c + 1);
    }
    return nullptr;
}

CTag* CTag::parseAllFindNextTag(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::parseAllFindNextTag] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    Position c = NPOS;
    return ParseNext(pSource, nPos, true, c).pTag;
}

void CTag::parseAll(CSource* pSource)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTag::parseAll] pSource is 0.");
        return;
    }
    CParsedTags tags;
    // The parse's tags that matched no registered type stay without objects: one bit per position.
    std::vector<uint64_t> bare;
    size_t nTags = 0;
    if (pSource->m_nEnd <= pSource->m_nBegin)
    {
        pSource->setAllTags(tags, std::move(bare), 0);
        return;
    }
    // The parse position counts from the begin at once: validity during the parse never has to look back
    // through earlier comments.
    pSource->m_nFullParsePos = pSource->m_nBegin;
    Position c = NPOS;
    SParsed parsed = ParseNext(pSource, pSource->m_nBegin, false, c);
    while (parsed.found())
    {
        if (parsed.bBare)
        {
            if (bare.empty())
                bare.resize(static_cast<size_t>((pSource->m_nEnd - pSource->m_nBegin + 63) / 64));
            CCache::setBareIn(bare, c - pSource->m_nBegin);
        }
        else
        {
            CTag* pTag = parsed.pTag;
            tags.push_back(pTag);
            if (!pTag->isUnregistered())
                ++nTags;
        }
        const Position nNext = c + 1;
        if (nNext >= pSource->m_nEnd)
            break;
        parsed = ParseNext(pSource, nNext, false, c);
    }
    pSource->setAllTags(tags, std::move(bare), nTags);
}

void CSource::setAllTags(const CParsedTags& tags, std::vector<uint64_t>&& bare, size_t nTags)
{
    m_AllTags.clear();
    m_AllTags.reserve(nTags);
    m_bAllTagsSet = true;
    m_bAllStartTagsSet = true;
    for (CTag* pTag : tags)
    {
        if (pTag == nullptr || pTag->getSource() != this || pTag->isUnregistered())
            continue;
        m_AllTags.push_back(pTag);
    }
    m_Cache.bulkLoad(tags, std::move(bare));
}

const std::vector<CStartTag*>& CSource::getAllStartTags()
{
    if (m_bAllStartTagsSet && !m_bAllStartTagsMade)
    {
        m_bAllStartTagsMade = true;
        for (CTag* pTag : m_AllTags)
        {
            if (pTag->isStartTag())
                m_AllStartTags.push_back(static_cast<CStartTag*>(pTag));
        }
    }
    return m_AllStartTags;
}

const std::vector<CTag*>& CSource::fullSequentialParse()
{
    if (m_bFullyParsed)
        return m_AllTags;
    m_EarlierTags = m_Cache.recordedTags();
    m_EarlierBare = m_Cache.takeBare();
    m_Cache.clearAll();
    const bool bUseTagCache = m_bUseTagCache;
    m_bUseTagCache = false;
    m_bUseSearchCache = false;
    m_bFullParseRunning = true;
    CTag::parseAll(this);
    m_bFullParseRunning = false;
    std::vector<CTag*>().swap(m_EarlierTags);
    std::vector<uint64_t>().swap(m_EarlierBare);
    m_bUseTagCache = bUseTagCache;
    m_bUseSearchCache = true;
    m_nFullParsePos = NPOS;
    // The parse's view of which places are tags replaces the on-demand one.
    m_TagNameIndex.forgetAnswers();
    ++m_nGeneration;
    m_bFullyParsed = true;
    return m_AllTags;
}
