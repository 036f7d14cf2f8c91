#include "htmlparser/Source.h"

#include "contract/TokenScan.h"
#include "htmlparser/ChildWalk.h"
#include "htmlparser/Element.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace
{
// A text whose end lies beyond what the parser's objects can hold is read as an empty page: every search
// finds nothing in it.
bool WithinReach(Position nEnd)
{
    return nEnd <= MAX_SOURCE_POSITION;
}
Position ReachableBegin(Position nBegin, Position nEnd)
{
    return WithinReach(nEnd) ? nBegin : 0;
}
Position ReachableEnd(Position nEnd)
{
    return WithinReach(nEnd) ? nEnd : 0;
}
} // namespace

CSource::CSource(const char* pText, Position nBegin, Position nEnd)
    : CSegment(this, ReachableBegin(nBegin, nEnd), ReachableEnd(nEnd)), m_pText(pText), m_Cache(this),
      m_DelimiterIndex(pText, ReachableBegin(nBegin, nEnd), ReachableEnd(nEnd)),
      m_TagNameIndex(pText, ReachableBegin(nBegin, nEnd), ReachableEnd(nEnd))
{
    if (!WithinReach(nEnd))
        TraceLog(
            "[CSource::CSource] The page ends at <%llu>, beyond the <%llu> bytes the parser reads: it is "
            "read as empty.",
            static_cast<unsigned long long>(nEnd), static_cast<unsigned long long>(MAX_SOURCE_POSITION));

    m_AllTags.reserve(128);
}

Position CSource::getOpenConstructBegin() const
{
    return getTokenScan().GetOpenConstructBegin();
}

const CTokenScan& CSource::getTokenScan() const
{
    if (m_pTokenScan == nullptr)
    {
        auto pScan = std::make_unique<CTokenScan>();
        pScan->Scan(m_pText, m_nBegin, m_nEnd);
        m_pTokenScan = std::move(pScan);
    }
    return *m_pTokenScan;
}

bool CSource::isTokenStart(Position nPos) const
{
    return getTokenScan().IsTokenStart(nPos);
}

CSource::~CSource()
{
    // The memory goes with the arena.
    for (CSegment* pSegment : m_Segments)
        pSegment->~CSegment();
    m_Segments.clear();
}

namespace
{
const ci_string& EmptyTagName()
{
    static const ci_string s_Empty;
    return s_Empty;
}

// Built once, on first use, from the list of element names.
const std::vector<ci_string>& ListedTagNames()
{
    static const std::vector<ci_string> s_Names = []
    {
        std::vector<ci_string> names;
        for (uint64_t i = 0;; ++i)
        {
            const std::string* pName = CHTMLElementName::getName(i);
            if (pName == nullptr)
                break;
            names.emplace_back(pName->data(), pName->size());
        }
        return names;
    }();
    return s_Names;
}
} // namespace

uint32_t CSource::sharedTagName(const ci_string& csName, int64_t nNameInd)
{
    if (csName.empty())
        return NAME_EMPTY;
    const std::vector<ci_string>& names = ListedTagNames();
    if (nNameInd >= 0 && static_cast<uint64_t>(nNameInd) < names.size())
    {
        const ci_string& csShared = names[static_cast<size_t>(nNameInd)];
        if (csShared.size() == csName.size() &&
            std::memcmp(csShared.data(), csName.data(), csName.size()) == 0)
            return NAME_LISTED;
    }
    return NAME_UNREAD;
}

uint32_t CSource::holdTagName(const ci_string& csName, int64_t nNameInd)
{
    const uint32_t nShared = sharedTagName(csName, nNameInd);
    if (nShared != NAME_UNREAD)
        return nShared;
    // A source holds at most one name per tag, and far fewer tags than this; the bound keeps the reference
    // from wrapping should that ever change.
    if (m_TagNames.size() >= UINT32_MAX - NAME_HELD)
        throw std::bad_alloc();
    m_TagNames.emplace_back(csName);
    return static_cast<uint32_t>(m_TagNames.size() - 1 + NAME_HELD);
}

const ci_string& CSource::tagName(uint32_t nNameRef, int64_t nNameInd) const
{
    if (nNameRef >= NAME_HELD)
        return m_TagNames[nNameRef - NAME_HELD];
    return sharedName(nNameRef, nNameInd);
}

const ci_string* CSource::listedTagNames()
{
    return ListedTagNames().data();
}

const ci_string& CSource::sharedName(uint32_t nNameRef, int64_t nNameInd)
{
    if (nNameRef == NAME_LISTED)
        return ListedTagNames()[static_cast<size_t>(nNameInd)];
    return EmptyTagName();
}

const CElementList** CSource::otherChildList(const CSegment* pSegment, bool bMake)
{
    if (!bMake)
    {
        auto it = m_OtherChildLists.find(pSegment);
        return it == m_OtherChildLists.end() ? nullptr : &it->second;
    }
    return &m_OtherChildLists[pSegment];
}

const CElementList& CSource::takeElementList(std::deque<CElement*>& pending, size_t nFirst)
{
    if (nFirst >= pending.size())
        return CElementList::emptyList();
    const size_t nSize = pending.size() - nFirst;
    void* pMemory = m_Arena.allocate(sizeof(CElementList) + nSize * sizeof(CElement*), alignof(CElementList));
    auto* pItems = reinterpret_cast<CElement**>(static_cast<std::byte*>(pMemory) + sizeof(CElementList));
    // From the back, so that the pending storage gives its blocks back as they empty.
    for (size_t i = nSize; i-- > 0;)
    {
        ::new (pItems + i) CElement*(pending.back());
        pending.pop_back();
    }
    return *::new (pMemory) CElementList(pItems, nSize);
}

Position CSource::lastClosingDelimiter(const CTagType* pType)
{
    for (const auto& [pKnown, nLast] : m_LastClosingDelimiters)
    {
        if (pKnown == pType)
            return nLast;
    }
    const Position nLast = m_DelimiterIndex.findPrevious(pType->m_sEndDelimiter.c_str(), m_nEnd);
    m_LastClosingDelimiters.emplace_back(pType, nLast);
    return nLast;
}

CEndTag* CSource::emptyEndTagAt(Position nPos, const CTag& nameOf)
{
    const ci_string& csName = nameOf.getName();
    if (m_pEmptyEndTag == nullptr || !CTag::checkConstructorArgs(this, nPos, nPos))
    {
        CEndTag* pTag = CEndTag::CREATE_NEW_INST(this, nPos, nPos, CEndTagType::getNormal(), csName);
        if (m_pEmptyEndTag == nullptr)
            m_pEmptyEndTag = pTag;
        return pTag;
    }
    m_pEmptyEndTag->m_nBegin = nPos;
    m_pEmptyEndTag->m_nEnd = nPos;
    // The name the tag it ends keeps, which lies in this source, as getName above made sure.
    m_pEmptyEndTag->m_nNameInd = nameOf.m_nNameInd;
    m_pEmptyEndTag->m_nNameRef = nameOf.m_nNameRef;
    m_pEmptyEndTag->m_nPageNameLength = 0;
    return m_pEmptyEndTag;
}

const CElementList& CSource::getChildElements()
{
    if (childElementsSet())
        return *m_pChildElements;
    startChildElements();
    if (m_nBegin == m_nEnd)
        return *m_pChildElements;
    if (m_AllTags.empty())
        TraceLog("[CSource::getChildElements] NOTE: Calling CSource.fullSequentialParse() can significantly "
                 "improve the performance of this operation.");
    CChildWalk::run(this, this, m_nBegin, m_nEnd, CChildWalk::PARENT_TOP, 0);
    return *m_pChildElements;
}

CTag* CSource::getTagAt(Position nPos)
{
    return CTag::getTagAt(this, nPos);
}

CTag* CSource::findEnclosingTag(Position nPos, CTagType* pTagType)
{
    CTag* pTag = CTag::findPreviousOrNextTag(this, nPos, pTagType, true);
    if (pTag != nullptr && pTag->m_nEnd > nPos)
        return pTag;
    return nullptr;
}

CTag* CSource::findEnclosingTag(Position nPos)
{
    return findEnclosingTag(nPos, nullptr);
}

CStartTag* CSource::findPreviousStartTag(Position nPos)
{
    return CStartTag::findPreviousOrNext(this, nPos, true);
}

CStartTag* CSource::findNextStartTag(Position nPos)
{
    return CStartTag::findPreviousOrNext(this, nPos, false);
}

CStartTag* CSource::findNextStartTag(Position nPos, const ci_string& csName)
{
    return CStartTag::findPreviousOrNext(this, nPos, csName, CTag::isValidName(csName), false);
}

CStartTag* CSource::findNextStartTag(Position nPos, const std::string& sAttributeName,
                                     const std::string& sValue, bool bCaseSensitive)
{
    return CStartTag::findNext(this, nPos, sAttributeName, sValue, bCaseSensitive);
}

CElement* CSource::getElementById(const std::string& sValue)
{
    CStartTag* pTag = CStartTag::findNext(this, m_nBegin, "id", sValue, true);
    return pTag == nullptr ? nullptr : pTag->getElement();
}

CEndTag* CSource::findNextEndTag(Position nPos, const ci_string& csName, CEndTagType* pEndTagType)
{
    return CEndTag::findPreviousOrNext(this, nPos, csName, pEndTagType, false);
}

CEndTag* CSource::findPreviousEndTag(Position nPos, const ci_string& csName)
{
    return CEndTag::findPreviousOrNext(this, nPos, csName, CEndTagType::getNormal(), true);
}

CEndTag* CSource::findNextEndTag(Position nPos, const ci_string& csName)
{
    return CEndTag::findPreviousOrNext(this, nPos, csName, CEndTagType::getNormal(), false);
}

CElement* CSource::getEnclosingElement(Position nPos)
{
    // The start tags before nPos are asked nearest first; each one passed over lets the walk jump to the
    // nearest earlier one whose element reaches further, since none in between can reach past nPos.
    CStartTag* pTag = CStartTag::findPreviousOrNext(this, nPos, ci_string(), false, true);
    while (pTag != nullptr)
    {
        addWork(1);
        CElement* pElement = pTag->getElement();
        if (pElement != nullptr && pElement->m_nEnd > nPos)
            return pElement;
        pTag = pTag->getOuterStartTag();
    }
    return nullptr;
}

Position CSource::getNameEnd(Position nPos) const
{
    if (nPos == NPOS || nPos < m_nBegin || nPos >= m_nEnd)
        return NPOS;
    if (!IsNameStartChar(static_cast<unsigned char>(m_pText[nPos])))
        return NPOS;
    Position p = nPos + 1;
    while (p < m_nEnd && IsNameChar(static_cast<unsigned char>(m_pText[p])))
        ++p;
    return p;
}

Position CSource::findStringBackward(const char* pszPattern, Position nPos, Position nLimit)
{
    return findBackward(pszPattern, nPos, nLimit, false);
}

Position CSource::findDelimiterBackward(const char* pszDelimiter, Position nPos, Position nLimit)
{
    return findBackward(pszDelimiter, nPos, nLimit, true);
}

Position CSource::findBackward(const char* pszPattern, Position nPos, Position nLimit, bool bDelimiter)
{
    if (nPos == NPOS || nPos < m_nBegin)
        return NPOS;
    const bool bLimited = nLimit != NPOS && nLimit >= m_nBegin;
    if (bLimited && nLimit >= nPos)
        return NPOS;
    const Position nHit = bDelimiter ? m_DelimiterIndex.findPrevious(pszPattern, nPos)
                                     : m_DelimiterIndex.findPreviousText(pszPattern, nPos);
    if (nHit == NPOS || (bLimited && nHit <= nLimit))
        return NPOS;
    return nHit;
}

std::string CSource::substring(Position nPos, Position nLength) const
{
    std::string s;
    substring(nPos, nLength, s);
    return s;
}

void CSource::substring(Position nPos, Position nLength, std::string& sOut) const
{
    sOut.clear();
    if (nPos == NPOS || nPos < m_nBegin || nPos >= m_nEnd)
    {
        TraceLog("[CSource::substring] Invalid nPos <%d> value. nBegin <%d> nEnd <%d>. ", LogPos(nPos),
                 LogPos(m_nBegin), LogPos(m_nEnd));
        return;
    }
    const Position nAvail = m_nEnd - nPos;
    sOut.assign(m_pText + nPos, static_cast<size_t>(nLength < nAvail ? nLength : nAvail));
}
