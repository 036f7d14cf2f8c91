#include "htmlparser/Segment.h"

#include "htmlparser/Attributes.h"
#include "htmlparser/ChildWalk.h"
#include "htmlparser/Element.h"
#include "htmlparser/SegmentArena.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

CSegment::CSegment(CSource* pSource, Position nBegin, Position nEnd) : m_nBegin(nBegin), m_nEnd(nEnd)
{
    if (pSource != nullptr && static_cast<CSegment*>(pSource) != this)
        pSource->m_Segments.push_back(this);
}

CSegment::CSegment(CSource* pSource, Position nBegin, Position nEnd, bool bRegister)
    : m_nBegin(nBegin), m_nEnd(nEnd)
{
    if (bRegister && pSource != nullptr && static_cast<CSegment*>(pSource) != this)
        pSource->m_Segments.push_back(this);
}

// A segment whose construction failed after it registered itself is forgotten by the source that made it
// (CSource::make).
CSegment::~CSegment() = default;

CSource* CSegment::getSource() const
{
    return static_cast<CSource*>(const_cast<void*>(CSegmentArena::ownerOf(this)));
}

bool CSegment::checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd)
{
    if (pSource == nullptr)
    {
        TraceLog("[CSegment::checkConstructorArgs] pSource is 0.");
        return false;
    }
    if (!checkConstructorArgs(nBegin, nEnd))
        return false;
    if (nBegin < pSource->m_nBegin || nEnd > pSource->m_nEnd)
    {
        TraceLog(
            "[CSegment::checkConstructorArgs] pSource doesn't enclose this segment. nBegin <%d>, nEnd <%d> ",
            LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    return true;
}

bool CSegment::checkConstructorArgs(Position nBegin, Position nEnd)
{
    if (nBegin == NPOS || nEnd == NPOS || nBegin > nEnd)
    {
        TraceLog("[CSegment::checkConstructorArgs] invalid nBegin <%d>, nEnd <%d> values", LogPos(nBegin),
                 LogPos(nEnd));
        return false;
    }
    return true;
}

CSegment* CSegment::CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd)
{
    if (!checkConstructorArgs(pSource, nBegin, nEnd))
        return nullptr;
    return pSource->tryMake<CSegment>(pSource, nBegin, nEnd); // owned by the source
}

int CSegment::compare(const CSegment& other) const
{
    return (getSource() == other.getSource() && m_nBegin == other.m_nBegin && m_nEnd == other.m_nEnd) ? 0 : 1;
}

void CSegment::findAllTags(CTagType* pTagType, std::vector<CTag*>& tags) const
{
    tags.clear();
    CSource* const pSource = getSource();
    Position nPos = m_nBegin;
    for (;;)
    {
        CTag* pTag = CTag::findPreviousOrNextTag(pSource, nPos, pTagType, false);
        if (pTag == nullptr || pTag->m_nEnd > m_nEnd)
            return;
        tags.push_back(pTag);
        nPos = pTag->m_nBegin + 1;
    }
}

const CElementList** CSegment::childListSlot(bool bMake)
{
    return getSource()->otherChildList(this, bMake);
}

bool CSegment::childElementsSet() const
{
    const CElementList* const* pSlot = const_cast<CSegment*>(this)->childListSlot(false);
    return pSlot != nullptr && *pSlot != nullptr;
}

void CSegment::startChildElements()
{
    setChildElements(CElementList::emptyList());
}

void CSegment::setChildElements(const CElementList& list)
{
    if (const CElementList** pSlot = childListSlot(true))
        *pSlot = &list;
}

const CElementList& CSegment::getChildElements()
{
    if (!childElementsSet())
    {
        startChildElements();
        if (m_nBegin != m_nEnd)
            CChildWalk::run(getSource(), this, m_nBegin, m_nEnd, CChildWalk::PARENT_NONE, -1);
    }
    const CElementList* const* pSlot = childListSlot(false);
    return pSlot != nullptr && *pSlot != nullptr ? **pSlot : CElementList::emptyList();
}

CAttributes* CSegment::getAttributes()
{
    return CAttributes::construct(getSource(), "Attributes", 1, m_nBegin, m_nBegin, m_nEnd,
                                  CStartTagType::getNormal(), ci_string(), -1, 2);
}
