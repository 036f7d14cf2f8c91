// Elements: a start tag joined to the end tag that closes it, with everything between.
#pragma once

#include "common/CiString.h"
#include "htmlparser/Segment.h"

#include <string>
#include <vector>

class CStartTag;
class CEndTag;

class CElement : public CSegment
{
public:
    CElement(CSource* pSource, CStartTag* pStartTag, CEndTag* pEndTag);

    static bool checkConstructorArgs(const CSource* pSource, const CStartTag* pStartTag,
                                     const CEndTag* pEndTag);
    static CElement* CREATE_NEW_INST(CSource* pSource, CStartTag* pStartTag, CEndTag* pEndTag);

    const ci_string& getName() const;
    CAttributes* getAttributes() override;
    Position getContentBegin() const;
    Position getContentEnd() const;
    CStartTag* getStartTag() const { return m_pStartTag; }
    CEndTag* getEndTag() const { return m_pEndTag; }
    CElement* getParentElement() const { return m_pParent; }
    int getDepth() const { return m_nDepth; }

    const CElementList& getChildElements() override;
    const CElementList& getChildElements(int nDepth);

    CStartTag* getFirstChildOrNestedChildStartTagById(const std::string& sValue);
    CStartTag* findFirstChildOrNestedChildStartTagByName(const ci_string& csName);
    CStartTag* findFirstChildOrNestedChildStartTagByNameAttribute(const std::string& sValue);
    CElement* getFirstChildOrNestedChildElementById(const std::string& sValue);
    CElement* findFirstChildOrNestedChildElementByName(const ci_string& csName);
    CElement* findFirstChildOrNestedChildElementByNameAttribute(const std::string& sValue);
    void findAllChildOrNestedChildElementsByName(const ci_string& csName, std::vector<CElement*>& elements);
    void findAllChildOrNestedChildStartTagsByName(const ci_string& csName,
                                                  std::vector<CStartTag*>& startTags);

    // Makes this element the child's parent (the child keeps its parent when it lies in another source).
    void adoptChild(CElement* pChild);

    // Null while not computed; in the source's memory, like the element, which therefore needs no destructor.
    const CElementList* m_pChildElements = nullptr;
    CStartTag* m_pStartTag;
    CEndTag* m_pEndTag;
    CElement* m_pParent = nullptr;
    bool m_bParentSet = false;
    int m_nDepth = -1;

protected:
    const CElementList** childListSlot(bool) override { return &m_pChildElements; }

private:
    CStartTag* findFirstStartTag(int nKind, const std::string& sValue, const ci_string& csName);
    CElement* elementOfFound(CStartTag* pTag, const char* pszOperation);
    template <class TVisit> void forEachStartTagNamed(const ci_string& csName, TVisit visit);
};
