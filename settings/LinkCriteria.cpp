#include "settings/LinkCriteria.h"

#include "common/TraceLog.h"
#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "settings/LoadGuard.h"
#include "settings/XmlHelpers.h"

HRESULT CLinkCriteria::LoadLinkCriteria(const std::string& sPath)
{
    CReadState state;
    CLoadStart start;
    if (!BeginLoad(sPath, "LoadLinkCriteria", start))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

    const HRESULT hr =
        GuardLoad({"LoadLinkCriteria", "", "LoadCoreSettings"},
                  [&]
                  {
                      CComPtr<IXMLDOMDocument2> spDoc = OpenDocument(sPath);
                      CComPtr<IXMLDOMNode> spRoot;
                      ThrowIfFailed(spDoc->selectSingleNode(_bstr_t("SERVICEWORKERS"), &spRoot));
                      return ForEachElement(spRoot.Get(), "SW", {"ID", "DESCR"},
                                            [&](IXMLDOMNode* pSW, const TagItems& items)
                                            {
                                                // An SW without a readable ID is skipped with its links: they
                                                // belong to no service worker.
                                                if (!ReadSW(items, state))
                                                    return;
                                                ForEachChild(pSW, "LINK", {"CRITERIA_ID", "SETTINGS_ID"},
                                                             _functTrans<CLinkCriteria, CReadState>{
                                                                 this, &CLinkCriteria::ReadLink},
                                                             state);
                                            });
                  });
    if (FAILED(hr))
        return hr;
    m_mapServiceWorkers.swap(state.m_mapNew);
    RecordLoad(sPath, start.BeforeRead());
    return S_OK;
}

bool CLinkCriteria::ReadSW(const TagItems& items, CReadState& state)
{
    state.m_spCurrent.Release();
    if (items.size() != 2)
        return false;
    int nID = 0;
    if (!ReadIntAttribute(items[0].m_vValue, nID))
        return false;
    std::string sDescr;
    const bool bDescr = VariantToString(items[1].m_vValue, sDescr);
    CCountedPtr<SWLinkRecord>& spRecord = state.m_mapNew[nID];
    if (!spRecord)
    {
        spRecord = CCountedPtr<SWLinkRecord>(new SWLinkRecord());
        spRecord->m_nID = nID;
    }
    if (bDescr)
        spRecord->m_sDescr = sDescr;
    state.m_spCurrent = spRecord;
    return true;
}

void CLinkCriteria::ReadLink(const TagItems& items, CReadState& state)
{
    if (items.size() != 2 || !state.m_spCurrent)
        return;
    int nCriteriaID = 0;
    int nSettingsID = 0;
    VariantToInt(items[0].m_vValue, nCriteriaID);
    VariantToInt(items[1].m_vValue, nSettingsID);
    state.m_spCurrent->m_mapLinks[nCriteriaID] = nSettingsID;
}

HRESULT CLinkCriteria::Save()
{
    HRESULT hr = S_OK;
    try
    {
        CComPtr<IXMLDOMDocument2> spDoc;
        hr = spDoc.CoCreateInstance(CLSID_DOMDocument);
        if (FAILED(hr))
            return hr;
        CComPtr<IXMLDOMNode> spRoot = XMLCreateNode(spDoc, NODE_ELEMENT, "SERVICEWORKERS", &hr);
        if (FAILED(hr))
            return hr;
        hr = spDoc->insertBefore(spRoot, _variant_t(), nullptr);
        if (FAILED(hr))
            return hr;
        for (const auto& [nID, spRecord] : m_mapServiceWorkers)
        {
            if (!spRecord)
                continue;
            CComPtr<IXMLDOMNode> spSW = XMLCreateNode(spDoc, NODE_ELEMENT, "SW", &hr);
            if (FAILED(hr))
                return hr;
            hr = spRoot->insertBefore(spSW, _variant_t(), nullptr);
            if (FAILED(hr))
                return hr;
            CComPtr<IXMLDOMNamedNodeMap> spAttributes;
            hr = spSW->get_attributes(&spAttributes);
            if (FAILED(hr))
                return hr;
            hr = XMLSetIntAttribute(spDoc, spAttributes, "ID", spRecord->m_nID);
            if (FAILED(hr))
                return hr;
            hr = XMLSetTextAttribute(spDoc, spAttributes, "DESCR", spRecord->m_sDescr);
            if (FAILED(hr))
                return hr;
            for (const auto& [nCriteriaID, nSettingsID] : spRecord->m_mapLinks)
            {
                CComPtr<IXMLDOMNode> spLink = XMLCreateNode(spDoc, NODE_ELEMENT, "LINK", &hr);
                if (FAILED(hr))
                    return hr;
                hr = spSW->insertBefore(spLink, _variant_t(), nullptr);
                if (FAILED(hr))
                    return hr;
                CComPtr<IXMLDOMNamedNodeMap> spLinkAttributes;
                hr = spLink->get_attributes(&spLinkAttributes);
                if (FAILED(hr))
                    return hr;
                hr = XMLSetIntAttribute(spDoc, spLinkAttributes, "CRITERIA_ID", nCriteriaID);
                if (FAILED(hr))
                    return hr;
                hr = XMLSetIntAttribute(spDoc, spLinkAttributes, "SETTINGS_ID", nSettingsID);
                if (FAILED(hr))
                    return hr;
            }
        }
        return XMLSaveDocument(spDoc, GetPath());
    }
    catch (const _com_error& e)
    {
        return e.Error();
    }
    catch (...)
    {
        return E_FAIL;
    }
}
