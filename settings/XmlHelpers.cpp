#include "settings/XmlHelpers.h"

#include "common/TraceLog.h"
#include "platform/MsXmlFile.h"

#include <cstring>

HRESULT LoadXMLDocument(IXMLDOMDocument2* pDoc, const std::string& sPath, std::string* psReason)
{
    if (pDoc == nullptr)
        return E_POINTER;
    HRESULT hr = pDoc->put_async(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    hr = pDoc->load(_variant_t(sPath.c_str()), &bLoaded);
    if (FAILED(hr))
        return hr;
    CComPtr<IXMLDOMParseError> spError;
    if (FAILED(pDoc->get_parseError(&spError)) || !spError)
        return E_FAIL;
    LONG nCode = 0;
    if (FAILED(spError->get_errorCode(&nCode)))
        return E_FAIL;
    if (nCode == 0)
    {
        // A server process has no useful standard error; the trace log takes these lines.
        TraceLog("XML document loaded successfully");
        return S_OK;
    }
    ReportXMLParseError(spError);
    if (psReason != nullptr)
        *psReason = DescribeXMLParseError(spError, sPath);
    return nCode;
}

std::string DescribeXMLParseError(IXMLDOMParseError* pError, const std::string& sPath)
{
    if (pError == nullptr)
        return std::string();
    LONG nLine = 0;
    LONG nPos = 0;
    _bstr_t reason;
    if (FAILED(pError->get_line(&nLine)) || FAILED(pError->get_linepos(&nPos)) ||
        FAILED(pError->get_reason(reason.GetAddress())))
        return std::string();
    std::string sText = sPath;
    if (nLine > 0)
        sText += " line " + std::to_string(nLine) + ", column " + std::to_string(nPos);
    return sText + ": " + reason.ToAnsi();
}

void ReportXMLParseError(IXMLDOMParseError* pError)
{
    if (pError == nullptr)
        return;
    LONG nLine = 0;
    LONG nPos = 0;
    LONG nCode = 0;
    _bstr_t url;
    _bstr_t reason;
    if (FAILED(pError->get_line(&nLine)) || FAILED(pError->get_linepos(&nPos)) ||
        FAILED(pError->get_errorCode(&nCode)) || FAILED(pError->get_url(url.GetAddress())) ||
        FAILED(pError->get_reason(reason.GetAddress())))
        return;
    TraceLog("%s", reason.ToAnsi().c_str());
    if (nLine > 0)
        TraceLog("Error on line %d, position %d in \"%s\".", nLine, nPos, url.ToAnsi().c_str());
}

CComPtr<IXMLDOMNode> XMLCreateNode(IXMLDOMDocument2* pDoc, LONG nNodeType, const char* pszName, HRESULT* phr)
{
    CComPtr<IXMLDOMNode> spNode;
    HRESULT hr = E_POINTER;
    if (pDoc != nullptr)
        hr = pDoc->createNode(_variant_t(nNodeType), _bstr_t(pszName), nullptr, &spNode);
    if (phr != nullptr)
        *phr = hr;
    return spNode;
}

HRESULT XMLSetTextAttribute(IXMLDOMDocument2* pDoc, IXMLDOMNamedNodeMap* pAttributes, const char* pszName,
                            const std::string& sText)
{
    if (pDoc == nullptr || pAttributes == nullptr)
        return S_FALSE;
    HRESULT hr = S_OK;
    CComPtr<IXMLDOMNode> spAttr = XMLCreateNode(pDoc, NODE_ATTRIBUTE, pszName, &hr);
    if (FAILED(hr))
        return hr;
    CComPtr<IXMLDOMNode> spAdded;
    hr = pAttributes->setNamedItem(spAttr, &spAdded);
    if (FAILED(hr))
        return hr;
    if (!spAdded)
        return E_FAIL;
    return spAdded->put_text(_bstr_t(sText));
}

HRESULT XMLSetIntAttribute(IXMLDOMDocument2* pDoc, IXMLDOMNamedNodeMap* pAttributes, const char* pszName,
                           int nValue)
{
    return XMLSetTextAttribute(pDoc, pAttributes, pszName, std::to_string(nValue));
}

HRESULT XMLReadAttributeValue(IXMLDOMNode* pAttribute, VARIANT* pValue)
{
    if (pAttribute == nullptr || pValue == nullptr)
        return E_POINTER;
    const HRESULT hr = VariantClear(pValue);
    if (FAILED(hr))
        return hr;
    return pAttribute->get_nodeTypedValue(pValue);
}

HRESULT XMLSaveDocument(IXMLDOMDocument2* pDoc, const std::string& sPath)
{
    if (pDoc == nullptr)
        return E_POINTER;
    const HRESULT hr = pDoc->save(_variant_t(sPath.c_str()));
    const DlswSaveOwnership ownership = DlswLastSaveOwnership();
    if (SUCCEEDED(hr) && ownership.m_bReplaced && !ownership.m_bKept)
        TraceLog(
            "XMLSaveDocument could not keep the owner %u, group %u and mode %04o of %s (%s): the file is "
            "saved with mode %04o",
            ownership.m_nOwner, ownership.m_nGroup, ownership.m_nModeBefore, sPath.c_str(),
            std::strerror(ownership.m_nErrno), ownership.m_nModeWritten);
    return hr;
}
