// Pairing a start tag with the end tag that closes it, by the rules of HTML 4.01.
#include "htmlparser/Element.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/HTMLElements.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

thread_local int CStartTag::s_nSkippedElementDepth = 0;

namespace
{
// Deepest nesting of skipped elements paired inside one another on the thread's stack (an html element steps
// over nested html elements, each paired by the same rules); deeper ones are paired from the inside out on a
// heap stack (PairFromInside).
constexpr int MAX_SKIPPED_ELEMENT_DEPTH = 200;

// The next start tag of a name after some position, looked for only as far as a question needs: pTag once
// found; else, while nFrom is not NPOS, nothing of the name was accepted before nFrom. Asking each nested tag
// for its successor without a bound would cost the rest of the page for every name that does not come again.
struct SNextOfName
{
    CStartTag* pTag;
    Position nFrom;
};

// Settles whether the next start tag begins at or before nLimit: afterwards pTag is set when it does.
void FindNextOfNameUpTo(CSource* pSource, const ci_string& csName, bool bSkipEmptyElementTags,
                        SNextOfName& next, Position nLimit)
{
    const bool bIsValidName = CTag::isValidName(csName);
    while (next.pTag == nullptr && next.nFrom != NPOS && next.nFrom <= nLimit)
    {
        pSource->addWork(1);
        CStartTag* pTag =
            CStartTag::findPreviousOrNext(pSource, next.nFrom, csName, bIsValidName, false, nLimit);
        if (pTag == nullptr)
        {
            next.nFrom = nLimit + 1;
            return;
        }
        if (bSkipEmptyElementTags && pTag->isEmptyElementTag())
        {
            next.nFrom = pTag->m_nEnd;
            continue;
        }
        next.pTag = pTag;
        next.nFrom = NPOS;
    }
}

struct SBalanceFrame
{
    CStartTag* pTag;     // the start tag being balanced
    SNextOfName nested;  // the next nested start tag of the name
    CEndTag* pCandidate; // the current candidate end tag
    bool bMayRemember;   // the frame started as the tag's own pairing would start
    size_t nStatesFrom;  // its states in the shared list begin here
};

bool MemoValid(const SBalanceMemo& memo, const CSource* pSource)
{
    return memo.nGeneration == pSource->m_nGeneration;
}

void Remember(SBalanceMemo& memo, const CSource* pSource, CEndTag* pCandidate, CEndTag* pEnd,
              const SNextOfName& next)
{
    memo = {pSource->m_nGeneration, next.nFrom, pCandidate, pEnd, next.pTag};
}

// Balances nested start tags of pTag's name against the end tags of the name, beginning with pCandidate.
// Every nested start tag costs a frame on a heap stack, not a level of the thread's stack. A frame's result
// depends only on its candidate and its next nested tag, so each such state is remembered in that nested tag
// when the frame ends, and a frame that reaches a remembered state ends at once.
void Balance(CStartTag* pTag, SNextOfName firstNested, CEndTag* pCandidate, bool bSkipEmptyElementTags,
             bool bMayRemember, CEndTag*& pEndTag, SNextOfName& nextStartTag)
{
    CSource* pSource = pTag->getSource();
    const ci_string csName = pTag->copyName();
    std::vector<SBalanceFrame> stack;
    // (nested tag, candidate) states the open frames passed through.
    std::vector<std::pair<CStartTag*, CEndTag*>> states;
    stack.push_back({pTag, firstNested, pCandidate, bMayRemember, 0});
    CEndTag* pResultEnd = nullptr;
    SNextOfName resultNext{nullptr, NPOS};
    bool bHaveResult = false;
    for (;;)
    {
        pSource->addWork(1);
        SBalanceFrame& frame = stack.back();
        bool bFailed = false;
        bool bKnown = false;
        CEndTag* pEnd = nullptr;
        SNextOfName next{nullptr, NPOS};
        if (bHaveResult)
        {
            // frame.nested has just been paired.
            bHaveResult = false;
            if (pResultEnd == nullptr)
                bFailed = true;
            else
            {
                frame.pCandidate = pSource->findNextEndTag(pResultEnd->m_nEnd, csName);
                frame.nested = resultNext;
            }
        }
        if (!bFailed)
        {
            if (frame.pCandidate == nullptr)
                bFailed = true;
            else
            {
                FindNextOfNameUpTo(pSource, csName, bSkipEmptyElementTags, frame.nested,
                                   frame.pCandidate->m_nBegin);
                if (frame.nested.pTag != nullptr && frame.nested.pTag->m_nBegin <= frame.pCandidate->m_nBegin)
                {
                    CStartTag* pNested = frame.nested.pTag;
                    CEndTag* pNestedCandidate = frame.pCandidate;
                    const SBalanceMemo& fromHere = pNested->balanceFromHere();
                    if (MemoValid(fromHere, pSource) && fromHere.pCandidate == pNestedCandidate)
                    {
                        bKnown = true;
                        pEnd = fromHere.pEnd;
                        next = {fromHere.pNext, fromHere.nNextFrom};
                    }
                    else
                    {
                        states.emplace_back(pNested, pNestedCandidate);
                        // A nested tag that lies before the candidate starts its own pairing with that
                        // candidate.
                        const bool bNatural = pNestedCandidate->m_nBegin >= pNested->m_nEnd;
                        if (bNatural && MemoValid(pNested->nestedMatch(), pSource))
                        {
                            pResultEnd = pNested->nestedMatch().pEnd;
                            resultNext = {pNested->nestedMatch().pNext, pNested->nestedMatch().nNextFrom};
                            bHaveResult = true;
                            continue;
                        }
                        stack.push_back(
                            {pNested, {nullptr, pNested->m_nEnd}, pNestedCandidate, bNatural, states.size()});
                        continue;
                    }
                }
            }
        }
        if (!bKnown)
        {
            pEnd = bFailed ? nullptr : frame.pCandidate;
            next = bFailed ? SNextOfName{nullptr, NPOS} : frame.nested;
        }
        if (frame.bMayRemember)
            Remember(frame.pTag->memos().nestedMatch, pSource, nullptr, pEnd, next);
        for (size_t i = frame.nStatesFrom; i < states.size(); ++i)
            Remember(states[i].first->memos().balanceFromHere, pSource, states[i].second, pEnd, next);
        states.resize(frame.nStatesFrom);
        stack.pop_back();
        if (stack.empty())
        {
            pEndTag = pEnd;
            nextStartTag = next;
            return;
        }
        pResultEnd = pEnd;
        resultNext = next;
        bHaveResult = true;
    }
}

CEndTag* EmptyEndTagAt(CStartTag* pTag, Position nPos)
{
    return pTag->getSource()->emptyEndTagAt(nPos, *pTag);
}

// Where a rule names few tags, an optional-end search asks the name index for each of them instead of
// walking every tag: a page of nested elements of names the rule never stops at would otherwise cost a tag
// object per tag for every such search. Each name costs a search of its own once per tag of it passed, and
// every name once more after each element stepped over; beyond a few names that outweighs building the
// tags in between, and the name index keeps its fast runs for only a few names at a time.
constexpr size_t MAX_NAMED_SEARCHES = 6;

struct SRuleName
{
    bool bStart;
    ci_string csName;
    // Whether the search ends at a tag of the name (an end tag, a closing start tag that is not skipped).
    bool bStops;
};

// Per element index with a rule: the names whose tags its search can stop at or step over (start tags of
// skipped, closing and its own name; end tags of closing and its own name); empty when there are too many.
const std::vector<SRuleName>* NamesOfRule(uint64_t nIndex)
{
    // By element index: asked once per search, which on nested pages is a step or two.
    static const std::vector<std::vector<SRuleName>> s_Names = []
    {
        std::vector<std::vector<SRuleName>> names;
        for (const auto& [nOwn, rule] : CHTMLElements::getData()->m_OptionalEndTagRules)
        {
            const uint64_t nWords =
                std::max({rule.m_ClosingStartTags.getWordCount(), rule.m_ClosingEndTags.getWordCount(),
                          rule.m_SkippedElements.getWordCount(), nOwn / 32 + 1});
            std::vector<SRuleName> list;
            bool bNamed = true;
            for (uint64_t i = 0; i < nWords * 32 && bNamed; ++i)
            {
                const bool bStart =
                    i == nOwn || rule.m_SkippedElements.contains(i) || rule.m_ClosingStartTags.contains(i);
                const bool bEnd = i == nOwn || rule.m_ClosingEndTags.contains(i);
                if (!bStart && !bEnd)
                    continue;
                const std::string* pName = CHTMLElementName::getName(i);
                if (pName == nullptr || !CTag::isValidName(ci_string(pName->data(), pName->size())))
                {
                    bNamed = false;
                    break;
                }
                if (bStart)
                    list.push_back(
                        {true, ci_string(pName->data(), pName->size()),
                         rule.m_ClosingStartTags.contains(i) && !rule.m_SkippedElements.contains(i)});
                if (bEnd)
                    list.push_back({false, ci_string(pName->data(), pName->size()), true});
            }
            if (!bNamed || list.size() > MAX_NAMED_SEARCHES)
                list.clear();
            if (names.size() <= nOwn)
                names.resize(nOwn + 1);
            names[nOwn] = std::move(list);
        }
        return names;
    }();
    return nIndex < s_Names.size() && !s_Names[nIndex].empty() ? &s_Names[nIndex] : nullptr;
}

// The tags of a rule's names from a position on, nearest first. The walk meets every tag beginning at or
// after its position in text order, and these searches look tags up the same way (through the cache or
// not, before or after a full parse), so the nearest answer is the first tag of those names the walk would
// meet. Each name's answer is kept until the position passes it: positions only grow within one search.
class CNamedTags
{
public:
    CNamedTags(CSource* pSource, const std::vector<SRuleName>& names) : m_pSource(pSource)
    {
        // NamesOfRule keeps no longer lists.
        for (size_t i = 0; i < names.size() && i < MAX_NAMED_SEARCHES; ++i)
            m_Slots[m_nSlots++] = {&names[i], NPOS, nullptr};
    }

    CTag* next(Position p)
    {
        CTag* pNearest = nullptr;
        for (size_t i = 0; i < m_nSlots; ++i)
        {
            SSlot& slot = m_Slots[i];
            if (slot.nFrom == NPOS || slot.nFrom > p || (slot.pNext != nullptr && slot.pNext->m_nBegin < p))
            {
                m_pSource->addWork(1);
                slot.nFrom = p;
                const ci_string& csName = slot.pName->csName;
                slot.pNext =
                    slot.pName->bStart
                        ? static_cast<CTag*>(CStartTag::findPreviousOrNext(m_pSource, p, csName, true, false))
                        : static_cast<CTag*>(m_pSource->findNextEndTag(p, csName));
            }
            if (slot.pNext != nullptr && (pNearest == nullptr || slot.pNext->m_nBegin < pNearest->m_nBegin))
                pNearest = slot.pNext;
        }
        return pNearest;
    }

    // Whether a tag the search ends at lies ahead of the position next() was last asked for. When none does,
    // the search can only step over skipped elements and same-name tags up to the source's end, which is
    // where it ends: nested skipped elements need not be paired for that.
    bool stopAhead() const
    {
        for (size_t i = 0; i < m_nSlots; ++i)
        {
            if (m_Slots[i].pName->bStops && m_Slots[i].pNext != nullptr)
                return true;
        }
        return false;
    }

private:
    struct SSlot
    {
        const SRuleName* pName;
        Position nFrom; // where its answer was looked for from; NPOS: not yet
        CTag* pNext;    // the first tag of the name at or after nFrom, or null
    };
    CSource* m_pSource;
    std::array<SSlot, MAX_NAMED_SEARCHES> m_Slots{};
    size_t m_nSlots = 0;
};

// The names a search of pTag's rule may look for one by one; null when it walks every tag: with the log on
// the walk writes a line for every tag it builds or refuses.
const std::vector<SRuleName>* NamedSearchOf(const CStartTag* pTag)
{
    const CSource* pSource = pTag->getSource();
    if (!pSource->m_bNamedOptionalEndSearch || ParserTraceOn() || pTag->m_nNameInd < 0)
        return nullptr;
    // The name index leaves a text longer than it can address unindexed.
    if (pSource->m_nEnd - pSource->m_nBegin > CTagNameIndex::MAX_LENGTH)
        return nullptr;
    return NamesOfRule(static_cast<uint64_t>(pTag->m_nNameInd));
}

// The first tag a search meets from nPos on: of the rule's names when pNamed is set, else of any kind.
CTag* NextMet(CSource* pSource, CNamedTags* pNamed, Position nPos)
{
    return pNamed != nullptr ? pNamed->next(nPos) : CTag::findPreviousOrNextTag(pSource, nPos, false);
}

// The first start tag of a skipped element still without its element that the optional-end search of pTag
// (by its rule) meets from nFrom on before it stops; null when it meets none. nFrom advances over what was
// walked, up to that tag, so that asking again after it is paired goes on from there.
CStartTag* FirstUnpairedSkipped(CStartTag* pTag, const OptionalEndTagRule& rule, Position& nFrom)
{
    CSource* pSource = pTag->getSource();
    const Position nSourceEnd = pSource->m_nEnd;
    const auto nIndex = static_cast<uint64_t>(pTag->m_nNameInd);
    const std::vector<SRuleName>* pNames = NamedSearchOf(pTag);
    std::optional<CNamedTags> named;
    if (pNames != nullptr)
        named.emplace(pSource, *pNames);
    CNamedTags* pNamed = named ? &*named : nullptr;
    while (nFrom < nSourceEnd)
    {
        pSource->addWork(1);
        CTag* pFound = NextMet(pSource, pNamed, nFrom);
        if (pFound == nullptr)
            break;
        const auto nTagIndex = static_cast<uint64_t>(pFound->m_nNameInd);
        if (pFound->isStartTag())
        {
            auto* pStart = static_cast<CStartTag*>(pFound);
            if (rule.m_SkippedElements.contains(nTagIndex))
            {
                if (!pStart->m_bElementSet)
                    return pStart;
                CElement* pElement = pStart->getElement();
                nFrom = pElement != nullptr && pElement->getEnd() > pFound->getBegin() ? pElement->getEnd()
                                                                                       : pFound->m_nBegin + 1;
                continue;
            }
            if (rule.m_ClosingStartTags.contains(nTagIndex))
                break;
        }
        else if ((pFound->m_nNameInd == pTag->m_nNameInd && nIndex != NO_NAME_INDEX) ||
                 rule.m_ClosingEndTags.contains(nTagIndex))
            break;
        nFrom = pFound->m_nBegin + 1;
    }
    nFrom = nSourceEnd;
    return nullptr;
}

// Pairs a skipped element met beyond the depth bound without going deeper: the skipped elements that its
// search would pair on the way are paired first, innermost first, from a heap stack. Every element so gets
// the answer it has when it is asked on its own, whichever tag was asked first.
CElement* PairFromInside(CStartTag* pTag)
{
    struct SPending
    {
        CStartTag* pTag;
        Position nFrom;
    };
    std::vector<SPending> pending{{pTag, pTag->m_nEnd}};
    CSource* const pSource = pTag->getSource();
    while (!pending.empty())
    {
        pSource->addWork(1);
        CStartTag* pTop = pending.back().pTag;
        const OptionalEndTagRule* pRule =
            pTop->getStartTagType() == CStartTagType::getNormal()
                ? CHTMLElements::getOptionalEndTagRule(static_cast<uint64_t>(pTop->m_nNameInd))
                : nullptr;
        if (!pTop->m_bElementSet && pRule != nullptr)
        {
            if (CStartTag* pInner = FirstUnpairedSkipped(pTop, *pRule, pending.back().nFrom))
            {
                pending.push_back({pInner, pInner->m_nEnd});
                continue;
            }
        }
        // Every skipped element its search meets is paired: the search goes no deeper.
        pTop->getElement();
        pending.pop_back();
    }
    return pTag->getElement();
}
} // namespace

bool CStartTag::isEmptyElementTag() const
{
    if (getStartTagType() != CStartTagType::getNormal() || m_nEnd - m_nBegin < 2)
        return false;
    return getSource()->m_pText[m_nEnd - 2] == '/';
}

CEndTag* CStartTag::findEndTagInternal()
{
    CSource* const pSource = getSource();
    const ci_string csName = copyName();
    const uint64_t nIndex = static_cast<uint64_t>(m_nNameInd);
    const CHTMLElementsSingletonData* pData = CHTMLElements::getData();
    bool bSkipEmptyElementTags = true;
    CEndTagType* pEndTagType = getStartTagType()->m_pCorrespondingEndTagType;
    if (getStartTagType() == CStartTagType::getNormal())
    {
        if (const OptionalEndTagRule* pRule = CHTMLElements::getOptionalEndTagRule(nIndex))
        {
            CEndTag* pEnd = findOptionalEndTag(*pRule);
            if (pEnd == nullptr)
                TraceLog("[CStartTag::findEndTagInternal] findOptionalEndTag failed. Start tag <%s> nBegin "
                         "<%d> nEnd "
                         "<%d>.",
                         csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
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

    CEndTag* pCandidate = pSource->findNextEndTag(m_nEnd, csName, pEndTagType);
    if (pCandidate != nullptr)
    {
        if (pData->m_NonNestable.contains(nIndex))
        {
            CStartTag* pNested = CStartTag::findPreviousOrNext(
                pSource, m_nEnd, csName, CTag::isValidName(csName), false, pCandidate->m_nBegin);
            if (pNested == nullptr)
                return pCandidate;
            TraceLog("[CStartTag::findEndTagInternal] StartTag <%s> at <%d> missing required end tag - "
                     "invalid nested "
                     "start tag encountered before and tag.",
                     csName.c_str(), LogPos(m_nBegin));
            CEndTag* pEmpty = EmptyEndTagAt(this, pNested->m_nBegin);
            if (pEmpty == nullptr)
                TraceLog("[CStartTag::findEndTagInternal] CEndTag::CREATE_NEW_INST() failed when creating an "
                         "empty end "
                         "tag at <%d>. Start tag <%s> nBegin <%d> nEnd <%d>.",
                         LogPos(pNested->m_nBegin), csName.c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
            return pEmpty;
        }
        CEndTag* pEnd = nullptr;
        findNestedEndTag(pCandidate, bSkipEmptyElementTags, pEnd);
        if (pEnd != nullptr)
            return pEnd;
    }
    TraceLog("[CStartTag::findEndTagInternal] StartTag <%s> at <%d> missing required end tag.",
             csName.c_str(), LogPos(m_nBegin));
    return nullptr;
}

void CStartTag::findNestedEndTag(CEndTag* pCandidate, bool bSkipEmptyElementTags, CEndTag*& pEndTag)
{
    const bool bNatural = pCandidate != nullptr && pCandidate->m_nBegin >= m_nEnd;
    if (bNatural && MemoValid(nestedMatch(), getSource()))
    {
        pEndTag = nestedMatch().pEnd;
        return;
    }
    SNextOfName next{nullptr, NPOS};
    Balance(this, {nullptr, m_nEnd}, pCandidate, bSkipEmptyElementTags, bNatural, pEndTag, next);
}

void CStartTag::matchNestedStartTags(CStartTag* pFirstNested, CEndTag* pCandidate, bool bSkipEmptyElementTags,
                                     CEndTag*& pEndTag, CStartTag*& pNextStartTag)
{
    SNextOfName next{nullptr, NPOS};
    Balance(this, {pFirstNested, NPOS}, pCandidate, bSkipEmptyElementTags, false, pEndTag, next);
    if (pEndTag != nullptr)
    {
        CSource* const pSource = getSource();
        FindNextOfNameUpTo(pSource, copyName(), bSkipEmptyElementTags, next, pSource->m_nEnd);
    }
    pNextStartTag = next.pTag;
}

CEndTag* CStartTag::findOptionalEndTag(const OptionalEndTagRule& rule)
{
    CSource* const pSource = getSource();
    const Position nSourceEnd = pSource->m_nEnd;
    const uint64_t nIndex = static_cast<uint64_t>(m_nNameInd);
    Position p = m_nEnd;
    CTag* pCloser = nullptr;
    CEndTag* pOwnEnd = nullptr;
    // Start tags of this name met on the way (say repeated <head> without closers): their own searches, by
    // the same rule, would walk the same tags from there and stop where this one stops, so they remember
    // that place, and a search meeting one that already knows it jumps there. Without this every one of
    // them would walk to the page end.
    std::vector<CStartTag*> sameName;
    CStartTag* pPendingSame = nullptr;
    const std::vector<SRuleName>* pNames = NamedSearchOf(this);
    std::optional<CNamedTags> named;
    if (pNames != nullptr)
        named.emplace(pSource, *pNames);
    CNamedTags* pNamed = named ? &*named : nullptr;
    while (p < nSourceEnd)
    {
        pSource->addWork(1);
        CTag* pTag = NextMet(pSource, pNamed, p);
        if (pTag == nullptr || (pNamed != nullptr && !pNamed->stopAhead()))
            break;
        // A tag met inside the last same-name start tag (in a quoted value) is not seen by that tag's own
        // search, which begins after it: its search cannot be told apart from this one's then.
        if (pPendingSame != nullptr && pTag->m_nBegin >= pPendingSame->m_nEnd)
            sameName.push_back(pPendingSame);
        pPendingSame = nullptr;
        const uint64_t nTagIndex = static_cast<uint64_t>(pTag->m_nNameInd);
        if (pTag->isStartTag())
        {
            auto* pStart = static_cast<CStartTag*>(pTag);
            if (rule.m_SkippedElements.contains(nTagIndex))
            {
                CElement* pElement = nullptr;
                if (s_nSkippedElementDepth < MAX_SKIPPED_ELEMENT_DEPTH)
                {
                    ++s_nSkippedElementDepth;
                    pElement = pStart->getElement();
                    --s_nSkippedElementDepth;
                }
                else
                    pElement = PairFromInside(pStart);
                // An element that cannot be built is searched through like any other.
                p = pElement != nullptr && pElement->getEnd() > pTag->getBegin() ? pElement->getEnd()
                                                                                 : pTag->m_nBegin + 1;
                continue;
            }
            else if (rule.m_ClosingStartTags.contains(nTagIndex))
            {
                pCloser = pTag;
                break;
            }
            else if (pStart->m_nNameInd == m_nNameInd && nIndex != NO_NAME_INDEX && pStart != this &&
                     pStart->getStartTagType() == getStartTagType())
            {
                // A stop found before a full parse may have been found among other tags.
                const SPairingState* pSameState = pStart->pairingIfAny();
                const bool bKnownStop = pSameState != nullptr && pSameState->nOptionalEndSearchStop != NPOS &&
                                        pSameState->nOptionalEndGeneration == pSource->m_nGeneration;
                // Whether a tag begins inside this one decides; the named search does not meet the tag that
                // follows, so it asks, looking inside the tag alone: the walk builds the tags up to the
                // next one at any rate, the named search would build them only for this.
                if (bKnownStop || pNamed != nullptr)
                {
                    CTag* pAfter = nullptr;
                    if (pNamed != nullptr)
                        pAfter = CTag::findPreviousOrNextTagUncached(pSource, pTag->m_nBegin + 1, false,
                                                                     pStart->m_nEnd);
                    else if (pTag->m_nBegin + 1 < nSourceEnd)
                        pAfter = CTag::findPreviousOrNextTag(pSource, pTag->m_nBegin + 1, false);
                    const bool bNoneInside = pAfter == nullptr || pAfter->m_nBegin >= pStart->m_nEnd;
                    if (bKnownStop && bNoneInside)
                    {
                        p = pSameState->nOptionalEndSearchStop;
                        continue;
                    }
                    if (!bKnownStop && bNoneInside)
                        sameName.push_back(pStart);
                }
                else
                    pPendingSame = pStart;
            }
        }
        else
        {
            if (pTag->m_nNameInd == m_nNameInd && nIndex != NO_NAME_INDEX)
            {
                pOwnEnd = static_cast<CEndTag*>(pTag);
                break;
            }
            if (rule.m_ClosingEndTags.contains(nTagIndex))
            {
                pCloser = pTag;
                break;
            }
        }
        p = pTag->m_nBegin + 1;
    }
    if (pPendingSame != nullptr)
        sameName.push_back(pPendingSame);
    {
        const Position nStop = pOwnEnd != nullptr ? pOwnEnd->getBegin()
                                                  : (pCloser != nullptr ? pCloser->getBegin() : nSourceEnd);
        const CSourceGeneration nGeneration = pSource->m_nGeneration;
        pairing().nOptionalEndSearchStop = nStop;
        pairing().nOptionalEndGeneration = nGeneration;
        for (CStartTag* pSame : sameName)
        {
            pSame->pairing().nOptionalEndSearchStop = nStop;
            pSame->pairing().nOptionalEndGeneration = nGeneration;
        }
    }
    if (pOwnEnd != nullptr)
        return pOwnEnd;
    if (pCloser != nullptr)
    {
        CEndTag* pEmpty = EmptyEndTagAt(this, pCloser->m_nBegin);
        if (pEmpty == nullptr)
            TraceLog("[CStartTag::findOptionalEndTag] CEndTag::CREATE_NEW_INST() failed when creating an "
                     "empty end tag "
                     "at <%d>. Start tag <%s> nBegin <%d> nEnd <%d>",
                     LogPos(pCloser->m_nBegin), getName().c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
        return pEmpty;
    }
    CEndTag* pEmpty = EmptyEndTagAt(this, nSourceEnd);
    if (pEmpty == nullptr)
        TraceLog("[CStartTag::findOptionalEndTag] CEndTag::CREATE_NEW_INST() failed when creating an empty "
                 "end tag at "
                 "the end of the source document. Start tag <%s> nBegin <%d> nEnd <%d> .",
                 getName().c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
    return pEmpty;
}
