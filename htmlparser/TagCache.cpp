#include "htmlparser/TagCache.h"

#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

CCache::CCache(CSource* pSource) : m_pSource(pSource) {}

CCache::~CCache() = default;

CTag* CCache::getTagAt(Position nPos)
{
    return CTag::getTagAtUncached(m_pSource, nPos);
}

CTag* CCache::findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious)
{
    return CTag::findPreviousOrNextTagUncached(m_pSource, nPos, pTagType, bPrevious, NPOS);
}

CTag* CCache::addTagAt(Position nPos)
{
    return CTag::getTagAtUncached(m_pSource, nPos);
}

void CCache::bulkLoad(const std::vector<CTag*>&) {}

void CCache::clearAll() {}

CTag* CCache::peekTagAt(Position) const
{
    return nullptr;
}

std::vector<CTag*> CCache::recordedTags() const
{
    return {};
}
