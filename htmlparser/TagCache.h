// Remembered answers of the tag searches of one source.
#pragma once

#include "htmlparser/Position.h"

#include <vector>

class CSource;
class CTag;
class CTagType;

class CCache
{
public:
    explicit CCache(CSource* pSource);
    virtual ~CCache();
    CCache(const CCache&) = delete;
    CCache& operator=(const CCache&) = delete;

    CTag* getTagAt(Position nPos);
    CTag* findPreviousOrNextTag(Position nPos, CTagType* pTagType, bool bPrevious);
    CTag* addTagAt(Position nPos);
    void bulkLoad(const std::vector<CTag*>& tags);
    // Empties every sub-cache when any holds entries.
    void clearAll();
    // The tag recorded exactly at nPos by the all-tags sub-cache, without computing anything.
    CTag* peekTagAt(Position nPos) const;
    // Every tag the all-tags sub-cache holds, in text order.
    std::vector<CTag*> recordedTags() const;

private:
    CSource* m_pSource;
};
