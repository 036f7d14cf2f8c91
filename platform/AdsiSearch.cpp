#include "platform/AdsiObject.h"

#include <cstring>

namespace adsi
{
HRESULT CLdapObject::SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs)
{
    if (pSearchPrefs == nullptr && dwNumPrefs != 0)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_mx);
    HRESULT hr = S_OK;
    for (DWORD i = 0; i < dwNumPrefs; ++i)
    {
        ADS_SEARCHPREF_INFO& pref = pSearchPrefs[i];
        pref.dwStatus = ADS_STATUS_S_OK;
        if (pref.vValue.dwType != ADSTYPE_INTEGER && pref.vValue.dwType != ADSTYPE_BOOLEAN)
        {
            pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
            hr = S_ADS_ERRORSOCCURRED;
            continue;
        }
        const DWORD dwValue = pref.vValue.Integer;
        switch (pref.dwSearchPref)
        {
        case ADS_SEARCHPREF_SEARCH_SCOPE:
            if (dwValue > ADS_SCOPE_SUBTREE)
            {
                pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREFVALUE;
                hr = S_ADS_ERRORSOCCURRED;
                break;
            }
            m_nScope = dwValue == ADS_SCOPE_BASE       ? LDAP_SCOPE_BASE
                       : dwValue == ADS_SCOPE_ONELEVEL ? LDAP_SCOPE_ONELEVEL
                                                       : LDAP_SCOPE_SUBTREE;
            break;
        case ADS_SEARCHPREF_SIZE_LIMIT:
            m_nSizeLimit = static_cast<int>(dwValue & 0x7FFFFFFFu);
            break;
        case ADS_SEARCHPREF_TIME_LIMIT:
            m_nTimeLimit = static_cast<int>(dwValue & 0x7FFFFFFFu);
            break;
        case ADS_SEARCHPREF_ASYNCHRONOUS:
        case ADS_SEARCHPREF_PAGESIZE:
        case ADS_SEARCHPREF_DEREF_ALIASES:
        case ADS_SEARCHPREF_TIMEOUT:
            break; // results are read whole; these change nothing here
        default:
            pref.dwStatus = ADS_STATUS_INVALID_SEARCHPREF;
            hr = S_ADS_ERRORSOCCURRED;
            break;
        }
    }
    return hr;
}

HRESULT CLdapObject::ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                   PADS_SEARCH_HANDLE phSearchResult)
{
    if (phSearchResult == nullptr)
        return E_POINTER;
    *phSearchResult = nullptr;
    const std::string sFilter = pszSearchFilter == nullptr || pszSearchFilter[0] == 0
                                    ? std::string("(objectClass=*)")
                                    : WideToUtf8(pszSearchFilter);
    std::vector<std::string> vecNames;
    if (pAttributeNames != nullptr && dwNumberAttributes != 0xFFFFFFFFu)
    {
        for (DWORD i = 0; i < dwNumberAttributes; ++i)
        {
            if (pAttributeNames[i] == nullptr)
                return E_ADS_BAD_PARAMETER;
            vecNames.push_back(WideToUtf8(pAttributeNames[i]));
        }
        if (vecNames.empty())
            vecNames.emplace_back("1.1"); // no attributes asked for: rows without columns
    }
    std::vector<char*> vecAttrs;
    for (std::string& s : vecNames)
        vecAttrs.push_back(s.data());
    vecAttrs.push_back(nullptr);

    std::lock_guard<std::mutex> guard(m_mx);
    auto spSearch = std::make_unique<CSearchState>();
    timeval tv = CLdapConnection::OperationTimeout();
    if (m_nTimeLimit > 0 && m_nTimeLimit < tv.tv_sec)
        tv.tv_sec = m_nTimeLimit;
    const int nRc = ldap_search_ext_s(m_conn.Handle(), m_path.m_sDN.c_str(), m_nScope, sFilter.c_str(),
                                      vecNames.empty() ? nullptr : vecAttrs.data(), 0, nullptr, nullptr, &tv,
                                      m_nSizeLimit, &spSearch->m_pResult);
    // A size limit reached still answers the rows it found.
    if (nRc != LDAP_SUCCESS && nRc != LDAP_SIZELIMIT_EXCEEDED)
        return FailWithLdap(nRc, m_conn.Handle());
    ClearLastError();
    ADS_SEARCH_HANDLE h = spSearch.get();
    m_mapSearches.emplace(h, std::move(spSearch));
    *phSearchResult = h;
    return S_OK;
}

CSearchState* CLdapObject::FindSearch(ADS_SEARCH_HANDLE h)
{
    const auto it = m_mapSearches.find(h);
    return it == m_mapSearches.end() ? nullptr : it->second.get();
}

HRESULT CLdapObject::AbandonSearch(ADS_SEARCH_HANDLE hSearchResult)
{
    std::lock_guard<std::mutex> guard(m_mx);
    return FindSearch(hSearchResult) == nullptr ? E_ADS_BAD_PARAMETER : S_OK;
}

void CLdapObject::LoadColumnNames(CSearchState& search)
{
    search.m_vecColumns.clear();
    search.m_nNextColumn = 0;
    if (search.m_pRow == nullptr)
        return;
    BerElement* pBer = nullptr;
    for (char* pszAttr = ldap_first_attribute(m_conn.Handle(), search.m_pRow, &pBer); pszAttr != nullptr;
         pszAttr = ldap_next_attribute(m_conn.Handle(), search.m_pRow, pBer))
    {
        search.m_vecColumns.emplace_back(pszAttr);
        ldap_memfree(pszAttr);
    }
    ber_free(pBer, 0);
}

HRESULT CLdapObject::GetFirstRow(ADS_SEARCH_HANDLE hSearchResult)
{
    std::lock_guard<std::mutex> guard(m_mx);
    CSearchState* pSearch = FindSearch(hSearchResult);
    if (pSearch == nullptr)
        return E_ADS_BAD_PARAMETER;
    pSearch->m_bStarted = true;
    pSearch->m_pRow = ldap_first_entry(m_conn.Handle(), pSearch->m_pResult);
    LoadColumnNames(*pSearch);
    return pSearch->m_pRow == nullptr ? S_ADS_NOMORE_ROWS : S_OK;
}

HRESULT CLdapObject::GetNextRow(ADS_SEARCH_HANDLE hSearchResult)
{
    std::lock_guard<std::mutex> guard(m_mx);
    CSearchState* pSearch = FindSearch(hSearchResult);
    if (pSearch == nullptr)
        return E_ADS_BAD_PARAMETER;
    if (!pSearch->m_bStarted)
    {
        pSearch->m_bStarted = true;
        pSearch->m_pRow = ldap_first_entry(m_conn.Handle(), pSearch->m_pResult);
    }
    else if (pSearch->m_pRow != nullptr)
        pSearch->m_pRow = ldap_next_entry(m_conn.Handle(), pSearch->m_pRow);
    LoadColumnNames(*pSearch);
    return pSearch->m_pRow == nullptr ? S_ADS_NOMORE_ROWS : S_OK;
}

HRESULT CLdapObject::GetPreviousRow(ADS_SEARCH_HANDLE /*hSearchResult*/)
{
    return E_NOTIMPL;
}

HRESULT CLdapObject::GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName)
{
    if (ppszColumnName == nullptr)
        return E_POINTER;
    *ppszColumnName = nullptr;
    std::lock_guard<std::mutex> guard(m_mx);
    CSearchState* pSearch = FindSearch(hSearchHandle);
    if (pSearch == nullptr || pSearch->m_pRow == nullptr)
        return E_ADS_BAD_PARAMETER;
    if (pSearch->m_nNextColumn >= pSearch->m_vecColumns.size())
        return S_ADS_NOMORE_COLUMNS;
    const std::u16string sName = Utf8ToWide(pSearch->m_vecColumns[pSearch->m_nNextColumn++]);
    auto* pszName =
        static_cast<LPWSTR>(AllocADsMem(static_cast<DWORD>((sName.size() + 1) * sizeof(char16_t))));
    if (pszName == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(pszName, sName.c_str(), (sName.size() + 1) * sizeof(char16_t));
    *ppszColumnName = pszName;
    return S_OK;
}

HRESULT CLdapObject::GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                               PADS_SEARCH_COLUMN pSearchColumn)
{
    if (pSearchColumn == nullptr || szColumnName == nullptr)
        return E_POINTER;
    std::memset(pSearchColumn, 0, sizeof(*pSearchColumn));
    std::lock_guard<std::mutex> guard(m_mx);
    CSearchState* pSearch = FindSearch(hSearchResult);
    if (pSearch == nullptr || pSearch->m_pRow == nullptr)
        return E_ADS_BAD_PARAMETER;
    const std::string sName = WideToUtf8(szColumnName);
    berval** ppVals = ldap_get_values_len(m_conn.Handle(), pSearch->m_pRow, sName.c_str());
    if (ppVals == nullptr || ppVals[0] == nullptr)
    {
        ldap_value_free_len(ppVals);
        return E_ADS_COLUMN_NOT_SET;
    }
    const ADSTYPE type = AttributeType(m_conn, sName);
    auto spStorage = std::make_unique<CColumnStorage>();
    spStorage->m_sName = Utf8ToWide(sName);
    HRESULT hr = S_OK;
    for (size_t i = 0; ppVals[i] != nullptr && SUCCEEDED(hr); ++i)
    {
        ADSVALUE value;
        hr = ConvertToAdsValue(type, *ppVals[i], *spStorage, value);
        if (SUCCEEDED(hr))
            spStorage->m_vecValues.push_back(value);
    }
    ldap_value_free_len(ppVals);
    if (FAILED(hr))
        return hr;
    pSearchColumn->pszAttrName = spStorage->m_sName.data();
    pSearchColumn->dwADsType = type;
    pSearchColumn->pADsValues = spStorage->m_vecValues.data();
    pSearchColumn->dwNumValues = static_cast<DWORD>(spStorage->m_vecValues.size());
    pSearchColumn->hReserved = spStorage.release();
    m_setColumns.insert(pSearchColumn->hReserved);
    return S_OK;
}

HRESULT CLdapObject::FreeColumn(PADS_SEARCH_COLUMN pSearchColumn)
{
    if (pSearchColumn == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_mx);
    // Only a column this object handed out is freed; anything else is refused untouched.
    if (m_setColumns.erase(pSearchColumn->hReserved) == 0)
        return E_ADS_BAD_PARAMETER;
    delete static_cast<CColumnStorage*>(pSearchColumn->hReserved);
    std::memset(pSearchColumn, 0, sizeof(*pSearchColumn));
    return S_OK;
}

HRESULT CLdapObject::CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult)
{
    std::lock_guard<std::mutex> guard(m_mx);
    return m_mapSearches.erase(hSearchResult) == 0 ? E_ADS_BAD_PARAMETER : S_OK;
}
} // namespace adsi
