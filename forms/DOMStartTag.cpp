#include "forms/DOMStartTag.h"

#include "common/TraceLog.h"
#include "forms/BufferEdits.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

namespace
{
DWORD InsertAt(const CSource* pSource, Position nPos, const std::string& sText, CBufferInstructionList* pList)
{
    return InsertHtmlStringAtPosition(AddressOf(pSource, nPos), sText.c_str(), pList);
}

DWORD InsertMarkupAt(const CSource* pSource, Position nPos, const std::string& sText,
                     CBufferInstructionList* pList)
{
    return InsertHtmlStringAtPosition(MarkupAddressOf(pSource, nPos), sText.c_str(), pList);
}

DWORD DeleteSegment(const CSource* pSource, const CSegment* pSegment, CBufferInstructionList* pList)
{
    return DeleteHtmlStringAtPosition(AddressOf(pSource, pSegment->m_nBegin),
                                      static_cast<DWORD>(pSegment->m_nEnd - pSegment->m_nBegin), pList);
}
} // namespace

CStartTag* CDOMStartTag::need(const char* pszOperation) const
{
    if (m_pStartTag == nullptr)
        throw CDOMParserUndefinedObjectException(std::string("CDOMStartTag::") + pszOperation +
                                                 "() : m_pStartTag is 0");
    return m_pStartTag;
}

CAttribute* CDOMStartTag::findAttribute(CStartTag* pStartTag, const std::string& sName)
{
    if (pStartTag == nullptr || pStartTag->m_pAttributes == nullptr)
        return nullptr;
    return pStartTag->m_pAttributes->findByName(sName);
}

int CDOMStartTag::setAttributeOn(CSource* pSource, CStartTag* pStartTag, const std::string& sName,
                                 const std::string& sValue, CBufferInstructionList* pList,
                                 const char* pszEmptyLog)
{
    if (const CAttribute* pAttribute = findAttribute(pStartTag, sName))
    {
        // The white space before the attribute stays; the new one takes its place.
        const DWORD dwDelete = DeleteSegment(pSource, pAttribute, pList);
        if (dwDelete != ERROR_SUCCESS)
            return static_cast<int>(dwDelete);
        return static_cast<int>(
            InsertAt(pSource, pAttribute->m_nBegin, sName + "=\"" + sValue + "\"", pList));
    }
    if (pStartTag->m_nEnd == 0)
    {
        TraceLog("%s", pszEmptyLog);
        return static_cast<int>(ERROR_ARENA_TRASHED);
    }
    return static_cast<int>(
        InsertAt(pSource, pStartTag->m_nEnd - 1, " " + sName + "=\"" + sValue + "\"", pList));
}

Position CDOMStartTag::getBeginPos() const
{
    return need("getBeginPos")->m_nBegin;
}

Position CDOMStartTag::getEndPos() const
{
    return need("getEndPos")->m_nEnd;
}

Position CDOMStartTag::getLength() const
{
    const CStartTag* pStartTag = need("getLength");
    return pStartTag->m_nEnd - pStartTag->m_nBegin;
}

void CDOMStartTag::getHTML(std::string& sOut) const
{
    const CStartTag* pStartTag = need("getHTML");
    pStartTag->getSource()->substring(pStartTag->m_nBegin, pStartTag->m_nEnd - pStartTag->m_nBegin, sOut);
}

CDOMAttribute CDOMStartTag::getAttribute(const std::string& sName) const
{
    return CDOMAttribute(m_spSource, findAttribute(need("getAttribute"), sName));
}

int CDOMStartTag::setAttribute(const std::string& sName, const std::string& sValue,
                               CBufferInstructionList* pList) const
{
    return setAttributeOn(
        m_spSource.Get(), need("setAttribute"), sName, sValue, pList,
        "[CDOMStartTag::setAttribute] m_pStartTag is an empty segment. m_pStartTag->getEnd() == 0.");
}

int CDOMStartTag::insertDataBefore(const std::string& sText, CBufferInstructionList* pList) const
{
    return static_cast<int>(
        InsertMarkupAt(m_spSource.Get(), need("insertDataBefore")->m_nBegin, sText, pList));
}

int CDOMStartTag::insertDataAfter(const std::string& sText, CBufferInstructionList* pList) const
{
    return static_cast<int>(InsertMarkupAt(m_spSource.Get(), need("insertDataAfter")->m_nEnd, sText, pList));
}

CDOMStartTag CDOMStartTagVector::item(size_t i) const
{
    if (i >= length())
        return CDOMStartTag(m_spSource, nullptr);
    return CDOMStartTag(m_spSource, (*m_spStartTags)[i]);
}

CAttribute* CDOMAttribute::need(const char* pszOperation) const
{
    if (m_pAttribute == nullptr)
        throw CDOMParserUndefinedObjectException(std::string("CDOMAttribute::") + pszOperation +
                                                 "() : m_pAttribute is 0");
    return m_pAttribute;
}

bool CDOMAttribute::hasValue() const
{
    return need("hasValue")->m_pValueSegment != nullptr;
}

void CDOMAttribute::getValue(std::string& sOut) const
{
    const CAttribute* pAttribute = need("getValue");
    sOut.clear();
    const CSegment* pValue = pAttribute->m_pValueSegment;
    if (pValue == nullptr || pValue->m_nBegin == pValue->m_nEnd)
        return;
    pAttribute->getSource()->substring(pValue->m_nBegin, pValue->m_nEnd - pValue->m_nBegin, sOut);
}

std::string CDOMAttribute::getValue() const
{
    std::string sValue;
    getValue(sValue);
    return sValue;
}

char CDOMAttribute::getQuote() const
{
    const CAttribute* pAttribute = need("getQuote");
    const CSegment* pValue = pAttribute->m_pValueSegment;
    const CSegment* pQuoted = pAttribute->m_pValueSegmentIncludingQuotes;
    if (pValue == nullptr || pQuoted == nullptr || pQuoted->m_nBegin >= pValue->m_nBegin)
        return 0;
    const std::string sQuote = pAttribute->getSource()->substring(pQuoted->m_nBegin, 1);
    return sQuote == "\"" || sQuote == "'" ? sQuote[0] : 0;
}

std::string CDOMAttribute::getQuotedValue() const
{
    if (!hasValue())
        return std::string();
    const std::string sValue = getValue();
    const char cQuote = getQuote();
    if (cQuote != 0 && sValue.find(cQuote) == std::string::npos)
        return cQuote + sValue + cQuote;
    // A value without quotes holds no space and no '>', but may hold either quote (as may one the parser
    // read past its quote). No byte of the character sets a page is edited in has '"' as a second byte,
    // so the byte is the quote, and "&quot;" reads as it.
    std::string sOut = "\"";
    for (char c : sValue)
    {
        if (c == '"')
            sOut += "&quot;";
        else
            sOut += c;
    }
    sOut += '"';
    return sOut;
}

Position CDOMAttribute::getValueBeginPos() const
{
    const CSegment* pValue = need("getValueBeginPos")->m_pValueSegment;
    return pValue != nullptr ? pValue->getBegin() : NPOS;
}

Position CDOMAttribute::getValueEndPos() const
{
    const CSegment* pValue = need("getValueEndPos")->m_pValueSegment;
    return pValue != nullptr ? pValue->getEnd() : NPOS;
}

int CDOMAttribute::insertValueData(Position nOffset, const std::string& sText,
                                   CBufferInstructionList* pList) const
{
    const CAttribute* pAttribute = need("insertValueData");
    const CSource* pSource = m_spSource.Get();
    if (const CSegment* pValue = pAttribute->m_pValueSegment)
    {
        if (nOffset > pValue->m_nEnd - pValue->m_nBegin)
            throw CDOMParserIllegalArgumentException(
                "CDOMAttribute::insertValueData() : invalid nOffset value", pAttribute->m_nBegin);
        return static_cast<int>(InsertAt(pSource, pValue->m_nBegin + nOffset, sText, pList));
    }
    if (nOffset != 0)
        throw CDOMParserIllegalArgumentException(
            "CDOMAttribute::insertValueData() : ValueSegment is 0 and nOffset > 0 ", pAttribute->m_nBegin);
    // A bare name becomes a quoted value; whatever followed the name in the page stays behind it.
    const std::string sAttribute = pAttribute->m_sName + "=\"" + sText + "\" ";
    const DWORD dwDelete = DeleteSegment(pSource, pAttribute, pList);
    if (dwDelete != ERROR_SUCCESS)
        return static_cast<int>(dwDelete);
    return static_cast<int>(InsertAt(pSource, pAttribute->m_nBegin, sAttribute, pList));
}

bool StringToNumber(const std::string& s, int32_t& nOut, int32_t nBase, Position nPos, Position nLength,
                    bool bAllowMinus)
{
    nOut = 0;
    if (nBase < 2 || nBase > 36)
        return false;
    const Position nSize = s.size();
    if (nLength == NPOS)
    {
        if (nPos >= nSize)
            return true;
        nLength = nSize - nPos;
    }
    if (nLength == 0)
        return true;
    if (nPos > nSize || nLength > nSize - nPos)
        return false;
    Position i = nPos;
    const Position nEnd = nPos + nLength;
    bool bNegative = false;
    if (bAllowMinus && s[static_cast<size_t>(i)] == '-')
    {
        bNegative = true;
        ++i;
    }
    uint32_t uValue = 0;
    const auto uBase = static_cast<uint32_t>(nBase);
    for (; i < nEnd; ++i)
    {
        const auto c = static_cast<unsigned char>(s[static_cast<size_t>(i)]);
        uint32_t uDigit = 0;
        if (c >= '0' && c <= '9')
            uDigit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'z')
            uDigit = static_cast<uint32_t>(c - 'a') + 10;
        else if (c >= 'A' && c <= 'Z')
            uDigit = static_cast<uint32_t>(c - 'A') + 10;
        else
            uDigit = uBase;
        if (uDigit >= uBase)
        {
            nOut = static_cast<int32_t>(uValue);
            return false;
        }
        uValue = uValue * uBase + uDigit;
        nOut = static_cast<int32_t>(uValue);
    }
    if (bNegative)
        nOut = static_cast<int32_t>(0u - uValue);
    return true;
}
