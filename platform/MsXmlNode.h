// The node operations, shared by plain nodes and the document node.
#pragma once

#include "platform/MsXmlTree.h"

#include <libxml/xpath.h>

namespace dlsw_msxml
{
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
        *ppMap = NewAttributeMap(this->Tree(), p);
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
        *ppList = NewNodeList(this->Tree(), std::move(vecNodes));
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
} // namespace dlsw_msxml
