#include "htmlparser/TagType.h"

#include "common/StaticMemory.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/HTMLElementName.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TextSearch.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace
{
// A piece of page text for a log line, never longer than the bound.
std::string LoggedText(const CSource* pSource, Position nBegin, Position nEnd)
{
    if (nEnd < nBegin)
        return std::string();
    const Position nLength = std::min(nEnd - nBegin, MAX_LOGGED_TEXT);
    return std::string(pSource->m_pText + nBegin, static_cast<size_t>(nLength));
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Base classes

CTagType::CTagType(const char* pszDescription, const char* pszStartDelimiter, const char* pszEndDelimiter,
                   bool bIsServerTag, const char* pszNamePrefix)
    : m_sDescription(pszDescription), m_sStartDelimiter(pszStartDelimiter), m_sEndDelimiter(pszEndDelimiter),
      m_bIsServerTag(bIsServerTag), m_sNamePrefix(pszNamePrefix)
{
    m_sNamePart = m_sStartDelimiter.size() >= m_sNamePrefix.size()
                      ? m_sStartDelimiter.substr(m_sNamePrefix.size())
                      : std::string();
    // Types are made once, while the program starts its parser (under the singletons' own guard).
    static std::mutex s_Mutex;
    std::lock_guard<std::mutex> lock(s_Mutex);
    for (size_t i = 1; i < std::size(s_IndexedTypes); ++i)
        if (s_IndexedTypes[i] == nullptr)
        {
            s_IndexedTypes[i] = this;
            m_nIndex = static_cast<uint8_t>(i);
            return;
        }
    throw std::length_error("CTagType: more tag types than a tag can name");
}

CTagType::~CTagType()
{
    s_IndexedTypes[m_nIndex] = nullptr;
}

CStartTagType::CStartTagType(const char* pszDescription, const char* pszStartDelimiter,
                             const char* pszEndDelimiter, CEndTagType* pCorrespondingEndTagType,
                             bool bIsServerTag, bool bHasAttributes, bool bIsNameRequired)
    : CTagType(pszDescription, pszStartDelimiter, pszEndDelimiter, bIsServerTag, "<"),
      m_pCorrespondingEndTagType(pCorrespondingEndTagType), m_bHasAttributes(bHasAttributes),
      m_bIsNameRequired(bIsNameRequired)
{
}

bool CStartTagType::atEndOfAttributes(CSource* pSource, Position nPos, bool)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTag::atEndOfAttributes] pSource is 0. nPos <%d>.", LogPos(nPos));
        return false;
    }
    if (!pSource->holds(nPos))
        return false;
    return EqualsNoCaseAt(pSource->m_pText, pSource->m_nEnd, nPos, m_sEndDelimiter.c_str());
}

CStartTag* CStartTagType::constructStartTag(CSource* pSource, Position nBegin, Position nEnd,
                                            const ci_string& csName, CAttributes* pAttributes)
{
    CStartTag* pTag = CStartTag::CREATE_NEW_INST(this, pSource, nBegin, nEnd, csName, pAttributes);
    if (pTag == nullptr)
        TraceLog(
            "[CStartTagType::constructStartTag] CStartTag::CREATE_NEW_INST() failed. nBegin <%d> nEnd <%d> "
            "csName <%s> .",
            LogPos(nBegin), LogPos(nEnd), csName.c_str());
    return pTag;
}

CStartTagType* CStartTagType::getUnregistered()
{
    return Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(1);
}

CStartTagType* CStartTagType::getNormal()
{
    return Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(2);
}

CEndTagType::CEndTagType(const char* pszDescription, const char* pszStartDelimiter,
                         const char* pszEndDelimiter, bool bIsServerTag)
    : CTagType(pszDescription, pszStartDelimiter, pszEndDelimiter, bIsServerTag, "</")
{
}

CEndTag* CEndTagType::constructEndTag(CSource* pSource, Position nBegin, Position nEnd,
                                      const ci_string& csName)
{
    CEndTag* pTag = CEndTag::CREATE_NEW_INST(pSource, nBegin, nEnd, this, csName);
    if (pTag == nullptr)
        TraceLog("[CEndTagType::constructEndTag] CEndTag::CREATE_NEW_INST() failed. nBegin <%d> nEnd <%d>, "
                 "csName <%s>.",
                 LogPos(nBegin), LogPos(nEnd), csName.c_str());
    return pTag;
}

CEndTagType* CEndTagType::getUnregistered()
{
    return Mem_Manager::Static_memory<CEndTagTypeSingletonData>::Instance()->get(1);
}

CEndTagType* CEndTagType::getNormal()
{
    return Mem_Manager::Static_memory<CEndTagTypeSingletonData>::Instance()->get(2);
}

// ---------------------------------------------------------------------------------------------------------
// Generic start tags

CStartTagTypeGenericImplementation::CStartTagTypeGenericImplementation(
    const char* pszDescription, const char* pszStartDelimiter, const char* pszEndDelimiter,
    CEndTagType* pCorrespondingEndTagType, bool bIsServerTag, bool bHasAttributes, bool bIsNameRequired)
    : CStartTagType(pszDescription, pszStartDelimiter, pszEndDelimiter, pCorrespondingEndTagType,
                    bIsServerTag, bHasAttributes, bIsNameRequired)
{
    m_bSkipFollowingCharCheck =
        m_sNamePart.empty() || !IsAsciiLetter(static_cast<unsigned char>(m_sNamePart.back()));
}

bool CStartTagTypeGenericImplementation::cannotBeginAt(CSource* pSource, Position nPos) const
{
    // The refusals of constructTagAt that need no log line, and the closing delimiter every tag of the type
    // ends with (findEnd looks for it after the name and the attributes).
    const Position p = nPos + 1 + m_sNamePart.size();
    if (m_bIsNameRequired)
    {
        if (pSource->getNameEnd(p) == NPOS)
            return true;
    }
    else if (!m_bSkipFollowingCharCheck && p < pSource->m_nEnd &&
             IsNameChar(static_cast<unsigned char>(pSource->m_pText[p])))
        return true;
    const Position nLast = pSource->lastClosingDelimiter(this);
    return nLast == NPOS || nLast < p;
}

void CStartTagTypeGenericImplementation::traceNoClosingDelimiter(const ci_string& csName, Position nPos) const
{
    TraceLog("[CStartTagTypeGenericImplementation::constructTagAt] StartTag <%s> at <%d> not recognized "
             "as type "
             "<%s> because it has no closing delimiter.",
             csName.c_str(), LogPos(nPos), m_sDescription.c_str());
}

CTag* CStartTagTypeGenericImplementation::constructTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeGenericImplementation::constructTagAt] pSource is 0. nPos <%d>",
                 LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    ci_string csName(m_sNamePart.c_str(), m_sNamePart.size());
    Position p = nPos + 1 + m_sNamePart.size();
    if (m_bIsNameRequired)
    {
        const Position q = pSource->getNameEnd(p);
        if (q == NPOS)
            return nullptr;
        csName.assign(pSource->m_pText + nPos + 1, static_cast<size_t>(q - nPos - 1));
        p = q;
    }
    else if (!m_bSkipFollowingCharCheck)
    {
        if (p < pSource->m_nEnd && IsNameChar(static_cast<unsigned char>(pSource->m_pText[p])))
            return nullptr;
    }
    Position nEnd;
    if (m_bHasAttributes)
    {
        const uint64_t nNameInd =
            CHTMLElementName::getNameIndex(std::string_view(csName.data(), csName.size()));
        // Only where the list ends is needed to find the tag; its objects wait until they are asked for
        // (CStartTag::readAttributes makes them with these same arguments).
        const Position nAttributesEnd = CAttributes::measure(pSource, "StartTag", 0, nPos, NPOS, NPOS, this,
                                                             csName, static_cast<int64_t>(nNameInd), 2);
        if (nAttributesEnd == NPOS)
        {
            TraceLog("[CStartTagTypeGenericImplementation::constructTagAt] parseAttributes() returned 0. "
                     "Attributes "
                     "are not properly formed. nPos <%d> csName <%s> nNameInd <%d>.",
                     LogPos(nPos), csName.c_str(), static_cast<int>(static_cast<int64_t>(nNameInd)));
            return nullptr;
        }
        nEnd = findEnd(pSource, nAttributesEnd);
    }
    else
    {
        nEnd = findEnd(pSource, p);
    }
    if (nEnd == NPOS)
    {
        traceNoClosingDelimiter(csName, nPos);
        return nullptr;
    }
    CStartTag* pTag = constructStartTag(pSource, nPos, nEnd, csName, nullptr);
    if (pTag != nullptr && m_bHasAttributes)
        pTag->m_pAttributes.setPending(pTag);
    if (pTag == nullptr)
    {
        TraceLog("[CStartTagTypeGenericImplementation::constructTagAt] constructStartTag failed. nPos <%d> "
                 "nEnd <%d> "
                 "csName <%s>. ",
                 LogPos(nPos), LogPos(nEnd), csName.c_str());
        return nullptr;
    }
    return pTag;
}

Position CStartTagTypeGenericImplementation::findEnd(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeGenericImplementation::findEnd] pSource is 0. nPos <%d>.", LogPos(nPos));
        return NPOS;
    }
    if (!pSource->holds(nPos))
        return NPOS;
    const Position nHit = pSource->getDelimiterIndex().findNext(m_sEndDelimiter.c_str(), nPos);
    return nHit == NPOS ? NPOS : nHit + m_sEndDelimiter.size();
}

CStartTagTypeNormal::CStartTagTypeNormal(CEndTagType* pNormalEndTagType)
    : CStartTagTypeGenericImplementation("normal", "<", ">", pNormalEndTagType, false, true, true)
{
}

bool CStartTagTypeNormal::atEndOfAttributes(CSource* pSource, Position nPos, bool bCannotBeEmptyElementTag)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeNormal::atEndOfAttributes] pSource is 0. nPos <%d>.", LogPos(nPos));
        return false;
    }
    if (!pSource->holds(nPos))
        return false;
    const char* pText = pSource->m_pText;
    if (pText[nPos] == '>')
        return true;
    return !bCannotBeEmptyElementTag && pText[nPos] == '/' && nPos + 1 < pSource->m_nEnd &&
           pText[nPos + 1] == '>';
}

CStartTagTypeComment::CStartTagTypeComment()
    : CStartTagTypeGenericImplementation("comment", "<!--", "-->", nullptr, false, false, false)
{
}

CStartTagTypeXMLDeclaration::CStartTagTypeXMLDeclaration()
    : CStartTagTypeGenericImplementation("XML declaration", "<?xml", "?>", nullptr, false, true, false)
{
}

CStartTagTypeXMLProcessingInstruction::CStartTagTypeXMLProcessingInstruction()
    : CStartTagTypeGenericImplementation("XML processing instruction", "<?", "?>", nullptr, false, false,
                                         true)
{
}

CStartTagTypeDoctypeDeclaration::CStartTagTypeDoctypeDeclaration()
    : CStartTagTypeGenericImplementation("document type declaration", "<!doctype", ">", nullptr, false, false,
                                         false)
{
}

Position CStartTagTypeDoctypeDeclaration::findEnd(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeDoctypeDeclaration::findEnd] pSource is 0. nPos <%d>.", LogPos(nPos));
        return NPOS;
    }
    if (!pSource->holds(nPos))
        return NPOS;
    return pSource->getDelimiterIndex().findDoctypeEnd(nPos);
}

CStartTagTypeMarkupDeclaration::CStartTagTypeMarkupDeclaration()
    : CStartTagTypeGenericImplementation("markup declaration", "<!", ">", nullptr, false, false, true)
{
}

CTag* CStartTagTypeMarkupDeclaration::constructTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeMarkupDeclaration::constructTagAt] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    // Only the declaration keywords make a tag of this type. Another name is refused before a tag object is
    // made for it, with the line its refusal for want of a closing delimiter would write: a page of "<!x>"
    // would otherwise keep an object and a copy of the name for each of them.
    if (keywordEnd(pSource, nPos) != NPOS)
        return CStartTagTypeGenericImplementation::constructTagAt(pSource, nPos);
    const Position q = pSource->getNameEnd(nPos + 1 + m_sNamePart.size());
    if (q != NPOS && ParserTraceOn() && findEnd(pSource, q) == NPOS)
        traceNoClosingDelimiter(ci_string(pSource->m_pText + nPos + 1, static_cast<size_t>(q - nPos - 1)),
                                nPos);
    return nullptr;
}

Position CStartTagTypeMarkupDeclaration::keywordEnd(const CSource* pSource, Position nPos) const
{
    const Position q = pSource->getNameEnd(nPos + 1 + m_sNamePart.size());
    if (q == NPOS)
        return NPOS;
    const std::string_view sName(pSource->m_pText + nPos + 1, static_cast<size_t>(q - nPos - 1));
    static const std::string_view s_Keywords[] = {"!element", "!attlist", "!entity", "!notation"};
    for (const std::string_view& sKeyword : s_Keywords)
    {
        if (sName.size() == sKeyword.size() &&
            std::equal(sName.begin(), sName.end(), sKeyword.begin(),
                       [](char a, char b) {
                           return FoldNoCase(static_cast<unsigned char>(a)) ==
                                  FoldNoCase(static_cast<unsigned char>(b));
                       }))
            return q;
    }
    return NPOS;
}

bool CStartTagTypeMarkupDeclaration::cannotBeginAt(CSource* pSource, Position nPos) const
{
    const Position q = keywordEnd(pSource, nPos);
    if (q == NPOS)
        return true;
    const Position nLast = pSource->lastClosingDelimiter(this);
    return nLast == NPOS || nLast < q;
}

Position CStartTagTypeMarkupDeclaration::findEnd(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeMarkupDeclaration::findEnd] pSource is 0. nPos <%d>.", LogPos(nPos));
        return NPOS;
    }
    if (!pSource->holds(nPos))
        return NPOS;
    return pSource->getDelimiterIndex().findMarkupDeclarationEnd(nPos);
}

CStartTagTypeCDATASection::CStartTagTypeCDATASection()
    : CStartTagTypeGenericImplementation("CDATA section", "<![cdata[", "]]>", nullptr, false, false, false)
{
}

CStartTagTypeServerCommon::CStartTagTypeServerCommon()
    : CStartTagTypeGenericImplementation("common server tag", "<%", "%>", nullptr, true, false, false)
{
}

// ---------------------------------------------------------------------------------------------------------
// Unregistered start tags

CStartTagTypeUnregistered::CStartTagTypeUnregistered()
    : CStartTagType("unregistered", "<", ">", nullptr, false, false, false)
{
}

CTag* CStartTagTypeUnregistered::constructTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CStartTagTypeUnregistered::constructTagAt] pSource is 0. nPos <%d>.", LogPos(nPos));
        return nullptr;
    }
    const Position nEnd = findTagEnd(pSource, nPos, false);
    if (nEnd == NPOS)
        return nullptr;
    CStartTag* pTag = constructStartTag(pSource, nPos, nEnd, ci_string(), nullptr);
    traceFound(pSource, nPos, nEnd, pTag != nullptr);
    return pTag;
}

void CStartTagTypeUnregistered::traceFound(CSource* pSource, Position nPos, Position nEnd, bool bBuilt) const
{
    if (!ParserTraceOn())
        return;
    const std::string sText = LoggedText(pSource, nPos, nEnd);
    if (bBuilt)
        TraceLog("[CStartTagTypeUnregistered::constructTagAt] Encountered possible StartTag <%s> at <%d> "
                 "whose "
                 "content does not match a registered StartTagType.",
                 sText.c_str(), LogPos(nPos));
    else
        TraceLog("[CStartTagTypeUnregistered::constructTagAt] Encountered possible StartTag <%s> at <%d> "
                 "whose "
                 "content does not match a registered StartTagType. CStartTagType::constructStartTag() "
                 "failed.",
                 sText.c_str(), LogPos(nPos));
}

Position CStartTagTypeUnregistered::findTagEnd(CSource* pSource, Position nPos, bool bTrace)
{
    if (pSource == nullptr || !pSource->holds(nPos))
        return NPOS;
    const Position nClose =
        pSource->getDelimiterIndex().findNext(">", std::max(nPos + 1, pSource->getBegin()));
    if (nClose == NPOS)
        return NPOS;
    if (bTrace)
        traceFound(pSource, nPos, nClose + 1, true);
    return nClose + 1;
}

// ---------------------------------------------------------------------------------------------------------
// End tags

CEndTagTypeGenericImplementation::CEndTagTypeGenericImplementation(const char* pszDescription,
                                                                   const char* pszStartDelimiter,
                                                                   const char* pszEndDelimiter,
                                                                   bool bIsServerTag)
    : CEndTagType(pszDescription, pszStartDelimiter, pszEndDelimiter, bIsServerTag)
{
}

CTag* CEndTagTypeGenericImplementation::constructTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CEndTagTypeGenericImplementation::constructTagAt] pSource is 0. nPos <%d>. ",
                 LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    const Position p = nPos + m_sStartDelimiter.size();
    const Position q = pSource->getNameEnd(p);
    if (q == NPOS)
        return nullptr;
    const ci_string csName(pSource->m_pText + nPos + 2, static_cast<size_t>(q - nPos - 2));
    if (!EqualsNoCaseAt(pSource->m_pText, pSource->m_nEnd, q, m_sEndDelimiter.c_str()))
    {
        TraceLog(
            "[CEndTagGenericImplementation::constructTagAt] EndTag <%s> at <%d> not recognized as type <%s> "
            "because its closing delimiter does not immediately follow its name.",
            csName.c_str(), LogPos(nPos), m_sDescription.c_str());
        return nullptr;
    }
    const Position nEnd = q + m_sEndDelimiter.size();
    CEndTag* pTag = constructEndTag(pSource, nPos, nEnd, csName);
    if (pTag == nullptr)
    {
        TraceLog("[CEndTagGenericImplementation::constructTagAt] constructEndTag failed. nPos <%d> nEnd <%d> "
                 "csName "
                 "<%s>",
                 LogPos(nPos), LogPos(nEnd), csName.c_str());
        return nullptr;
    }
    return pTag;
}

bool CEndTagTypeGenericImplementation::cannotBeginAt(CSource* pSource, Position nPos) const
{
    // constructTagAt refuses a missing name silently and a name not followed at once by the closing
    // delimiter with a line: this answer is for searches that write none.
    const Position q = pSource->getNameEnd(nPos + m_sStartDelimiter.size());
    return q == NPOS || !EqualsNoCaseAt(pSource->m_pText, pSource->m_nEnd, q, m_sEndDelimiter.c_str());
}

CEndTagTypeNormal::CEndTagTypeNormal() : CEndTagTypeGenericImplementation("/normal", "</", ">", false) {}

CStartTagType* CEndTagTypeNormal::getCorrespondingStartTagType() const
{
    return CStartTagType::getNormal();
}

CEndTagTypeUnregistered::CEndTagTypeUnregistered() : CEndTagType("/unregistered", "</", ">", false) {}

CTag* CEndTagTypeUnregistered::constructTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CEndTagTypeUnregistered::constructTagAt] pSource is 0. nPos <%d>. ", LogPos(nPos));
        return nullptr;
    }
    if (!pSource->holds(nPos))
        return nullptr;
    const Position nEnd = findTagEnd(pSource, nPos, false);
    CEndTag* pTag = nEnd == NPOS ? nullptr : makeTag(pSource, nPos, nEnd);
    traceFound(pSource, nPos, nEnd, pTag != nullptr);
    return pTag;
}

void CEndTagTypeUnregistered::traceFound(CSource* pSource, Position nPos, Position nEnd, bool bBuilt) const
{
    if (nEnd == NPOS)
    {
        TraceLog("[CEndTagTypeUnregistered::getTagAt] Tag at <%d> not recognized as type <%s> because it has "
                 "no end "
                 "delimiter.",
                 LogPos(nPos), m_sDescription.c_str());
        return;
    }
    if (!ParserTraceOn())
        return;
    const Position p = nPos + m_sStartDelimiter.size();
    const Position nNameLength = std::min(nEnd - 1 - p, MAX_LOGGED_TEXT);
    const ci_string csName(pSource->m_pText + p, static_cast<size_t>(nNameLength));
    if (bBuilt)
        TraceLog("[CEndTagTypeUnregistered::constructTagAt] Encountered possible EndTag <%s> at <%d> whose "
                 "content "
                 "does not match a registered EndTagType.",
                 csName.c_str(), LogPos(nPos));
    else
        TraceLog("[CEndTagTypeUnregistered::constructTagAt] Encountered possible EndTag <%s> at <%d> whose "
                 "content "
                 "does not match a registered EndTagType. constructEndTag failed.",
                 csName.c_str(), LogPos(nPos));
}

Position CEndTagTypeUnregistered::findTagEnd(CSource* pSource, Position nPos, bool bTrace)
{
    if (pSource == nullptr || !pSource->holds(nPos))
        return NPOS;
    const Position p = nPos + m_sStartDelimiter.size();
    const Position nClose =
        pSource->getDelimiterIndex().findNext(m_sEndDelimiter.c_str(), std::max(p, pSource->getBegin()));
    const Position nEnd = nClose == NPOS ? NPOS : nClose + 1;
    if (bTrace)
        traceFound(pSource, nPos, nEnd, true);
    return nEnd;
}

CEndTag* CEndTagTypeUnregistered::makeTag(CSource* pSource, Position nPos, Position nEnd)
{
    // The name is the inner text, cut at a bound so that crafted pages cannot make names quadratic in size;
    // the tag reads it from the page when it is asked for (CTag::readName).
    const Position p = nPos + m_sStartDelimiter.size();
    const Position nNameLength = std::min(nEnd - 1 - p, MAX_LOGGED_TEXT);
    const std::string_view sName(pSource->m_pText + p, static_cast<size_t>(nNameLength));
    CEndTag* pTag = constructEndTag(pSource, nPos, nEnd, ci_string());
    if (pTag != nullptr)
    {
        pTag->m_nNameInd = CTag::nameIndexOf(sName);
        if (!sName.empty())
        {
            // The inner text, not a name after the delimiter.
            pTag->m_nPageNameLength = 0;
            pTag->m_nNameRef = CSource::NAME_UNREAD;
        }
    }
    return pTag;
}

// ---------------------------------------------------------------------------------------------------------
// Singletons

CStartTagTypeSingletonData::CStartTagTypeSingletonData()
{
    CEndTagType* pNormalEnd = CEndTagType::getNormal();
    std::unique_ptr<CStartTagType> types[COUNT] = {
        std::make_unique<CStartTagTypeUnregistered>(),
        std::make_unique<CStartTagTypeNormal>(pNormalEnd),
        std::make_unique<CStartTagTypeComment>(),
        std::make_unique<CStartTagTypeXMLDeclaration>(),
        std::make_unique<CStartTagTypeXMLProcessingInstruction>(),
        std::make_unique<CStartTagTypeDoctypeDeclaration>(),
        std::make_unique<CStartTagTypeMarkupDeclaration>(),
        std::make_unique<CStartTagTypeCDATASection>(),
        std::make_unique<CStartTagTypeServerCommon>(),
    };
    for (size_t i = 0; i < COUNT; ++i)
        m_Types[i] = types[i].release();
}

CStartTagTypeSingletonData::~CStartTagTypeSingletonData()
{
    for (CStartTagType*& pType : m_Types)
    {
        delete pType;
        pType = nullptr;
    }
}

CEndTagTypeSingletonData::CEndTagTypeSingletonData()
{
    std::unique_ptr<CEndTagType> pUnregistered = std::make_unique<CEndTagTypeUnregistered>();
    std::unique_ptr<CEndTagType> pNormal = std::make_unique<CEndTagTypeNormal>();
    m_Types[0] = pUnregistered.release();
    m_Types[1] = pNormal.release();
}

CEndTagTypeSingletonData::~CEndTagTypeSingletonData()
{
    for (CEndTagType*& pType : m_Types)
    {
        delete pType;
        pType = nullptr;
    }
}
