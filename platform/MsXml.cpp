#include "platform/MsXml.h"

#include "platform/MsXmlFile.h"
#include "platform/MsXmlNode.h"
#include "platform/WinFile.h"

#include <libxml/xmlsave.h>

#include <cstdio>

namespace dlsw_msxml
{
namespace
{
// Settings files are small; anything bigger is refused rather than read into memory.
constexpr size_t MAX_DOCUMENT_BYTES = 64 * 1024 * 1024;

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
        std::string sData;
        std::string sReason;
        const HRESULT hrRead = ReadDocumentFile(sHostPath, MAX_DOCUMENT_BYTES, sData, sReason);
        if (FAILED(hrRead))
            return Fail(hrRead, sReason.c_str());
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
        const int nLength = xmlBufferLength(pBuf);
        HRESULT hr = nSaved < 0
                         ? E_FAIL
                         : WriteDocumentFile(sHostPath, reinterpret_cast<const char*>(xmlBufferContent(pBuf)),
                                             nLength > 0 ? static_cast<size_t>(nLength) : 0);
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
} // namespace dlsw_msxml
