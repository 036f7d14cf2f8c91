// Pairing a start tag with the end tag that closes it, by the rules of HTML 4.01.
#include "htmlparser/Element.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/HTMLElements.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <vector>

thread_local int CStartTag::s_nSkippedElementDepth = 0;

namespace
{
// Deepest nesting of skipped elements paired inside one another (an html element steps over nested html
// elements, each paired by the same rules); below it the search descends into the element instead.
constexpr int MAX_SKIPPED_ELEMENT_DEPTH = 200;

CStartTag* NextOfName(CSource* pSource, Position nPos, const ci_string& csName, bool bSkipEmptyElementTags)
{
    CStartTag* pTag = pSource->findNextStartTag(nPos, csName);
    while (bSkipEmptyElementTags && pTag != nullptr && pTag->isEmptyElementTag())
        pTag = pSource->findNextStartTag(pTag->m_nEnd, csName);
    return pTag;
}

struct SBalanceFrame
{
    CStartTag* pTag;     // the start tag being balanced
    CStartTag* pNested;  // the next nested start tag of the name
    CEndTag* pCandidate; // the current candidate end tag
    CEndTag* pFirstCandidate;
    bool bMayRemember; // the frame started as the tag's own pairing would start
};

// Balances nested start tags of pTag's name against the end tags of the name, beginning with pCandidate.
// Every nested start tag costs a frame on a heap stack, not a level of the thread's stack, and what a nested
// tag's balance gave is remembered in it, so that asking it later does not balance the same tags again.
void Balance(CStartTag* pTag, CStartTag* pFirstNested, CEndTag* pCandidate, bool bSkipEmptyElementTags,
             bool bMayRemember, CEndTag*& pEndTag, CStartTag*& pNextStartTag)
{
    CSource* pSource = pTag->m_pSource;
    const ci_string csName = pTag->m_csName;
    std::vector<SBalanceFrame> stack;
    stack.push_back({pTag, pFirstNested, pCandidate, pCandidate, bMayRemember});
    CEndTag* pResultEnd = nullptr;
    CStartTag* pResultNext = nullptr;
    bool bHaveResult = false;
    for (;;)
    {
        SBalanceFrame& frame = stack.back();
        bool bFailed = false;
        if (bHaveResult)
        {
            // frame.pNested has just been paired.
            bHaveResult = false;
            if (pResultEnd == nullptr)
                bFailed = true;
            else
            {
                frame.pCandidate = pSource->findNextEndTag(pResultEnd->m_nEnd, csName);
                frame.pNested = pResultNext;
            }
        }
        if (!bFailed)
        {
            if (frame.pCandidate == nullptr)
                bFailed = true;
            else if (frame.pNested != nullptr && frame.pNested->m_nBegin <= frame.pCandidate->m_nBegin)
            {
                CStartTag* pNested = frame.pNested;
                CEndTag* pNestedCandidate = frame.pCandidate;
                // A nested tag that lies before the candidate starts its own pairing with that candidate.
                const bool bNatural = pNestedCandidate->m_nBegin >= pNested->m_nEnd;
                if (bNatural && pNested->m_bNestedMatchSet)
                {
                    pResultEnd = pNested->m_pNestedEndTag;
                    pResultNext = pNested->m_pNestedNextStartTag;
                    bHaveResult = true;
                    continue;
                }
                stack.push_back({pNested, NextOfName(pSource, pNested->m_nEnd, csName, bSkipEmptyElementTags),
                                 pNestedCandidate, pNestedCandidate, bNatural});
                continue;
            }
        }
        CEndTag* pEnd = bFailed ? nullptr : frame.pCandidate;
        CStartTag* pNext = bFailed ? nullptr : frame.pNested;
        if (frame.bMayRemember)
        {
            frame.pTag->m_bNestedMatchSet = true;
            frame.pTag->m_pNestedEndTag = pEnd;
            frame.pTag->m_pNestedNextStartTag = pNext;
        }
        stack.pop_back();
        if (stack.empty())
        {
            pEndTag = pEnd;
            pNextStartTag = pNext;
            return;
        }
        pResultEnd = pEnd;
        pResultNext = pNext;
        bHaveResult = true;
    }
}

CEndTag* EmptyEndTagAt(CStartTag* pTag, Position nPos)
{
    return CEndTag::CREATE_NEW_INST(pTag->m_pSource, nPos, nPos, CEndTagType::getNormal(), pTag->m_csName);
}
} // namespace

bool CStartTag::isEmptyElementTag() const
{
    if (m_pStartTagType != CStartTagType::getNormal() || m_pSource == nullptr || m_nEnd - m_nBegin < 2)
        return false;
    return m_pSource->m_pText[m_nEnd - 2] == '/';
}

CEndTag* CStartTag::findEndTagInternal()
{
    const uint64_t nIndex = static_cast<uint64_t>(m_nNameInd);
    const CHTMLElementsSingletonData* pData = CHTMLElements::getData();
    bool bSkipEmptyElementTags = true;
    CEndTagType* pEndTagType = m_pStartTagType->m_pCorrespondingEndTagType;
    if (m_pStartTagType == CStartTagType::getNormal())
    {
        if (const OptionalEndTagRule* pRule = CHTMLElements::getOptionalEndTagRule(nIndex))
        {
            CEndTag* pEnd = findOptionalEndTag(*pRule);
            if (pEnd == nullptr)
                TraceLog("[CStartTag::findEndTagInternal] findOptionalEndTag failed. Start tag <%s> nBegin "
                         "<%d> nEnd "
                         "<%d>.",
                         m_csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
            return pEnd;
        }
        if (pData->m_EndTagForbidden.contains(nIndex))
            return nullptr;
        bSkipEmptyElementTags = !pData->m_EndTagRequired.contains(nIndex);
        if (bSkipEmptyElementTags && isEmptyElementTag())
            return nullptr;
    }
    else if (pEndTagType == nullptr)
        return nullptr;

    CEndTag* pCandidate = m_pSource->findNextEndTag(m_nEnd, m_csName, pEndTagType);
    if (pCandidate != nullptr)
    {
        if (pData->m_NonNestable.contains(nIndex))
        {
            CStartTag* pNested = m_pSource->findNextStartTag(m_nEnd, m_csName);
            if (pNested == nullptr || pNested->m_nBegin > pCandidate->m_nBegin)
                return pCandidate;
            TraceLog("[CStartTag::findEndTagInternal] StartTag <%s> at <%d> missing required end tag - "
                     "invalid nested "
                     "start tag encountered before and tag.",
                     m_csName.c_str(), LogPos(m_nBegin));
            CEndTag* pEmpty = EmptyEndTagAt(this, pNested->m_nBegin);
            if (pEmpty == nullptr)
                TraceLog("[CStartTag::findEndTagInternal] CEndTag::CREATE_NEW_INST() failed when creating an "
                         "empty end "
                         "tag at <%d>. Start tag <%s> nBegin <%d> nEnd <%d>.",
                         LogPos(pNested->m_nBegin), m_csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
            return pEmpty;
        }
        CEndTag* pEnd = nullptr;
        CStartTag* pNext = nullptr;
        findNestedEndTag(pCandidate, bSkipEmptyElementTags, pEnd, pNext);
        if (pEnd != nullptr)
            return pEnd;
    }
    TraceLog("[CStartTag::findEndTagInternal] StartTag <%s> at <%d> missing required end tag.",
             m_csName.c_str(), LogPos(m_nBegin));
    return nullptr;
}

void CStartTag::findNestedEndTag(CEndTag* pCandidate, bool bSkipEmptyElementTags, CEndTag*& pEndTag,
                                 CStartTag*& pNextStartTag)
{
    const bool bNatural = pCandidate != nullptr && pCandidate->m_nBegin >= m_nEnd;
    if (bNatural && m_bNestedMatchSet)
    {
        pEndTag = m_pNestedEndTag;
        pNextStartTag = m_pNestedNextStartTag;
        return;
    }
    CStartTag* pFirst = NextOfName(m_pSource, m_nEnd, m_csName, bSkipEmptyElementTags);
    Balance(this, pFirst, pCandidate, bSkipEmptyElementTags, bNatural, pEndTag, pNextStartTag);
}

void CStartTag::matchNestedStartTags(CStartTag* pFirstNested, CEndTag* pCandidate, bool bSkipEmptyElementTags,
                                     CEndTag*& pEndTag, CStartTag*& pNextStartTag)
{
    Balance(this, pFirstNested, pCandidate, bSkipEmptyElementTags, false, pEndTag, pNextStartTag);
}

CEndTag* CStartTag::findOptionalEndTag(const OptionalEndTagRule& rule)
{
    const Position nSourceEnd = m_pSource->m_nEnd;
    const uint64_t nIndex = static_cast<uint64_t>(m_nNameInd);
    Position p = m_nEnd;
    CTag* pCloser = nullptr;
    while (p < nSourceEnd)
    {
        CTag* pTag = CTag::findPreviousOrNextTag(m_pSource, p, false);
        if (pTag == nullptr)
            break;
        const uint64_t nTagIndex = static_cast<uint64_t>(pTag->m_nNameInd);
        if (pTag->isStartTag())
        {
            auto* pStart = static_cast<CStartTag*>(pTag);
            if (rule.m_SkippedElements.contains(nTagIndex))
            {
                if (s_nSkippedElementDepth < MAX_SKIPPED_ELEMENT_DEPTH)
                {
                    ++s_nSkippedElementDepth;
                    CElement* pElement = pStart->getElement();
                    --s_nSkippedElementDepth;
                    // An element that cannot be built is searched through like any other.
                    p = pElement != nullptr && pElement->m_nEnd > pTag->m_nBegin ? pElement->m_nEnd
                                                                                 : pTag->m_nBegin + 1;
                    continue;
                }
                TraceLog("[CStartTag::findOptionalEndTag] Skipped elements nested deeper than <%d> at <%d>: "
                         "searching "
                         "through StartTag <%s> instead of stepping over its element.",
                         MAX_SKIPPED_ELEMENT_DEPTH, LogPos(pTag->m_nBegin), pTag->m_csName.c_str());
            }
            else if (rule.m_ClosingStartTags.contains(nTagIndex))
            {
                pCloser = pTag;
                break;
            }
        }
        else
        {
            if (pTag->m_nNameInd == m_nNameInd && nIndex != NO_NAME_INDEX)
                return static_cast<CEndTag*>(pTag);
            if (rule.m_ClosingEndTags.contains(nTagIndex))
            {
                pCloser = pTag;
                break;
            }
        }
        p = pTag->m_nBegin + 1;
    }
    if (pCloser != nullptr)
    {
        CEndTag* pEmpty = EmptyEndTagAt(this, pCloser->m_nBegin);
        if (pEmpty == nullptr)
            TraceLog("[CStartTag::findOptionalEndTag] CEndTag::CREATE_NEW_INST() failed when creating an "
                     "empty end tag "
                     "at <%d>. Start tag <%s> nBegin <%d> nEnd <%d>",
                     LogPos(pCloser->m_nBegin), m_csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
        return pEmpty;
    }
    CEndTag* pEmpty = EmptyEndTagAt(this, nSourceEnd);
    if (pEmpty == nullptr)
        TraceLog("[CStartTag::findOptionalEndTag] CEndTag::CREATE_NEW_INST() failed when creating an empty "
                 "end tag at "
                 "the end of the source document. Start tag <%s> nBegin <%d> nEnd <%d> .",
                 m_csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
    return pEmpty;
}
