#include "platform/AdsiObject.h"

#include <algorithm>

namespace adsi
{
namespace
{
std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
} // namespace

HRESULT CLdapObject::Bind(const CAdsPath& path, LPCWSTR pszPath, LPCWSTR pszUser, LPCWSTR pszPassword)
{
    m_path = path;
    size_t n = 0;
    while (pszPath[n] != 0)
        ++n;
    m_sAdsPath.assign(pszPath, n);
    HRESULT hr = m_conn.Open(path, pszUser, pszPassword);
    if (FAILED(hr))
        return hr;
    // Binding an object that does not exist fails at once, as the directory's own provider does.
    char szNoAttrs[] = "1.1";
    char* rgAttrs[] = {szNoAttrs, nullptr};
    timeval tv = CLdapConnection::OperationTimeout();
    LDAPMessage* pRes = nullptr;
    const int nRc = ldap_search_ext_s(m_conn.Handle(), m_path.m_sDN.c_str(), LDAP_SCOPE_BASE,
                                      "(objectClass=*)", rgAttrs, 0, nullptr, nullptr, &tv, 1, &pRes);
    ldap_msgfree(pRes);
    if (nRc != LDAP_SUCCESS)
        return FailWithLdap(nRc, m_conn.Handle());
    return S_OK;
}

HRESULT CLdapObject::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IUnknown::iid || riid == IADs::iid)
        *ppv = static_cast<IADs*>(this);
    else if (riid == IDirectorySearch::iid)
        *ppv = static_cast<IDirectorySearch*>(this);
    else
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

CLdapObject::~CLdapObject()
{
    // Columns a caller never freed go with the object.
    for (HANDLE h : m_setColumns)
        delete static_cast<CColumnStorage*>(h);
}

ULONG CLdapObject::Release()
{
    const ULONG n = --m_nRefs;
    if (n == 0)
        delete this;
    return n;
}

HRESULT CLdapObject::get_ADsPath(BSTR* pbstrPath)
{
    if (pbstrPath == nullptr)
        return E_POINTER;
    *pbstrPath = SysAllocStringLen(m_sAdsPath.data(), static_cast<UINT>(m_sAdsPath.size()));
    return *pbstrPath == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CLdapObject::LoadProperties()
{
    if (m_bLoaded)
        return S_OK;
    char szUser[] = "*";
    char szOperational[] = "+";
    char* rgAttrs[] = {szUser, szOperational, nullptr};
    timeval tv = CLdapConnection::OperationTimeout();
    LDAPMessage* pRes = nullptr;
    const int nRc = ldap_search_ext_s(m_conn.Handle(), m_path.m_sDN.c_str(), LDAP_SCOPE_BASE,
                                      "(objectClass=*)", rgAttrs, 0, nullptr, nullptr, &tv, 1, &pRes);
    if (nRc != LDAP_SUCCESS)
    {
        ldap_msgfree(pRes);
        return FailWithLdap(nRc, m_conn.Handle());
    }
    LDAPMessage* pEntry = ldap_first_entry(m_conn.Handle(), pRes);
    BerElement* pBer = nullptr;
    for (char* pszAttr = pEntry != nullptr ? ldap_first_attribute(m_conn.Handle(), pEntry, &pBer) : nullptr;
         pszAttr != nullptr; pszAttr = ldap_next_attribute(m_conn.Handle(), pEntry, pBer))
    {
        std::vector<std::string>& vecValues = m_mapProperties[Lower(pszAttr)];
        berval** ppVals = ldap_get_values_len(m_conn.Handle(), pEntry, pszAttr);
        for (size_t i = 0; ppVals != nullptr && ppVals[i] != nullptr; ++i)
            vecValues.emplace_back(ppVals[i]->bv_val, ppVals[i]->bv_len);
        ldap_value_free_len(ppVals);
        ldap_memfree(pszAttr);
    }
    ber_free(pBer, 0);
    ldap_msgfree(pRes);
    m_bLoaded = true;
    return S_OK;
}

HRESULT CLdapObject::GetValues(BSTR bstrName, VARIANT* pvProp, bool bAlwaysArray)
{
    if (pvProp == nullptr)
        return E_POINTER;
    VariantInit(pvProp);
    if (bstrName == nullptr || SysStringLen(bstrName) == 0)
        return E_ADS_BAD_PARAMETER;
    std::lock_guard<std::mutex> guard(m_mx);
    HRESULT hr = LoadProperties();
    if (FAILED(hr))
        return hr;
    const std::string sName = BstrToAnsi(bstrName, SysStringLen(bstrName));
    const auto it = m_mapProperties.find(Lower(sName));
    if (it == m_mapProperties.end() || it->second.empty())
        return FailWith(E_ADS_PROPERTY_NOT_FOUND, 0, "The directory property cannot be found in the cache.");
    const ADSTYPE type = AttributeType(m_conn, sName);
    const std::vector<std::string>& vecValues = it->second;

    const auto convert = [type](const std::string& s, VARIANT& v)
    {
        berval bv{static_cast<ber_len_t>(s.size()), const_cast<char*>(s.data())};
        return ConvertToVariant(type, bv, v);
    };
    if (!bAlwaysArray && vecValues.size() == 1)
        return convert(vecValues.front(), *pvProp);

    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(vecValues.size()));
    if (psa == nullptr)
        return E_OUTOFMEMORY;
    for (size_t i = 0; i < vecValues.size(); ++i)
    {
        VARIANT v;
        hr = convert(vecValues[i], v);
        if (SUCCEEDED(hr))
        {
            const LONG nIndex = static_cast<LONG>(i);
            hr = SafeArrayPutElement(psa, &nIndex, &v);
            VariantClear(&v);
        }
        if (FAILED(hr))
        {
            SafeArrayDestroy(psa);
            return hr;
        }
    }
    pvProp->vt = static_cast<VARTYPE>(VT_ARRAY | VT_VARIANT);
    pvProp->parray = psa;
    return S_OK;
}

HRESULT CLdapObject::Get(BSTR bstrName, VARIANT* pvProp)
{
    return GetValues(bstrName, pvProp, false);
}

HRESULT CLdapObject::GetEx(BSTR bstrName, VARIANT* pvProp)
{
    return GetValues(bstrName, pvProp, true);
}
} // namespace adsi

using namespace adsi;

HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD /*dwReserved*/,
                      REFIID riid, void** ppObject)
{
    if (ppObject == nullptr)
        return E_POINTER;
    *ppObject = nullptr;
    if (lpszPathName == nullptr)
        return E_INVALIDARG;
    CAdsPath path;
    HRESULT hr = ParsePath(lpszPathName, path);
    if (FAILED(hr))
        return hr;
    CLdapObject* pObject = new CLdapObject();
    hr = pObject->Bind(path, lpszPathName, lpszUserName, lpszPassword);
    if (SUCCEEDED(hr))
        hr = pObject->QueryInterface(riid, ppObject);
    pObject->Release();
    return hr;
}

HRESULT ADsGetObject(LPCWSTR lpszPathName, REFIID riid, void** ppObject)
{
    return ADsOpenObject(lpszPathName, nullptr, nullptr, ADS_SECURE_AUTHENTICATION, riid, ppObject);
}
