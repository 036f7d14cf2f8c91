// The rewriters' handle on one element, and the vectors that carry the results of searches for all
// descendants of one tag name. A handle shares the parser's source, which keeps the element alive.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "htmlparser/Source.h"

#include <string>
#include <vector>

class CSource;
class CElement;
class CStartTag;
class CEndTag;
class CBufferInstructionList;
class CDOMStartTag;
class CDOMAttribute;
class CDOMElementVector;
class CDOMStartTagVector;

class CDOMElement
{
public:
    CDOMElement() = default;
    CDOMElement(const CCountedPtr<CSource>& spSource, CElement* pElement, Position nSiblingIndex = NPOS)
        : m_spSource(spSource), m_pElement(pElement), m_nSiblingIndex(nSiblingIndex)
    {
    }
    CDOMElement(const CDOMElement&) = default;
    CDOMElement& operator=(const CDOMElement&) = default;
    virtual ~CDOMElement() = default;

    bool isEmpty() const { return m_pElement == nullptr; }
    CElement* getElement() const { return m_pElement; }
    Position getSiblingIndex() const { return m_nSiblingIndex; }

    Position getBeginPos() const;
    Position getEndPos() const;
    Position getContentBeginPos() const;
    Position getContentEndPos() const;
    const ci_string& tagName() const;
    CDOMStartTag getStartTag() const;
    CDOMAttribute getAttribute(const std::string& sName) const;
    CDOMElement parentNode() const;
    CDOMElement nextSibling();
    Position getElementInd(const CElementList& elements) const;
    Position scanForString(const std::string& s) const;
    Position scanContentForString(const std::string& s) const;

    CDOMElement getElementById(const std::string& sId) const;
    CDOMStartTag getStartTagById(const std::string& sId) const;
    CDOMElement getFirstElementByTagName(const std::string& sTagName) const;
    CDOMStartTag getFirstStartTagByTagName(const std::string& sTagName) const;
    CDOMElement getFirstElementByName(const std::string& sName) const;
    CDOMStartTag getFirstStartTagByName(const std::string& sName) const;
    CDOMElementVector getElementsByTagName(const std::string& sTagName) const;
    CDOMStartTagVector getStartTagsByTagName(const std::string& sTagName) const;

    int remove(CBufferInstructionList* pList) const;
    int appendContentData(const std::string& sText, CBufferInstructionList* pList) const;
    int setAttribute(const std::string& sName, const std::string& sValue,
                     CBufferInstructionList* pList) const;
    int removeAttribute(const std::string& sName, CBufferInstructionList* pList) const;

private:
    CElement* need(const char* pszOperation) const;
    void ensureParent(CElement* pElement) const;

    CCountedPtr<CSource> m_spSource;
    CElement* m_pElement = nullptr;
    Position m_nSiblingIndex = NPOS;
};

class CDOMElementVector
{
public:
    CDOMElementVector() = default;
    CDOMElementVector(const CCountedPtr<CSource>& spSource,
                      const CCountedPtr<std::vector<CElement*>>& spElements)
        : m_spSource(spSource), m_spElements(spElements)
    {
    }
    virtual ~CDOMElementVector() = default;

    size_t length() const { return m_spElements.IsNull() ? 0 : m_spElements->size(); }
    // An empty handle, still sharing the source, past the end.
    CDOMElement item(size_t i) const;

private:
    CCountedPtr<CSource> m_spSource;
    CCountedPtr<std::vector<CElement*>> m_spElements;
};
