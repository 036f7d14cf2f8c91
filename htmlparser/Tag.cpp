#include "htmlparser/Tag.h"

#include "htmlparser/Attributes.h"
#include "htmlparser/Element.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/Source.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace
{
// Longest name read from the page when asked for instead of kept: one a copy holds without memory of its own.
constexpr size_t MAX_PAGE_NAME_LENGTH = 15;
} // namespace

// A page holds a tag object for nearly every '<' it has: a field added to a tag costs every page that much.
static_assert(sizeof(void*) != 8 || (sizeof(CStartTag) <= 48 && sizeof(CEndTag) <= 32));

CTag::CTag(CSource* pSource, Position nBegin, Position nEnd, const ci_string& csName, Position nNameAt)
    : CSegment(pSource, nBegin, nEnd, false),
      m_nNameInd(nameIndexOf(std::string_view(csName.data(), csName.size()))),
      m_nNameRef(CSource::sharedTagName(csName, m_nNameInd))
{
    if (m_nNameRef != CSource::NAME_UNREAD)
        return;
    if (csName.size() <= MAX_PAGE_NAME_LENGTH && nNameAt <= pSource->m_nEnd &&
        csName.size() <= pSource->m_nEnd - nNameAt &&
        std::memcmp(pSource->m_pText + nNameAt, csName.data(), csName.size()) == 0)
        m_nPageNameLength = static_cast<uint8_t>(csName.size() & 0xF);
    else
        m_nNameRef = pSource->holdTagName(csName, m_nNameInd);
}

const ci_string& CTag::getName() const
{
    // Most tags have an element name, asked for again and again while tags are paired: it is found
    // without a call, and without a look at the source.
    static const ci_string* const s_pListed = CSource::listedTagNames();
    if (m_nNameRef == CSource::NAME_LISTED)
        return s_pListed[m_nNameInd];
    if (m_nNameRef == CSource::NAME_UNREAD)
        m_nNameRef = readName();
    return m_nNameRef < CSource::NAME_HELD ? CSource::sharedName(m_nNameRef, m_nNameInd)
                                           : getSource()->tagName(m_nNameRef, m_nNameInd);
}

ci_string CTag::copyName() const
{
    if (m_nPageNameLength == 0 || m_nNameRef != CSource::NAME_UNREAD)
        return getName();
    return ci_string(getSource()->m_pText + m_nBegin + getTagType()->m_sNamePrefix.size(), m_nPageNameLength);
}

size_t CTag::nameLength() const
{
    return m_nPageNameLength != 0 && m_nNameRef == CSource::NAME_UNREAD ? m_nPageNameLength
                                                                        : getName().size();
}

int64_t CTag::getAllTagsIndex() const
{
    const CSource* pSource = getSource();
    if (!pSource->m_bAllTagsSet)
        return -1;
    const std::vector<CTag*>& tags = pSource->m_AllTags;
    const auto it = std::lower_bound(tags.begin(), tags.end(), m_nBegin,
                                     [](const CTag* pTag, Position nPos) { return pTag->m_nBegin < nPos; });
    return it != tags.end() && *it == this ? it - tags.begin() : -1;
}

int16_t CTag::nameIndexOf(std::string_view sName)
{
    const uint64_t nIndex = CHTMLElementName::getNameIndex(sName);
    return nIndex < static_cast<uint64_t>(INT16_MAX) ? static_cast<int16_t>(nIndex) : int16_t{-1};
}

uint32_t CTag::readName() const
{
    if (m_nPageNameLength != 0)
        return getSource()->holdTagName(copyName(), m_nNameInd);
    const CTagType* pType = getTagType();
    const Position nFrom = m_nBegin + pType->m_sStartDelimiter.size();
    const Position nTo = m_nEnd - pType->m_sEndDelimiter.size();
    const Position nLength = nTo > nFrom ? std::min(nTo - nFrom, MAX_LOGGED_TEXT) : 0;
    CSource* const pSource = getSource();
    return pSource->holdTagName(ci_string(pSource->m_pText + nFrom, static_cast<size_t>(nLength)),
                                m_nNameInd);
}

bool CTag::checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd)
{
    if (!CSegment::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog(
            "[CTag::checkConstructorArgs] CSegment::checkConstructorArgs() failed. nBegin <%d> nEnd <%d> .",
            LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    return true;
}

bool CTag::isValidName(const ci_string& csName)
{
    if (csName.empty() || !IsNameStartChar(static_cast<unsigned char>(csName[0])))
        return false;
    return std::all_of(csName.begin() + 1, csName.end(),
                       [](char c) { return IsNameChar(static_cast<unsigned char>(c)); });
}

// ---------------------------------------------------------------------------------------------------------
// Start tags

CStartTag::CStartTag(CStartTagType* pStartTagType, CSource* pSource, Position nBegin, Position nEnd,
                     const ci_string& csName, CAttributes* pAttributes)
    : CTag(pSource, nBegin, nEnd, csName,
           nBegin + (pStartTagType != nullptr ? pStartTagType->m_sNamePrefix.size() : 0)),
      m_pAttributes(pAttributes)
{
    m_nTypeIndex = pStartTagType != nullptr ? pStartTagType->getIndex() : 0;
    static CStartTagType* const s_pUnregistered = CStartTagType::getUnregistered();
    m_bUnregistered = pStartTagType == s_pUnregistered;
}

bool CStartTag::checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd,
                                     const CStartTagType* pStartTagType, const ci_string& csName,
                                     const CAttributes* pAttributes)
{
    if (!CTag::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog(
            "[CStartTag::checkConstructorArgs] CTag::checkConstructorArgs() failed. nBegin <%d> nEnd <%d> "
            "csName <%s>.",
            LogPos(nBegin), LogPos(nEnd), csName.c_str());
        return false;
    }
    if (pStartTagType == nullptr)
    {
        TraceLog(
            "[CStartTag::checkConstructorArgs] pStartTagTypes is 0. nBegin <%d> nEnd <%d> csName <%s> . ",
            LogPos(nBegin), LogPos(nEnd), csName.c_str());
        return false;
    }
    if (pAttributes != nullptr && pAttributes->getSource() != pSource)
    {
        TraceLog(
            "[CStartTag::checkConstructorArgs] pAttributes's source differs from pSource. nBegin <%d> nEnd "
            "<%d> csName <%s>.",
            LogPos(nBegin), LogPos(nEnd), csName.c_str());
        return false;
    }
    return true;
}

CStartTag* CStartTag::CREATE_NEW_INST(CStartTagType* pStartTagType, CSource* pSource, Position nBegin,
                                      Position nEnd, const ci_string& csName, CAttributes* pAttributes)
{
    if (!checkConstructorArgs(pSource, nBegin, nEnd, pStartTagType, csName, pAttributes))
    {
        TraceLog(
            "[CStartTag::CREATE_NEW_INST] checkConstructorArgs() failed. nBegin <%d> nEnd <%d> csName <%s> .",
            LogPos(nBegin), LogPos(nEnd), csName.c_str());
        return nullptr;
    }
    return pSource->tryMake<CStartTag>(pStartTagType, pSource, nBegin, nEnd, csName,
                                       pAttributes); // owned by the source
}

CTagType* CStartTag::getTagType() const
{
    return getStartTagType();
}

CAttributes* CStartTag::getAttributes()
{
    return getAttributes(2);
}

CAttributes* CStartTag::getAttributes(size_t nMaxErrorCount)
{
    if (CAttributes* pAttributes = m_pAttributes.get())
        return pAttributes;
    if (getStartTagType() == nullptr)
        return nullptr;
    CSource* const pSource = getSource();
    const Position nFrom = m_nBegin + nameLength() + 1;
    const size_t nDelimiter = getStartTagType()->m_sEndDelimiter.size();
    if (m_nEnd < nDelimiter || m_nEnd - nDelimiter <= nFrom)
        return nullptr;
    const Position nTo = m_nEnd - nDelimiter;
    Position nStart = NPOS;
    for (Position p = nFrom; p < nTo; ++p)
    {
        if (IsNameStartChar(static_cast<unsigned char>(pSource->m_pText[p])))
        {
            nStart = p;
            break;
        }
    }
    if (nStart == NPOS)
        return nullptr;
    return CAttributes::construct(pSource, "Attributes for StartTag", 1, m_nBegin, nStart, nTo,
                                  getStartTagType(), getName(), m_nNameInd, nMaxErrorCount);
}

CAttributes* CLazyAttributes::get() const
{
    if (!isPending())
        return reinterpret_cast<CAttributes*>(m_nValue);
    auto* pOwner = reinterpret_cast<CStartTag*>(m_nValue & ~static_cast<uintptr_t>(1));
    m_nValue = reinterpret_cast<uintptr_t>(pOwner->readAttributes());
    return reinterpret_cast<CAttributes*>(m_nValue);
}

CAttributes* CStartTag::readAttributes()
{
    return CAttributes::constructQuietly(getSource(), "StartTag", 0, m_nBegin, NPOS, NPOS, getStartTagType(),
                                         getName(), m_nNameInd, 2);
}

CElement* CStartTag::getElement()
{
    if (m_bElementSet)
        return m_pElement;
    CEndTag* pEndTag = findEndTagInternal();
    CElement* pElement = CElement::CREATE_NEW_INST(getSource(), this, pEndTag);
    if (pElement == nullptr)
        TraceLog("[CStartTag::getElement] CElement::CREATE_NEW_INST() failed. Start tag <%s> nBegin <%d> "
                 "nEnd <%d>.",
                 getName().c_str(), LogPos(m_nBegin), LogPos(m_nEnd));
    m_pElement = pElement;
    m_bElementSet = true;
    // An end tag of no length is not in the page (see CSource::emptyEndTagAt): nothing can ask it for its
    // element.
    if (pEndTag != nullptr && pEndTag->m_nBegin != pEndTag->m_nEnd)
    {
        if (pEndTag->m_bElementSet)
            TraceLog("[CStartTag::getElement] EndTag <%s> at pos <%d> terminates more than one element.",
                     pEndTag->getName().c_str(), LogPos(pEndTag->m_nBegin));
        pEndTag->m_bElementSet = true;
        pEndTag->m_pElement = pElement;
    }
    return pElement;
}

Position CStartTag::getElementReach()
{
    CElement* pElement = getElement();
    return pElement != nullptr ? pElement->m_nEnd : m_nBegin;
}

CStartTag* CStartTag::getOuterStartTag()
{
    CSource* pSource = getSource();
    const CSourceGeneration nGeneration = pSource->m_nGeneration;
    // The nearest earlier start tag that reaches further is found by walking back through the outer tags
    // of the tags in between; a tag whose own outer tag is not known yet is settled first, on a heap stack,
    // so that the walks together cost each tag about once.
    struct SPending
    {
        CStartTag* pTag;
        CStartTag* pCursor;
    };
    auto previous = [pSource](CStartTag* pTag) -> CStartTag*
    {
        if (pTag->m_nBegin <= pSource->m_nBegin)
            return nullptr;
        return CStartTag::findPreviousOrNext(pSource, pTag->m_nBegin - 1, ci_string(), false, true);
    };
    std::vector<SPending> pending;
    if (pairing().nOuterGeneration != nGeneration)
        pending.push_back({this, previous(this)});
    while (!pending.empty())
    {
        SPending& top = pending.back();
        const Position nReach = top.pTag->getElementReach();
        CStartTag* pCursor = top.pCursor;
        bool bWaiting = false;
        while (pCursor != nullptr && pCursor->getElementReach() <= nReach)
        {
            pSource->addWork(1);
            if (pCursor->pairing().nOuterGeneration != nGeneration)
            {
                top.pCursor = pCursor;
                pending.push_back({pCursor, previous(pCursor)});
                bWaiting = true;
                break;
            }
            pCursor = pCursor->pairing().pOuterStartTag;
        }
        if (bWaiting)
            continue;
        top.pTag->pairing().pOuterStartTag = pCursor;
        top.pTag->pairing().nOuterGeneration = nGeneration;
        pending.pop_back();
    }
    return pairing().pOuterStartTag;
}

SPairingState& CStartTag::pairing()
{
    if (m_pPairing == nullptr)
        m_pPairing = getSource()->make<SPairingState>();
    return *m_pPairing;
}

SBalanceMemos& CStartTag::memos()
{
    SPairingState& state = pairing();
    if (state.pMemos == nullptr)
        state.pMemos = getSource()->make<SBalanceMemos>();
    return *state.pMemos;
}

namespace
{
const SBalanceMemo s_NoMemo{};

// The registered tag at the name index's nearest place of the kind that accept takes (the index offers the
// places where the whole name stands; tags of no registered type are refused), or null.
template <class TAccept>
CTag* FindThroughNameIndex(CSource* pSource, CTagNameIndex::EKind eKind, const ci_string& csName,
                           Position nPos, Position nLimit, bool bPrevious, TAccept accept)
{
    CTag* pFound = nullptr;
    pSource->getTagNameIndex().find(eKind, std::string_view(csName.data(), csName.size()),
                                    bPrevious ? nPos : std::max(nPos, pSource->getBegin()), nLimit, bPrevious,
                                    [&](Position p)
                                    {
                                        pFound = CTag::getRegisteredTagAt(pSource, p);
                                        return accept(pFound);
                                    });
    return accept(pFound) ? pFound : nullptr;
}
} // namespace

const SBalanceMemo& CStartTag::nestedMatch() const
{
    return m_pPairing != nullptr && m_pPairing->pMemos != nullptr ? m_pPairing->pMemos->nestedMatch
                                                                  : s_NoMemo;
}

const SBalanceMemo& CStartTag::balanceFromHere() const
{
    return m_pPairing != nullptr && m_pPairing->pMemos != nullptr ? m_pPairing->pMemos->balanceFromHere
                                                                  : s_NoMemo;
}

CStartTag* CStartTag::findPreviousOrNext(CSource* pSource, Position nPos, bool bPrevious)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTag::findPreviousOrNext] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    CTag* pTag = CTag::findPreviousOrNextTag(pSource, nPos, bPrevious);
    while (pTag != nullptr)
    {
        pSource->addWork(1);
        if (pTag->isStartTag())
            return static_cast<CStartTag*>(pTag);
        // Asking again from the next byte would find the same end tag until its begin is passed: go there.
        Position nNext;
        if (bPrevious)
        {
            if (pTag->m_nBegin <= pSource->m_nBegin)
                return nullptr;
            nNext = pTag->m_nBegin - 1;
        }
        else
        {
            nNext = pTag->m_nBegin + 1;
            if (nNext >= pSource->m_nEnd)
                return nullptr;
        }
        pTag = CTag::findPreviousOrNextTag(pSource, nNext, bPrevious);
    }
    return nullptr;
}

CStartTag* CStartTag::findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csSearchName,
                                         bool bIsValidName, bool bPrevious)
{
    return findPreviousOrNext(pSource, nPos, csSearchName, bIsValidName, bPrevious, NPOS);
}

CStartTag* CStartTag::findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csSearchName,
                                         bool bIsValidName, bool bPrevious, Position nLimit)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTag::findPreviousOrNext] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (csSearchName.empty())
        return findPreviousOrNext(pSource, nPos, bPrevious);
    if (csSearchName[0] == '/')
    {
        TraceLog(
            "[CStartTag::findPreviousOrNext] csSearchName argument \"%s\" must not start with '/' character.",
            csSearchName.c_str());
        return nullptr;
    }
    const unsigned char cLast = static_cast<unsigned char>(csSearchName.back());
    const bool bPrefixSearch =
        !(IsAsciiLetter(cLast) || IsAsciiDigit(cLast) || cLast == '.' || cLast == '-' || cLast == '_');
    auto accept = [&](CTag* pTag)
    {
        if (pTag == nullptr || !pTag->isStartTag())
            return false;
        auto* pStart = static_cast<CStartTag*>(pTag);
        if (bIsValidName && pStart->isUnregistered())
            return false;
        return !pStart->getStartTagType()->m_bIsNameRequired || pStart->nameLength() <= csSearchName.size() ||
               bPrefixSearch;
    };
    if (bIsValidName && !bPrefixSearch && CTag::isValidName(csSearchName))
    {
        // Only a start tag whose whole name is the one searched is accepted: the name index offers exactly
        // those places.
        return static_cast<CStartTag*>(FindThroughNameIndex(pSource, CTagNameIndex::START_TAG, csSearchName,
                                                            nPos, nLimit, bPrevious, accept));
    }
    std::string sPattern(1, '<');
    sPattern.append(csSearchName.data(), csSearchName.size());
    // A tag of no registered type is built only when it might be the answer.
    auto tagAt = [&](Position p)
    { return bIsValidName ? CTag::getRegisteredTagAt(pSource, p) : CTag::getTagAt(pSource, p); };
    CDelimiterIndex& index = pSource->getDelimiterIndex();
    if (!bPrevious)
    {
        Position p = index.findNextText(sPattern.c_str(), std::max(nPos, pSource->getBegin()), nLimit);
        while (p != NPOS)
        {
            pSource->addWork(1);
            CTag* pTag = tagAt(p);
            if (accept(pTag))
                return static_cast<CStartTag*>(pTag);
            p = index.findNextText(sPattern.c_str(), p + 1, nLimit);
        }
        return nullptr;
    }
    Position p = index.findPreviousText(sPattern.c_str(), nPos);
    while (p != NPOS)
    {
        pSource->addWork(1);
        CTag* pTag = tagAt(p);
        if (accept(pTag))
            return static_cast<CStartTag*>(pTag);
        // The search goes on two bytes lower; it stops rather than wrap below the source's begin.
        if (p < pSource->m_nBegin + 2)
            return nullptr;
        p = index.findPreviousText(sPattern.c_str(), p - 2);
    }
    return nullptr;
}

CStartTag* CStartTag::findNext(CSource* pSource, Position nPos, const std::string& sAttributeName,
                               const std::string& sValue, bool bCaseSensitive)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTag::findNext] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (nPos == NPOS || nPos >= pSource->m_nEnd)
        return nullptr;
    CDelimiterIndex& index = pSource->getDelimiterIndex();
    Position p = std::max(nPos, pSource->getBegin());
    for (;;)
    {
        pSource->addWork(1);
        const Position nMatch = sValue.empty() ? p : index.findNextText(sValue.c_str(), p);
        if (nMatch == NPOS)
            return nullptr;
        Position nNext = nMatch + 1;
        CTag* pTag = pSource->findEnclosingTag(nMatch);
        if (pTag != nullptr && pTag->isStartTag())
        {
            auto* pStart = static_cast<CStartTag*>(pTag);
            CAttribute* pAttribute = pStart->m_pAttributes != nullptr
                                         ? pStart->m_pAttributes->findByName(sAttributeName)
                                         : nullptr;
            if (pAttribute != nullptr && pAttribute->m_pValueSegment != nullptr)
            {
                const CSegment* pValue = pAttribute->m_pValueSegment;
                std::string sText;
                if (pValue->m_nEnd > pValue->m_nBegin)
                    pSource->substring(pValue->m_nBegin, pValue->m_nEnd - pValue->m_nBegin, sText);
                if (sText == sValue)
                    return pStart;
                if (EqualsNoCase(sText.c_str(), sValue.c_str()) && sText.size() == sValue.size())
                {
                    if (!bCaseSensitive)
                        return pStart;
                    TraceLog("[CStartTag::findNext] StartTag <%s> at <%d> with attribute <%s=\"%s\"> ignored "
                             "during "
                             "search because its case does not match search value.",
                             pStart->getName().c_str(), LogPos(pStart->m_nBegin), sAttributeName.c_str(),
                             sText.c_str());
                }
            }
            nNext = pStart->m_nEnd + 5;
        }
        if (nNext >= pSource->m_nEnd)
            return nullptr;
        p = nNext;
    }
}

// ---------------------------------------------------------------------------------------------------------
// End tags

CEndTag::CEndTag(CSource* pSource, Position nBegin, Position nEnd, CEndTagType* pEndTagType,
                 const ci_string& csName)
    : CTag(pSource, nBegin, nEnd, csName,
           nBegin + (pEndTagType != nullptr ? pEndTagType->m_sNamePrefix.size() : 0))
{
    m_nTypeIndex = pEndTagType != nullptr ? pEndTagType->getIndex() : 0;
    static CEndTagType* const s_pUnregistered = CEndTagType::getUnregistered();
    m_bUnregistered = pEndTagType == s_pUnregistered;
}

CEndTag* CEndTag::CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd, CEndTagType* pEndTagType,
                                  const ci_string& csName)
{
    bool bOk = true;
    if (!CTag::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog("[CEndTag::checkConstructorArgs] CTag::checkConstructorArgs() failed. nBegin <%d> nEnd <%d> "
                 "csName "
                 "<%s> .",
                 LogPos(nBegin), LogPos(nEnd), csName.c_str());
        bOk = false;
    }
    else if (pEndTagType == nullptr)
    {
        TraceLog("[CEndTag::checkConstructorArgs] pEndTagType is 0. nBegin <%d> nEnd <%d> csName <%s> .",
                 LogPos(nBegin), LogPos(nEnd), csName.c_str());
        bOk = false;
    }
    if (!bOk)
    {
        TraceLog("[CTag::CREATE_NEW_INST] checkConstructorArgs() failed. nBegin <%d> nEnd <%d> csName <%s>",
                 LogPos(nBegin), LogPos(nEnd), csName.c_str());
        return nullptr;
    }
    return pSource->tryMake<CEndTag>(pSource, nBegin, nEnd, pEndTagType, csName); // owned by the source
}

CTagType* CEndTag::getTagType() const
{
    return getEndTagType();
}

CElement* CEndTag::getElement()
{
    if (m_bElementSet)
        return m_pElement;
    // Only a start tag of the same name can be closed by this end tag (an unregistered one closes none), so
    // the backward walk visits those alone: asking every earlier start tag would make a page of many stray
    // end tags cost the square of its size.
    // A start tag that has its element already did not pair with this end tag (or the end tag would know
    // it), so the walk also steps over the stretches whose start tags of the name are all paired.
    CSource* pSource = getSource();
    if (m_nBegin > pSource->m_nBegin && !isUnregistered())
    {
        if (pSource->m_nPairedStartTagsGeneration != pSource->m_nGeneration)
        {
            pSource->m_PairedStartTags.clear();
            pSource->m_nPairedStartTagsGeneration = pSource->m_nGeneration;
        }
        const ci_string csName = copyName();
        std::string sKey(csName.data(), csName.size());
        for (char& c : sKey)
            c = static_cast<char>(FoldNoCase(static_cast<unsigned char>(c)));
        Position nFrom = m_nBegin - 1;
        Position nLow = pSource->m_nBegin;
        CElement* pFound = nullptr;
        const bool bIsValidName = CTag::isValidName(csName);
        // Looked up again only after a start tag is paired here, the one step that may change the map.
        CStretchSet* pPaired = &pSource->m_PairedStartTags[sKey];
        for (;;)
        {
            pSource->addWork(1);
            const Position nPairedBegin = pPaired->find(nFrom).first;
            if (nPairedBegin != NPOS)
            {
                if (nPairedBegin <= pSource->m_nBegin)
                    break;
                nFrom = nPairedBegin - 1;
                continue;
            }
            CStartTag* pStart = CStartTag::findPreviousOrNext(pSource, nFrom, csName, bIsValidName, true);
            if (pStart == nullptr)
                break;
            const bool bPairedBefore = pStart->m_bElementSet;
            CElement* pElement = pStart->getElement();
            if (!bPairedBefore)
                pPaired = &pSource->m_PairedStartTags[sKey];
            if (pElement != nullptr && pElement->m_pEndTag == this)
            {
                nLow = pStart->m_nBegin;
                pFound = m_pElement;
                break;
            }
            if (pStart->m_nBegin <= pSource->m_nBegin)
                break;
            nFrom = pStart->m_nBegin - 1;
        }
        pSource->m_PairedStartTags[sKey].add(nLow, m_nBegin);
        if (pFound != nullptr)
            return pFound;
    }
    m_pElement = nullptr;
    m_bElementSet = true;
    return nullptr;
}

CEndTag* CEndTag::findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csName,
                                     CEndTagType* pEndTagType, bool bPrevious)
{
    if (pSource == nullptr || pEndTagType == nullptr)
    {
        TraceLog("[CEndTag::findPreviousOrNext] pSource or pEndTagType is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (csName.empty())
    {
        CTag* pTag = CTag::findPreviousOrNextTag(pSource, nPos, pEndTagType, bPrevious);
        return (pTag != nullptr && !pTag->isStartTag()) ? static_cast<CEndTag*>(pTag) : nullptr;
    }
    auto accept = [&](CTag* pTag)
    {
        return pTag != nullptr && !pTag->isStartTag() &&
               static_cast<CEndTag*>(pTag)->getEndTagType() == pEndTagType;
    };
    if (pEndTagType == CEndTagType::getNormal() && CTag::isValidName(csName))
    {
        return static_cast<CEndTag*>(
            FindThroughNameIndex(pSource, CTagNameIndex::END_TAG, csName, nPos, NPOS, bPrevious, accept));
    }
    const std::string sPattern = pEndTagType->m_sStartDelimiter + std::string(csName.data(), csName.size()) +
                                 pEndTagType->m_sEndDelimiter;
    // A tag of no registered type is built only when such tags are looked for.
    auto tagAt = [&](Position p)
    {
        return pEndTagType == CEndTagType::getUnregistered() ? CTag::getTagAt(pSource, p)
                                                             : CTag::getRegisteredTagAt(pSource, p);
    };
    CDelimiterIndex& index = pSource->getDelimiterIndex();
    if (!bPrevious)
    {
        Position p = index.findNextText(sPattern.c_str(), std::max(nPos, pSource->getBegin()));
        while (p != NPOS)
        {
            pSource->addWork(1);
            CTag* pTag = tagAt(p);
            if (accept(pTag))
                return static_cast<CEndTag*>(pTag);
            p = index.findNextText(sPattern.c_str(), p + 1);
        }
        return nullptr;
    }
    Position p = index.findPreviousText(sPattern.c_str(), nPos);
    while (p != NPOS)
    {
        pSource->addWork(1);
        CTag* pTag = tagAt(p);
        if (accept(pTag))
            return static_cast<CEndTag*>(pTag);
        if (p <= pSource->m_nBegin)
            return nullptr;
        p = index.findPreviousText(sPattern.c_str(), p - 1);
    }
    return nullptr;
}
