#include "forms/EditCheck.h"

#include "contract/BufferInstruction.h"
#include "contract/TokenScan.h"
#include "htmlparser/Source.h"
#include "htmlparser/TextSearch.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{
using ETagState = CTokenScan::ETagState;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The byte at nPos, or '>' at the end of the text: a tag cut off there ends as if closed.
char ByteAt(const CSource& source, Position nPos)
{
    return nPos < source.m_nEnd ? source.m_pText[nPos] : '>';
}

// The state inside the real start tag that holds nPos (its '<' excluded), NOT_IN_TAG when none does; nTag
// gets the tag's '<'.
ETagState StateInStartTag(const CSource& source, Position nPos, Position& nTag)
{
    const CTokenScan& scan = source.getTokenScan();
    nTag = nPos == 0 ? NPOS : scan.PreviousTokenStart(nPos - 1);
    if (nTag == NPOS || nTag + 1 >= source.m_nEnd ||
        !IsAsciiLetter(static_cast<unsigned char>(source.m_pText[nTag + 1])))
        return ETagState::NOT_IN_TAG;
    return CTokenScan::TagStateAt(source.m_pText, nTag, source.m_nEnd, nPos);
}

// Whether nPos lies between two attributes of a real start tag (or between its name and its first one, or
// its last one and its end): what is put there is read from the state before an attribute name.
bool IsAttributeBoundary(const CSource& source, Position nPos, Position& nTag)
{
    switch (StateInStartTag(source, nPos, nTag))
    {
    case ETagState::BEFORE_ATTRIBUTE_NAME:
    case ETagState::AFTER_ATTRIBUTE_VALUE_QUOTED:
    case ETagState::SELF_CLOSING_START_TAG:
        return true;
    case ETagState::TAG_NAME:
    case ETagState::ATTRIBUTE_NAME:
    case ETagState::AFTER_ATTRIBUTE_NAME:
    case ETagState::ATTRIBUTE_VALUE_UNQUOTED:
    {
        const char c = ByteAt(source, nPos);
        return IsSpace(c) || c == '/' || c == '>';
    }
    default:
        return false;
    }
}

// Whether sText, read from the state before an attribute name, is whole attributes: it leaves the tag open,
// between attributes, starts after a space where the page's own name or value would otherwise run on, and
// ends where the page's next byte (cNext) starts nothing that would run on with its last name or value.
bool IsAttributeText(const char* pszText, bool bNeedsSpace, char cNext)
{
    const size_t nLength = std::strlen(pszText);
    if (nLength == 0)
        return true;
    if (bNeedsSpace && !IsSpace(pszText[0]))
        return false;
    std::string sTag = "<x ";
    sTag.append(pszText, nLength);
    switch (CTokenScan::TagStateAt(sTag.data(), 0, sTag.size(), sTag.size()))
    {
    case ETagState::BEFORE_ATTRIBUTE_NAME:
    case ETagState::AFTER_ATTRIBUTE_VALUE_QUOTED:
        return true;
    case ETagState::ATTRIBUTE_NAME:
    case ETagState::AFTER_ATTRIBUTE_NAME:
    case ETagState::ATTRIBUTE_VALUE_UNQUOTED:
        return IsSpace(cNext) || cNext == '/' || cNext == '>';
    default:
        return false;
    }
}

// Whether text put at nPos stays inside the value of a real tag's attribute that holds nPos. Markup meant
// to be markup would be text there: a value edit writes none.
bool StaysInValue(const CSource& source, Position nPos, const char* pszText)
{
    if (std::strchr(pszText, '<') != nullptr)
        return false;
    Position nTag = NPOS;
    switch (StateInStartTag(source, nPos, nTag))
    {
    case ETagState::ATTRIBUTE_VALUE_DOUBLE_QUOTED:
        return std::strchr(pszText, '"') == nullptr;
    case ETagState::ATTRIBUTE_VALUE_SINGLE_QUOTED:
        return std::strchr(pszText, '\'') == nullptr;
    case ETagState::ATTRIBUTE_VALUE_UNQUOTED:
        return std::strpbrk(pszText, " \t\n\r\f>\"'<=`") == nullptr;
    default:
        return false;
    }
}

// Whether text put at nPos stays script text of the script element that holds nPos: the element read again
// with the text in it ends where it ended, moved by the text, and no tag starts inside it. Only script, never
// markup, goes there.
bool StaysInScript(const CSource& source, Position nPos, const char* pszText)
{
    if (std::strchr(pszText, '<') != nullptr || nPos == 0)
        return false;
    const CTokenScan& scan = source.getTokenScan();
    const Position nTag = scan.PreviousTokenStart(nPos - 1);
    const Position nEndTag = scan.NextTokenStart(nPos);
    static const char SCRIPT[] = "<script";
    if (nTag == NPOS || nEndTag == NPOS || source.m_nEnd - nTag < sizeof(SCRIPT) ||
        !EqualsNoCaseAt(source.m_pText, source.m_nEnd, nTag, SCRIPT) ||
        CTokenScan::TagStateAt(source.m_pText, nTag, source.m_nEnd, nPos) != ETagState::NOT_IN_TAG)
        return false;
    const Position nAfter = scan.NextTokenStart(nEndTag + 1);
    const Position nStop = nAfter == NPOS ? static_cast<Position>(source.m_nEnd) : nAfter;
    std::string sElement(source.m_pText + nTag, static_cast<size_t>(nPos - nTag));
    sElement += pszText;
    sElement.append(source.m_pText + nPos, static_cast<size_t>(nStop - nPos));
    CTokenScan element;
    element.Scan(sElement.data(), 0, sElement.size());
    return element.NextTokenStart(1) == nEndTag - nTag + std::strlen(pszText) &&
           element.GetOpenConstructBegin() == CTokenScan::NONE;
}

bool InsertLands(const CSource& source, Position nPos, const char* pszText)
{
    const CTokenScan& scan = source.getTokenScan();
    if (scan.IsBetweenTokens(nPos))
        return true;
    Position nTag = NPOS;
    if (IsAttributeBoundary(source, nPos, nTag))
    {
        // After a name or an unquoted value the text must begin with a space, or it runs on with them.
        const char cBefore = source.m_pText[nPos - 1];
        return IsAttributeText(pszText,
                               !IsSpace(cBefore) && cBefore != '"' && cBefore != '\'' && cBefore != '/',
                               ByteAt(source, nPos));
    }
    return StaysInValue(source, nPos, pszText) || StaysInScript(source, nPos, pszText);
}

bool DeleteLands(const CSource& source, Position nPos, Position nLength)
{
    const CTokenScan& scan = source.getTokenScan();
    const Position nEnd = nPos + nLength;
    if (scan.IsBetweenTokens(nPos) && scan.IsBetweenTokens(nEnd))
        return true;
    // Whole attributes of one real start tag.
    Position nTag = NPOS;
    Position nEndTag = NPOS;
    if (!IsAttributeBoundary(source, nPos, nTag) || !IsAttributeBoundary(source, nEnd, nEndTag) ||
        nTag != nEndTag)
        return false;
    const ETagState eState = StateInStartTag(source, nPos, nTag);
    return eState == ETagState::BEFORE_ATTRIBUTE_NAME || eState == ETagState::AFTER_ATTRIBUTE_VALUE_QUOTED ||
           IsSpace(source.m_pText[nPos]);
}
} // namespace

bool CEditCheck::Check(const CSource& source, const CBufferInstructionList& list, std::string& sReason)
{
    const auto uText = reinterpret_cast<uintptr_t>(source.m_pText);
    const CBufferInstructionList::CNode* pSentinel = list.Sentinel();
    for (const CBufferInstructionList::CNode* pNode = pSentinel->m_pNext; pNode != pSentinel;
         pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        const ULONGLONG ullAddress = pInstruction->m_ullPosition;
        const bool bInsert = pInstruction->m_dwKind == BI_INSERT;
        char szReason[160];
        if (ullAddress < uText || ullAddress - uText > source.m_nEnd ||
            (!bInsert && pInstruction->m_dwLength > source.m_nEnd - (ullAddress - uText)))
        {
            std::snprintf(szReason, sizeof(szReason), "an edit lies outside the page");
            sReason = szReason;
            return false;
        }
        const Position nPos = ullAddress - uText;
        const bool bLands =
            bInsert
                ? InsertLands(source, nPos, pInstruction->m_pszText != nullptr ? pInstruction->m_pszText : "")
                : DeleteLands(source, nPos, pInstruction->m_dwLength);
        if (!bLands)
        {
            std::snprintf(szReason, sizeof(szReason),
                          bInsert ? "the insert at <%d> is not between tokens as a browser reads the page"
                                  : "the delete at <%d> is not between tokens as a browser reads the page",
                          LogPos(nPos));
            sReason = szReason;
            return false;
        }
    }
    return true;
}
