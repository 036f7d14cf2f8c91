#include "htmlparser/Attributes.h"

#include "htmlparser/HTMLElements.h"
#include "htmlparser/Source.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TextSearch.h"

#include <new>

namespace
{
// Set while a start tag's attributes are read again on demand: the tag's first reading already logged
// whatever the list has to say.
thread_local bool t_bQuiet = false;

class CQuietGuard
{
public:
    explicit CQuietGuard(bool bQuiet) : m_bWas(t_bQuiet) { t_bQuiet = t_bQuiet || bQuiet; }
    ~CQuietGuard() { t_bQuiet = m_bWas; }
    CQuietGuard(const CQuietGuard&) = delete;
    CQuietGuard& operator=(const CQuietGuard&) = delete;

private:
    bool m_bWas;
};

// Where a start tag's attributes begin: after its name, or where the caller says.
Position AttributesStart(const ci_string& csName, Position nBegin, Position nScanStart)
{
    return csName.empty() ? nBegin : (nScanStart != NPOS ? nScanStart : nBegin + csName.size() + 1);
}
} // namespace

#define ATTRIBUTES_TRACE(...)                                                                                \
    do                                                                                                       \
    {                                                                                                        \
        if (!t_bQuiet)                                                                                       \
            TraceLog(__VA_ARGS__);                                                                           \
    } while (0)

CAttribute::CAttribute(CSource* pSource, const std::string& sName, CSegment* pNameSegment,
                       CSegment* pValueSegment, CSegment* pValueSegmentIncludingQuotes)
    : CSegment(pSource, pNameSegment->m_nBegin,
               pValueSegmentIncludingQuotes != nullptr ? pValueSegmentIncludingQuotes->m_nEnd
                                                       : pNameSegment->m_nEnd),
      m_sName(sName), m_pNameSegment(pNameSegment), m_pValueSegment(pValueSegment),
      m_pValueSegmentIncludingQuotes(pValueSegmentIncludingQuotes)
{
}

bool CAttribute::checkConstructorArgs(const CSource* pSource, const std::string&,
                                      const CSegment* pNameSegment, const CSegment* pValueSegment,
                                      const CSegment* pValueSegmentIncludingQuotes)
{
    if (pNameSegment == nullptr)
    {
        TraceLog("[CAttribute::checkConstructorArgs] pNameSegment is 0");
        return false;
    }
    const Position nBegin = pNameSegment->m_nBegin;
    const Position nEnd =
        pValueSegmentIncludingQuotes != nullptr ? pValueSegmentIncludingQuotes->m_nEnd : pNameSegment->m_nEnd;
    if (!CSegment::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog("[CAttribute::checkConstructorArgs] CSegment::checkConstructorArgs failed. nBegin <%d> nEnd "
                 "<%d> .",
                 LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    if (pNameSegment->getSource() != pSource)
    {
        TraceLog("[CAttribute::checkConstructorArgs] Source of pNameSegment differs from pSource. nBegin "
                 "<%d> nEnd "
                 "<%d> .",
                 LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    if (pValueSegment != nullptr && pValueSegment->getSource() != pSource)
    {
        TraceLog("[CAttribute::checkConstructorArgs] Source of pValueSegment differs from pSource. nBegin "
                 "<%d> nEnd "
                 "<%d> .",
                 LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    if (pValueSegmentIncludingQuotes != nullptr && pValueSegmentIncludingQuotes->getSource() != pSource)
    {
        TraceLog(
            "[CAttribute::checkConstructorArgs] Source of pValueSegmentIncludingQuotes differs from pSource. "
            "nBegin <%d> nEnd <%d> .",
            LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    return true;
}

CAttribute* CAttribute::CREATE_NEW_INST(CSource* pSource, const std::string& sName, CSegment* pNameSegment,
                                        CSegment* pValueSegment, CSegment* pValueSegmentIncludingQuotes)
{
    if (!checkConstructorArgs(pSource, sName, pNameSegment, pValueSegment, pValueSegmentIncludingQuotes))
    {
        TraceLog("[CAttribute::CREATE_NEW_INST] checkConstructorArgs() failed.");
        return nullptr;
    }
    return pSource->tryMake<CAttribute>(pSource, sName, pNameSegment, pValueSegment,
                                        pValueSegmentIncludingQuotes); // owned by the source
}

CAttributes::CAttributes(CSource* pSource, Position nBegin, Position nEnd,
                         std::unique_ptr<std::vector<CAttribute*>> pVec)
    : CSegment(pSource, nBegin, nEnd), m_pAttributes(std::move(pVec))
{
}

CAttributes* CAttributes::CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd,
                                          std::unique_ptr<std::vector<CAttribute*>> pAttributesVec)
{
    bool bOk = true;
    if (!CSegment::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog("[CAttribute::checkConstructorArgs] CSegment::checkConstructorArgs() failed. nBegin <%d> "
                 "nEnd <%d> .",
                 LogPos(nBegin), LogPos(nEnd));
        bOk = false;
    }
    else if (pAttributesVec == nullptr)
    {
        TraceLog("[CAttribute::checkConstructorArgs] pAttributesVec is 0. nBegin <%d> nEnd <%d>. ",
                 LogPos(nBegin), LogPos(nEnd));
        bOk = false;
    }
    if (!bOk)
    {
        TraceLog("[CAttributes::CREATE_NEW_INST] checkConstructorArgs() failed. nBegin <%d> nEnd <%d>.",
                 LogPos(nBegin), LogPos(nEnd));
        return nullptr;
    }
    return pSource->tryMake<CAttributes>(pSource, nBegin, nEnd,
                                         std::move(pAttributesVec)); // owned by the source
}

CAttribute* CAttributes::findByName(const std::string& sName) const
{
    for (CAttribute* pAttribute : *m_pAttributes)
    {
        if (pAttribute->m_sName.size() == sName.size() &&
            EqualsNoCase(pAttribute->m_sName.c_str(), sName.c_str()))
            return pAttribute;
    }
    return nullptr;
}

bool CAttributes::reachedMaxErrorCount(size_t nErrorCount, const CSource*, const std::string& sType,
                                       const ci_string& csName, Position nBegin, size_t nMaxErrorCount)
{
    if (nErrorCount > nMaxErrorCount)
    {
        ATTRIBUTES_TRACE(
            "[CAttributes::reachedMaxErrorCount] Type <%s> Tag name <%s> Begin pos <%d> Rejected because it "
            "contains too many errors.",
            sType.c_str(), csName.c_str(), LogPos(nBegin));
        return true;
    }
    return false;
}

bool CAttributes::isInvalidEmptyElementTag(CStartTagType* pStartTagType, CSource* pSource, Position nPos,
                                           const std::string& sType, const ci_string& csName, Position nBegin)
{
    CStartTagType* pNormal = CStartTagType::getNormal();
    if (pStartTagType != pNormal || !pNormal->atEndOfAttributes(pSource, nPos, false))
        return false;
    ATTRIBUTES_TRACE(
        "[CAttributes::isInvalidEmptyElementTag] Type <%s> Tag name <%s> Begin pos <%d> Contains a '/' "
        "character before the closing '>', which is ignored because tags of this name cannot be "
        "empty-element "
        "tags.",
        sType.c_str(), csName.c_str(), LogPos(nBegin));
    return true;
}

CAttributes* CAttributes::construct(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                                    Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                                    const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount)
{
    CAttributes* pList = nullptr;
    Position nEnd = NPOS;
    scan(pSource, sType, nState, nBegin, nScanStart, nLimit, pStartTagType, csName, nNameInd, nMaxErrorCount,
         true, nEnd, pList);
    return pList;
}

Position CAttributes::measure(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                              Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                              const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount)
{
    // Most tags of a page of bare tags end right after their names: the list is known empty at once.
    if (pSource != nullptr && pStartTagType != nullptr && nState == 0)
    {
        const Position nStart = AttributesStart(csName, nBegin, nScanStart);
        if (nStart != nLimit && pSource->holds(nStart) && pSource->m_pText[nStart] == '>' &&
            pStartTagType->atEndOfAttributes(pSource, nStart, true) &&
            CSegment::checkConstructorArgs(pSource, nStart, nStart))
        {
            // The steps the scan would count: the end, then the list checked.
            pSource->addWork(2);
            return nStart;
        }
    }
    CAttributes* pList = nullptr;
    Position nEnd = NPOS;
    if (!scan(pSource, sType, nState, nBegin, nScanStart, nLimit, pStartTagType, csName, nNameInd,
              nMaxErrorCount, false, nEnd, pList))
        return NPOS;
    return nEnd;
}

CAttributes* CAttributes::constructQuietly(CSource* pSource, const std::string& sType, int nState,
                                           Position nBegin, Position nScanStart, Position nLimit,
                                           CStartTagType* pStartTagType, const ci_string& csName,
                                           int64_t nNameInd, size_t nMaxErrorCount)
{
    CQuietGuard quiet(true);
    return construct(pSource, sType, nState, nBegin, nScanStart, nLimit, pStartTagType, csName, nNameInd,
                     nMaxErrorCount);
}

bool CAttributes::scan(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                       Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                       const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount, bool bMake,
                       Position& nListEnd, CAttributes*& pList)
{
    const char* pszType = sType.c_str();
    const char* pszName = csName.c_str();
    const int nLogBegin = LogPos(nBegin);
    if (pSource == nullptr || pStartTagType == nullptr)
    {
        ATTRIBUTES_TRACE(
            "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> pSource or pStartTagType is 0.",
            pszType, pszName, nLogBegin);
        return false;
    }
    const Position nStart = AttributesStart(csName, nBegin, nScanStart);
    Position nAttributesEnd = nStart;
    const bool bCannotBeEmptyElementTag = pStartTagType == CStartTagType::getNormal() && !csName.empty() &&
                                          CHTMLElements::canHaveEndTag(static_cast<uint64_t>(nNameInd));
    // Measuring keeps only positions: the objects are made if and when the list is asked for.
    std::unique_ptr<std::vector<CAttribute*>> pVec;
    if (bMake)
    {
        pVec = std::make_unique<std::vector<CAttribute*>>();
        pVec->reserve(8);
    }
    size_t nErrors = 0;
    char cQuote = ' ';
    int state = nState;
    const char* pText = pSource->m_pText;

    Position nNameStart = nStart;
    Position nValueStart = nStart;
    CSegment* pNameSegment = nullptr;
    std::string sName;

    auto reject = [&](const char* pszWhy, Position p) -> bool
    {
        ATTRIBUTES_TRACE("[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> %s at <%d>.",
                         pszType, pszName, nLogBegin, pszWhy, LogPos(p));
        return false;
    };
    auto segment = [&](Position nFrom, Position nTo, CSegment*& pOut) -> bool
    {
        if (bMake)
        {
            pOut = CSegment::CREATE_NEW_INST(pSource, nFrom, nTo);
            return pOut != nullptr;
        }
        pOut = nullptr;
        return CSegment::checkConstructorArgs(pSource, nFrom, nTo);
    };
    // nTo: where the attribute ends, its value's closing quote included.
    auto addAttribute = [&](CSegment* pValue, CSegment* pValueWithQuotes, Position nTo, Position p) -> bool
    {
        if (!bMake)
        {
            if (!CSegment::checkConstructorArgs(pSource, nNameStart, nTo))
                return reject("Rejected because CAttribute::CREATE_NEW_INST() failed", p);
            nAttributesEnd = nTo;
            return true;
        }
        CAttribute* pAttribute =
            CAttribute::CREATE_NEW_INST(pSource, sName, pNameSegment, pValue, pValueWithQuotes);
        if (pAttribute == nullptr)
            return reject("Rejected because CAttribute::CREATE_NEW_INST() failed", p);
        pVec->push_back(pAttribute);
        nAttributesEnd = pAttribute->m_nEnd;
        return true;
    };
    Position nNameEnd = nStart;

    bool bEndSeen = false;
    for (Position p = nStart;; ++p)
    {
        pSource->addWork(1);
        if (bEndSeen)
        {
            bool bMade;
            if (bMake)
            {
                // A tag holds its list as long as the page: no spare room.
                pVec->shrink_to_fit();
                pList = CREATE_NEW_INST(pSource, nStart, nAttributesEnd, std::move(pVec));
                bMade = pList != nullptr;
            }
            else
                bMade = CSegment::checkConstructorArgs(pSource, nStart, nAttributesEnd);
            if (!bMade)
            {
                ATTRIBUTES_TRACE(
                    "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Rejected because "
                    "CAttributes::CREATE_NEW_INST failed.",
                    pszType, pszName, nLogBegin);
                return false;
            }
            nListEnd = nAttributesEnd;
            return true;
        }
        if (!pSource->holds(p))
        {
            ATTRIBUTES_TRACE(
                "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Rejected because it has no "
                "closing '>' character.",
                pszType, pszName, nLogBegin);
            return false;
        }
        const bool bAtEnd =
            p == nLimit || pStartTagType->atEndOfAttributes(pSource, p, bCannotBeEmptyElementTag);
        bEndSeen = bAtEnd;
        const auto c = static_cast<unsigned char>(pText[p]);
        bool bAgain = true;
        while (bAgain)
        {
            bAgain = false;
            switch (state)
            {
            case 0:
                if (bAtEnd)
                    break;
                if (IsWhiteSpaceChar(c))
                    state = 1;
                else if (!isInvalidEmptyElementTag(pStartTagType, pSource, p, sType, csName, nBegin))
                    return reject("Rejected because name contains invalid character", p);
                break;
            case 1:
                if (bAtEnd)
                    break;
                if (IsWhiteSpaceChar(c))
                {
                    cQuote = ' ';
                    break;
                }
                if (cQuote != ' ')
                    ATTRIBUTES_TRACE(
                        "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Has missing "
                        "whitespace "
                        "after quoted attribute value at <%d>.",
                        pszType, pszName, nLogBegin, LogPos(p));
                if (IsNameStartChar(c))
                {
                    nNameStart = p;
                    state = 2;
                }
                else if (c == '<')
                    return reject("Rejected because of '<' character", p);
                else if (isInvalidEmptyElementTag(pStartTagType, pSource, p, sType, csName, nBegin))
                {
                }
                else
                {
                    ATTRIBUTES_TRACE(
                        "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Contains "
                        "attribute name "
                        "with invalid first character at <%d>.",
                        pszType, pszName, nLogBegin, LogPos(p));
                    if (reachedMaxErrorCount(++nErrors, pSource, sType, csName, nBegin, nMaxErrorCount))
                        return false;
                    nNameStart = p;
                    state = 2;
                }
                break;
            case 2:
                if (!bAtEnd && c != '=' && !IsWhiteSpaceChar(c))
                {
                    if (IsNameChar(c))
                        break;
                    if (c == '<')
                        return reject("Rejected because of '<' character in attribute name", p);
                    if (isInvalidEmptyElementTag(pStartTagType, pSource, p, sType, csName, nBegin))
                        break;
                    ATTRIBUTES_TRACE(
                        "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Contains "
                        "attribute name "
                        "with invalid character at <%d>",
                        pszType, pszName, nLogBegin, LogPos(p));
                    if (reachedMaxErrorCount(++nErrors, pSource, sType, csName, nBegin, nMaxErrorCount))
                        return false;
                    break;
                }
                if (!segment(nNameStart, p, pNameSegment))
                    return reject("Rejected because CSegment::CREATE_NEW_INST() failed", p);
                nNameEnd = p;
                if (bMake)
                    sName.assign(pText + nNameStart, static_cast<size_t>(p - nNameStart));
                if (!bAtEnd)
                    state = (c == '=') ? 4 : 3;
                else if (!addAttribute(nullptr, nullptr, nNameEnd, p))
                    return false;
                break;
            case 3:
                if (!bAtEnd && c == '=')
                {
                    state = 4;
                    break;
                }
                if (!bAtEnd && IsWhiteSpaceChar(c))
                    break;
                if (!addAttribute(nullptr, nullptr, nNameEnd, p))
                    return false;
                if (!bAtEnd)
                {
                    state = 1;
                    bAgain = true;
                }
                break;
            case 4:
                nValueStart = p;
                if (!bAtEnd)
                {
                    if (IsWhiteSpaceChar(c))
                        break;
                    if (c == '<')
                        return reject("Rejected because of '<' character at start of attribute value", p);
                    if (c == '\'' || c == '"')
                    {
                        cQuote = static_cast<char>(c);
                        nValueStart = p + 1;
                    }
                    else
                        cQuote = ' ';
                    state = 5;
                    break;
                }
                ATTRIBUTES_TRACE(
                    "[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d> Has missing "
                    "attribute value "
                    "after '=' sign at <%d>.",
                    pszType, pszName, nLogBegin, LogPos(p));
                {
                    CSegment* pEmpty = nullptr;
                    if (!segment(p, p, pEmpty))
                        return reject("Rejected because CSegment::CREATE_NEW_INST() failed", p);
                    if (!addAttribute(pEmpty, pEmpty, p, p))
                        return false;
                    nAttributesEnd = p;
                }
                state = 1;
                break;
            case 5:
            {
                enum
                {
                    GOES_ON,
                    UNQUOTED_END,
                    CLOSED,
                    CUT_OFF
                } eEnd = GOES_ON;
                if (!bAtEnd)
                {
                    if (cQuote == ' ')
                    {
                        if (IsWhiteSpaceChar(c))
                            eEnd = UNQUOTED_END;
                        else if (c == '<')
                            return reject("Rejected because of '<' character in unquoted attribute value", p);
                    }
                    else if (c == static_cast<unsigned char>(cQuote))
                        eEnd = CLOSED;
                }
                else if (cQuote == ' ')
                    eEnd = UNQUOTED_END;
                else if (p != nLimit)
                    bEndSeen = false; // a '>' inside quotes does not end the tag
                else
                {
                    ATTRIBUTES_TRACE("[CAttributes::construct] Type <%s> Tag name <%s> Begin pos <%d>. Tag "
                                     "terminated in the "
                                     "middle of a quoted attribute value at <%d>. ",
                                     pszType, pszName, nLogBegin, LogPos(p));
                    if (reachedMaxErrorCount(++nErrors, pSource, sType, csName, nBegin, nMaxErrorCount))
                        return false;
                    eEnd = CUT_OFF;
                }
                if (eEnd == GOES_ON)
                    break;
                CSegment* pValue = nullptr;
                if (!segment(nValueStart, p, pValue))
                    return reject("Rejected because CSegment::CREATE_NEW_INST() failed", p);
                CSegment* pWithQuotes = pValue;
                Position nTo = p;
                if (eEnd == CLOSED || eEnd == CUT_OFF)
                {
                    nTo = eEnd == CLOSED ? p + 1 : p;
                    if (!segment(nValueStart - 1, nTo, pWithQuotes))
                        return reject("Rejected because CSegment::CREATE_NEW_INST() failed", p);
                }
                if (!addAttribute(pValue, pWithQuotes, nTo, p))
                    return false;
                state = 1;
                break;
            }
            default:
                return reject("Rejected because of an unknown scanner state", p);
            }
        }
    }
}
