// The parts of the XML DOM shared by its node and document objects: the tree a document and its nodes
// share, the reference counting of the objects, and small text and tree helpers.
#pragma once

#include "platform/ComSupport.h"
#include "platform/MsXml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace dlsw_msxml
{
inline void EnsureParser()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] { xmlInitParser(); });
}

inline const xmlChar* X(const std::string& s)
{
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

inline std::string Utf8Of(BSTR bstr)
{
    return BstrToAnsi(bstr, SysStringLen(bstr));
}

inline BSTR BstrOfUtf8(const xmlChar* psz)
{
    const char* p = psz == nullptr ? "" : reinterpret_cast<const char*>(psz);
    return AnsiToBstr(p, std::strlen(p));
}

inline HRESULT OutBstr(const std::string& s, BSTR* pOut)
{
    if (pOut == nullptr)
        return E_POINTER;
    *pOut = AnsiToBstr(s.data(), s.size());
    return *pOut == nullptr ? E_OUTOFMEMORY : S_OK;
}

// One parsed or built tree, shared by the document and every node handed out from it, so a node stays
// valid while it is held even when the document loads another file. Nodes taken out of the tree, or
// created and never inserted, are kept until the tree goes: a handed-out node never dangles.
struct CXmlTree
{
    explicit CXmlTree(xmlDocPtr pDoc) : m_pDoc(pDoc) {}
    ~CXmlTree()
    {
        std::vector<xmlNodePtr> vecRoots;
        for (xmlNodePtr p : m_setDetached)
        {
            if (p->parent == nullptr)
                vecRoots.push_back(p);
        }
        for (xmlNodePtr p : vecRoots)
        {
            if (p->type == XML_ATTRIBUTE_NODE)
                xmlFreeProp(reinterpret_cast<xmlAttrPtr>(p));
            else
                xmlFreeNode(p);
        }
        xmlFreeDoc(m_pDoc);
    }
    CXmlTree(const CXmlTree&) = delete;
    CXmlTree& operator=(const CXmlTree&) = delete;

    void Detach(xmlNodePtr p)
    {
        xmlUnlinkNode(p);
        m_setDetached.insert(p);
    }

    xmlDocPtr m_pDoc;
    std::unordered_set<xmlNodePtr> m_setDetached;
};
using TreePtr = std::shared_ptr<CXmlTree>;

inline TreePtr NewEmptyTree()
{
    EnsureParser();
    xmlDocPtr pDoc = xmlNewDoc(BAD_CAST "1.0");
    if (pDoc == nullptr)
        throw std::bad_alloc();
    return std::make_shared<CXmlTree>(pDoc);
}

// What every node object of ours can tell about itself.
class CNodeAccess
{
public:
    virtual TreePtr Tree() const = 0;
    virtual xmlNodePtr XmlNode() const = 0;

protected:
    ~CNodeAccess() = default;
};

inline CNodeAccess* AccessOf(IXMLDOMNode* p)
{
    return p == nullptr ? nullptr : dynamic_cast<CNodeAccess*>(p);
}

inline std::string QualifiedName(xmlNodePtr p)
{
    std::string s;
    if (p->ns != nullptr && p->ns->prefix != nullptr)
    {
        s = reinterpret_cast<const char*>(p->ns->prefix);
        s += ':';
    }
    if (p->name != nullptr)
        s += reinterpret_cast<const char*>(p->name);
    return s;
}

inline DOMNodeType TypeOf(xmlNodePtr p)
{
    switch (p->type)
    {
    case XML_ELEMENT_NODE:
        return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE:
        return NODE_ATTRIBUTE;
    case XML_TEXT_NODE:
        return NODE_TEXT;
    case XML_CDATA_SECTION_NODE:
        return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE:
        return NODE_ENTITY_REFERENCE;
    case XML_PI_NODE:
        return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE:
        return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
        return NODE_DOCUMENT;
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
        return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE:
        return NODE_DOCUMENT_FRAGMENT;
    default:
        return NODE_INVALID;
    }
}

// Links pNew as a child of pParent before pRef (or last). The tree's own insertion calls may merge text
// nodes and free one of them, which would leave a handed-out node dangling; this never frees anything.
inline void LinkChild(xmlNodePtr pParent, xmlNodePtr pNew, xmlNodePtr pRef)
{
    pNew->parent = pParent;
    pNew->doc = pParent->doc;
    if (pRef == nullptr)
    {
        pNew->prev = pParent->last;
        pNew->next = nullptr;
        if (pParent->last != nullptr)
            pParent->last->next = pNew;
        else
            pParent->children = pNew;
        pParent->last = pNew;
        return;
    }
    pNew->next = pRef;
    pNew->prev = pRef->prev;
    if (pRef->prev != nullptr)
        pRef->prev->next = pNew;
    else
        pParent->children = pNew;
    pRef->prev = pNew;
}

template <class TIface> class CComObject : public TIface
{
public:
    ULONG AddRef() override { return ++m_nRef; }
    ULONG Release() override
    {
        const ULONG n = --m_nRef;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    std::atomic<ULONG> m_nRef{1};
};

IXMLDOMNode* NewNode(const TreePtr& spTree, xmlNodePtr p);
IXMLDOMNodeList* NewNodeList(const TreePtr& spTree, std::vector<xmlNodePtr> vecNodes);
IXMLDOMNamedNodeMap* NewAttributeMap(const TreePtr& spTree, xmlNodePtr pElement);
} // namespace dlsw_msxml
