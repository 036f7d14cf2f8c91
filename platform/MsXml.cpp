#include "platform/MsXml.h"

#include "platform/MsXmlNode.h"
#include "platform/WinFile.h"

#include <libxml/xmlsave.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace dlsw_msxml
{
namespace
{
// Settings files are small; anything bigger is refused rather than read into memory.
constexpr std::streamoff MAX_DOCUMENT_BYTES = 64 * 1024 * 1024;

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

    // The file that replaces an existing one keeps its owner, group and mode, so readers the administrator
    // let in keep their access; a new file stays 0600. An owner the process may not give is left as it is,
    // and then the group alone is tried.
    static void KeepOwnerAndMode(const std::string& sPath, int fd)
    {
        struct stat st = {};
        if (::stat(sPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return;
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        // After the owner: a change of owner clears the set-id bits.
        ::fchmod(fd, st.st_mode & 07777);
    }

    // Writes next to the target and renames over it, so a reader never sees half a file.
    static HRESULT WriteWhole(const std::string& sPath, const xmlChar* pData, int nLen)
    {
        std::string sTemp = sPath + ".XXXXXX";
        const int fd = mkstemp(sTemp.data()); // created with mode 0600
        if (fd < 0)
            return HRESULT_FROM_WIN32(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        KeepOwnerAndMode(sPath, fd);
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
} // namespace dlsw_msxml
