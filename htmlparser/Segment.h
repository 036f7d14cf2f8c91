// A half-open range of a source's text; the base of every piece the parser finds.
#pragma once

#include "htmlparser/ElementList.h"
#include "htmlparser/Position.h"

#include <vector>

class CSource;
class CElement;
class CAttributes;
class CTag;
class CTagType;

class CSegment
{
public:
    // Registers the segment with its source, which owns it from then on (unless it is the source).
    CSegment(CSource* pSource, Position nBegin, Position nEnd);
    // The same, registering it only when bRegister is set: a segment that holds nothing of its own needs no
    // destructor run, and a page has one tag for every '<' (tags and elements are made so).
    CSegment(CSource* pSource, Position nBegin, Position nEnd, bool bRegister);
    virtual ~CSegment();
    CSegment(const CSegment&) = delete;
    CSegment& operator=(const CSegment&) = delete;

    // The elements that lie directly inside the segment, computed once.
    virtual const CElementList& getChildElements();
    // The attributes scanned over the segment's own range.
    virtual CAttributes* getAttributes();

    static bool checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd);
    static bool checkConstructorArgs(Position nBegin, Position nEnd);
    static CSegment* CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd);

    // 0 when both cover the same range of the same source, else 1.
    int compare(const CSegment& other) const;
    void findAllTags(CTagType* pTagType, std::vector<CTag*>& tags) const;

    Position getBegin() const { return m_nBegin; }
    Position getEnd() const { return m_nEnd; }
    // Whether nPos is a position of this segment's text.
    bool holds(Position nPos) const { return nPos != NPOS && nPos >= m_nBegin && nPos < m_nEnd; }
    // The source the segment lies in, found from the segment's own address (see CSegmentArena): a page
    // holds an object for nearly every tag, and none of them keeps its source.
    virtual CSource* getSource() const;

    // Positions of the source, which holds none beyond MAX_SOURCE_POSITION.
    CStoredPosition m_nBegin;
    CStoredPosition m_nEnd;
    // Whether the child list is computed, or being computed by a walk under way (it reads as empty until the
    // walk has listed every child).
    bool childElementsSet() const;
    // Marks the child list as computed, empty.
    void startChildElements();
    // Makes a complete list (made by the source, or the shared empty one) the computed list.
    void setChildElements(const CElementList& list);

protected:
    // Where the pointer to the child list is kept, null while none was computed (bMake: the place is made if
    // missing). Elements and the source keep theirs; other segments (tags, attribute pieces), which a page
    // has one of for nearly every '<' and which are seldom asked for children, keep theirs in a table of
    // their source.
    virtual const CElementList** childListSlot(bool bMake);
};
