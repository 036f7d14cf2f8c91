#include "platform/MsXmlNode.h"

namespace dlsw_msxml
{
namespace
{
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

} // namespace

IXMLDOMNode* NewNode(const TreePtr& spTree, xmlNodePtr p)
{
    return new CDomNode(spTree, p);
}

IXMLDOMNodeList* NewNodeList(const TreePtr& spTree, std::vector<xmlNodePtr> vecNodes)
{
    return new CDomNodeList(spTree, std::move(vecNodes));
}

IXMLDOMNamedNodeMap* NewAttributeMap(const TreePtr& spTree, xmlNodePtr pElement)
{
    return new CDomAttributeMap(spTree, pElement);
}
} // namespace dlsw_msxml
