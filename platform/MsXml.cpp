#include "platform/MsXml.h"

#include "platform/ComSupport.h"
#include "platform/WinFile.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace
{
// Settings files are small; anything bigger is refused rather than read into memory.
constexpr std::streamoff MAX_DOCUMENT_BYTES = 64 * 1024 * 1024;

void EnsureParser()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] { xmlInitParser(); });
}

const xmlChar* X(const std::string& s)
{
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

std::string Utf8Of(BSTR bstr)
{
    return BstrToAnsi(bstr, SysStringLen(bstr));
}

BSTR BstrOfUtf8(const xmlChar* psz)
{
    const char* p = psz == nullptr ? "" : reinterpret_cast<const char*>(psz);
    return AnsiToBstr(p, std::strlen(p));
}

HRESULT OutBstr(const std::string& s, BSTR* pOut)
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

TreePtr NewEmptyTree()
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

CNodeAccess* AccessOf(IXMLDOMNode* p)
{
    return p == nullptr ? nullptr : dynamic_cast<CNodeAccess*>(p);
}

std::string QualifiedName(xmlNodePtr p)
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

DOMNodeType TypeOf(xmlNodePtr p)
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
void LinkChild(xmlNodePtr pParent, xmlNodePtr pNew, xmlNodePtr pRef)
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

class CDomNodeList final : public CComObject<IXMLDOMNodeList>
{
public:
    CDomNodeList(TreePtr spTree, std::vector<xmlNodePtr> vecNodes)
        : m_spTree(std::move(spTree)), m_vecNodes(std::move(vecNodes))
    {
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IXMLDOMNodeList::iid)
        {
            AddRef();
            *ppv = static_cast<IXMLDOMNodeList*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT get_length(LONG* pLength) override
    {
        if (pLength == nullptr)
            return E_POINTER;
        *pLength = static_cast<LONG>(m_vecNodes.size());
        return S_OK;
    }
    HRESULT get_item(LONG nIndex, IXMLDOMNode** ppNode) override
    {
        if (ppNode == nullptr)
            return E_POINTER;
        *ppNode = nullptr;
        if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_vecNodes.size())
            return S_FALSE;
        *ppNode = NewNode(m_spTree, m_vecNodes[static_cast<size_t>(nIndex)]);
        return S_OK;
    }
    HRESULT nextNode(IXMLDOMNode** ppNode) override
    {
        const HRESULT hr = get_item(static_cast<LONG>(m_nNext), ppNode);
        if (hr == S_OK)
            ++m_nNext;
        return hr;
    }
    HRESULT reset() override
    {
        m_nNext = 0;
        return S_OK;
    }

private:
    TreePtr m_spTree;
    std::vector<xmlNodePtr> m_vecNodes;
    size_t m_nNext = 0;
};

class CDomAttributeMap final : public CComObject<IXMLDOMNamedNodeMap>
{
public:
    CDomAttributeMap(TreePtr spTree, xmlNodePtr pElement) : m_spTree(std::move(spTree)), m_pElement(pElement)
    {
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IXMLDOMNamedNodeMap::iid)
        {
            AddRef();
            *ppv = static_cast<IXMLDOMNamedNodeMap*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT getNamedItem(BSTR name, IXMLDOMNode** ppNode) override
    {
        if (ppNode == nullptr)
            return E_POINTER;
        *ppNode = nullptr;
        if (name == nullptr)
            return E_INVALIDARG;
        xmlAttrPtr pAttr = Find(Utf8Of(name));
        if (pAttr == nullptr)
            return S_FALSE;
        *ppNode = NewNode(m_spTree, reinterpret_cast<xmlNodePtr>(pAttr));
        return S_OK;
    }
    HRESULT setNamedItem(IXMLDOMNode* pNewItem, IXMLDOMNode** ppOut) override
    {
        if (ppOut != nullptr)
            *ppOut = nullptr;
        CNodeAccess* pAccess = AccessOf(pNewItem);
        if (pAccess == nullptr)
            return E_INVALIDARG;
        xmlNodePtr pAttr = pAccess->XmlNode();
        if (pAccess->Tree() != m_spTree || pAttr->type != XML_ATTRIBUTE_NODE)
            return E_INVALIDARG;
        if (pAttr->parent != nullptr && pAttr->parent != m_pElement)
            return E_FAIL; // the attribute belongs to another element
        if (pAttr->parent == nullptr)
        {
            if (xmlAttrPtr pOld = Find(QualifiedName(pAttr)))
                m_spTree->Detach(reinterpret_cast<xmlNodePtr>(pOld));
            // Appended by hand: the tree's own call frees a same-named attribute, which may be held.
            auto* p = reinterpret_cast<xmlAttrPtr>(pAttr);
            p->parent = m_pElement;
            p->doc = m_pElement->doc;
            p->next = nullptr;
            p->prev = nullptr;
            if (m_pElement->properties == nullptr)
                m_pElement->properties = p;
            else
            {
                xmlAttrPtr pLast = m_pElement->properties;
                while (pLast->next != nullptr)
                    pLast = pLast->next;
                pLast->next = p;
                p->prev = pLast;
            }
        }
        if (ppOut != nullptr)
        {
            pNewItem->AddRef();
            *ppOut = pNewItem;
        }
        return S_OK;
    }
    HRESULT get_length(LONG* pLength) override
    {
        if (pLength == nullptr)
            return E_POINTER;
        LONG n = 0;
        for (xmlAttrPtr p = m_pElement->properties; p != nullptr; p = p->next)
            ++n;
        *pLength = n;
        return S_OK;
    }
    HRESULT get_item(LONG nIndex, IXMLDOMNode** ppNode) override
    {
        if (ppNode == nullptr)
            return E_POINTER;
        *ppNode = nullptr;
        LONG n = 0;
        for (xmlAttrPtr p = m_pElement->properties; p != nullptr; p = p->next, ++n)
        {
            if (n == nIndex)
            {
                *ppNode = NewNode(m_spTree, reinterpret_cast<xmlNodePtr>(p));
                return S_OK;
            }
        }
        return S_FALSE;
    }

private:
    xmlAttrPtr Find(const std::string& sName) const
    {
        for (xmlAttrPtr p = m_pElement->properties; p != nullptr; p = p->next)
        {
            if (QualifiedName(reinterpret_cast<xmlNodePtr>(p)) == sName)
                return p;
        }
        return nullptr;
    }

    TreePtr m_spTree;
    xmlNodePtr m_pElement;
};

class CDomParseError final : public CComObject<IXMLDOMParseError>
{
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IXMLDOMParseError::iid)
        {
            AddRef();
            *ppv = static_cast<IXMLDOMParseError*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT get_errorCode(LONG* pCode) override { return Out(m_nCode, pCode); }
    HRESULT get_url(BSTR* pUrl) override { return OutBstr(m_sUrl, pUrl); }
    HRESULT get_reason(BSTR* pReason) override { return OutBstr(m_sReason, pReason); }
    HRESULT get_line(LONG* pLine) override { return Out(m_nLine, pLine); }
    HRESULT get_linepos(LONG* pPos) override { return Out(m_nLinePos, pPos); }
    HRESULT get_filepos(LONG* pPos) override { return Out(m_nFilePos, pPos); }

    LONG m_nCode = 0;
    LONG m_nLine = 0;
    LONG m_nLinePos = 0;
    LONG m_nFilePos = 0;
    std::string m_sUrl;
    std::string m_sReason;

private:
    static HRESULT Out(LONG n, LONG* p)
    {
        if (p == nullptr)
            return E_POINTER;
        *p = n;
        return S_OK;
    }
};

// The node operations, shared by plain nodes and the document node.
template <class TIface> class CDomNodeImpl : public CComObject<TIface>, public CNodeAccess
{
public:
    HRESULT get_nodeName(BSTR* pName) override
    {
        xmlNodePtr p = this->XmlNode();
        switch (p->type)
        {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        case XML_PI_NODE:
            return OutBstr(QualifiedName(p), pName);
        case XML_TEXT_NODE:
            return OutBstr("#text", pName);
        case XML_CDATA_SECTION_NODE:
            return OutBstr("#cdata-section", pName);
        case XML_COMMENT_NODE:
            return OutBstr("#comment", pName);
        case XML_DOCUMENT_NODE:
            return OutBstr("#document", pName);
        case XML_DOCUMENT_FRAG_NODE:
            return OutBstr("#document-fragment", pName);
        default:
            return OutBstr(QualifiedName(p), pName);
        }
    }
    HRESULT get_nodeType(DOMNodeType* pType) override
    {
        if (pType == nullptr)
            return E_POINTER;
        *pType = TypeOf(this->XmlNode());
        return S_OK;
    }
    HRESULT get_text(BSTR* pText) override
    {
        if (pText == nullptr)
            return E_POINTER;
        xmlChar* psz = xmlNodeGetContent(this->XmlNode());
        *pText = BstrOfUtf8(psz);
        xmlFree(psz);
        return *pText == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    HRESULT put_text(BSTR text) override
    {
        xmlNodePtr p = this->XmlNode();
        const std::string s = Utf8Of(text);
        switch (p->type)
        {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        {
            TreePtr spTree = this->Tree();
            while (p->children != nullptr)
                spTree->Detach(p->children);
            if (!s.empty())
            {
                xmlNodePtr pText = xmlNewDocTextLen(p->doc, X(s), static_cast<int>(s.size()));
                if (pText == nullptr)
                    return E_OUTOFMEMORY;
                LinkChild(p, pText, nullptr);
            }
            return S_OK;
        }
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            xmlNodeSetContentLen(p, X(s), static_cast<int>(s.size()));
            return S_OK;
        default:
            return E_FAIL;
        }
    }
    HRESULT get_nodeTypedValue(VARIANT* pValue) override
    {
        if (pValue == nullptr)
            return E_POINTER;
        VariantInit(pValue);
        BSTR bstr = nullptr;
        const HRESULT hr = get_text(&bstr);
        if (FAILED(hr))
            return hr;
        pValue->vt = VT_BSTR;
        pValue->bstrVal = bstr;
        return S_OK;
    }
    HRESULT get_attributes(IXMLDOMNamedNodeMap** ppMap) override
    {
        if (ppMap == nullptr)
            return E_POINTER;
        *ppMap = nullptr;
        xmlNodePtr p = this->XmlNode();
        if (p->type != XML_ELEMENT_NODE)
            return S_FALSE;
        *ppMap = new CDomAttributeMap(this->Tree(), p);
        return S_OK;
    }
    HRESULT get_parentNode(IXMLDOMNode** ppParent) override
    {
        if (ppParent == nullptr)
            return E_POINTER;
        *ppParent = nullptr;
        xmlNodePtr p = this->XmlNode();
        if (p->parent == nullptr || p->type == XML_ATTRIBUTE_NODE)
            return S_FALSE;
        // The document node has its own object; a node's parent is handed out as a plain node then.
        *ppParent = NewNode(this->Tree(), p->parent);
        return S_OK;
    }
    HRESULT selectSingleNode(BSTR query, IXMLDOMNode** ppNode) override
    {
        if (ppNode == nullptr)
            return E_POINTER;
        *ppNode = nullptr;
        std::vector<xmlNodePtr> vecNodes;
        const HRESULT hr = Select(query, vecNodes);
        if (FAILED(hr))
            return hr;
        if (vecNodes.empty())
            return S_FALSE;
        *ppNode = NewNode(this->Tree(), vecNodes.front());
        return S_OK;
    }
    HRESULT selectNodes(BSTR query, IXMLDOMNodeList** ppList) override
    {
        if (ppList == nullptr)
            return E_POINTER;
        *ppList = nullptr;
        std::vector<xmlNodePtr> vecNodes;
        const HRESULT hr = Select(query, vecNodes);
        if (FAILED(hr))
            return hr;
        *ppList = new CDomNodeList(this->Tree(), std::move(vecNodes));
        return S_OK;
    }
    HRESULT insertBefore(IXMLDOMNode* pNewChild, VARIANT refChild, IXMLDOMNode** ppOut) override
    {
        if (ppOut != nullptr)
            *ppOut = nullptr;
        xmlNodePtr pParent = this->XmlNode();
        if (pParent->type != XML_ELEMENT_NODE && pParent->type != XML_DOCUMENT_NODE &&
            pParent->type != XML_DOCUMENT_FRAG_NODE)
            return E_FAIL;
        CNodeAccess* pNewAccess = AccessOf(pNewChild);
        if (pNewAccess == nullptr || pNewAccess->Tree() != this->Tree())
            return E_INVALIDARG;
        xmlNodePtr pNew = pNewAccess->XmlNode();
        switch (pNew->type)
        {
        case XML_ELEMENT_NODE:
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            break;
        default:
            return E_INVALIDARG;
        }
        xmlNodePtr pRef = nullptr;
        if (refChild.vt == VT_UNKNOWN && refChild.punkVal != nullptr)
        {
            CComPtr<IXMLDOMNode> spRef;
            if (FAILED(refChild.punkVal->QueryInterface(IXMLDOMNode::iid, reinterpret_cast<void**>(&spRef))))
                return E_INVALIDARG;
            CNodeAccess* pRefAccess = AccessOf(spRef.Get());
            if (pRefAccess == nullptr || pRefAccess->XmlNode()->parent != pParent)
                return E_INVALIDARG;
            pRef = pRefAccess->XmlNode();
        }
        else if (refChild.vt != VT_EMPTY && refChild.vt != VT_NULL)
            return E_INVALIDARG;
        if (pRef == pNew)
            return E_INVALIDARG;
        for (xmlNodePtr p = pParent; p != nullptr; p = p->parent)
        {
            if (p == pNew)
                return E_INVALIDARG; // would make a node its own ancestor
        }
        if (pParent->type == XML_DOCUMENT_NODE)
        {
            if (pNew->type == XML_TEXT_NODE || pNew->type == XML_CDATA_SECTION_NODE)
                return E_FAIL;
            if (pNew->type == XML_ELEMENT_NODE)
            {
                for (xmlNodePtr p = pParent->children; p != nullptr; p = p->next)
                {
                    if (p->type == XML_ELEMENT_NODE && p != pNew)
                        return E_FAIL; // one document element only
                }
            }
        }
        if (pNew->parent != nullptr)
            xmlUnlinkNode(pNew);
        LinkChild(pParent, pNew, pRef);
        if (ppOut != nullptr)
        {
            pNewChild->AddRef();
            *ppOut = pNewChild;
        }
        return S_OK;
    }
    HRESULT appendChild(IXMLDOMNode* pNewChild, IXMLDOMNode** ppOut) override
    {
        VARIANT empty;
        VariantInit(&empty);
        return insertBefore(pNewChild, empty, ppOut);
    }
    HRESULT get_xml(BSTR* pXml) override
    {
        if (pXml == nullptr)
            return E_POINTER;
        xmlNodePtr p = this->XmlNode();
        xmlBufferPtr pBuf = xmlBufferCreate();
        if (pBuf == nullptr)
            return E_OUTOFMEMORY;
        if (p->type == XML_DOCUMENT_NODE)
        {
            for (xmlNodePtr c = p->children; c != nullptr; c = c->next)
                xmlNodeDump(pBuf, p->doc, c, 0, 0);
        }
        else
            xmlNodeDump(pBuf, p->doc, p, 0, 0);
        *pXml = BstrOfUtf8(xmlBufferContent(pBuf));
        xmlBufferFree(pBuf);
        return *pXml == nullptr ? E_OUTOFMEMORY : S_OK;
    }

protected:
    static void SilentError(void*, xmlErrorPtr) {}

    HRESULT Select(BSTR query, std::vector<xmlNodePtr>& vecNodes)
    {
        if (query == nullptr)
            return E_INVALIDARG;
        const std::string sQuery = Utf8Of(query);
        xmlNodePtr p = this->XmlNode();
        xmlXPathContextPtr pCtx = xmlXPathNewContext(p->doc != nullptr ? p->doc : this->Tree()->m_pDoc);
        if (pCtx == nullptr)
            return E_OUTOFMEMORY;
        pCtx->node = p;
        pCtx->error = &SilentError; // a bad expression is an answer, not a line on standard error
        xmlXPathObjectPtr pObj = xmlXPathEvalExpression(X(sQuery), pCtx);
        HRESULT hr = S_OK;
        if (pObj == nullptr || pObj->type != XPATH_NODESET)
            hr = E_FAIL;
        else if (pObj->nodesetval != nullptr)
        {
            for (int i = 0; i < pObj->nodesetval->nodeNr; ++i)
            {
                xmlNodePtr pFound = pObj->nodesetval->nodeTab[i];
                // Namespace nodes are copies owned by the result; they are not part of the tree.
                if (pFound != nullptr && pFound->type != XML_NAMESPACE_DECL)
                    vecNodes.push_back(pFound);
            }
        }
        xmlXPathFreeObject(pObj);
        xmlXPathFreeContext(pCtx);
        return hr;
    }
};

class CDomNode final : public CDomNodeImpl<IXMLDOMNode>
{
public:
    CDomNode(TreePtr spTree, xmlNodePtr p) : m_spTree(std::move(spTree)), m_pNode(p) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IXMLDOMNode::iid)
        {
            AddRef();
            *ppv = static_cast<IXMLDOMNode*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    TreePtr Tree() const override { return m_spTree; }
    xmlNodePtr XmlNode() const override { return m_pNode; }

private:
    TreePtr m_spTree;
    xmlNodePtr m_pNode;
};

IXMLDOMNode* NewNode(const TreePtr& spTree, xmlNodePtr p)
{
    return new CDomNode(spTree, p);
}

// Collects the first error the parser reports while one document is read on this thread.
struct CParseCapture
{
    bool m_bSet = false;
    int m_nCode = 0;
    int m_nLine = 0;
    int m_nColumn = 0;
    std::string m_sMessage;
};
thread_local CParseCapture* t_pCapture = nullptr;

void CaptureError(void*, xmlErrorPtr pErr)
{
    if (t_pCapture == nullptr || pErr == nullptr || t_pCapture->m_bSet || pErr->level < XML_ERR_ERROR)
        return;
    t_pCapture->m_bSet = true;
    t_pCapture->m_nCode = pErr->code;
    t_pCapture->m_nLine = pErr->line;
    t_pCapture->m_nColumn = pErr->int2;
    t_pCapture->m_sMessage = pErr->message != nullptr ? pErr->message : "";
    while (!t_pCapture->m_sMessage.empty() && t_pCapture->m_sMessage.back() == '\n')
        t_pCapture->m_sMessage.pop_back();
}

class CDomDocument final : public CDomNodeImpl<IXMLDOMDocument2>
{
public:
    CDomDocument() : m_spTree(NewEmptyTree()) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IXMLDOMNode::iid || riid == IXMLDOMDocument::iid ||
            riid == IXMLDOMDocument2::iid)
        {
            AddRef();
            *ppv = static_cast<IXMLDOMDocument2*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    TreePtr Tree() const override { return m_spTree; }
    xmlNodePtr XmlNode() const override { return reinterpret_cast<xmlNodePtr>(m_spTree->m_pDoc); }

    HRESULT get_async(VARIANT_BOOL* pbAsync) override
    {
        if (pbAsync == nullptr)
            return E_POINTER;
        *pbAsync = m_bAsync;
        return S_OK;
    }
    HRESULT put_async(VARIANT_BOOL bAsync) override
    {
        // Loading always completes before load returns; the flag is only remembered.
        m_bAsync = bAsync;
        return S_OK;
    }
    HRESULT load(VARIANT source, VARIANT_BOOL* pbSuccess) override
    {
        if (pbSuccess != nullptr)
            *pbSuccess = VARIANT_FALSE;
        if (source.vt != VT_BSTR || source.bstrVal == nullptr)
            return E_INVALIDARG;
        const std::string sPath = Utf8Of(source.bstrVal);
        ResetError(sPath);
        m_spTree = NewEmptyTree();
        std::string sHostPath;
        const DWORD dwMap = MapWindowsPathToPosix(sPath, sHostPath);
        if (dwMap != ERROR_SUCCESS)
            return Fail(HRESULT_FROM_WIN32(dwMap), "The system cannot find the path specified.");
        std::ifstream in(sHostPath, std::ios::binary);
        if (!in)
            return Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                        "The system cannot find the file specified.");
        in.seekg(0, std::ios::end);
        const std::streamoff nSize = in.tellg();
        if (nSize < 0 || nSize > MAX_DOCUMENT_BYTES)
            return Fail(E_OUTOFMEMORY, "The file is too large to be read.");
        in.seekg(0, std::ios::beg);
        std::string sData(static_cast<size_t>(nSize), '\0');
        if (nSize > 0 && !in.read(sData.data(), nSize))
            return Fail(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "The file could not be read.");
        return Parse(sData, sPath, pbSuccess);
    }
    HRESULT loadXML(BSTR xml, VARIANT_BOOL* pbSuccess) override
    {
        if (pbSuccess != nullptr)
            *pbSuccess = VARIANT_FALSE;
        ResetError("");
        m_spTree = NewEmptyTree();
        return Parse(Utf8Of(xml), "", pbSuccess);
    }
    HRESULT get_parseError(IXMLDOMParseError** ppError) override
    {
        if (ppError == nullptr)
            return E_POINTER;
        m_spError->AddRef();
        *ppError = m_spError.Get();
        return S_OK;
    }
    HRESULT get_documentElement(IXMLDOMNode** ppRoot) override
    {
        if (ppRoot == nullptr)
            return E_POINTER;
        *ppRoot = nullptr;
        xmlNodePtr pRoot = xmlDocGetRootElement(m_spTree->m_pDoc);
        if (pRoot == nullptr)
            return S_FALSE;
        *ppRoot = NewNode(m_spTree, pRoot);
        return S_OK;
    }
    HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** ppNode) override
    {
        if (ppNode == nullptr)
            return E_POINTER;
        *ppNode = nullptr;
        VARIANT vType;
        VariantInit(&vType);
        if (FAILED(VariantChangeType(&vType, &type, 0, VT_I4)))
            return E_INVALIDARG;
        if (SysStringLen(namespaceURI) != 0)
            return E_INVALIDARG; // documents of the worker carry no namespaces
        const std::string sName = Utf8Of(name);
        if (sName.empty() || xmlValidateName(X(sName), 0) != 0)
            return E_FAIL;
        xmlNodePtr pNew = nullptr;
        if (vType.lVal == NODE_ELEMENT)
            pNew = xmlNewDocNode(m_spTree->m_pDoc, nullptr, X(sName), nullptr);
        else if (vType.lVal == NODE_ATTRIBUTE)
            pNew = reinterpret_cast<xmlNodePtr>(xmlNewDocProp(m_spTree->m_pDoc, X(sName), nullptr));
        else
            return E_INVALIDARG;
        if (pNew == nullptr)
            return E_OUTOFMEMORY;
        m_spTree->m_setDetached.insert(pNew);
        *ppNode = NewNode(m_spTree, pNew);
        return S_OK;
    }
    HRESULT save(VARIANT destination) override
    {
        if (destination.vt != VT_BSTR || destination.bstrVal == nullptr)
            return E_INVALIDARG;
        std::string sHostPath;
        const DWORD dwMap = MapWindowsPathToPosix(Utf8Of(destination.bstrVal), sHostPath);
        if (dwMap != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(dwMap);
        xmlBufferPtr pBuf = xmlBufferCreate();
        if (pBuf == nullptr)
            return E_OUTOFMEMORY;
        xmlSaveCtxtPtr pSave = xmlSaveToBuffer(pBuf, "UTF-8", XML_SAVE_NO_DECL);
        if (pSave == nullptr)
        {
            xmlBufferFree(pBuf);
            return E_OUTOFMEMORY;
        }
        const long nSaved = xmlSaveDoc(pSave, m_spTree->m_pDoc);
        xmlSaveClose(pSave);
        HRESULT hr =
            nSaved < 0 ? E_FAIL : WriteWhole(sHostPath, xmlBufferContent(pBuf), xmlBufferLength(pBuf));
        xmlBufferFree(pBuf);
        return hr;
    }
    HRESULT setProperty(BSTR name, VARIANT value) override
    {
        const std::string sName = Utf8Of(name);
        if (sName == "SelectionLanguage")
        {
            if (value.vt != VT_BSTR)
                return E_INVALIDARG;
            const std::string sValue = Utf8Of(value.bstrVal);
            if (sValue != "XPath" && sValue != "XSLPattern")
                return E_FAIL;
            m_sSelectionLanguage = sValue;
            return S_OK;
        }
        return E_FAIL;
    }
    HRESULT getProperty(BSTR name, VARIANT* pValue) override
    {
        if (pValue == nullptr)
            return E_POINTER;
        VariantInit(pValue);
        if (Utf8Of(name) != "SelectionLanguage")
            return E_FAIL;
        pValue->vt = VT_BSTR;
        pValue->bstrVal = AnsiToBstr(m_sSelectionLanguage.data(), m_sSelectionLanguage.size());
        return pValue->bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }

private:
    void ResetError(const std::string& sUrl)
    {
        m_spError.Attach(new CDomParseError());
        m_spError->m_sUrl = sUrl;
    }

    HRESULT Fail(HRESULT hrCode, const char* pszReason)
    {
        m_spError->m_nCode = hrCode;
        m_spError->m_sReason = pszReason;
        return S_FALSE;
    }

    HRESULT Parse(const std::string& sData, const std::string& sUrl, VARIANT_BOOL* pbSuccess)
    {
        EnsureParser();
        xmlParserCtxtPtr pCtxt = xmlNewParserCtxt();
        if (pCtxt == nullptr)
            return E_OUTOFMEMORY;
        pCtxt->sax->serror = &CaptureError; // errors come back to us, never to standard error
        CParseCapture capture;
        t_pCapture = &capture;
        const int nOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
        xmlDocPtr pDoc = sData.size() > static_cast<size_t>(INT32_MAX)
                             ? nullptr
                             : xmlCtxtReadMemory(pCtxt, sData.data(), static_cast<int>(sData.size()),
                                                 sUrl.empty() ? nullptr : sUrl.c_str(), nullptr, nOptions);
        t_pCapture = nullptr;
        const bool bWellFormed = pDoc != nullptr && pCtxt->wellFormed != 0;
        xmlFreeParserCtxt(pCtxt);
        if (!bWellFormed || xmlDocGetRootElement(pDoc) == nullptr)
        {
            xmlFreeDoc(pDoc);
            m_spError->m_nCode = XML_E_PARSE_BASE | (capture.m_bSet ? (capture.m_nCode & 0xFFF) : 0xFFF);
            m_spError->m_nLine = capture.m_nLine;
            m_spError->m_nLinePos = capture.m_nColumn;
            m_spError->m_sReason = capture.m_bSet ? capture.m_sMessage : "The document has no root element.";
            return S_FALSE;
        }
        m_spTree = std::make_shared<CXmlTree>(pDoc);
        if (pbSuccess != nullptr)
            *pbSuccess = VARIANT_TRUE;
        return S_OK;
    }

    // Writes next to the target and renames over it, so a reader never sees half a file.
    static HRESULT WriteWhole(const std::string& sPath, const xmlChar* pData, int nLen)
    {
        std::string sTemp = sPath + ".XXXXXX";
        const int fd = mkstemp(sTemp.data()); // created with mode 0600
        if (fd < 0)
            return HRESULT_FROM_WIN32(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        const char* p = reinterpret_cast<const char*>(pData);
        size_t nLeft = nLen > 0 ? static_cast<size_t>(nLen) : 0;
        bool bOk = true;
        while (nLeft > 0)
        {
            const ssize_t n = ::write(fd, p, nLeft);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
            {
                bOk = false;
                break;
            }
            p += n;
            nLeft -= static_cast<size_t>(n);
        }
        if (::close(fd) != 0)
            bOk = false;
        if (!bOk || std::rename(sTemp.c_str(), sPath.c_str()) != 0)
        {
            ::unlink(sTemp.c_str());
            return E_FAIL;
        }
        return S_OK;
    }

    TreePtr m_spTree;
    CComPtr<CDomParseError> m_spError;
    VARIANT_BOOL m_bAsync = VARIANT_TRUE;
    std::string m_sSelectionLanguage = "XSLPattern";

public:
    void Init() { ResetError(""); }
};

HRESULT CreateDomDocument(REFIID riid, void** ppv)
{
    auto* pDoc = new CDomDocument();
    pDoc->Init();
    const HRESULT hr = pDoc->QueryInterface(riid, ppv);
    pDoc->Release();
    return hr;
}

struct CRegisterDomDocument
{
    CRegisterDomDocument() { DlswCoRegisterInprocClass(CLSID_DOMDocument, &CreateDomDocument); }
} g_registerDomDocument;
} // namespace
