#include "forms/DOMElement.h"

#include "common/TraceLog.h"
#include "forms/BufferEdits.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <new>

CElement* CDOMElement::need(const char* pszOperation) const
{
    if (m_pElement == nullptr)
        throw CDOMParserUndefinedObjectException(std::string("CDOMElement::") + pszOperation +
                                                 "() : m_pElement is 0");
    return m_pElement;
}

Position CDOMElement::getBeginPos() const
{
    return need("getBeginPos")->m_nBegin;
}

Position CDOMElement::getEndPos() const
{
    return need("getEndPos")->m_nEnd;
}

Position CDOMElement::getContentBeginPos() const
{
    return need("getContentBeginPos")->getContentBegin();
}

Position CDOMElement::getContentEndPos() const
{
    return need("getContentEndPos")->getContentEnd();
}

const ci_string& CDOMElement::tagName() const
{
    return need("tagName")->getStartTag()->getName();
}

CDOMStartTag CDOMElement::getStartTag() const
{
    return CDOMStartTag(m_spSource, need("getStartTag")->getStartTag());
}

CDOMAttribute CDOMElement::getAttribute(const std::string& sName) const
{
    return CDOMAttribute(m_spSource, CDOMStartTag::findAttribute(need("getAttribute")->getStartTag(), sName));
}

void CDOMElement::ensureParent(CElement* pElement) const
{
    if (pElement->m_bParentSet)
        return;
    // Walking the source's top-level elements sets the parent of every element it reaches.
    pElement->getSource()->getChildElements();
    if (!pElement->m_bParentSet)
    {
        pElement->m_pParent = nullptr;
        pElement->m_bParentSet = true;
    }
}

CDOMElement CDOMElement::parentNode() const
{
    CElement* pElement = need("parentNode");
    ensureParent(pElement);
    return CDOMElement(m_spSource, pElement->m_pParent);
}

CDOMElement CDOMElement::nextSibling()
{
    CElement* pElement = need("nextSibling");
    ensureParent(pElement);
    const CElementList* pSiblings = nullptr;
    if (pElement->m_pParent != nullptr)
        pSiblings = &pElement->m_pParent->getChildElements();
    else
    {
        CSource* pSource = pElement->getSource();
        pSource->fullSequentialParse();
        pSiblings = &pSource->getChildElements();
    }
    Position k = 0;
    if (m_nSiblingIndex != NPOS)
        k = m_nSiblingIndex + 1;
    else
    {
        m_nSiblingIndex = getElementInd(*pSiblings);
        if (m_nSiblingIndex == NPOS)
            return CDOMElement(m_spSource, nullptr);
        k = m_nSiblingIndex + 1;
    }
    if (k < pSiblings->size())
        return CDOMElement(m_spSource, (*pSiblings)[static_cast<size_t>(k)], k);
    return CDOMElement(m_spSource, nullptr);
}

Position CDOMElement::getElementInd(const CElementList& elements) const
{
    const CElement* pElement = need("getElementInd");
    for (size_t i = 0; i < elements.size(); ++i)
    {
        if (elements[i] != nullptr && elements[i]->compare(*pElement) == 0)
            return i;
    }
    return NPOS;
}

Position CDOMElement::scanForString(const std::string& s) const
{
    const CElement* pElement = need("scanForString");
    return CDOMSource::scanWindow(m_spSource.Get(), s, pElement->m_nBegin, pElement->m_nEnd);
}

Position CDOMElement::scanContentForString(const std::string& s) const
{
    const CElement* pElement = need("scanContentForString");
    return CDOMSource::scanWindow(m_spSource.Get(), s, pElement->getContentBegin(),
                                  pElement->getContentEnd());
}

CDOMElement CDOMElement::getElementById(const std::string& sId) const
{
    return CDOMElement(m_spSource, need("getElementById")->getFirstChildOrNestedChildElementById(sId));
}

CDOMStartTag CDOMElement::getStartTagById(const std::string& sId) const
{
    return CDOMStartTag(m_spSource, need("getStartTagById")->getFirstChildOrNestedChildStartTagById(sId));
}

CDOMElement CDOMElement::getFirstElementByTagName(const std::string& sTagName) const
{
    return CDOMElement(
        m_spSource,
        need("getFirstElementByTagName")->findFirstChildOrNestedChildElementByName(ToCi(sTagName)));
}

CDOMStartTag CDOMElement::getFirstStartTagByTagName(const std::string& sTagName) const
{
    return CDOMStartTag(
        m_spSource,
        need("getFirstStartTagByTagName")->findFirstChildOrNestedChildStartTagByName(ToCi(sTagName)));
}

CDOMElement CDOMElement::getFirstElementByName(const std::string& sName) const
{
    return CDOMElement(
        m_spSource, need("getFirstElementByName")->findFirstChildOrNestedChildElementByNameAttribute(sName));
}

CDOMStartTag CDOMElement::getFirstStartTagByName(const std::string& sName) const
{
    return CDOMStartTag(
        m_spSource,
        need("getFirstStartTagByName")->findFirstChildOrNestedChildStartTagByNameAttribute(sName));
}

CDOMElementVector CDOMElement::getElementsByTagName(const std::string& sTagName) const
{
    CElement* pElement = need("getElementsByTagName");
    CCountedPtr<std::vector<CElement*>> spElements(new std::vector<CElement*>());
    pElement->findAllChildOrNestedChildElementsByName(ToCi(sTagName), *spElements);
    return CDOMElementVector(m_spSource, spElements);
}

CDOMStartTagVector CDOMElement::getStartTagsByTagName(const std::string& sTagName) const
{
    CElement* pElement = need("getStartTagsByTagName");
    CCountedPtr<std::vector<CStartTag*>> spStartTags(new std::vector<CStartTag*>());
    pElement->findAllChildOrNestedChildStartTagsByName(ToCi(sTagName), *spStartTags);
    return CDOMStartTagVector(m_spSource, spStartTags);
}

int CDOMElement::remove(CBufferInstructionList* pList) const
{
    const CElement* pElement = need("remove");
    return static_cast<int>(
        DeleteHtmlStringAtPosition(AddressOf(m_spSource.Get(), pElement->m_nBegin),
                                   static_cast<DWORD>(pElement->m_nEnd - pElement->m_nBegin), pList));
}

int CDOMElement::appendContentData(const std::string& sText, CBufferInstructionList* pList) const
{
    const CElement* pElement = need("appendContentData");
    return static_cast<int>(InsertHtmlStringAtPosition(
        MarkupAddressOf(m_spSource.Get(), pElement->getContentEnd()), sText.c_str(), pList));
}

int CDOMElement::setAttribute(const std::string& sName, const std::string& sValue,
                              CBufferInstructionList* pList) const
{
    const CElement* pElement = need("setAttribute");
    return CDOMStartTag::setAttributeOn(
        m_spSource.Get(), pElement->getStartTag(), sName, sValue, pList,
        "[CDOMElement::setAttribute] m_pElement->getStartTag() is an empty segment. "
        "m_pElement->getStartTag()->getEnd() == 0.");
}

int CDOMElement::removeAttribute(const std::string& sName, CBufferInstructionList* pList) const
{
    const CElement* pElement = need("removeAttribute");
    const CAttribute* pAttribute = CDOMStartTag::findAttribute(pElement->getStartTag(), sName);
    if (pAttribute == nullptr)
        return ERROR_SUCCESS;
    return static_cast<int>(
        DeleteHtmlStringAtPosition(AddressOf(m_spSource.Get(), pAttribute->m_nBegin),
                                   static_cast<DWORD>(pAttribute->m_nEnd - pAttribute->m_nBegin), pList));
}

CDOMElement CDOMElementVector::item(size_t i) const
{
    if (i >= length())
        return CDOMElement(m_spSource, nullptr);
    return CDOMElement(m_spSource, (*m_spElements)[i]);
}
