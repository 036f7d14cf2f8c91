#include "forms/DOMSource.h"

#include "common/TraceLog.h"
#include "contract/BufferInstruction.h"
#include "forms/BufferEdits.h"
#include "forms/DOMParserException.h"
#include "htmlparser/Element.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TextSearch.h"

#include <cstdint>
#include <new>
#include <vector>

namespace
{
// The position of a host word, or NPOS when the word is null, lies before the data or outside the source.
Position WordPosition(char** pWords, size_t nWord, const CSource* pSource)
{
    const char* pWord = pWords[nWord];
    const char* pData = pSource->m_pText;
    if (pWord == nullptr || pWord < pData)
        return NPOS;
    const auto nPos = static_cast<Position>(pWord - pData);
    return (nPos >= pSource->m_nBegin && nPos < pSource->m_nEnd) ? nPos : NPOS;
}

// The tag the host's word nWord points at, when a tag of that name starts there as the browser reads the
// page; null otherwise. A word that points elsewhere (into an attribute value, a comment, a script) is not
// used: the page's own tag is looked for instead.
CTag* HostTag(CSource* pSource, char** pWords, size_t nWord, bool bEndTag, const std::string& sName)
{
    const Position nPos = WordPosition(pWords, nWord, pSource);
    if (nPos == NPOS)
        return nullptr;
    CTag* pTag = nullptr;
    if (pSource->isTokenStart(nPos))
        pTag = bEndTag ? CEndTagType::getNormal()->constructTagAt(pSource, nPos)
                       : CStartTagType::getNormal()->constructTagAt(pSource, nPos);
    if (pTag == nullptr || pTag->isStartTag() == bEndTag || !(pTag->getName() == ToCi(sName)))
    {
        TraceLog(
            "[CDOMSource::CDOMSource] Word <%d> at <%d> is not where a tag <%s%s> starts, the page's own "
            "is looked for instead.",
            static_cast<int>(nWord), LogPos(nPos), bEndTag ? "/" : "", sName.c_str());
        return nullptr;
    }
    return pTag;
}

CStartTag* HostStartTag(CSource* pSource, char** pWords, size_t nWord, const std::string& sName)
{
    return static_cast<CStartTag*>(HostTag(pSource, pWords, nWord, false, sName));
}

CEndTag* HostEndTag(CSource* pSource, char** pWords, size_t nWord, const std::string& sName)
{
    return static_cast<CEndTag*>(HostTag(pSource, pWords, nWord, true, sName));
}

CElement* NewElement(CSource* pSource, CStartTag* pStartTag, CEndTag* pEndTag)
{
    if (!CElement::checkConstructorArgs(pSource, pStartTag, pEndTag))
    {
        TraceLog("[CElement::CREATE_NEW_INST] checkConstructorArgs failed.");
        return nullptr;
    }
    return CElement::CREATE_NEW_INST(pSource, pStartTag, pEndTag);
}

// The HTML element always ends at the page's last "html" end tag, or at an empty one made at its end.
CEndTag* HtmlEndTag(CSource* pSource, const char* pszFailure)
{
    const ci_string csHtml = ToCi(*g_pcsHtmlElementName);
    CEndTag* pEndTag = pSource->findPreviousEndTag(pSource->m_nEnd, csHtml);
    if (pEndTag != nullptr)
        return pEndTag;
    pEndTag =
        CEndTag::CREATE_NEW_INST(pSource, pSource->m_nEnd, pSource->m_nEnd, CEndTagType::getNormal(), csHtml);
    if (pEndTag == nullptr)
        TraceLog(pszFailure, LogPos(pSource->m_nEnd));
    return pEndTag;
}
} // namespace

ULONGLONG AddressOf(const CSource* pSource, Position nPos)
{
    return static_cast<ULONGLONG>(reinterpret_cast<uintptr_t>(pSource->m_pText)) + nPos;
}

ULONGLONG MarkupAddressOf(const CSource* pSource, Position nPos)
{
    // Elements whose end tags a cut took away, the page's HTML and BODY above all, end at the end of the
    // data: that is where markup lands inside what the cut left open. A whole page never pays for the scan.
    if (nPos < pSource->m_nEnd)
        return AddressOf(pSource, nPos);
    const Position nOpen = pSource->getOpenConstructBegin();
    return AddressOf(pSource, nOpen != NPOS && nPos > nOpen ? nOpen : nPos);
}

CDOMSource::CDOMSource(char** pCommonPointers)
{
    const char* pData = pCommonPointers != nullptr ? pCommonPointers[WORD_DATA_BEGIN] : nullptr;
    const char* pLast = pCommonPointers != nullptr ? pCommonPointers[WORD_DATA_LAST] : nullptr;
    const char* pHtml = pCommonPointers != nullptr ? pCommonPointers[WORD_HTML_DATA_BEGIN] : nullptr;
    Position nDataLength = 0;
    if (pData != nullptr && pLast != nullptr && pLast >= pData)
        nDataLength = static_cast<Position>(pLast - pData) + 1;
    // A fragment response may carry no separate HTML start: the HTML is the data.
    if (pHtml == nullptr)
        pHtml = pData;
    Position nHtmlDataBeginPos = NPOS;
    if (pData != nullptr && pHtml >= pData)
        nHtmlDataBeginPos = static_cast<Position>(pHtml - pData);

    CSource* pSource = nullptr;
    if (!CSegment::checkConstructorArgs(nHtmlDataBeginPos, nDataLength))
    {
        TraceLog(
            "[CSource::checkConstructorArgs] CSegment::checkConstructorArgs() failed. nHtmlDataBeginPos <%d> "
            "nDataLength <%d>",
            LogPos(nHtmlDataBeginPos), LogPos(nDataLength));
        TraceLog("[CSource::CREATE_NEW_INT] checkConstructorArgs() failed. nHtmlDataBeginPos <%d> "
                 "nDataLength <%d>.",
                 LogPos(nHtmlDataBeginPos), LogPos(nDataLength));
    }
    else
    {
        try
        {
            pSource = new CSource(pData, nHtmlDataBeginPos, nDataLength);
        }
        catch (const std::bad_alloc&)
        {
            pSource = nullptr;
        }
    }
    if (pSource == nullptr)
    {
        TraceLog("[CDOMSource::CDOMSource] CSource::CREATE_NEW_INST() failed. nBegin <%d> nEnd <%d>.",
                 LogPos(nHtmlDataBeginPos), LogPos(nDataLength));
        return;
    }
    try
    {
        m_spSource = CCountedPtr<CSource>(pSource);
    }
    catch (const std::bad_alloc&)
    {
        TraceLog("[CDOMSource::CDOMSource] CSource::CREATE_NEW_INST() failed. nBegin <%d> nEnd <%d>.",
                 LogPos(nHtmlDataBeginPos), LogPos(nDataLength));
        return;
    }
    m_html = CDOMElement(m_spSource, nullptr);
    m_head = CDOMElement(m_spSource, nullptr);
    m_body = CDOMElement(m_spSource, nullptr);

    if (CStartTag* pHtmlStart =
            HostStartTag(pSource, pCommonPointers, WORD_HTML_START, *g_pcsHtmlElementName))
        initHtml(pHtmlStart,
                 "[CDOMSource::CDOMSource] HTML element initialization: CEndTag::CREATE_NEW_INST() "
                 "failed when creating an empty end tag at the end of the source document. nPos <%d> .");
    if (CStartTag* pBodyStart =
            HostStartTag(pSource, pCommonPointers, WORD_BODY_START, *g_pcsBodyElementName))
    {
        m_bBodyInitialized = true;
        CEndTag* pBodyEnd = nullptr;
        if (pCommonPointers[WORD_BODY_END] != nullptr)
        {
            pBodyEnd = HostEndTag(pSource, pCommonPointers, WORD_BODY_END, *g_pcsBodyElementName);
            if (pBodyEnd == nullptr)
                pBodyEnd = pSource->findPreviousEndTag(pSource->m_nEnd, ToCi(*g_pcsBodyElementName));
        }
        initWithEndTag(
            m_body, pBodyStart, pBodyEnd,
            "[CDOMSource::CDOMSource] BODY element initialization: CElement::CREATE_NEW_INST() failed",
            "[CDOMSource::CDOMSource] BODY element initialization: CStartTag::getElement() failed.");
    }
    if (CStartTag* pHeadStart =
            HostStartTag(pSource, pCommonPointers, WORD_HEAD_START, *g_pcsHeadElementName))
    {
        m_bHeadInitialized = true;
        CEndTag* pHeadEnd = nullptr;
        if (pCommonPointers[WORD_HEAD_END] != nullptr)
        {
            pHeadEnd = HostEndTag(pSource, pCommonPointers, WORD_HEAD_END, *g_pcsHeadElementName);
            if (pHeadEnd == nullptr)
                pHeadEnd = pSource->findNextEndTag(pHeadStart->m_nEnd, ToCi(*g_pcsHeadElementName));
        }
        initWithEndTag(
            m_head, pHeadStart, pHeadEnd,
            "[CDOMSource::CDOMSource] HEAD element initialization: CElement::CREATE_NEW_INST() failed",
            "[CDOMSource::CDOMSource] HEAD element initialization: CStartTag::getElement() failed.");
    }
}

CDOMSource::~CDOMSource()
{
    m_body = CDOMElement();
    m_head = CDOMElement();
    m_html = CDOMElement();
    m_spSource.Release();
}

void CDOMSource::initHtml(CStartTag* pStartTag, const char* pszFailure)
{
    CSource* pSource = m_spSource.Get();
    CEndTag* pEndTag = HtmlEndTag(pSource, pszFailure);
    m_bHtmlInitialized = true;
    CElement* pElement = NewElement(pSource, pStartTag, pEndTag);
    if (pElement == nullptr)
        TraceLog("[CDOMSource::CDOMSource] HTML element initialization: CElement::CREATE_NEW_INST() failed.");
    m_html = CDOMElement(m_spSource, pElement);
}

void CDOMSource::initWithEndTag(CDOMElement& element, CStartTag* pStartTag, CEndTag* pEndTag,
                                const char* pszElementFailure, const char* pszStartTagFailure)
{
    CSource* pSource = m_spSource.Get();
    CElement* pElement = nullptr;
    if (pEndTag != nullptr)
    {
        pElement = NewElement(pSource, pStartTag, pEndTag);
        if (pElement == nullptr)
            TraceLog("%s", pszElementFailure);
    }
    else
    {
        pElement = pStartTag->getElement();
        if (pElement == nullptr)
            TraceLog("%s", pszStartTagFailure);
    }
    element = CDOMElement(m_spSource, pElement);
}

Position CDOMSource::getBeginPos() const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getBeginPos() : m_spSource is 0");
    return m_spSource->m_nBegin;
}

CDOMElement& CDOMSource::getHtml()
{
    if (m_bHtmlInitialized)
        return m_html;
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getHtml() : m_spSource is 0");
    m_bHtmlInitialized = true;
    CSource* pSource = m_spSource.Get();
    CStartTag* pStartTag = pSource->findNextStartTag(pSource->m_nBegin, ToCi(*g_pcsHtmlElementName));
    if (pStartTag == nullptr)
        return m_html;
    CEndTag* pEndTag =
        HtmlEndTag(pSource, "[CDOMSource::getHtml()] HTML element initialization: "
                            "CEndTag::CREATE_NEW_INST() failed when creating an end tag at the end "
                            "of the source document. nPos <%d> .");
    CElement* pElement = NewElement(pSource, pStartTag, pEndTag);
    if (pElement == nullptr)
        TraceLog("[CDOMSource::getHtml()] HTML element initialization: CElement::CREATE_NEW_INST() failed");
    m_html = CDOMElement(m_spSource, pElement);
    return m_html;
}

CDOMElement& CDOMSource::getBody()
{
    if (m_bBodyInitialized)
        return m_body;
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getBody() : m_spSource is 0");
    m_bBodyInitialized = true;
    CSource* pSource = m_spSource.Get();
    const ci_string csBody = ToCi(*g_pcsBodyElementName);
    CStartTag* pStartTag = pSource->findNextStartTag(pSource->m_nBegin, csBody);
    if (pStartTag == nullptr)
        return m_body;
    initWithEndTag(m_body, pStartTag, pSource->findPreviousEndTag(pSource->m_nEnd, csBody),
                   "[CDOMSource::getBody()] BODY element initialization: CElement::CREATE_NEW_INST() failed",
                   "[CDOMSource::getBody()] BODY element initialization: CStartTag::getElement() failed");
    return m_body;
}

CDOMElement& CDOMSource::getHead()
{
    if (m_bHeadInitialized)
        return m_head;
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getHead() : m_spSource is 0");
    m_bHeadInitialized = true;
    CSource* pSource = m_spSource.Get();
    const ci_string csHead = ToCi(*g_pcsHeadElementName);
    CStartTag* pStartTag = pSource->findNextStartTag(pSource->m_nBegin, csHead);
    if (pStartTag == nullptr)
        return m_head;
    // With the BODY known the HEAD ends before it; the BODY itself is not looked for here.
    CEndTag* pEndTag = (m_bBodyInitialized && !m_body.isEmpty())
                           ? pSource->findPreviousEndTag(m_body.getBeginPos(), csHead)
                           : pSource->findNextEndTag(pStartTag->m_nEnd, csHead);
    initWithEndTag(m_head, pStartTag, pEndTag,
                   "[CDOMSource::getHead] HEAD element initialization: CElement::CREATE_NEW_INST() failed",
                   "[CDOMSource::getHead] HEAD element initialization: CElement::getElment() failed.");
    return m_head;
}

CDOMElement CDOMSource::getElementById(const std::string& sId) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getElementById() : m_spSource is 0");
    return CDOMElement(m_spSource, m_spSource->getElementById(sId));
}

CDOMElement CDOMSource::getEnclosingElement(Position nPos) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getEnclosingElement() : m_spSource is 0");
    return CDOMElement(m_spSource, m_spSource->getEnclosingElement(nPos));
}

Position CDOMSource::scanWindow(const CSource* pSource, const std::string& s, Position nFrom, Position nTo)
{
    const Position nStart = nFrom == NPOS || nFrom < pSource->getBegin() ? pSource->getBegin() : nFrom;
    const Position nWindowEnd = (nTo != NPOS && nTo <= pSource->getEnd()) ? nTo : pSource->getEnd();
    if (nStart >= pSource->m_nEnd || nWindowEnd <= nStart)
        return NPOS;
    return FindStringNoCase(pSource->m_pText, s.c_str(), nStart, nWindowEnd - nStart);
}

Position CDOMSource::scanForString(const std::string& s, Position nPos, Position nLength) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::scanForString() : m_spSource is 0");
    // A window reaching past the largest position reaches to the end.
    const Position nTo =
        (nLength == NPOS || nPos == NPOS || nLength > NPOS - 1 - nPos) ? NPOS : nPos + nLength;
    return scanWindow(m_spSource.Get(), s, nPos, nTo);
}

void CDOMSource::substringData(Position nPos, Position nLength, std::string& sOut) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::substringData() : m_spSource is 0");
    m_spSource->substring(nPos, nLength, sOut);
}

void CDOMSource::getPlainText(Position nBegin, Position nEnd, std::string& sOut) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::getPlainText() : m_spSource is 0");
    sOut.clear();
    CSource* pSource = m_spSource.Get();
    CSegment* pSegment = nullptr;
    if (CSegment::checkConstructorArgs(pSource, nBegin, nEnd))
        pSegment = CSegment::CREATE_NEW_INST(pSource, nBegin, nEnd);
    if (pSegment == nullptr)
    {
        TraceLog("[CDOMSource::getPlainText] CSegment::CREATE_NEW_INST() failed. nBegin <%d> nEnd <%d>.",
                 LogPos(nBegin), LogPos(nEnd));
        return;
    }
    if (nBegin == nEnd)
        return;
    std::vector<CTag*> vecTags;
    pSegment->findAllTags(nullptr, vecTags);
    Position nCursor = nBegin;
    for (const CTag* pTag : vecTags)
    {
        if (nCursor < pTag->m_nBegin)
        {
            sOut.append(pSource->m_pText + nCursor, static_cast<size_t>(pTag->m_nBegin - nCursor));
            nCursor = pTag->m_nEnd;
        }
        else if (pTag->m_nEnd > nCursor)
        {
            nCursor = pTag->m_nEnd;
        }
    }
    if (nCursor < nEnd)
        sOut.append(pSource->m_pText + nCursor, static_cast<size_t>(nEnd - nCursor));
}

int CDOMSource::insertData(Position nPos, const std::string& sText, CBufferInstructionList* pList) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::insertData() : m_spSource is 0");
    const CSource* pSource = m_spSource.Get();
    if (nPos == NPOS || nPos < pSource->m_nBegin || nPos > pSource->m_nEnd)
        throw CDOMParserIllegalArgumentException("CDOMSource::insertData() : invalid nPos value", nPos);
    return static_cast<int>(InsertHtmlStringAtPosition(MarkupAddressOf(pSource, nPos), sText.c_str(), pList));
}

int CDOMSource::deleteData(Position nPos, Position nLength, CBufferInstructionList* pList) const
{
    if (m_spSource.IsNull())
        throw CDOMParserUndefinedObjectException("CDOMSource::deleteData() : m_spSource is 0");
    const CSource* pSource = m_spSource.Get();
    if (nPos == NPOS || nPos < pSource->m_nBegin || nPos > pSource->m_nEnd ||
        nLength > pSource->m_nEnd - nPos || nLength > UINT32_MAX)
        throw CDOMParserIllegalArgumentException("CDOMSource::deleteData() : invalid nPos value", nPos);
    return static_cast<int>(
        DeleteHtmlStringAtPosition(AddressOf(pSource, nPos), static_cast<DWORD>(nLength), pList));
}
