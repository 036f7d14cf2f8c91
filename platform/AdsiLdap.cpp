#include "platform/AdsiLdap.h"

#include "platform/MachineConfig.h"

#include <ldap_schema.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <strings.h>

namespace adsi
{
namespace
{
constexpr const char* PROVIDER_NAME = "LDAP Provider";
constexpr int CONNECT_TIMEOUT_SECONDS = 5;
constexpr int OPERATION_TIMEOUT_SECONDS = 15;

struct CLastError
{
    DWORD m_dwCode = 0;
    std::string m_sText;
};
thread_local CLastError t_lastError;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The password is the file's first line; a missing or unreadable file fails the bind.
bool ReadPasswordFile(const std::string& sPath, std::string& sPassword)
{
    std::ifstream in(sPath, std::ios::binary);
    if (!in)
        return false;
    std::getline(in, sPassword);
    if (!sPassword.empty() && sPassword.back() == '\r')
        sPassword.pop_back();
    return true;
}

ADSTYPE TypeOfSyntax(const std::string& sOid)
{
    static const std::map<std::string, ADSTYPE> s_mapSyntaxes = {
        {"1.3.6.1.4.1.1466.115.121.1.12", ADSTYPE_DN_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.15", ADSTYPE_CASE_IGNORE_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.26", ADSTYPE_CASE_EXACT_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.38", ADSTYPE_CASE_IGNORE_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.44", ADSTYPE_PRINTABLE_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.36", ADSTYPE_NUMERIC_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.7", ADSTYPE_BOOLEAN},
        {"1.3.6.1.4.1.1466.115.121.1.27", ADSTYPE_INTEGER},
        {"1.3.6.1.4.1.1466.115.121.1.40", ADSTYPE_OCTET_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.5", ADSTYPE_OCTET_STRING},
        {"1.3.6.1.4.1.1466.115.121.1.24", ADSTYPE_UTC_TIME},
        {"1.3.6.1.4.1.1466.115.121.1.53", ADSTYPE_UTC_TIME},
        // The directory's own syntaxes, which a server declares under these numbers.
        {"1.2.840.113556.1.4.906", ADSTYPE_LARGE_INTEGER},
        {"1.2.840.113556.1.4.904", ADSTYPE_DN_WITH_STRING},
        {"1.2.840.113556.1.4.907", ADSTYPE_NT_SECURITY_DESCRIPTOR},
    };
    const auto it = s_mapSyntaxes.find(sOid);
    return it == s_mapSyntaxes.end() ? ADSTYPE_CASE_IGNORE_STRING : it->second;
}

// Attribute name (lower case) -> syntax OID, following SUP for types that inherit their syntax.
using CSchema = std::map<std::string, ADSTYPE>;

bool ReadSchema(LDAP* pLdap, CSchema& schema)
{
    timeval tv = CLdapConnection::OperationTimeout();
    LDAPMessage* pRes = nullptr;
    char szSubschema[] = "subschemaSubentry";
    char* rgRootAttrs[] = {szSubschema, nullptr};
    std::string sSubschemaDN = "cn=Subschema";
    if (ldap_search_ext_s(pLdap, "", LDAP_SCOPE_BASE, "(objectClass=*)", rgRootAttrs, 0, nullptr, nullptr,
                          &tv, 1, &pRes) == LDAP_SUCCESS)
    {
        if (LDAPMessage* pEntry = ldap_first_entry(pLdap, pRes))
        {
            berval** ppVals = ldap_get_values_len(pLdap, pEntry, szSubschema);
            if (ppVals != nullptr && ppVals[0] != nullptr)
                sSubschemaDN.assign(ppVals[0]->bv_val, ppVals[0]->bv_len);
            ldap_value_free_len(ppVals);
        }
    }
    ldap_msgfree(pRes);
    pRes = nullptr;

    char szTypes[] = "attributeTypes";
    char* rgAttrs[] = {szTypes, nullptr};
    tv = CLdapConnection::OperationTimeout();
    if (ldap_search_ext_s(pLdap, sSubschemaDN.c_str(), LDAP_SCOPE_BASE, "(objectClass=subschema)", rgAttrs, 0,
                          nullptr, nullptr, &tv, 1, &pRes) != LDAP_SUCCESS)
    {
        ldap_msgfree(pRes);
        return false;
    }
    std::map<std::string, std::string> mapSyntax; // name -> syntax OID (may be empty)
    std::map<std::string, std::string> mapSup;    // name -> superior's name
    if (LDAPMessage* pEntry = ldap_first_entry(pLdap, pRes))
    {
        berval** ppVals = ldap_get_values_len(pLdap, pEntry, szTypes);
        for (size_t i = 0; ppVals != nullptr && ppVals[i] != nullptr; ++i)
        {
            const std::string sDef(ppVals[i]->bv_val, ppVals[i]->bv_len);
            int nCode = 0;
            const char* pszErr = nullptr;
            LDAPAttributeType* pType =
                ldap_str2attributetype(sDef.c_str(), &nCode, &pszErr, LDAP_SCHEMA_ALLOW_ALL);
            if (pType == nullptr)
                continue;
            const std::string sSyntax = pType->at_syntax_oid != nullptr ? pType->at_syntax_oid : "";
            const std::string sSup = pType->at_sup_oid != nullptr ? Lower(pType->at_sup_oid) : "";
            for (char** ppName = pType->at_names; ppName != nullptr && *ppName != nullptr; ++ppName)
            {
                mapSyntax[Lower(*ppName)] = sSyntax;
                mapSup[Lower(*ppName)] = sSup;
            }
            ldap_attributetype_free(pType);
        }
        ldap_value_free_len(ppVals);
    }
    ldap_msgfree(pRes);

    for (const auto& [sName, sSyntax] : mapSyntax)
    {
        std::string sFound = sSyntax;
        std::string sCur = sName;
        // A chain of superiors is short; the bound guards against a loop in a broken schema.
        for (int nDepth = 0; sFound.empty() && nDepth < 16; ++nDepth)
        {
            const auto itSup = mapSup.find(sCur);
            if (itSup == mapSup.end() || itSup->second.empty())
                break;
            sCur = itSup->second;
            const auto itSyntax = mapSyntax.find(sCur);
            if (itSyntax == mapSyntax.end())
                break;
            sFound = itSyntax->second;
        }
        // A syntax may carry a length bound: "1.3.6...15{64}".
        sFound = sFound.substr(0, sFound.find('{'));
        schema[sName] = TypeOfSyntax(sFound);
    }
    return true;
}

struct CSchemaCache
{
    std::mutex m_mx;
    std::map<std::string, CSchema> m_mapByServer;
};

CSchemaCache& SchemaCache()
{
    static auto* s_pCache = new CSchemaCache(); // used until unload
    return *s_pCache;
}
} // namespace

std::u16string Utf8ToWide(const std::string& s)
{
    return AnsiToWide(s.data(), s.size());
}

std::string WideToUtf8(LPCWSTR psz)
{
    if (psz == nullptr)
        return {};
    size_t n = 0;
    while (psz[n] != 0)
        ++n;
    return BstrToAnsi(psz, n);
}

HRESULT ParsePath(LPCWSTR pszPath, CAdsPath& path)
{
    path = CAdsPath();
    const std::string sPath = WideToUtf8(pszPath);
    static constexpr const char* PREFIX = "LDAP://";
    if (sPath.compare(0, std::strlen(PREFIX), PREFIX) != 0)
        return FailWith(E_ADS_BAD_PATHNAME, 0, "The path is not an LDAP path.");
    std::string sRest = sPath.substr(std::strlen(PREFIX));
    // A server comes before the first unescaped "/"; a DN's own slashes are written "\/".
    size_t nSlash = std::string::npos;
    for (size_t i = 0; i < sRest.size(); ++i)
    {
        if (sRest[i] == '\\')
            ++i;
        else if (sRest[i] == '/')
        {
            nSlash = i;
            break;
        }
    }
    if (nSlash != std::string::npos)
    {
        path.m_sServer = sRest.substr(0, nSlash);
        sRest.erase(0, nSlash + 1);
        if (path.m_sServer.empty() || path.m_sServer.find('=') != std::string::npos)
            return FailWith(E_ADS_BAD_PATHNAME, 0, "The path names no server before its '/'.");
    }
    else if (sRest.find('=') == std::string::npos && strcasecmp(sRest.c_str(), "rootDSE") != 0)
    {
        // "LDAP://server" alone binds the server's default naming context, which we do not serve.
        return FailWith(E_ADS_BAD_PATHNAME, 0, "The path names no object.");
    }
    if (strcasecmp(sRest.c_str(), "rootDSE") == 0)
    {
        path.m_bRootDSE = true;
        return S_OK;
    }
    if (sRest.empty())
        return FailWith(E_ADS_BAD_PATHNAME, 0, "The path names no object.");
    std::string sDN;
    for (size_t i = 0; i < sRest.size(); ++i)
    {
        if (sRest[i] == '\\' && i + 1 < sRest.size() && sRest[i + 1] == '/')
            continue; // the path's own escape of "/"; the DN keeps its other escapes
        sDN += sRest[i];
    }
    path.m_sDN = sDN;
    return S_OK;
}

void ClearLastError()
{
    t_lastError = CLastError();
}

HRESULT FailWith(HRESULT hr, DWORD dwCode, const std::string& sText)
{
    t_lastError.m_dwCode = dwCode;
    t_lastError.m_sText = sText;
    return hr;
}

HRESULT FailWithLdap(int nLdapError, LDAP* pLdap)
{
    std::string sText = ldap_err2string(nLdapError);
    char* pszDiag = nullptr;
    if (pLdap != nullptr &&
        ldap_get_option(pLdap, LDAP_OPT_DIAGNOSTIC_MESSAGE, &pszDiag) == LDAP_OPT_SUCCESS &&
        pszDiag != nullptr)
    {
        if (pszDiag[0] != '\0')
            sText += std::string(": ") + pszDiag;
        ldap_memfree(pszDiag);
    }
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_DS_OPERATIONS_ERROR);
    switch (nLdapError)
    {
    case LDAP_NO_SUCH_OBJECT:
        hr = HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
        break;
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH:
        hr = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
        break;
    case LDAP_INSUFFICIENT_ACCESS:
        hr = E_ACCESSDENIED;
        break;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
    case LDAP_TIMEOUT:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
        hr = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
        break;
    case LDAP_FILTER_ERROR:
        hr = E_ADS_INVALID_FILTER;
        break;
    case LDAP_NO_MEMORY:
        hr = E_OUTOFMEMORY;
        break;
    case LDAP_INVALID_DN_SYNTAX:
        hr = E_ADS_BAD_PATHNAME;
        break;
    default:
        break;
    }
    return FailWith(hr, static_cast<DWORD>(nLdapError), sText);
}

CLdapConnection::~CLdapConnection()
{
    if (m_pLdap != nullptr)
        ldap_unbind_ext_s(m_pLdap, nullptr, nullptr);
}

timeval CLdapConnection::OperationTimeout()
{
    return timeval{OPERATION_TIMEOUT_SECONDS, 0};
}

HRESULT CLdapConnection::Open(const CAdsPath& path, LPCWSTR pszUser, LPCWSTR pszPassword)
{
    // The client library sets up its global options on first use without a lock of its own; request
    // threads binding at once must not be the first users together.
    static std::once_flag s_libraryReady;
    std::call_once(s_libraryReady,
                   []
                   {
                       int nVersion = 0;
                       ldap_get_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
                   });
    const DirectoryServerConfig config = CMachineConfig::Instance().GetDirectoryServer();
    if (config.m_sUri.empty())
        return FailWith(HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN), ERROR_NO_SUCH_DOMAIN,
                        "The specified domain either does not exist or could not be contacted.");
    m_sUri = path.m_sServer.empty() ? config.m_sUri : "ldap://" + path.m_sServer;

    std::string sBindDN;
    std::string sPassword;
    if (pszUser != nullptr && pszUser[0] != 0)
    {
        sBindDN = WideToUtf8(pszUser);
        sPassword = WideToUtf8(pszPassword);
    }
    else
    {
        sBindDN = config.m_sBindDN;
        if (!config.m_sBindPasswordFile.empty() && !ReadPasswordFile(config.m_sBindPasswordFile, sPassword))
            return FailWith(HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE), ERROR_LOGON_FAILURE,
                            "The password file of the computer's directory identity cannot be read.");
    }

    int nRc = ldap_initialize(&m_pLdap, m_sUri.c_str());
    if (nRc != LDAP_SUCCESS)
        return FailWithLdap(nRc, nullptr);
    const int nVersion = LDAP_VERSION3;
    ldap_set_option(m_pLdap, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
    ldap_set_option(m_pLdap, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // A server that does not answer must not hold a request thread for long.
    const timeval tvConnect{CONNECT_TIMEOUT_SECONDS, 0};
    ldap_set_option(m_pLdap, LDAP_OPT_NETWORK_TIMEOUT, &tvConnect);
    const timeval tvOperation = OperationTimeout();
    ldap_set_option(m_pLdap, LDAP_OPT_TIMEOUT, &tvOperation);

    berval cred{static_cast<ber_len_t>(sPassword.size()), sPassword.data()};
    nRc = ldap_sasl_bind_s(m_pLdap, sBindDN.empty() ? nullptr : sBindDN.c_str(), LDAP_SASL_SIMPLE, &cred,
                           nullptr, nullptr, nullptr);
    if (nRc != LDAP_SUCCESS)
        return FailWithLdap(nRc, m_pLdap);
    ClearLastError();
    return S_OK;
}

ADSTYPE AttributeType(CLdapConnection& conn, const std::string& sAttribute)
{
    CSchemaCache& cache = SchemaCache();
    std::lock_guard<std::mutex> guard(cache.m_mx);
    auto it = cache.m_mapByServer.find(conn.Uri());
    if (it == cache.m_mapByServer.end())
    {
        CSchema schema;
        if (!ReadSchema(conn.Handle(), schema))
            return ADSTYPE_CASE_IGNORE_STRING; // read again next time; the server may answer then
        it = cache.m_mapByServer.emplace(conn.Uri(), std::move(schema)).first;
    }
    const auto itType = it->second.find(Lower(sAttribute));
    return itType == it->second.end() ? ADSTYPE_CASE_IGNORE_STRING : itType->second;
}

LPWSTR CColumnStorage::AddText(const std::u16string& s)
{
    auto p = std::make_unique<char16_t[]>(s.size() + 1);
    std::copy(s.begin(), s.end(), p.get());
    p[s.size()] = 0;
    m_vecTexts.push_back(std::move(p));
    return m_vecTexts.back().get();
}
} // namespace adsi

using namespace adsi;

HRESULT ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen, LPWSTR lpNameBuf,
                        DWORD dwNameBufLen)
{
    if (lpError == nullptr)
        return E_POINTER;
    *lpError = t_lastError.m_dwCode;
    const auto copy = [](const std::string& s, LPWSTR pBuf, DWORD cch)
    {
        if (pBuf == nullptr || cch == 0)
            return;
        const std::u16string w = Utf8ToWide(s);
        const size_t n = std::min<size_t>(w.size(), cch - 1);
        std::copy_n(w.begin(), n, pBuf);
        pBuf[n] = 0;
    };
    copy(t_lastError.m_sText, lpErrorBuf, dwErrorBufLen);
    copy(PROVIDER_NAME, lpNameBuf, dwNameBufLen);
    return S_OK;
}

LPVOID AllocADsMem(DWORD cb)
{
    return std::calloc(1, cb == 0 ? 1 : cb);
}

BOOL FreeADsMem(LPVOID pMem)
{
    std::free(pMem);
    return TRUE;
}
