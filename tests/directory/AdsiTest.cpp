#include "platform/Adsi.h"
#include "platform/ComSupport.h"
#include "tests/directory/DirectoryTestSupport.h"

#include <string>
#include <vector>

namespace
{
const std::u16string OWA_DN =
    u"CN=owa (Default Web Site),CN=HTTP,CN=Protocols,CN=mail01,CN=Servers,"
    u"CN=Exchange Administrative Group (FYDIBOHF23SPDLT),CN=Administrative Groups,"
    u"CN=Example Org,CN=Microsoft Exchange,CN=Services,CN=Configuration,dc=example,dc=test";

std::string Narrow(const std::u16string& s)
{
    return BstrToAnsi(s.data(), s.size());
}

std::string LastErrorText(DWORD* pdwCode = nullptr)
{
    DWORD dwCode = 0;
    char16_t szText[260];
    char16_t szProvider[260];
    EXPECT_EQ(ADsGetLastError(&dwCode, szText, 260, szProvider, 260), S_OK);
    if (pdwCode != nullptr)
        *pdwCode = dwCode;
    return Narrow(szText);
}

// Every value of a Get or GetEx answer as text; DN-with-string elements give their string.
std::vector<std::string> Texts(const VARIANT& v)
{
    std::vector<std::string> vecOut;
    const auto one = [&](const VARIANT& e)
    {
        if (e.vt == VT_BSTR)
            vecOut.push_back(BstrToAnsi(e.bstrVal, SysStringLen(e.bstrVal)));
        else if (e.vt == VT_I4)
            vecOut.push_back(std::to_string(e.lVal));
        else if (e.vt == VT_UNKNOWN)
        {
            CComPtr<IADsDNWithString> sp;
            if (SUCCEEDED(e.punkVal->QueryInterface(IADsDNWithString::iid, reinterpret_cast<void**>(&sp))))
            {
                _bstr_t bstr;
                sp->get_StringValue(bstr.GetAddress());
                vecOut.push_back("S:" + bstr.ToAnsi());
            }
        }
        else
            vecOut.push_back("vt=" + std::to_string(e.vt));
    };
    if ((v.vt & VT_ARRAY) == 0)
    {
        one(v);
        return vecOut;
    }
    LONG nLow = 0;
    LONG nHigh = -1;
    SafeArrayGetLBound(v.parray, 1, &nLow);
    SafeArrayGetUBound(v.parray, 1, &nHigh);
    for (LONG i = nLow; i <= nHigh; ++i)
    {
        _variant_t e;
        SafeArrayGetElement(v.parray, &i, &e);
        one(e);
    }
    return vecOut;
}

using AdsiTest = CDirectoryTest;
} // namespace

TEST(AdsiOutsideDomain, EveryBindFailsWhenNoServerIsConfigured)
{
    CMachineConfig::Instance().Reset();
    CComPtr<IADs> spRoot;
    EXPECT_EQ(
        ADsOpenObject(u"LDAP://rootDSE", nullptr, nullptr, 0, IADs::iid, reinterpret_cast<void**>(&spRoot)),
        static_cast<HRESULT>(0x8007054B));
    EXPECT_FALSE(spRoot);
    DWORD dwCode = 0;
    EXPECT_EQ(LastErrorText(&dwCode),
              "The specified domain either does not exist or could not be contacted.");
    EXPECT_EQ(dwCode, 1355u);
}

TEST(AdsiPaths, OnlyLdapPathsNamingAnObjectBind)
{
    CMachineConfig::Instance().Reset();
    CMachineConfig::Instance().SetDirectoryServer({"ldap://127.0.0.1:1", "", "", ""});
    for (const char16_t* psz :
         {u"GC://rootDSE", u"LDAP://", u"ldap://rootDSE", u"LDAP://mail01", u"LDAP:///dc=x"})
    {
        CComPtr<IADs> sp;
        EXPECT_EQ(ADsGetObject(psz, IADs::iid, reinterpret_cast<void**>(&sp)), E_ADS_BAD_PATHNAME)
            << Narrow(psz);
    }
}

TEST(AdsiServerDown, ABindToAServerThatDoesNotListenFailsAsServerDown)
{
    CMachineConfig::Instance().Reset();
    CMachineConfig::Instance().SetDirectoryServer({"ldap://127.0.0.1:1", "", "", ""});
    CComPtr<IADs> sp;
    EXPECT_EQ(ADsGetObject(u"LDAP://rootDSE", IADs::iid, reinterpret_cast<void**>(&sp)),
              static_cast<HRESULT>(0x8007203A));
}

TEST_F(AdsiTest, RootDseAnswersTheNamingContexts)
{
    CComPtr<IADs> spRoot;
    ASSERT_EQ(
        ADsOpenObject(u"LDAP://rootDSE", nullptr, nullptr, 0, IADs::iid, reinterpret_cast<void**>(&spRoot)),
        S_OK);
    _variant_t v;
    ASSERT_EQ(spRoot->Get(_bstr_t("defaultNamingContext"), &v), S_OK);
    EXPECT_EQ(Texts(v), std::vector<std::string>{"dc=example,dc=test"});
    _variant_t vConfig;
    ASSERT_EQ(spRoot->Get(_bstr_t("configurationNamingContext"), &vConfig), S_OK);
    EXPECT_EQ(Texts(vConfig), std::vector<std::string>{"CN=Configuration,dc=example,dc=test"});
}

TEST_F(AdsiTest, GetAnswersByTheAttributesSyntax)
{
    CComPtr<IADs> spOwa;
    ASSERT_EQ(ADsGetObject((u"LDAP://" + OWA_DN).c_str(), IADs::iid, reinterpret_cast<void**>(&spOwa)), S_OK);

    _variant_t vInt;
    ASSERT_EQ(spOwa->Get(_bstr_t("msExchOWAOutputCharSet"), &vInt), S_OK);
    EXPECT_EQ(vInt.vt, VT_I4);
    EXPECT_EQ(vInt.lVal, 65001);

    _variant_t vText;
    ASSERT_EQ(spOwa->Get(_bstr_t("msExchOWAMaxTranscodableDocumentSize"), &vText), S_OK);
    EXPECT_EQ(vText.vt, VT_BSTR);

    _variant_t vAbsent;
    EXPECT_EQ(spOwa->Get(_bstr_t("msExchOWAGZipLevel"), &vAbsent), E_ADS_PROPERTY_NOT_FOUND);
    EXPECT_EQ(vAbsent.vt, VT_EMPTY);

    // A single value still comes as an array from GetEx.
    _variant_t vOne;
    ASSERT_EQ(spOwa->GetEx(_bstr_t("msExchOWATranscodingMimesTypes"), &vOne), S_OK);
    EXPECT_EQ(vOne.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(Texts(vOne), std::vector<std::string>{"application/msword"});

    _variant_t vPlain;
    ASSERT_EQ(spOwa->GetEx(_bstr_t("msExchOWAForceSaveFileTypes"), &vPlain), S_OK);
    EXPECT_EQ(Texts(vPlain), (std::vector<std::string>{".zip", ".rar"}));

    _variant_t vDNWithString;
    ASSERT_EQ(spOwa->GetEx(_bstr_t("msExchOWAAllowedFileTypes"), &vDNWithString), S_OK);
    EXPECT_EQ(Texts(vDNWithString), (std::vector<std::string>{"S:.DOC", "S:.txt"}));
}

TEST_F(AdsiTest, BindingAnObjectThatDoesNotExistFails)
{
    CComPtr<IADs> sp;
    EXPECT_EQ(ADsGetObject(u"LDAP://CN=nobody,dc=example,dc=test", IADs::iid, reinterpret_cast<void**>(&sp)),
              static_cast<HRESULT>(0x80072030));
    DWORD dwCode = 0;
    EXPECT_EQ(LastErrorText(&dwCode).rfind("No such object", 0), 0u);
    EXPECT_EQ(dwCode, 32u);
}

TEST_F(AdsiTest, TheMachinesIdentityComesFromItsPasswordFile)
{
    DirectoryServerConfig config = m_pServer->MachineDirectory();
    config.m_sBindPasswordFile = config.m_sBindPasswordFile + ".missing";
    CMachineConfig::Instance().SetDirectoryServer(config);
    CComPtr<IADs> sp;
    EXPECT_EQ(ADsGetObject(u"LDAP://dc=example,dc=test", IADs::iid, reinterpret_cast<void**>(&sp)),
              static_cast<HRESULT>(0x8007052E));

    // Without an identity the bind is anonymous, and anonymous binds see no entry.
    config.m_sBindDN.clear();
    config.m_sBindPasswordFile.clear();
    CMachineConfig::Instance().SetDirectoryServer(config);
    EXPECT_EQ(ADsGetObject(u"LDAP://dc=example,dc=test", IADs::iid, reinterpret_cast<void**>(&sp)),
              static_cast<HRESULT>(0x80072030));
}

namespace
{
struct CColumnSeen
{
    std::string m_sName;
    ADSTYPE m_type;
    std::vector<std::string> m_vecValues;
};

std::string ValueText(const ADSVALUE& v)
{
    switch (v.dwType)
    {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
        return Narrow(v.CaseIgnoreString);
    case ADSTYPE_BOOLEAN:
        return v.Boolean ? "TRUE" : "FALSE";
    case ADSTYPE_INTEGER:
        return std::to_string(static_cast<int32_t>(v.Integer));
    case ADSTYPE_LARGE_INTEGER:
        return std::to_string(v.LargeInteger.QuadPart);
    case ADSTYPE_OCTET_STRING:
        return std::to_string(v.OctetString.dwLength) + " bytes";
    case ADSTYPE_UTC_TIME:
        return "year " + std::to_string(v.UTCTime.wYear);
    case ADSTYPE_DN_WITH_STRING:
        return Narrow(v.pDNWithString->pszStringValue) + " @ " + Narrow(v.pDNWithString->pszDNString);
    default:
        return "?";
    }
}
} // namespace

TEST_F(AdsiTest, SearchWalksRowsAndTypedColumns)
{
    CComPtr<IDirectorySearch> spSearch;
    ASSERT_EQ(ADsOpenObject(u"LDAP://dc=example,dc=test", nullptr, nullptr, ADS_SECURE_AUTHENTICATION,
                            IDirectorySearch::iid, reinterpret_cast<void**>(&spSearch)),
              S_OK);
    ADS_SEARCHPREF_INFO pref{};
    pref.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    pref.vValue.dwType = ADSTYPE_INTEGER;
    pref.vValue.Integer = ADS_SCOPE_SUBTREE;
    ASSERT_EQ(spSearch->SetSearchPreference(&pref, 1), S_OK);

    std::u16string sFilter = u"(&(objectClass=user)(sAMAccountName=ann))";
    std::vector<std::u16string> vecNames = {
        u"msExchUserCulture",          u"userAccountControl", u"accountExpires",  u"objectGUID",
        u"msExchHideFromAddressLists", u"proxyAddresses",     u"modifyTimestamp", u"notThere"};
    std::vector<LPWSTR> vecAttrs;
    for (auto& s : vecNames)
        vecAttrs.push_back(s.data());
    ADS_SEARCH_HANDLE hSearch = nullptr;
    ASSERT_EQ(spSearch->ExecuteSearch(sFilter.data(), vecAttrs.data(), static_cast<DWORD>(vecAttrs.size()),
                                      &hSearch),
              S_OK);
    ASSERT_EQ(spSearch->GetFirstRow(hSearch), S_OK);
    std::vector<CColumnSeen> vecSeen;
    LPWSTR pszColumn = nullptr;
    while (spSearch->GetNextColumnName(hSearch, &pszColumn) == S_OK)
    {
        ADS_SEARCH_COLUMN col;
        EXPECT_EQ(spSearch->GetColumn(hSearch, pszColumn, &col), S_OK);
        CColumnSeen seen{Narrow(pszColumn), col.dwADsType, {}};
        for (DWORD i = 0; i < col.dwNumValues; ++i)
            seen.m_vecValues.push_back(ValueText(col.pADsValues[i]));
        vecSeen.push_back(seen);
        EXPECT_EQ(spSearch->FreeColumn(&col), S_OK);
        FreeADsMem(pszColumn);
    }
    EXPECT_EQ(spSearch->GetNextColumnName(hSearch, &pszColumn), S_ADS_NOMORE_COLUMNS);
    ADS_SEARCH_COLUMN colMissing;
    EXPECT_EQ(spSearch->GetColumn(hSearch, vecNames.back().data(), &colMissing), E_ADS_COLUMN_NOT_SET);
    EXPECT_EQ(spSearch->GetNextRow(hSearch), S_ADS_NOMORE_ROWS);
    EXPECT_EQ(spSearch->CloseSearchHandle(hSearch), S_OK);
    EXPECT_EQ(spSearch->CloseSearchHandle(hSearch), E_ADS_BAD_PARAMETER);

    const auto find = [&](const std::string& sName) -> CColumnSeen
    {
        for (const auto& c : vecSeen)
            if (c.m_sName == sName)
                return c;
        return CColumnSeen{sName, ADSTYPE_INVALID, {}};
    };
    EXPECT_EQ(find("msExchUserCulture").m_type, ADSTYPE_CASE_IGNORE_STRING);
    EXPECT_EQ(find("msExchUserCulture").m_vecValues, std::vector<std::string>{"fr-FR"});
    EXPECT_EQ(find("userAccountControl").m_type, ADSTYPE_INTEGER);
    EXPECT_EQ(find("userAccountControl").m_vecValues, std::vector<std::string>{"512"});
    EXPECT_EQ(find("accountExpires").m_type, ADSTYPE_LARGE_INTEGER);
    EXPECT_EQ(find("accountExpires").m_vecValues, std::vector<std::string>{"9223372036854775807"});
    EXPECT_EQ(find("objectGUID").m_type, ADSTYPE_OCTET_STRING);
    EXPECT_EQ(find("objectGUID").m_vecValues, std::vector<std::string>{"16 bytes"});
    EXPECT_EQ(find("msExchHideFromAddressLists").m_type, ADSTYPE_BOOLEAN);
    EXPECT_EQ(find("modifyTimestamp").m_type, ADSTYPE_UTC_TIME);
    EXPECT_EQ(find("proxyAddresses").m_vecValues,
              (std::vector<std::string>{"SMTP:ann.archer@example.test", "smtp:ann@example.test"}));
    EXPECT_EQ(find("notThere").m_type, ADSTYPE_INVALID);
}

TEST_F(AdsiTest, SearchRefusesBadFiltersAndForeignHandles)
{
    CComPtr<IDirectorySearch> spSearch;
    ASSERT_EQ(ADsGetObject(u"LDAP://dc=example,dc=test", IDirectorySearch::iid,
                           reinterpret_cast<void**>(&spSearch)),
              S_OK);
    std::u16string sBad = u"(&(objectClass=user)(sAMAccountName=ann)";
    ADS_SEARCH_HANDLE h = nullptr;
    EXPECT_EQ(spSearch->ExecuteSearch(sBad.data(), nullptr, 0xFFFFFFFFu, &h), E_ADS_INVALID_FILTER);
    EXPECT_EQ(h, nullptr);

    int nForeign = 0;
    EXPECT_EQ(spSearch->GetFirstRow(&nForeign), E_ADS_BAD_PARAMETER);
    ADS_SEARCH_COLUMN col{};
    col.hReserved = &nForeign;
    EXPECT_EQ(spSearch->FreeColumn(&col), E_ADS_BAD_PARAMETER);
}
