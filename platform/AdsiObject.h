// Inside the directory layer: one bound directory object, answering both the property interface and the
// search interface over its own connection.
#pragma once

#include "platform/AdsiLdap.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace adsi
{
// The state of one executed search: its result, the current row and the columns left to name.
struct CSearchState
{
    CSearchState() = default;
    CSearchState(const CSearchState&) = delete;
    CSearchState& operator=(const CSearchState&) = delete;
    ~CSearchState() { ldap_msgfree(m_pResult); }

    LDAPMessage* m_pResult = nullptr;
    LDAPMessage* m_pRow = nullptr;
    bool m_bStarted = false;
    std::vector<std::string> m_vecColumns; // of the current row, in the server's order
    size_t m_nNextColumn = 0;
};

class CLdapObject final : public IADs, public IDirectorySearch
{
public:
    CLdapObject() = default;

    HRESULT Bind(const CAdsPath& path, LPCWSTR pszPath, LPCWSTR pszUser, LPCWSTR pszPassword);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override;

    // IADs
    HRESULT get_ADsPath(BSTR* pbstrPath) override;
    HRESULT Get(BSTR bstrName, VARIANT* pvProp) override;
    HRESULT GetEx(BSTR bstrName, VARIANT* pvProp) override;

    // IDirectorySearch
    HRESULT SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) override;
    HRESULT ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                          PADS_SEARCH_HANDLE phSearchResult) override;
    HRESULT AbandonSearch(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT GetNextRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) override;
    HRESULT GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                      PADS_SEARCH_COLUMN pSearchColumn) override;
    HRESULT FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) override;
    HRESULT CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) override;

private:
    ~CLdapObject() override;

    HRESULT LoadProperties();
    HRESULT GetValues(BSTR bstrName, VARIANT* pvProp, bool bAlwaysArray);
    CSearchState* FindSearch(ADS_SEARCH_HANDLE h);
    void LoadColumnNames(CSearchState& search);

    std::atomic<ULONG> m_nRefs{1};
    std::mutex m_mx;
    CLdapConnection m_conn;
    CAdsPath m_path;
    std::u16string m_sAdsPath;

    // Properties, read on the first Get: lower-case name -> raw values.
    bool m_bLoaded = false;
    std::map<std::string, std::vector<std::string>> m_mapProperties;

    // Search preferences.
    int m_nScope = LDAP_SCOPE_SUBTREE;
    int m_nSizeLimit = 0;
    int m_nTimeLimit = 0;

    std::map<ADS_SEARCH_HANDLE, std::unique_ptr<CSearchState>> m_mapSearches;
    std::set<HANDLE> m_setColumns;
};
} // namespace adsi
