#include "htmlparser/ChildWalk.h"

#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <cstdint>
#include <deque>

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

// One element (or the starting segment) whose children are being listed. Every frame but the first lists an
// element's content with the element as parent, one level deeper than the frame below it; that element is
// the child found last before the frame was pushed, which stays just before the frame's own children. So a
// frame keeps only where its search goes on and where its children begin among those found so far.
struct SFrame
{
    CStoredPosition nPos;
    // A page of at most MAX_SOURCE_POSITION bytes holds fewer elements than that.
    uint32_t nFirstChild;
};
static_assert(sizeof(SFrame) == 8);
} // namespace

void CChildWalk::run(CSource* pSource, CSegment* pOwner, Position nFrom, Position nTo, EParentMode eMode,
                     int nChildDepth)
{
    // The frames replace the recursion of one element into its children, in the same order. A crafted page
    // can nest elements or list children by the hundred thousand: neither the frames nor the children found
    // are kept in doubling vectors, which would hold the old copy beside the new one as they grow.
    std::deque<SFrame> stack;
    // The children found by every open frame, each frame's after those of the frames below it: a frame's
    // children are the last ones when it is popped, and are then moved to its list.
    std::deque<CElement*> pending;
    stack.push_back({nFrom, 0});
    while (!stack.empty())
    {
        pSource->addWork(1);
        SFrame& frame = stack.back();
        const bool bFirst = stack.size() == 1;
        CSegment* pFrameOwner = bFirst ? pOwner : pending[frame.nFirstChild - 1];
        const Position nFrameTo = bFirst ? nTo : static_cast<CElement*>(pFrameOwner)->getContentEnd();
        const EParentMode eFrameMode = bFirst ? eMode : PARENT_ELEMENT;
        CStartTag* pTag = NextStartTagBefore(pSource, frame.nPos, nFrameTo);
        if (pTag == nullptr || pTag->m_nBegin >= nFrameTo)
        {
            pFrameOwner->setChildElements(pSource->takeElementList(pending, frame.nFirstChild));
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
        if (eFrameMode == PARENT_TOP)
        {
            pChild->m_pParent = nullptr;
            pChild->m_bParentSet = true;
        }
        else if (eFrameMode == PARENT_ELEMENT)
        {
            auto* pParent = static_cast<CElement*>(pFrameOwner);
            pParent->adoptChild(pChild);
            if (pChild->m_nEnd > pParent->m_nEnd)
                TraceLog("[CElement::getChildElements] ChildElement <%s> (ends at <%d>) extends beyond end "
                         "of parent "
                         "<%s> (ending at <%d>).",
                         pChild->getName().c_str(), LogPos(pChild->m_nEnd), pParent->getName().c_str(),
                         LogPos(pParent->m_nEnd));
        }
        pending.push_back(pChild);
        frame.nPos = pChild->m_nEnd;
        const int nDepth = nChildDepth == -1 ? -1 : nChildDepth + static_cast<int>(stack.size() - 1);

        // The child lists its own children now, before the walk goes on after it.
        if (nDepth != -1)
            pChild->m_nDepth = nDepth;
        if (pChild->childElementsSet())
            continue;
        pChild->startChildElements();
        if (pChild->m_nEnd == pChild->m_pStartTag->m_nEnd)
            continue;
        stack.push_back({pChild->getContentBegin(), static_cast<uint32_t>(pending.size())});
    }
}
