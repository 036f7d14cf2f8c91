#include "general/OWAADConfig.h"

#include "common/RestoreThreadToken.h"
#include "common/TraceLog.h"
#include "general/DirectoryText.h"
#include "platform/ComSupport.h"

namespace
{
template <class T>
void AddReader(std::vector<CCountedPtr<ADProp>>& vecReaders, T* pTarget, const char* pszName, int32_t nKind)
{
    vecReaders.push_back(CCountedPtr<ADProp>(new TReadADProp<T>(pTarget, pszName, nKind)));
}

std::string ErrorText(HRESULT hr)
{
    return AnsiFromWide(COWAADConfig::GetADSIErrorText(hr));
}
} // namespace

void COWAADConfig::BuildAttributeReaders()
{
    constexpr int32_t NUM = ADProp::KIND_INTEGER;
    constexpr int32_t STR = ADProp::KIND_STRING;
    constexpr int32_t LIST = ADProp::KIND_LIST;
    auto& v = m_vecAttributeReaders;
    AddReader(v, &m_nUserContextTimeOut, "msExchOWAUserContextTimeOut", NUM);
    AddReader(v, &m_nOWAVersion, "msExchOWAVersion", NUM);
    AddReader(v, &m_nVirtualDirectoryType, "msExchOWAVirtualDirectoryType", NUM);
    AddReader(v, &m_nUseISO99519, "msExchOWAUseISO99519", NUM);
    AddReader(v, &m_nUseGB18030, "msExchOWAUseGB18030", NUM);
    AddReader(v, &m_nTranscodingFlag, "msExchOWATranscodingFlag", NUM);
    AddReader(v, &m_vecTranscodingMimeTypes, "msExchOWATranscodingMimesTypes", LIST);
    AddReader(v, &m_vecTranscodingFileTypes, "msExchOWATranscodingFileTypes", LIST);
    AddReader(v, &m_vecRemoteDocumentsInternalDomainSuffixes,
              "msExchOWARemoteDocumentsInternalDomainSuffixList", LIST);
    AddReader(v, &m_vecRemoteDocumentsBlockedServers, "msExchOWARemoteDocumentsBlockedServers", LIST);
    AddReader(v, &m_vecRemoteDocumentsAllowedServers, "msExchOWARemoteDocumentsAllowedServers", LIST);
    AddReader(v, &m_nRemoteDocumentsActionForUnknownServers,
              "msExchOWARemoteDocumentsActionForUnknownServers", NUM);
    AddReader(v, &m_nRedirectToOptimalOWAServer, "msExchOWARedirectToOptimalOWAServer", NUM);
    AddReader(v, &m_nOutputCharSet, "msExchOWAOutputCharSet", NUM);
    AddReader(v, &m_nNotificationInterval, "msExchOWANotificationInterval", NUM);
    AddReader(v, &m_csMaxTranscodableDocumentSize, "msExchOWAMaxTranscodableDocumentSize", STR);
    AddReader(v, &m_nLogonFormat, "msExchOWALogonFormat", NUM);
    AddReader(v, &m_nLogonAndErrorLanguage, "msExchOWALogonAndErrorLanguage", NUM);
    AddReader(v, &m_nGZipLevel, "msExchOWAGZipLevel", NUM);
    AddReader(v, &m_vecForceSaveMimeTypes, "msExchOWAForceSaveMimeTypes", LIST);
    AddReader(v, &m_vecForceSaveFileTypes, "msExchOWAForceSaveFileTypes", LIST);
    AddReader(v, &m_nFilterWebBeacons, "msExchOWAFilterWebBeacons", NUM);
    AddReader(v, &m_nFileAccessControlOnPublicComputers, "msExchOWAFileAccessControlOnPublicComputers", NUM);
    AddReader(v, &m_nFileAccessControlOnPrivateComputers, "msExchOWAFileAccessControlOnPrivateComputers",
              NUM);
    AddReader(v, &m_nExchangeProxyDestination, "msExchOWAExchangeProxyDestination", NUM);
    AddReader(v, &m_strDefaultTheme, "msExchOWADefaultTheme", STR);
    AddReader(v, &m_nDefaultClientLanguage, "msExchOWADefaultClientLanguage", NUM);
    AddReader(v, &m_nAuthCleanUpLevel, "msExchOWAAuthCleanUpLevel", NUM);
    AddReader(v, &m_vecBlockedMimeTypes, "msExchOWABlockedMIMETypes", LIST);
    AddReader(v, &m_vecAllowedMimeTypes, "msExchOWAAllowedMimeTypes", LIST);
    AddReader(v, &m_vecBlockedFileTypes, "msExchOWABlockedFileTypes", LIST);
    AddReader(v, &m_vecAllowedFileTypes, "msExchOWAAllowedFileTypes", LIST);
    AddReader(v, &m_nActionForUnknownFileAndMIMETypes, "msExchOWAActionForUnknownFileAndMIMETypes", NUM);
    AddReader(v, &m_nMailboxFolderSet, "msExchMailboxFolderSet", NUM);
}

std::wstring COWAADConfig::GetADSIErrorText(HRESULT hr)
{
    if ((static_cast<DWORD>(hr) & 0x1FFF0000u) != 0x00070000u)
        return {};
    DWORD dwError = 0;
    char16_t szError[260] = {};
    char16_t szProvider[260] = {};
    if (FAILED(ADsGetLastError(&dwError, szError, 260, szProvider, 260)))
        return {};
    return WideFromUtf16(szError, std::char_traits<char16_t>::length(szError)) + L" " +
           WideFromUtf16(szProvider, std::char_traits<char16_t>::length(szProvider));
}

HRESULT COWAADConfig::GetExchangeOrganizationCN(IADs* pRoot, const std::wstring& wstrConfigurationContext,
                                                std::wstring& wstrOrganization)
{
    if (pRoot == nullptr)
        return E_POINTER;
    const std::string strContext = AnsiFromWide(wstrConfigurationContext);
    CComPtr<IDirectorySearch> spSearch;
    HRESULT hr = ADsGetObject(Utf16FromWide(L"LDAP://" + wstrConfigurationContext).c_str(),
                              IDirectorySearch::iid, reinterpret_cast<void**>(&spSearch));
    if (FAILED(hr))
    {
        TraceLogError(
            static_cast<DWORD>(hr),
            "GetExchangeOrganizationCN Get ADObject IID_IDirectorySearch configurationContext failed %s, "
            "HR=0x%x %s",
            strContext.c_str(), static_cast<unsigned>(hr), ErrorText(hr).c_str());
        return hr;
    }
    ADS_SEARCHPREF_INFO pref{};
    pref.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    pref.vValue.dwType = ADSTYPE_INTEGER;
    pref.vValue.Integer = ADS_SCOPE_SUBTREE;
    hr = spSearch->SetSearchPreference(&pref, 1);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr),
                      "GetExchangeOrganizationCN SetSearchPreference failed %s, HR=0x%x %s",
                      strContext.c_str(), static_cast<unsigned>(hr), ErrorText(hr).c_str());
        return hr;
    }
    std::u16string sFilter = u"(objectCategory=msExchOrganizationContainer)";
    std::u16string sCn = u"cn";
    std::u16string sDN = u"distinguishedName";
    LPWSTR rgNames[] = {sCn.data(), sDN.data()};
    ADS_SEARCH_HANDLE hSearch = nullptr;
    hr = spSearch->ExecuteSearch(sFilter.data(), rgNames, 2, &hSearch);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "GetExchangeOrganizationCN ExecuteSearch failed %s, HR=0x%x %s",
                      strContext.c_str(), static_cast<unsigned>(hr), ErrorText(hr).c_str());
        return hr;
    }
    if (hSearch == nullptr)
    {
        TraceLog("GetExchangeOrganizationCN ExecuteSearch goty an empty handle");
        return hr;
    }
    TraceLog("GetExchangeOrganizationCN ExecuteSearch got a handle");
    for (HRESULT hrRow = spSearch->GetNextRow(hSearch); SUCCEEDED(hrRow) && hrRow != S_ADS_NOMORE_ROWS;
         hrRow = spSearch->GetNextRow(hSearch))
    {
        for (LPWSTR pszColumn : rgNames)
        {
            ADS_SEARCH_COLUMN col;
            const HRESULT hrColumn = spSearch->GetColumn(hSearch, pszColumn, &col);
            if (FAILED(hrColumn))
            {
                TraceLogError(static_cast<DWORD>(hrColumn),
                              "GetExchangeOrganizationCN failed to get hr:0x%x %s",
                              static_cast<unsigned>(hrColumn), ErrorText(hrColumn).c_str());
                continue;
            }
            if (pszColumn == sCn.data() && col.dwNumValues > 0 &&
                col.pADsValues[0].CaseIgnoreString != nullptr && col.dwADsType >= ADSTYPE_DN_STRING &&
                col.dwADsType <= ADSTYPE_NUMERIC_STRING)
            {
                const char16_t* psz = col.pADsValues[0].CaseIgnoreString;
                wstrOrganization = WideFromUtf16(psz, std::char_traits<char16_t>::length(psz));
                TraceLog("GetExchangeOrganizationCN ExecuteSearch got a %s",
                         AnsiFromWide(wstrOrganization).c_str());
            }
            spSearch->FreeColumn(&col);
        }
    }
    spSearch->CloseSearchHandle(hSearch);
    return hr;
}

HRESULT COWAADConfig::ReadProperties(const std::string& strFullyQualifiedName,
                                     const std::string& strDomainController)
{
    RestoreThreadToken restore;
    restore.Revert();
    [[maybe_unused]] const std::wstring wstrFullyQualifiedName = WideFromAnsi(strFullyQualifiedName);

    const std::wstring wstrRoot = strDomainController.empty()
                                      ? std::wstring(L"LDAP://rootDSE")
                                      : L"LDAP://" + WideFromAnsi(strDomainController) + L"/rootDSE";
    CComPtr<IADs> spRoot;
    HRESULT hr = ADsGetObject(Utf16FromWide(wstrRoot).c_str(), IADs::iid, reinterpret_cast<void**>(&spRoot));
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "ReadProperties couldn't open AD connection 0x%x %s",
                      static_cast<unsigned>(hr), ErrorText(hr).c_str());
        return hr;
    }
    _variant_t vContext;
    hr = spRoot->Get(_bstr_t("configurationNamingContext"), &vContext);
    if (FAILED(hr) || vContext.vt != VT_BSTR || vContext.bstrVal == nullptr)
    {
        TraceLogError(static_cast<DWORD>(hr), "GetExchangeOrganizationCN read CN 0x%x %s",
                      static_cast<unsigned>(hr), ErrorText(hr).c_str());
        return FAILED(hr) ? hr : E_ADS_CANT_CONVERT_DATATYPE;
    }
    const std::wstring wstrConfiguration = WideFromBstr(vContext.bstrVal);
    std::wstring wstrOrganization;
    hr = GetExchangeOrganizationCN(spRoot.Get(), wstrConfiguration, wstrOrganization);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "ReadProperties couldn't GetOWA object prop 0x%x %s %s",
                      static_cast<unsigned>(hr), ErrorText(hr).c_str(),
                      AnsiFromWide(wstrConfiguration).c_str());
        return hr;
    }
    // Names from outside go into the path as values, never as more of the path.
    const std::wstring wstrPath =
        L"LDAP://CN=owa (Default Web Site),CN=HTTP,CN=Protocols,CN=" +
        WideFromAnsi(EscapeDNValue(AnsiFromWide(m_wstrServerName))) +
        L",CN=Servers,CN=Exchange Administrative Group (FYDIBOHF23SPDLT),CN=Administrative Groups,CN=" +
        WideFromAnsi(EscapeDNValue(AnsiFromWide(wstrOrganization))) + L",CN=Microsoft Exchange,CN=Services," +
        wstrConfiguration;
    spRoot.Release();
    CComPtr<IADs> spOwa;
    hr = ADsGetObject(Utf16FromWide(wstrPath).c_str(), IADs::iid, reinterpret_cast<void**>(&spOwa));
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "ReadProperties couldn't GetOWA object prop 0x%x %s %s",
                      static_cast<unsigned>(hr), ErrorText(hr).c_str(), AnsiFromWide(wstrPath).c_str());
        return hr;
    }
    for (CCountedPtr<ADProp>& spReader : m_vecAttributeReaders)
    {
        if (spReader.Get() == nullptr)
            continue;
        const char* pszName = spReader->m_strName.c_str();
        _variant_t vValue;
        const _bstr_t bstrName(spReader->m_strName);
        hr = spReader->m_nKind == ADProp::KIND_LIST ? spOwa->GetEx(bstrName, &vValue)
                                                    : spOwa->Get(bstrName, &vValue);
        if (hr == E_ADS_PROPERTY_NOT_FOUND)
        {
            TraceLogError(static_cast<DWORD>(hr), " Read OWAProperty %s not found %s", pszName,
                          ErrorText(hr).c_str());
            hr = S_OK;
            continue;
        }
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr), " Read OWAProperty failed %s %s", pszName,
                          ErrorText(hr).c_str());
            continue;
        }
        try
        {
            hr = spReader->ReadVariant(&vValue);
        }
        catch (const _com_error& e)
        {
            // A value of an unexpected shape must not end the start of the worker.
            hr = e.Error();
        }
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr), "Read content from OWA prop failed %s %s", pszName,
                          ErrorText(hr).c_str());
    }
    return hr;
}
