// The XML DOM the worker reads and writes its settings files with, created through COM from the class
// id of DOMDocument. Paths are Windows paths; loading never touches the network.
#pragma once

#include "platform/Com.h"

enum DOMNodeType
{
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12,
};

// {F6D90F11-9C73-11D3-B32E-00C04F990BB4}
inline constexpr CLSID CLSID_DOMDocument = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

// Parse error codes reported through parseError: this base plus the parser's own error number.
#define XML_E_PARSE_BASE static_cast<HRESULT>(0xC00CE000u)

struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;

struct IXMLDOMNode : IUnknown
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x01}};
    virtual HRESULT get_nodeName(BSTR* pName) = 0;
    virtual HRESULT get_nodeType(DOMNodeType* pType) = 0;
    // The concatenated text of the node and its descendants.
    virtual HRESULT get_text(BSTR* pText) = 0;
    // Replaces the node's children with one text.
    virtual HRESULT put_text(BSTR text) = 0;
    // The value as a VARIANT: a VT_BSTR of the text for untyped nodes.
    virtual HRESULT get_nodeTypedValue(VARIANT* pValue) = 0;
    // Elements only; other nodes answer S_FALSE with a null map.
    virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** ppMap) = 0;
    virtual HRESULT get_parentNode(IXMLDOMNode** ppParent) = 0;
    // XPath relative to this node. No match: S_FALSE and a null node.
    virtual HRESULT selectSingleNode(BSTR query, IXMLDOMNode** ppNode) = 0;
    // XPath relative to this node. No match: S_OK and an empty list.
    virtual HRESULT selectNodes(BSTR query, IXMLDOMNodeList** ppList) = 0;
    // Inserts before the reference node (an IXMLDOMNode in VT_UNKNOWN); an empty reference appends.
    virtual HRESULT insertBefore(IXMLDOMNode* pNewChild, VARIANT refChild, IXMLDOMNode** ppOut) = 0;
    virtual HRESULT appendChild(IXMLDOMNode* pNewChild, IXMLDOMNode** ppOut) = 0;
    // The markup of the node and its descendants.
    virtual HRESULT get_xml(BSTR* pXml) = 0;
};

struct IXMLDOMNodeList : IUnknown
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x02}};
    virtual HRESULT get_length(LONG* pLength) = 0;
    // An index outside the list answers S_FALSE and a null node.
    virtual HRESULT get_item(LONG nIndex, IXMLDOMNode** ppNode) = 0;
    virtual HRESULT nextNode(IXMLDOMNode** ppNode) = 0;
    virtual HRESULT reset() = 0;
};

struct IXMLDOMNamedNodeMap : IUnknown
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x03}};
    // An absent name answers S_FALSE and a null node.
    virtual HRESULT getNamedItem(BSTR name, IXMLDOMNode** ppNode) = 0;
    // Adds an attribute node, replacing one of the same name.
    virtual HRESULT setNamedItem(IXMLDOMNode* pNewItem, IXMLDOMNode** ppOut) = 0;
    virtual HRESULT get_length(LONG* pLength) = 0;
    virtual HRESULT get_item(LONG nIndex, IXMLDOMNode** ppNode) = 0;
};

struct IXMLDOMParseError : IUnknown
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x04}};
    virtual HRESULT get_errorCode(LONG* pCode) = 0;
    virtual HRESULT get_url(BSTR* pUrl) = 0;
    virtual HRESULT get_reason(BSTR* pReason) = 0;
    virtual HRESULT get_line(LONG* pLine) = 0;
    virtual HRESULT get_linepos(LONG* pPos) = 0;
    virtual HRESULT get_filepos(LONG* pPos) = 0;
};

struct IXMLDOMDocument : IXMLDOMNode
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x05}};
    virtual HRESULT get_async(VARIANT_BOOL* pbAsync) = 0;
    virtual HRESULT put_async(VARIANT_BOOL bAsync) = 0;
    // Loads from a path given as a VT_BSTR. A file that is missing or does not parse answers S_FALSE
    // and *pbSuccess VARIANT_FALSE; parseError then tells why, and the document is left empty.
    virtual HRESULT load(VARIANT source, VARIANT_BOOL* pbSuccess) = 0;
    virtual HRESULT loadXML(BSTR xml, VARIANT_BOOL* pbSuccess) = 0;
    virtual HRESULT get_parseError(IXMLDOMParseError** ppError) = 0;
    virtual HRESULT get_documentElement(IXMLDOMNode** ppRoot) = 0;
    // Creates an element (type 1) or an attribute (type 2), given as an integer VARIANT, not yet in the tree.
    virtual HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** ppNode) = 0;
    // Writes the tree, without a declaration or indentation, to a path given as a VT_BSTR.
    virtual HRESULT save(VARIANT destination) = 0;
};

struct IXMLDOMDocument2 : IXMLDOMDocument
{
    static constexpr IID iid = {0x6B1A0C01, 0x5D2E, 0x4F70, {0x9C, 0x11, 0x44, 0x4C, 0x53, 0x57, 0x00, 0x06}};
    // "SelectionLanguage" takes "XPath" (the only language) or "XSLPattern", read as XPath.
    virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
    virtual HRESULT getProperty(BSTR name, VARIANT* pValue) = 0;
};
