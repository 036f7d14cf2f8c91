#include "htmlparser/TagCache.h"

#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TagTypeRegister.h"

#include <algorithm>
#include <iterator>

// ---------------------------------------------------------------------------------------------------------
// CSubCache

CSubCache::CSubCache(CCache* pCache, CTagType* pTagType) : m_pCache(pCache), m_pTagType(pTagType)
{
    const CSource* pSource = pCache->getSource();
    m_Counted.setText(pSource->m_nBegin, pSource->m_nEnd);
    m_Uncounted.setText(pSource->m_nBegin, pSource->m_nEnd);
}

CSubCache::~CSubCache() = default;

bool CSubCache::counts(const CTag* pTag) const
{
    if (pTag == nullptr)
        return false;
    return m_pTagType != nullptr ? pTag->getTagType() == m_pTagType : !pTag->isUnregistered();
}

void CSubCache::addKnown(Position nBegin, Position nEnd)
{
    CSource* pSource = m_pCache->getSource();
    pSource->addWork(1);
    m_Known.add(nBegin, nEnd, pSource->m_nBegin, pSource->m_nEnd);
}

void CSubCache::record(CTag* pTag)
{
    if (pTag == nullptr || known(pTag->m_nBegin) != nullptr)
        return;
    (counts(pTag) ? m_Counted : m_Uncounted).insert(pTag);
}

CTag* CSubCache::known(Position nPos) const
{
    if (CTag* pTag = m_Counted.find(nPos))
        return pTag;
    return m_Uncounted.find(nPos);
}

CTag* CSubCache::nearestCounted(Position nLow, Position nHigh, bool bPrevious) const
{
    return m_Counted.nearest(nLow, nHigh, bPrevious);
}

CTag* CSubCache::lookUp(Position nPos, bool bMakeBare)
{
    const CSource* pSource = m_pCache->getSource();
    if (!pSource->holds(nPos))
        return nullptr;
    if (!m_bBulk && !m_Known.contains(nPos))
        return m_pCache->addTagAt(nPos, bMakeBare);
    if (CTag* pTag = known(nPos))
        return pTag;
    if (m_pTagType != nullptr || !bMakeBare)
        return nullptr;
    if (!m_pCache->isBare(nPos))
    {
        // Searches pass over openings where no registered tag can begin without recording them
        // (TagSearch.cpp): one asked for is looked up now, in the stretch they made known.
        if (!m_bBulk && !CTagType::mayBeginRegisteredTag(m_pCache->getSource(), nPos))
            return m_pCache->addTagAt(nPos, true);
        return nullptr;
    }
    CTag* pTag = m_pCache->makeBareTag(nPos);
    if (pTag != nullptr)
        m_Uncounted.insert(pTag);
    return pTag;
}

CTag* CSubCache::getTagAt(Position nPos)
{
    return lookUp(nPos, true);
}

CTag* CSubCache::getRegisteredTagAt(Position nPos)
{
    CTag* pTag = lookUp(nPos, false);
    return (pTag != nullptr && !pTag->isUnregistered()) ? pTag : nullptr;
}

void CSubCache::addEntry(Position nPos, CTag* pTag)
{
    const CSource* pSource = m_pCache->getSource();
    if (m_bBulk || !pSource->holds(nPos))
        return;
    if (pTag != nullptr && pTag->m_nBegin == nPos)
        record(pTag);
    addKnown(nPos, nPos + 1);
}

// The nearest tag this sub-cache counts, at or before nPos backward, at or after it forward. Known stretches
// answer from the recorded tags; between them the text is scanned, only as far as the next known stretch or
// the answer, and what the scan saw becomes known.
CTag* CSubCache::search(Position nPos, bool bPrevious)
{
    CSource* pSource = m_pCache->getSource();
    const Position nBegin = pSource->m_nBegin;
    const Position nEnd = pSource->m_nEnd;
    // A typed scan's delimiter may run past the next known stretch: only its start must lie before it.
    const Position nOverhang = m_pTagType != nullptr ? m_pTagType->m_sStartDelimiter.size() - 1 : 0;
    Position p = nPos;
    for (;;)
    {
        pSource->addWork(1);
        if (m_bBulk)
            return nearestCounted(bPrevious ? nBegin : p, bPrevious ? p : nEnd - 1, bPrevious);
        const auto [nLow, nHigh] = m_Known.find(p);
        if (nLow != NPOS)
        {
            if (CTag* pTag = nearestCounted(bPrevious ? nLow : p, bPrevious ? p : nHigh - 1, bPrevious))
                return pTag;
            if (bPrevious ? nLow <= nBegin : nHigh >= nEnd)
                return nullptr;
            p = bPrevious ? nLow - 1 : nHigh;
            continue;
        }
        // The unknown stretch around p reaches to the neighbouring known stretches or the text's ends.
        CTag* pTag = nullptr;
        Position nFrom;
        Position nTo;
        if (bPrevious)
        {
            const Position nBelow = m_Known.endBelow(p);
            const Position nLimit = nBelow == NPOS ? NPOS : nBelow - 1;
            pTag = CTag::findPreviousOrNextTagUncached(pSource, p, m_pTagType, true, nLimit);
            nFrom = pTag != nullptr ? pTag->getBegin() : (nLimit == NPOS ? nBegin : nLimit + 1);
            nTo = p + 1;
        }
        else
        {
            const Position nAbove = m_Known.beginAbove(p);
            const Position nRight = nAbove == NPOS ? nEnd : nAbove;
            const Position nLimit = std::min(nRight + nOverhang, nEnd);
            pTag = CTag::findPreviousOrNextTagUncached(pSource, p, m_pTagType, false, nLimit);
            if (pTag != nullptr && pTag->m_nBegin >= nRight)
                pTag = nullptr;
            nFrom = p;
            nTo = pTag != nullptr ? pTag->m_nBegin + 1 : nRight;
        }
        record(pTag);
        addKnown(nFrom, nTo);
        if (pTag != nullptr)
            return pTag;
        if (bPrevious ? nFrom <= nBegin : nTo >= nEnd)
            return nullptr;
        p = bPrevious ? nFrom - 1 : nTo;
    }
}

CTag* CSubCache::findPreviousOrNextTag(Position nPos, bool bPrevious)
{
    const CSource* pSource = m_pCache->getSource();
    Position p = nPos;
    if (bPrevious)
    {
        if (p != NPOS && p >= pSource->m_nEnd && pSource->m_nEnd != 0)
            p = pSource->m_nEnd - 1;
    }
    else if (p != NPOS && p < pSource->m_nBegin)
        p = pSource->m_nBegin;
    if (!pSource->holds(p))
        return nullptr;
    return search(p, bPrevious);
}

void CSubCache::clear()
{
    m_Known.clear();
    m_Counted.clear();
    m_Uncounted.clear();
    m_bBulk = false;
}

void CSubCache::bulkLoad(const CParsedTags& tags)
{
    clear();
    const CSource* pSource = m_pCache->getSource();
    size_t nCounted = 0;
    size_t nUncounted = 0;
    for (const CTag* pTag : tags)
    {
        if (pTag == nullptr || pTag->getSource() != pSource)
            continue;
        if (counts(pTag))
            ++nCounted;
        else if (m_pTagType == nullptr)
            ++nUncounted;
    }
    std::vector<CTag*> counted;
    std::vector<CTag*> uncounted;
    counted.reserve(nCounted);
    uncounted.reserve(nUncounted);
    Position nLast = NPOS;
    for (CTag* pTag : tags)
    {
        if (pTag == nullptr || pTag->getSource() != pSource)
            continue;
        // The parse yields tags in text order, one per position.
        if (nLast != NPOS && nLast >= pTag->m_nBegin)
            continue;
        if (counts(pTag))
            counted.push_back(pTag);
        else if (m_pTagType == nullptr)
            uncounted.push_back(pTag);
        else
            continue;
        nLast = pTag->m_nBegin;
    }
    m_Counted.assign(std::move(counted));
    m_Uncounted.assign(std::move(uncounted));
    m_bBulk = true;
}

void CSubCache::bulkLoadOfType(std::vector<CTag*>&& tags)
{
    clear();
    // The parse yields tags in text order, one per position.
    size_t nKept = 0;
    for (CTag* pTag : tags)
    {
        if (nKept != 0 && tags[nKept - 1]->m_nBegin >= pTag->m_nBegin)
            continue;
        tags[nKept++] = pTag;
    }
    tags.resize(nKept);
    m_Counted.assign(std::move(tags));
    m_bBulk = true;
}

bool CSubCache::isEmpty() const
{
    return !m_bBulk && m_Known.empty() && m_Counted.empty() && m_Uncounted.empty();
}

std::vector<CTag*> CSubCache::recordedTags() const
{
    std::vector<CTag*> counted = m_Counted.all();
    std::vector<CTag*> uncounted = m_Uncounted.all();
    std::vector<CTag*> tags;
    tags.reserve(counted.size() + uncounted.size());
    std::merge(counted.begin(), counted.end(), uncounted.begin(), uncounted.end(), std::back_inserter(tags),
               [](const CTag* pA, const CTag* pB) { return pA->m_nBegin < pB->m_nBegin; });
    return tags;
}

std::vector<std::pair<Position, Position>> CSubCache::knownStretches() const
{
    const CSource* pSource = m_pCache->getSource();
    if (m_bBulk)
    {
        if (pSource->m_nEnd > pSource->m_nBegin)
            return {{pSource->m_nBegin, pSource->m_nEnd}};
        return {};
    }
    return m_Known.all();
}

bool CSubCache::checkInvariants(std::string& sWhy) const
{
    const CSource* pSource = m_pCache->getSource();
    Position nPreviousEnd = 0;
    bool bFirst = true;
    for (const auto& [nBegin, nEnd] : m_Known.all())
    {
        if (nBegin >= nEnd || nBegin < pSource->m_nBegin || nEnd > pSource->m_nEnd)
        {
            sWhy = "stretch [" + std::to_string(nBegin) + "," + std::to_string(nEnd) + ") out of place";
            return false;
        }
        if (!bFirst && nBegin <= nPreviousEnd)
        {
            sWhy = "stretch at " + std::to_string(nBegin) + " touches the one before";
            return false;
        }
        bFirst = false;
        nPreviousEnd = nEnd;
    }
    auto checkTags = [&](const std::vector<CTag*>& tags, bool bCounted)
    {
        for (size_t i = 0; i < tags.size(); ++i)
        {
            const CTag* pTag = tags[i];
            if (pTag == nullptr || counts(pTag) != bCounted || (m_pTagType != nullptr && !bCounted))
            {
                sWhy = "tag " + std::to_string(i) + " of another kind";
                return false;
            }
            if (i != 0 && tags[i - 1]->m_nBegin >= pTag->m_nBegin)
            {
                sWhy = "tags out of order at " + std::to_string(pTag->m_nBegin);
                return false;
            }
            if (!m_bBulk && !m_Known.contains(pTag->m_nBegin))
            {
                sWhy = "tag at " + std::to_string(pTag->m_nBegin) + " outside the known stretches";
                return false;
            }
            if (bCounted ? m_Uncounted.find(pTag->m_nBegin) != nullptr
                         : m_Counted.find(pTag->m_nBegin) != nullptr)
            {
                sWhy = "two tags at " + std::to_string(pTag->m_nBegin);
                return false;
            }
        }
        return true;
    };
    if (!checkTags(m_Counted.all(), true) || !checkTags(m_Uncounted.all(), false))
        return false;
    if (m_pTagType == nullptr)
    {
        for (Position p = pSource->m_nBegin; p < pSource->m_nEnd; ++p)
        {
            if (!m_pCache->isBare(p))
                continue;
            if (!m_bBulk && !m_Known.contains(p))
            {
                sWhy = "bare place at " + std::to_string(p) + " outside the known stretches";
                return false;
            }
            if (known(p) != nullptr)
            {
                sWhy = "bare place at " + std::to_string(p) + " also holds a tag";
                return false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// CCache

CCache::CCache(CSource* pSource) : m_pSource(pSource)
{
    const std::vector<CTagType*>& types = CTagTypeSingletonData::getTagTypes();
    m_SubCaches.reserve(types.size() + 1);
    m_SubCaches.push_back(std::make_unique<CSubCache>(this, nullptr));
    for (CTagType* pType : types)
        m_SubCaches.push_back(std::make_unique<CSubCache>(this, pType));
}

CCache::~CCache() = default;

CSubCache* CCache::typedFor(const CTagType* pTagType) const
{
    for (size_t i = 1; i < m_SubCaches.size(); ++i)
    {
        if (m_SubCaches[i]->getTagType() == pTagType)
            return m_SubCaches[i].get();
    }
    return nullptr;
}

CTag* CCache::getTagAt(Position nPos)
{
    if (!m_pSource->m_bUseTagCache)
        return CTag::getTagAtUncached(m_pSource, nPos);
    return m_SubCaches[0]->getTagAt(nPos);
}

CTag* CCache::getRegisteredTagAt(Position nPos)
{
    if (!m_pSource->m_bUseTagCache)
    {
        CTag* pTag = CTag::getTagAtUncached(m_pSource, nPos);
        return (pTag != nullptr && !pTag->isUnregistered()) ? pTag : nullptr;
    }
    return m_SubCaches[0]->getRegisteredTagAt(nPos);
}

CTag* CCache::findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious)
{
    CSubCache* pSubCache = nullptr;
    if (pTagType == nullptr)
        pSubCache = m_pSource->m_bUseTagCache ? m_SubCaches[0].get() : nullptr;
    else
        pSubCache = typedFor(pTagType);
    if (pSubCache != nullptr)
        return pSubCache->findPreviousOrNextTag(nPos, bPrevious);
    return CTag::findPreviousOrNextTagUncached(m_pSource, nPos, pTagType, bPrevious, NPOS);
}

CTag* CCache::addTagAt(Position nPos, bool bMakeBare)
{
    if (nPos == NPOS || nPos < m_pSource->m_nBegin || nPos >= m_pSource->m_nEnd)
        return nullptr;
    bool bBare = false;
    CTag* pTag = CTagType::findTagAt(m_pSource, nPos, bBare);
    if (bBare)
    {
        setBare(nPos);
        m_SubCaches[0]->addEntry(nPos, nullptr);
        return bMakeBare ? m_SubCaches[0]->getTagAt(nPos) : nullptr;
    }
    m_SubCaches[0]->addEntry(nPos, pTag);
    if (pTag != nullptr)
    {
        if (CSubCache* pTyped = typedFor(pTag->getTagType()))
            pTyped->addEntry(nPos, pTag);
    }
    return pTag;
}

void CCache::bulkLoad(const CParsedTags& tags, std::vector<uint64_t>&& bare)
{
    m_SubCaches[0]->bulkLoad(tags);
    m_Bare = std::move(bare);
    // The typed sub-caches take their tags from two passes over the list (count, then fill), not two
    // passes each: a page of many tags would otherwise be walked twice per registered type.
    const CTagType* pLastType = nullptr;
    size_t nLast = 0;
    auto typedIndex = [&](const CTag* pTag) -> size_t
    {
        if (pTag == nullptr || pTag->getSource() != m_pSource)
            return 0;
        const CTagType* pType = pTag->getTagType();
        if (pType == pLastType)
            return nLast;
        pLastType = pType;
        nLast = 0;
        for (size_t k = 1; k < m_SubCaches.size(); ++k)
        {
            if (m_SubCaches[k]->getTagType() == pType)
            {
                nLast = k;
                break;
            }
        }
        return nLast;
    };
    std::vector<size_t> counts(m_SubCaches.size(), 0);
    for (const CTag* pTag : tags)
        ++counts[typedIndex(pTag)];
    std::vector<std::vector<CTag*>> byType(m_SubCaches.size());
    for (size_t k = 1; k < m_SubCaches.size(); ++k)
        byType[k].reserve(counts[k]);
    for (CTag* pTag : tags)
    {
        const size_t k = typedIndex(pTag);
        if (k != 0)
            byType[k].push_back(pTag);
    }
    for (size_t k = 1; k < m_SubCaches.size(); ++k)
        m_SubCaches[k]->bulkLoadOfType(std::move(byType[k]));
}

void CCache::clearAll()
{
    std::vector<uint64_t>().swap(m_Bare);
    const bool bAny = std::any_of(m_SubCaches.begin(), m_SubCaches.end(),
                                  [](const std::unique_ptr<CSubCache>& p) { return !p->isEmpty(); });
    if (!bAny)
        return;
    for (auto& pSubCache : m_SubCaches)
        pSubCache->clear();
}

bool CCache::isBareIn(const std::vector<uint64_t>& bare, Position nOffset)
{
    const Position nWord = nOffset / 64;
    return nWord < bare.size() && ((bare[static_cast<size_t>(nWord)] >> (nOffset % 64)) & 1) != 0;
}

void CCache::setBareIn(std::vector<uint64_t>& bare, Position nOffset)
{
    bare[static_cast<size_t>(nOffset / 64)] |= uint64_t{1} << (nOffset % 64);
}

bool CCache::isBare(Position nPos) const
{
    return nPos != NPOS && nPos >= m_pSource->m_nBegin && isBareIn(m_Bare, nPos - m_pSource->m_nBegin);
}

void CCache::setBare(Position nPos)
{
    if (m_Bare.empty())
        m_Bare.resize(static_cast<size_t>((m_pSource->m_nEnd - m_pSource->m_nBegin + 63) / 64));
    setBareIn(m_Bare, nPos - m_pSource->m_nBegin);
}

CTag* CCache::makeBareTag(Position nPos)
{
    if (!isBare(nPos))
        return nullptr;
    const Position nOffset = nPos - m_pSource->m_nBegin;
    m_Bare[static_cast<size_t>(nOffset / 64)] &= ~(uint64_t{1} << (nOffset % 64));
    return CTagType::makeUnregisteredTagAt(m_pSource, nPos);
}

std::vector<uint64_t> CCache::takeBare()
{
    std::vector<uint64_t> bare;
    bare.swap(m_Bare);
    return bare;
}

std::vector<CTag*> CCache::recordedTags() const
{
    return m_SubCaches[0]->recordedTags();
}

bool CCache::checkInvariants(std::string& sWhy) const
{
    for (const auto& pSubCache : m_SubCaches)
    {
        if (!pSubCache->checkInvariants(sWhy))
        {
            sWhy = (pSubCache->getTagType() == nullptr ? std::string("all tags: ")
                                                       : pSubCache->getTagType()->getDescription() + ": ") +
                   sWhy;
            return false;
        }
    }
    return true;
}
