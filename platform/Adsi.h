// Directory services as the worker calls them: objects bound by "LDAP://" paths, their properties, the
// search interface and the provider's last error, over OpenLDAP's client library. The server, the bind
// identity and its password file come from the machine configuration; with no server configured every
// bind fails as it does on a computer outside a domain.
#pragma once

#include "platform/Com.h"
#include "platform/WinTypes.h"

// ---------------------------------------------------------------------------------------------------
// Codes
#define E_ADS_BAD_PATHNAME static_cast<HRESULT>(0x80005000u)
#define E_ADS_UNKNOWN_OBJECT static_cast<HRESULT>(0x80005004u)
#define E_ADS_BAD_PARAMETER static_cast<HRESULT>(0x80005008u)
#define E_ADS_CANT_CONVERT_DATATYPE static_cast<HRESULT>(0x8000500Cu)
#define E_ADS_PROPERTY_NOT_FOUND static_cast<HRESULT>(0x8000500Du)
#define E_ADS_COLUMN_NOT_SET static_cast<HRESULT>(0x80005010u)
#define S_ADS_ERRORSOCCURRED static_cast<HRESULT>(0x00005011)
#define S_ADS_NOMORE_ROWS static_cast<HRESULT>(0x00005012)
#define S_ADS_NOMORE_COLUMNS static_cast<HRESULT>(0x00005013)
#define E_ADS_INVALID_FILTER static_cast<HRESULT>(0x80005014u)

// Bind flags.
#define ADS_SECURE_AUTHENTICATION 0x1u
#define ADS_USE_ENCRYPTION 0x2u
#define ADS_READONLY_SERVER 0x4u

// ---------------------------------------------------------------------------------------------------
// Value types of search columns
enum ADSTYPEENUM : DWORD
{
    ADSTYPE_INVALID = 0,
    ADSTYPE_DN_STRING = 1,
    ADSTYPE_CASE_EXACT_STRING = 2,
    ADSTYPE_CASE_IGNORE_STRING = 3,
    ADSTYPE_PRINTABLE_STRING = 4,
    ADSTYPE_NUMERIC_STRING = 5,
    ADSTYPE_BOOLEAN = 6,
    ADSTYPE_INTEGER = 7,
    ADSTYPE_OCTET_STRING = 8,
    ADSTYPE_UTC_TIME = 9,
    ADSTYPE_LARGE_INTEGER = 10,
    ADSTYPE_PROV_SPECIFIC = 11,
    ADSTYPE_PATH = 15,
    ADSTYPE_TYPEDNAME = 19,
    ADSTYPE_FAXNUMBER = 23,
    ADSTYPE_NT_SECURITY_DESCRIPTOR = 25,
    ADSTYPE_UNKNOWN = 26,
    ADSTYPE_DN_WITH_STRING = 28,
};
using ADSTYPE = ADSTYPEENUM;

struct ADS_OCTET_STRING
{
    DWORD dwLength;
    BYTE* lpValue;
};

struct ADS_DN_WITH_STRING
{
    LPWSTR pszStringValue;
    LPWSTR pszDNString;
};

struct ADSVALUE
{
    ADSTYPE dwType;
    union
    {
        LPWSTR DNString;
        LPWSTR CaseExactString;
        LPWSTR CaseIgnoreString;
        LPWSTR PrintableString;
        LPWSTR NumericString;
        BOOL Boolean;
        DWORD Integer;
        ADS_OCTET_STRING OctetString;
        SYSTEMTIME UTCTime;
        LARGE_INTEGER LargeInteger;
        ADS_DN_WITH_STRING* pDNWithString;
        ADS_OCTET_STRING NTSecurityDescriptor;
    };
};
using PADSVALUE = ADSVALUE*;

// ---------------------------------------------------------------------------------------------------
// Search
using ADS_SEARCH_HANDLE = void*;
using PADS_SEARCH_HANDLE = ADS_SEARCH_HANDLE*;

enum ADS_SEARCHPREF_ENUM : DWORD
{
    ADS_SEARCHPREF_ASYNCHRONOUS = 0,
    ADS_SEARCHPREF_DEREF_ALIASES = 1,
    ADS_SEARCHPREF_SIZE_LIMIT = 2,
    ADS_SEARCHPREF_TIME_LIMIT = 3,
    ADS_SEARCHPREF_ATTRIBTYPES_ONLY = 4,
    ADS_SEARCHPREF_SEARCH_SCOPE = 5,
    ADS_SEARCHPREF_TIMEOUT = 6,
    ADS_SEARCHPREF_PAGESIZE = 7,
};

enum ADS_SCOPEENUM : DWORD
{
    ADS_SCOPE_BASE = 0,
    ADS_SCOPE_ONELEVEL = 1,
    ADS_SCOPE_SUBTREE = 2,
};

enum ADS_STATUSENUM : DWORD
{
    ADS_STATUS_S_OK = 0,
    ADS_STATUS_INVALID_SEARCHPREF = 1,
    ADS_STATUS_INVALID_SEARCHPREFVALUE = 2,
};

struct ADS_SEARCHPREF_INFO
{
    ADS_SEARCHPREF_ENUM dwSearchPref;
    ADSVALUE vValue;
    ADS_STATUSENUM dwStatus;
};
using PADS_SEARCHPREF_INFO = ADS_SEARCHPREF_INFO*;

struct ADS_SEARCH_COLUMN
{
    LPWSTR pszAttrName;
    ADSTYPE dwADsType;
    PADSVALUE pADsValues;
    DWORD dwNumValues;
    HANDLE hReserved;
};
using PADS_SEARCH_COLUMN = ADS_SEARCH_COLUMN*;

// ---------------------------------------------------------------------------------------------------
// Interfaces

// One directory object and its properties. The properties are read from the server on the first Get.
struct IADs : IUnknown
{
    static constexpr IID iid = {0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
    virtual HRESULT get_ADsPath(BSTR* pbstrPath) = 0;
    // A single value as VT_BSTR, VT_I4 or VT_BOOL by the attribute's syntax; several values as a
    // VT_ARRAY | VT_VARIANT. DN-with-string values come as VT_UNKNOWN elements answering
    // IADsDNWithString. E_ADS_PROPERTY_NOT_FOUND when the object has no such attribute.
    virtual HRESULT Get(BSTR bstrName, VARIANT* pvProp) = 0;
    // As Get, always as a VT_ARRAY | VT_VARIANT.
    virtual HRESULT GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
};

// A search below the bound object.
struct IDirectorySearch : IUnknown
{
    static constexpr IID iid = {0x109BA8EC, 0x92F0, 0x11D0, {0xA7, 0x90, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0xA8}};
    virtual HRESULT SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) = 0;
    // Attribute names: dwNumberAttributes of them; 0xFFFFFFFF (or null names) asks for all.
    virtual HRESULT ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                  PADS_SEARCH_HANDLE phSearchResult) = 0;
    virtual HRESULT AbandonSearch(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT GetNextRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    virtual HRESULT GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
    // The name is allocated with AllocADsMem; free it with FreeADsMem.
    virtual HRESULT GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) = 0;
    virtual HRESULT GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                              PADS_SEARCH_COLUMN pSearchColumn) = 0;
    virtual HRESULT FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) = 0;
    virtual HRESULT CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) = 0;
};

// A value of DN-with-string syntax: a text bound to a distinguished name.
struct IADsDNWithString : IUnknown
{
    static constexpr IID iid = {0x370DF02E, 0xF934, 0x11D2, {0xBA, 0x96, 0x00, 0xC0, 0x4F, 0xB6, 0xD0, 0xD1}};
    virtual HRESULT get_StringValue(BSTR* pbstrValue) = 0;
    virtual HRESULT put_StringValue(BSTR bstrValue) = 0;
    virtual HRESULT get_DNString(BSTR* pbstrDN) = 0;
    virtual HRESULT put_DNString(BSTR bstrDN) = 0;
};

// ---------------------------------------------------------------------------------------------------
// Functions

// Binds "LDAP://rootDSE", "LDAP://<dn>" or either with a server before them ("LDAP://server/<dn>").
// Without a user name the bind uses the machine's own identity (the configured bind DN and password
// file); with ADS_SECURE_AUTHENTICATION and a user name the name and password are used as given.
DLSW_API HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword,
                               DWORD dwReserved, REFIID riid, void** ppObject);
// ADsOpenObject with the machine's identity and ADS_SECURE_AUTHENTICATION.
DLSW_API HRESULT ADsGetObject(LPCWSTR lpszPathName, REFIID riid, void** ppObject);

// The calling thread's last provider error: the server's result code, its text and the provider name.
// Texts are cut to the buffers (cch counts characters, the terminating zero included).
DLSW_API HRESULT ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen, LPWSTR lpNameBuf,
                                 DWORD dwNameBufLen);
DLSW_API LPVOID AllocADsMem(DWORD cb);
DLSW_API BOOL FreeADsMem(LPVOID pMem);
