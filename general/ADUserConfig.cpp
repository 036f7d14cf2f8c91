#include "general/ADUserConfig.h"

#include "common/RestoreThreadToken.h"
#include "common/TraceLog.h"
#include "general/DirectoryText.h"
#include "platform/ComSupport.h"
#include "platform/WinSecurity.h"
#include "platform/WinTime.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <strings.h>

namespace
{
// "M/D/YYYY h:mm:ss AM" as a date converts to text.
std::wstring DateText(const SYSTEMTIME& st)
{
    const unsigned nHour12 = st.wHour % 12 == 0 ? 12u : static_cast<unsigned>(st.wHour % 12);
    char szText[64];
    std::snprintf(szText, sizeof(szText), "%u/%u/%u %u:%02u:%02u %s", st.wMonth, st.wDay, st.wYear, nHour12,
                  st.wMinute, st.wSecond, st.wHour < 12 ? "AM" : "PM");
    return WideFromAnsi(szText);
}

std::wstring GuidText(const ADS_OCTET_STRING& octets)
{
    if (octets.dwLength != 16 || octets.lpValue == nullptr)
        return {};
    const BYTE* b = octets.lpValue;
    char szText[40];
    std::snprintf(szText, sizeof(szText),
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1],
                  b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return WideFromAnsi(szText);
}

std::wstring SidText(const ADS_OCTET_STRING& octets)
{
    if (octets.lpValue == nullptr || octets.dwLength < 8 || !IsValidSid(octets.lpValue) ||
        GetLengthSid(octets.lpValue) > octets.dwLength)
        return {};
    LPSTR pszSid = nullptr;
    if (!ConvertSidToStringSidA(octets.lpValue, &pszSid) || pszSid == nullptr)
        return {};
    std::wstring wstr = WideFromAnsi(pszSid);
    LocalFree(pszSid);
    return wstr;
}

bool IsTimeAttribute(const std::string& strName)
{
    for (const char* psz :
         {"badPasswordTime", "accountExpires", "lastLogon", "lastLogoff", "lockoutTime", "pwdLastSet"})
    {
        if (strName == psz)
            return true;
    }
    return false;
}

const char* AdsTypeName(DWORD dwType)
{
    switch (dwType)
    {
    case ADSTYPE_DN_STRING:
        return " ADSTYPE_DN_STRING ";
    case ADSTYPE_CASE_EXACT_STRING:
        return " ADSTYPE_CASE_EXACT_STRING ";
    case ADSTYPE_CASE_IGNORE_STRING:
        return " ADSTYPE_CASE_IGNORE_STRING ";
    case ADSTYPE_PRINTABLE_STRING:
        return " ADSTYPE_PRINTABLE_STRING ";
    case ADSTYPE_NUMERIC_STRING:
        return " ADSTYPE_NUMERIC_STRING ";
    case ADSTYPE_BOOLEAN:
        return " ADSTYPE_BOOLEAN ";
    case ADSTYPE_INTEGER:
        return " ADSTYPE_INTEGER ";
    case ADSTYPE_OCTET_STRING:
        return " ADSTYPE_OCTET_STRING ";
    case ADSTYPE_UTC_TIME:
        return " ADSTYPE_UTC_TIME ";
    case ADSTYPE_LARGE_INTEGER:
        return " ADSTYPE_LARGE_INTEGER ";
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
        return " ADSTYPE_NT_SECURITY_DESCRIPTOR ";
    default:
        return " ADSTYPE_UNKNOWN ";
    }
}

// The values of one column, each after a ";" when the text already holds something.
void AppendColumnValues(const ADS_SEARCH_COLUMN& col, std::wstring& wstrValue)
{
    const std::string strName =
        col.pszAttrName != nullptr
            ? BstrToAnsi(col.pszAttrName, std::char_traits<char16_t>::length(col.pszAttrName))
            : std::string();
    const auto append = [&wstrValue](const std::wstring& wstr)
    {
        if (!wstrValue.empty())
            wstrValue += L';';
        wstrValue += wstr;
    };
    for (DWORD i = 0; i < col.dwNumValues; ++i)
    {
        const ADSVALUE& v = col.pADsValues[i];
        switch (col.dwADsType)
        {
        case ADSTYPE_DN_STRING:
        case ADSTYPE_CASE_EXACT_STRING:
        case ADSTYPE_CASE_IGNORE_STRING:
        case ADSTYPE_PRINTABLE_STRING:
        case ADSTYPE_NUMERIC_STRING:
            append(v.CaseIgnoreString != nullptr
                       ? WideFromUtf16(v.CaseIgnoreString,
                                       std::char_traits<char16_t>::length(v.CaseIgnoreString))
                       : std::wstring());
            break;
        case ADSTYPE_BOOLEAN:
            append(v.Boolean != 0 ? L"TRUE" : L"FALSE");
            break;
        case ADSTYPE_INTEGER:
            append(std::to_wstring(static_cast<int32_t>(v.Integer)));
            break;
        case ADSTYPE_OCTET_STRING:
        {
            std::wstring wstr;
            if (strcasecmp(strName.c_str(), "objectSID") == 0)
                wstr = SidText(v.OctetString);
            else if (strcasecmp(strName.c_str(), "objectGUID") == 0 ||
                     strcasecmp(strName.c_str(), "msExchMailboxGUID") == 0)
                wstr = GuidText(v.OctetString);
            if (!wstr.empty())
                append(wstr);
            break;
        }
        case ADSTYPE_UTC_TIME:
            append(DateText(v.UTCTime));
            break;
        case ADSTYPE_LARGE_INTEGER:
        {
            if (v.LargeInteger.QuadPart == 0)
                break;
            if (IsTimeAttribute(strName))
            {
                if (v.LargeInteger.u.LowPart == 0xFFFFFFFFu)
                {
                    append(L"  Never Expires");
                    break;
                }
                FILETIME ftUtc{v.LargeInteger.u.LowPart, static_cast<DWORD>(v.LargeInteger.u.HighPart)};
                FILETIME ftLocal{};
                SYSTEMTIME st{};
                if (FileTimeToLocalFileTime(&ftUtc, &ftLocal) && FileTimeToSystemTime(&ftLocal, &st))
                    append(DateText(st));
            }
            else
                TraceLog(" FIndUser high: %d low: %d\r\n", v.LargeInteger.u.HighPart,
                         static_cast<int>(v.LargeInteger.u.LowPart));
            break;
        }
        case ADSTYPE_NT_SECURITY_DESCRIPTOR:
            break;
        default:
            TraceLog("Unknown type %d.\n", static_cast<int>(col.dwADsType));
            break;
        }
    }
}
} // namespace

CADUserConfig::CADUserConfig() : m_wstrObjectFilter(L"(objectClass=user)(objectCategory=person)") {}

void CADUserConfig::SetFilter(const ci_string& csValue, uint32_t nFilterKind)
{
    // The value goes in as a value: a name holding filter characters must find that name alone.
    const std::string strEscaped = EscapeLdapFilterValue(std::string(csValue.data(), csValue.size()));
    const ci_string csEscaped(strEscaped.data(), strEscaped.size());
    switch (nFilterKind)
    {
    case FILTER_PRINCIPAL_NAME:
        m_csUserFilter = "(userPrincipalName=" + csEscaped + ")";
        break;
    case FILTER_NAME:
        m_csUserFilter = "(name=" + csEscaped + ")";
        break;
    case FILTER_MAIL_ADDRESS:
        m_csUserFilter = "(proxyAddresses=*SMTP:" + csEscaped + "*)";
        break;
    case FILTER_ACCOUNT_NAME:
    default:
        m_csUserFilter = "(sAMAccountName=" + csEscaped + ")";
        break;
    }
}

HRESULT CADUserConfig::GetProperty(const std::string& strName, std::string& strValue)
{
    const auto it = m_mapPropertyCache.find(strName);
    if (it != m_mapPropertyCache.end() && it->second.Get() != nullptr)
        return it->second->GetAsString(strValue);
    CCountedPtr<ADProp> spProp;
    const HRESULT hr = ReadProperties(strName, spProp);
    if (SUCCEEDED(hr) && spProp.Get() != nullptr)
    {
        spProp->GetAsString(strValue);
        m_mapPropertyCache[strName] = spProp;
    }
    return hr;
}

HRESULT CADUserConfig::ReadDefaultNamingContext()
{
    CComPtr<IADs> spRoot;
    HRESULT hr =
        ADsOpenObject(u"LDAP://rootDSE", nullptr, nullptr, 0, IADs::iid, reinterpret_cast<void**>(&spRoot));
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr),
                      "COWAADConfig::ReadDefaultNamingContext() failed to connect hr: 0x%x",
                      static_cast<unsigned>(hr));
        return hr;
    }
    _variant_t vContext;
    hr = spRoot->Get(_bstr_t("defaultNamingContext"), &vContext);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr),
                      "COWAADConfig::ReadDefaultNamingContext() failed to get defaultNamingContext hr: 0x%x",
                      static_cast<unsigned>(hr));
        return hr;
    }
    if (vContext.vt == VT_BSTR && vContext.bstrVal != nullptr)
        m_wstrDefaultNamingContext = WideFromBstr(vContext.bstrVal);
    else
        TraceLog("COWAADConfig::ReadDefaultNamingContext() got an empty defaultNamingContext");
    return hr;
}

HRESULT CADUserConfig::ReadProperties(const std::string& strName, CCountedPtr<ADProp>& spProp)
{
    std::string strContext = "ReadDefaultNamingContext";
    const std::string strUser(m_csUserFilter.data(), m_csUserFilter.size());
    RestoreThreadToken restore;
    restore.Revert();
    HRESULT hr = S_OK;
    CComPtr<IDirectorySearch> spSearch;
    try
    {
        if (m_wstrDefaultNamingContext.empty())
        {
            hr = ReadDefaultNamingContext();
            if (FAILED(hr))
            {
                TraceLogError(static_cast<DWORD>(hr),
                              "ReadProperties couldn't open AD connection ReadDefaultNamingContext 0x%x",
                              static_cast<unsigned>(hr));
                return hr;
            }
        }
        const std::wstring wstrPath = L"LDAP://" + m_wstrDefaultNamingContext;
        strContext = "ADsOpenObject " + AnsiFromWide(wstrPath);
        hr = ADsOpenObject(Utf16FromWide(wstrPath).c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION,
                           IDirectorySearch::iid, reinterpret_cast<void**>(&spSearch));
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr), "ReadProperties couldn't GetOWA object prop 0x%x",
                          static_cast<unsigned>(hr));
            return hr;
        }
        const std::vector<std::wstring> vecNames = {WideFromAnsi(strName)};
        auto* pProp = new TADProp<std::wstring>(strName, ADProp::KIND_STRING);
        spProp = CCountedPtr<ADProp>(pProp);
        strContext = "FindUser " + strUser;
        hr = FindUsers(spSearch.Get(), WideFromAnsi(strUser), vecNames, 1, pProp->m_value);
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr), "CADUserConfig failed to get AD user %s Prop %s hr: 0x%x",
                          strUser.c_str(), strName.c_str(), static_cast<unsigned>(hr));
    }
    catch (const _com_error& e)
    {
        hr = e.Error();
        TraceLogError(static_cast<DWORD>(hr),
                      "ReadProperty from AD got an exception HR: 0x%x. Context: %s user %s Prop %s ",
                      static_cast<unsigned>(hr), strContext.c_str(), strUser.c_str(), strName.c_str());
    }
    catch (const std::exception& e)
    {
        const char* pszWhat = e.what() != nullptr && e.what()[0] != '\0' ? e.what() : "EMPTY";
        TraceLog("ReadProperty from AD got an std exception %s Context: %s user %s Prop %s ", pszWhat,
                 strContext.c_str(), strUser.c_str(), strName.c_str());
        hr = E_UNEXPECTED;
    }
    catch (...)
    {
        TraceLog("ReadProperty from AD got an general exception Context: %s user %s Prop %s ",
                 strContext.c_str(), strUser.c_str(), strName.c_str());
        hr = E_UNEXPECTED;
    }
    return hr;
}

HRESULT CADUserConfig::FindUsers(IDirectorySearch* pSearch, const std::wstring& wstrUserFilter,
                                 const std::vector<std::wstring>& vecAttributeNames, DWORD dwNumNames,
                                 std::wstring& wstrValue)
{
    if (pSearch == nullptr)
        return E_POINTER;
    std::wstring wstrFilter = L"(&" + m_wstrObjectFilter + wstrUserFilter + L")";
    if (wstrFilter.size() > FILTER_BUFFER_CHARS - 2)
        wstrFilter.resize(FILTER_BUFFER_CHARS - 2);

    ADS_SEARCHPREF_INFO pref{};
    pref.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    pref.vValue.dwType = ADSTYPE_INTEGER;
    pref.vValue.Integer = ADS_SCOPE_SUBTREE;
    HRESULT hr = pSearch->SetSearchPreference(&pref, 1);
    if (FAILED(hr))
        return hr;

    std::wstring wstrTrail = L" ExecuteSearch ";
    std::vector<std::u16string> vecNames;
    const DWORD dwCount = std::min<DWORD>(dwNumNames, static_cast<DWORD>(vecAttributeNames.size()));
    for (DWORD i = 0; i < dwCount; ++i)
        vecNames.push_back(Utf16FromWide(vecAttributeNames[i]));
    std::vector<LPWSTR> vecNamePtrs;
    for (std::u16string& s : vecNames)
        vecNamePtrs.push_back(s.data());
    std::u16string sFilter = Utf16FromWide(wstrFilter);
    ADS_SEARCH_HANDLE hSearch = nullptr;
    int nColumns = 0;
    hr = pSearch->ExecuteSearch(sFilter.data(), vecNamePtrs.empty() ? nullptr : vecNamePtrs.data(),
                                vecNamePtrs.empty() ? 0xFFFFFFFFu : static_cast<DWORD>(vecNamePtrs.size()),
                                &hSearch);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "Execute search failed %s 0x%x",
                      AnsiFromWide(wstrFilter).c_str(), static_cast<unsigned>(hr));
    }
    else
    {
        wstrTrail += L" GetFirstRow ";
        HRESULT hrRow = pSearch->GetFirstRow(hSearch);
        if (FAILED(hrRow))
            TraceLogError(static_cast<DWORD>(hrRow), "CADUserConfig::FindUsers GetFirstRow failed HR 0x%x",
                          static_cast<unsigned>(hrRow));
        while (SUCCEEDED(hrRow) && hrRow != S_ADS_NOMORE_ROWS)
        {
            bool bFirstColumn = true;
            for (;;)
            {
                LPWSTR pszColumn = nullptr;
                wstrTrail += L" GetNextColumnName ";
                const HRESULT hrName = pSearch->GetNextColumnName(hSearch, &pszColumn);
                if (FAILED(hrName))
                {
                    TraceLogError(static_cast<DWORD>(hrName),
                                  bFirstColumn
                                      ? "CADUserConfig::FindUsers First call GetNextColumnName failed HR 0x%x"
                                      : "CADUserConfig::FindUsers GetNextColumnName failed HR 0x%x",
                                  static_cast<unsigned>(hrName));
                    break;
                }
                if (hrName == S_ADS_NOMORE_COLUMNS)
                {
                    FreeADsMem(pszColumn);
                    break;
                }
                bFirstColumn = false;
                ADS_SEARCH_COLUMN col;
                wstrTrail += L" Call GetColumn ";
                const HRESULT hrColumn = pSearch->GetColumn(hSearch, pszColumn, &col);
                if (FAILED(hrColumn))
                    TraceLogError(static_cast<DWORD>(hrColumn),
                                  "CADUserConfig::FindUsers GetColumn failed HR 0x%x",
                                  static_cast<unsigned>(hrColumn));
                else
                {
                    ++nColumns;
                    wstrTrail += L" & GetColumn Count: " + std::to_wstring(nColumns) + L" Type: " +
                                 WideFromAnsi(AdsTypeName(col.dwADsType));
                    AppendColumnValues(col, wstrValue);
                    pSearch->FreeColumn(&col);
                }
                FreeADsMem(pszColumn);
            }
            hrRow = pSearch->GetNextRow(hSearch);
            if (FAILED(hrRow))
            {
                wstrTrail += L" GetNextRow failed ";
                TraceLogError(static_cast<DWORD>(hrRow), "CADUserConfig::FindUsers GetNextRow failed HR 0x%x",
                              static_cast<unsigned>(hrRow));
            }
        }
        const HRESULT hrClose = pSearch->CloseSearchHandle(hSearch);
        if (FAILED(hrClose))
            TraceLogError(static_cast<DWORD>(hrClose),
                          "CADUserConfig::FindUsers CloseSearchHandle failed HR 0x%x",
                          static_cast<unsigned>(hrClose));
    }
    if (FAILED(hr) || nColumns > 0)
    {
        TraceLog("CADUserConfig::FindUsers %s hr:0x%x Count: %d", AnsiFromWide(wstrTrail).c_str(),
                 static_cast<unsigned>(hr), nColumns);
        return hr;
    }
    TraceLog("CADUserConfig::FindUsers %s hr:0x%x Count = 0 Exit with E_FAIL no property was found",
             AnsiFromWide(wstrTrail).c_str(), static_cast<unsigned>(hr));
    return E_FAIL;
}
