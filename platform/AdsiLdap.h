// Inside the directory layer: paths, connections and binds, the provider's last error, the server's
// schema (which decides each attribute's value type) and the conversion of LDAP values.
#pragma once

#include "platform/Adsi.h"

#include <ldap.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace adsi
{
// A parsed "LDAP://[server/]dn" path.
struct CAdsPath
{
    std::string m_sServer; // empty: the configured server
    std::string m_sDN;     // UTF-8; empty for the rootDSE
    bool m_bRootDSE = false;
};

// E_ADS_BAD_PATHNAME for anything that is not an LDAP path.
HRESULT ParsePath(LPCWSTR pszPath, CAdsPath& path);

// Records the thread's last provider error and answers the HRESULT of an LDAP result code.
HRESULT FailWithLdap(int nLdapError, LDAP* pLdap);
// Records a provider error of our own (no server involved).
HRESULT FailWith(HRESULT hr, DWORD dwCode, const std::string& sText);
void ClearLastError();

// One bound session with the directory server; unbinds when it goes.
class CLdapConnection
{
public:
    CLdapConnection() = default;
    CLdapConnection(const CLdapConnection&) = delete;
    CLdapConnection& operator=(const CLdapConnection&) = delete;
    ~CLdapConnection();

    // Connects to the path's server (or the configured one) and binds: with the given user and password
    // when a user is given, else with the machine's identity.
    HRESULT Open(const CAdsPath& path, LPCWSTR pszUser, LPCWSTR pszPassword);

    LDAP* Handle() const { return m_pLdap; }
    const std::string& Uri() const { return m_sUri; }
    // Deadline for one operation.
    static timeval OperationTimeout();

private:
    LDAP* m_pLdap = nullptr;
    std::string m_sUri;
};

// The value type of an attribute by the server's schema (CASE_IGNORE_STRING when the schema does not
// say). The schema is read once per server.
ADSTYPE AttributeType(CLdapConnection& conn, const std::string& sAttribute);

// Owns the memory of one search column's values.
struct CColumnStorage
{
    std::u16string m_sName;
    std::vector<ADSVALUE> m_vecValues;
    std::vector<std::unique_ptr<char16_t[]>> m_vecTexts;
    std::vector<std::unique_ptr<BYTE[]>> m_vecBytes;
    std::vector<std::unique_ptr<ADS_DN_WITH_STRING>> m_vecDNWithStrings;

    LPWSTR AddText(const std::u16string& s);
};

// Converts one raw value into an ADSVALUE of the given type, its memory kept in the storage.
HRESULT ConvertToAdsValue(ADSTYPE type, const berval& value, CColumnStorage& storage, ADSVALUE& out);
// Converts one raw value into a VARIANT of the type Get answers for the attribute's type.
HRESULT ConvertToVariant(ADSTYPE type, const berval& value, VARIANT& out);

// "S:<count>:<text>:<dn>": false for anything else.
bool ParseDNWithString(const std::string& sValue, std::string& sText, std::string& sDN);
// A new DN-with-string object with one reference.
IADsDNWithString* CreateDNWithString(const std::u16string& sText, const std::u16string& sDN);

std::u16string Utf8ToWide(const std::string& s);
std::string WideToUtf8(LPCWSTR psz);
} // namespace adsi
