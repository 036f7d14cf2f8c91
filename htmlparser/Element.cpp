#include "htmlparser/Element.h"

#include "htmlparser/ChildWalk.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <new>

namespace
{
enum ESearch
{
    BY_ID,
    BY_NAME,
    BY_NAME_ATTRIBUTE
};
} // namespace

// Not registered with the source: an element holds nothing that needs a destructor run.
CElement::CElement(CSource* pSource, CStartTag* pStartTag, CEndTag* pEndTag)
    : CSegment(pSource, pStartTag->m_nBegin, pEndTag != nullptr ? pEndTag->m_nEnd : pStartTag->m_nEnd, false),
      m_pStartTag(pStartTag),
      m_pEndTag((pEndTag != nullptr && pEndTag->m_nBegin != pEndTag->m_nEnd) ? pEndTag : nullptr)
{
}

bool CElement::checkConstructorArgs(const CSource* pSource, const CStartTag* pStartTag,
                                    const CEndTag* pEndTag)
{
    if (pStartTag == nullptr)
    {
        TraceLog("[CElement::checkConstructorArgs] pStartTag is 0");
        return false;
    }
    const Position nBegin = pStartTag->m_nBegin;
    const Position nEnd = pEndTag != nullptr ? pEndTag->m_nEnd : pStartTag->m_nEnd;
    if (!CSegment::checkConstructorArgs(pSource, nBegin, nEnd))
    {
        TraceLog("[CElement::checkConstructorArgs] CSegment::checkConstructorArgs() failed. nBegin <%d> nEnd "
                 "<%d> .",
                 LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    if (pStartTag->getSource() != pSource)
    {
        TraceLog("[CElement::checkConstructorArgs] pStartTag's source differs from pSource. nBegin <%d> nEnd "
                 "<%d>.",
                 LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    if (pEndTag != nullptr && pEndTag->getSource() != pSource)
    {
        TraceLog(
            "[CElement::checkConstructorArgs] pEndTag's source differs from pSource. nBegin <%d> nEnd <%d>.",
            LogPos(nBegin), LogPos(nEnd));
        return false;
    }
    return true;
}

CElement* CElement::CREATE_NEW_INST(CSource* pSource, CStartTag* pStartTag, CEndTag* pEndTag)
{
    if (!checkConstructorArgs(pSource, pStartTag, pEndTag))
    {
        TraceLog("[CElement::CREATE_NEW_INST] checkConstructorArgs failed.");
        return nullptr;
    }
    return pSource->tryMake<CElement>(pSource, pStartTag, pEndTag); // owned by the source
}

const ci_string& CElement::getName() const
{
    return m_pStartTag->getName();
}

CAttributes* CElement::getAttributes()
{
    return m_pStartTag->m_pAttributes;
}

Position CElement::getContentBegin() const
{
    return m_pStartTag->m_nEnd;
}

Position CElement::getContentEnd() const
{
    return m_pEndTag != nullptr ? m_pEndTag->m_nBegin : m_nEnd;
}

const CElementList& CElement::getChildElements()
{
    if (childElementsSet())
        return *m_pChildElements;
    return getChildElements(-1);
}

const CElementList& CElement::getChildElements(int nDepth)
{
    if (nDepth != -1)
        m_nDepth = nDepth;
    if (childElementsSet())
        return *m_pChildElements;
    startChildElements();
    if (m_nEnd == m_pStartTag->m_nEnd)
        return *m_pChildElements;
    CChildWalk::run(getSource(), this, getContentBegin(), getContentEnd(), CChildWalk::PARENT_ELEMENT,
                    nDepth == -1 ? -1 : nDepth + 1);
    return *m_pChildElements;
}

void CElement::adoptChild(CElement* pChild)
{
    if (pChild->getSource() != getSource())
        TraceLog(
            "[CElement::setParentElement] Parent element's source differs from this element's source. csName "
            "<%s> nBegin <%d> nEnd <%d>. Parent element name <%s> nBegin <%d> nEnd <%d>. ",
            pChild->getName().c_str(), LogPos(pChild->m_nBegin), LogPos(pChild->m_nEnd), getName().c_str(),
            LogPos(m_nBegin), LogPos(m_nEnd));
    else
        pChild->m_pParent = this;
    pChild->m_bParentSet = true;
}

CStartTag* CElement::findFirstStartTag(int nKind, const std::string& sValue, const ci_string& csName)
{
    const Position nContentEnd = getContentEnd();
    Position p = getContentBegin();
    if (m_nEnd == m_pStartTag->m_nEnd || p >= nContentEnd)
        return nullptr;
    CSource* const pSource = getSource();
    for (;;)
    {
        CStartTag* pTag = nullptr;
        if (nKind == BY_ID)
            pTag = CStartTag::findNext(pSource, p, "id", sValue, true);
        else if (nKind == BY_NAME)
            pTag = pSource->findNextStartTag(p, csName);
        else
            pTag = CStartTag::findNext(pSource, p, "name", sValue, true);
        if (pTag == nullptr || pTag->m_nBegin >= nContentEnd)
            return nullptr;
        if (!pTag->getStartTagType()->m_bIsServerTag)
            return pTag;
        p = pTag->m_nEnd;
        if (p >= nContentEnd)
            return nullptr;
    }
}

CElement* CElement::elementOfFound(CStartTag* pTag, const char* pszOperation)
{
    if (pTag == nullptr)
        return nullptr;
    CElement* pElement = pTag->getElement();
    if (pElement != nullptr && pElement->m_nEnd > m_nEnd)
        TraceLog("[CElement::%s] Child or nested child element <%s> (ends at <%d>) extends beyond end of "
                 "parent <%s> "
                 "(ending at <%d>).",
                 pszOperation, pElement->getName().c_str(), LogPos(pElement->m_nEnd), getName().c_str(),
                 LogPos(m_nEnd));
    return pElement;
}

CStartTag* CElement::getFirstChildOrNestedChildStartTagById(const std::string& sValue)
{
    return findFirstStartTag(BY_ID, sValue, ci_string());
}

CStartTag* CElement::findFirstChildOrNestedChildStartTagByName(const ci_string& csName)
{
    return findFirstStartTag(BY_NAME, std::string(), csName);
}

CStartTag* CElement::findFirstChildOrNestedChildStartTagByNameAttribute(const std::string& sValue)
{
    return findFirstStartTag(BY_NAME_ATTRIBUTE, sValue, ci_string());
}

CElement* CElement::getFirstChildOrNestedChildElementById(const std::string& sValue)
{
    return elementOfFound(getFirstChildOrNestedChildStartTagById(sValue),
                          "getFirstChildOrNestedChildElementById");
}

CElement* CElement::findFirstChildOrNestedChildElementByName(const ci_string& csName)
{
    return elementOfFound(findFirstChildOrNestedChildStartTagByName(csName),
                          "findFirstChildOrNestedChildElementByName");
}

CElement* CElement::findFirstChildOrNestedChildElementByNameAttribute(const std::string& sValue)
{
    return elementOfFound(findFirstChildOrNestedChildStartTagByNameAttribute(sValue),
                          "findFirstChildOrNestedChildElementByNameAttribute");
}

template <class TVisit> void CElement::forEachStartTagNamed(const ci_string& csName, TVisit visit)
{
    // Each found tag's end is where the search goes on, so tags nested in a found element are found too.
    const Position nContentEnd = getContentEnd();
    Position p = getContentBegin();
    CSource* const pSource = getSource();
    for (;;)
    {
        CStartTag* pTag = pSource->findNextStartTag(p, csName);
        if (pTag == nullptr || pTag->m_nBegin >= nContentEnd)
            return;
        if (!pTag->getStartTagType()->m_bIsServerTag)
            visit(pTag);
        p = pTag->m_nEnd;
    }
}

void CElement::findAllChildOrNestedChildElementsByName(const ci_string& csName,
                                                       std::vector<CElement*>& elements)
{
    elements.clear();
    forEachStartTagNamed(csName,
                         [&](CStartTag* pTag)
                         {
                             if (CElement* pElement =
                                     elementOfFound(pTag, "findAllChildOrNestedChildElementsByName"))
                                 elements.push_back(pElement);
                         });
}

void CElement::findAllChildOrNestedChildStartTagsByName(const ci_string& csName,
                                                        std::vector<CStartTag*>& startTags)
{
    startTags.clear();
    forEachStartTagNamed(csName, [&](CStartTag* pTag) { startTags.push_back(pTag); });
}
