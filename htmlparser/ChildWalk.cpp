#include "htmlparser/ChildWalk.h"

#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <vector>

namespace
{
// The next start tag at or after nPos when it begins before nTo, else null: the same answer as the unbounded
// search followed by the bound test, without walking the end tags that follow an element's last child.
CStartTag* NextStartTagBefore(CSource* pSource, Position nPos, Position nTo)
{
    CTag* pTag = CTag::findPreviousOrNextTag(pSource, nPos, false);
    while (pTag != nullptr && pTag->m_nBegin < nTo)
    {
        pSource->addWork(1);
        if (pTag->isStartTag())
            return static_cast<CStartTag*>(pTag);
        if (pTag->m_nBegin + 1 >= pSource->m_nEnd)
            return nullptr;
        pTag = CTag::findPreviousOrNextTag(pSource, pTag->m_nBegin + 1, false);
    }
    return nullptr;
}

struct SFrame
{
    CSegment* pOwner;
    Position nPos;
    Position nTo;
    CChildWalk::EParentMode eMode;
    int nChildDepth;
};
} // namespace

void CChildWalk::run(CSource* pSource, CSegment* pOwner, Position nFrom, Position nTo, EParentMode eMode,
                     int nChildDepth)
{
    // Each frame stands for one element (or the starting segment) whose children are being listed; the
    // frames replace the recursion of one element into its children, in the same order.
    std::vector<SFrame> stack;
    stack.push_back({pOwner, nFrom, nTo, eMode, nChildDepth});
    while (!stack.empty())
    {
        pSource->addWork(1);
        SFrame& frame = stack.back();
        CStartTag* pTag = NextStartTagBefore(pSource, frame.nPos, frame.nTo);
        if (pTag == nullptr || pTag->m_nBegin >= frame.nTo)
        {
            stack.pop_back();
            continue;
        }
        if (pTag->getStartTagType()->m_bIsServerTag)
        {
            frame.nPos = pTag->m_nEnd;
            continue;
        }
        CElement* pChild = pTag->getElement();
        if (pChild == nullptr)
        {
            frame.nPos = pTag->m_nEnd;
            continue;
        }
        if (frame.eMode == PARENT_TOP)
        {
            pChild->m_pParent = nullptr;
            pChild->m_bParentSet = true;
        }
        else if (frame.eMode == PARENT_ELEMENT)
        {
            auto* pParent = static_cast<CElement*>(frame.pOwner);
            pParent->adoptChild(pChild);
            if (pChild->m_nEnd > pParent->m_nEnd)
                TraceLog("[CElement::getChildElements] ChildElement <%s> (ends at <%d>) extends beyond end "
                         "of parent "
                         "<%s> (ending at <%d>).",
                         pChild->getName().c_str(), LogPos(pChild->m_nEnd), pParent->getName().c_str(),
                         LogPos(pParent->m_nEnd));
        }
        frame.pOwner->addChildElement(pChild);
        frame.nPos = pChild->m_nEnd;
        const int nDepth = frame.nChildDepth;

        // The child lists its own children now, before the walk goes on after it.
        if (nDepth != -1)
            pChild->m_nDepth = nDepth;
        if (pChild->childElementsSet())
            continue;
        pChild->startChildElements();
        if (pChild->m_nEnd == pChild->m_pStartTag->m_nEnd)
            continue;
        stack.push_back({pChild, pChild->getContentBegin(), pChild->getContentEnd(), PARENT_ELEMENT,
                         nDepth == -1 ? -1 : nDepth + 1});
    }
}
