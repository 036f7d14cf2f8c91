#include "general/ADUserConfig.h"
#include "platform/ThreadTokenApi.h"
#include "platform/WinHandle.h"
#include "platform/WinSecurity.h"
#include "tests/directory/DirectoryTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <string>

namespace
{
using ADUserConfigTest = CDirectoryTest;

HRESULT Lookup(const std::string& strUser, uint32_t nKind, const std::string& strProp, std::string& strValue)
{
    CADUserConfig config;
    config.SetFilter(ci_string(strUser.data(), strUser.size()), nKind);
    return config.GetProperty(strProp, strValue);
}
} // namespace

TEST(ADUserConfigFilter, ClauseByKindWithTheValueEscaped)
{
    struct CCase
    {
        uint32_t m_nKind;
        std::string m_strValue;
        const char* m_pszClause;
    };
    const CCase rgCases[] = {
        {0, "ann", "(sAMAccountName=ann)"},
        {1, "ann@example.test", "(userPrincipalName=ann@example.test)"},
        {2, "Ann Archer", "(name=Ann Archer)"},
        {3, "ann@example.test", "(proxyAddresses=*SMTP:ann@example.test*)"},
        {7, "ann", "(sAMAccountName=ann)"},
        {0, "a*", "(sAMAccountName=a\\2a)"},
        {0, "x)(sAMAccountName=*", "(sAMAccountName=x\\29\\28sAMAccountName=\\2a)"},
        {3, "*)(cn=*", "(proxyAddresses=*SMTP:\\2a\\29\\28cn=\\2a*)"},
        {0, "back\\slash", "(sAMAccountName=back\\5cslash)"},
        {0, std::string("ann\0x", 5), "(sAMAccountName=ann\\00x)"},
    };
    for (const CCase& c : rgCases)
    {
        CADUserConfig config;
        config.SetFilter(ci_string(c.m_strValue.data(), c.m_strValue.size()), c.m_nKind);
        EXPECT_EQ(std::string(config.m_csUserFilter.c_str()), c.m_pszClause);
    }
    CADUserConfig config;
    EXPECT_EQ(config.m_wstrObjectFilter, L"(objectClass=user)(objectCategory=person)");
}

TEST_F(ADUserConfigTest, FindsAUserByAccountNameOrAddress)
{
    struct CCase
    {
        const char* m_pszUser;
        uint32_t m_nKind;
        const char* m_pszProp;
        const char* m_pszValue;
    };
    const CCase rgCases[] = {
        {"ann", 0, "msExchUserCulture", "fr-FR"},
        {"ANN", 0, "msExchUserCulture", "fr-FR"},
        {"ann.archer@example.test", 3, "msExchUserCulture", "fr-FR"},
        {"ann@example.test", 1, "msExchUserCulture", "fr-FR"},
        {"Bob Baker", 2, "msExchUserCulture", "de-DE"},
        // Several values of one user, and one value of several users, are joined by ";".
        {"ann", 0, "proxyAddresses", "SMTP:ann.archer@example.test;smtp:ann@example.test"},
        {"shared@example.test", 3, "msExchUserCulture", "nl-NL;sv-SE"},
        {"ann", 0, "userAccountControl", "512"},
        {"ann", 0, "msExchHideFromAddressLists", "FALSE"},
        {"ann", 0, "objectGUID", "{67452301-AB89-EFCD-FEDC-BA9876543210}"},
        {"ann", 0, "accountExpires", "  Never Expires"},
        {"ann", 0, "pwdLastSet", ""},
    };
    for (const CCase& c : rgCases)
    {
        std::string strValue;
        EXPECT_EQ(Lookup(c.m_pszUser, c.m_nKind, c.m_pszProp, strValue), S_OK)
            << c.m_pszUser << " " << c.m_pszProp;
        EXPECT_EQ(strValue, c.m_pszValue) << c.m_pszUser << " " << c.m_pszProp;
    }
}

TEST_F(ADUserConfigTest, ACraftedNameFindsNothingButItself)
{
    struct CCase
    {
        std::string m_strUser;
        uint32_t m_nKind;
        HRESULT m_hr;
        const char* m_pszValue;
    };
    const CCase rgCases[] = {
        {"a*", 0, S_OK, "ja-JP"},
        {"x)(sAMAccountName=*", 0, S_OK, "it-IT"},
        {"back\\slash", 0, S_OK, "es-ES"},
        {"*", 0, E_FAIL, ""},
        {"an*", 0, E_FAIL, ""},
        {"ann)(sAMAccountName=bob", 0, E_FAIL, ""},
        {std::string("ann\0", 4), 0, E_FAIL, ""},
        {"*", 3, E_FAIL, ""},
        {"ann*)(msExchUserCulture=*", 3, E_FAIL, ""},
    };
    for (const CCase& c : rgCases)
    {
        std::string strValue;
        EXPECT_EQ(Lookup(c.m_strUser, c.m_nKind, "msExchUserCulture", strValue), c.m_hr) << c.m_strUser;
        EXPECT_EQ(strValue, c.m_pszValue) << c.m_strUser;
    }
}

TEST_F(ADUserConfigTest, AMissingPropertyFailsAndIsNotCached)
{
    CTraceCapture trace;
    CADUserConfig config;
    config.SetFilter("carl", 0);
    std::string strValue = "unchanged";
    const size_t nBefore = m_pServer->SearchCount();
    EXPECT_EQ(config.GetProperty("msExchUserCulture", strValue), E_FAIL);
    EXPECT_EQ(strValue, "unchanged");
    EXPECT_TRUE(config.m_mapPropertyCache.empty());
    EXPECT_TRUE(trace.Contains("hr:0x0 Count = 0 Exit with E_FAIL no property was found"));
    const size_t nAfterFirst = m_pServer->SearchCount();
    EXPECT_GT(nAfterFirst, nBefore);
    EXPECT_EQ(config.GetProperty("msExchUserCulture", strValue), E_FAIL);
    EXPECT_GT(m_pServer->SearchCount(), nAfterFirst);
}

TEST_F(ADUserConfigTest, APropertyReadOnceIsKeptByTheObject)
{
    CADUserConfig config;
    config.SetFilter("bob", 0);
    std::string strValue;
    ASSERT_EQ(config.GetProperty("msExchUserCulture", strValue), S_OK);
    EXPECT_EQ(config.m_wstrDefaultNamingContext, L"dc=example,dc=test");
    const size_t nSearches = m_pServer->SearchCount();
    std::string strAgain;
    EXPECT_EQ(config.GetProperty("msExchUserCulture", strAgain), S_OK);
    EXPECT_EQ(strAgain, "de-DE");
    EXPECT_EQ(m_pServer->SearchCount(), nSearches);
}

TEST_F(ADUserConfigTest, TheDirectoryIsReadAsTheProcessAndTheUsersTokenComesBack)
{
    ASSERT_TRUE(DlswSetThreadUser("ann", "EXAMPLE", "S-1-5-21-1-2-3-1001", {}));
    std::string strValue;
    EXPECT_EQ(Lookup("ann", 0, "msExchUserCulture", strValue), S_OK);
    HANDLE hToken = nullptr;
    EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken));
    CloseHandle(hToken);
    SetThreadToken(nullptr, nullptr);
}

TEST(ADUserConfigOutsideDomain, AFailedConnectionIsTracedAndReturned)
{
    CMachineConfig::Instance().Reset();
    CTraceCapture trace;
    std::string strValue;
    EXPECT_EQ(Lookup("ann", 0, "msExchUserCulture", strValue), static_cast<HRESULT>(0x8007054B));
    EXPECT_TRUE(
        trace.HasPrefix("COWAADConfig::ReadDefaultNamingContext() failed to connect hr: 0x8007054b   "));
    EXPECT_TRUE(
        trace.HasPrefix("ReadProperties couldn't open AD connection ReadDefaultNamingContext 0x8007054b"));
}
