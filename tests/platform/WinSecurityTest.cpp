#include "platform/WinSecurity.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
std::string RoundTrip(const char* pszSid)
{
    PSID pSid = nullptr;
    if (!ConvertStringSidToSidA(pszSid, &pSid))
        return "error " + std::to_string(GetLastError());
    LPSTR psz = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidA(pSid, &psz));
    std::string s = psz;
    LocalFree(psz);
    LocalFree(pSid);
    return s;
}

struct CRevert
{
    ~CRevert() { RevertToSelf(); }
};
} // namespace

TEST(WinSecurity, StringSidsAreValidatedStrictly)
{
    const struct
    {
        const char* pszSid;
        const char* pszExpected;
    } cases[] = {
        {"S-1-5-21-1004336348-1177238915-682003330-1108", "S-1-5-21-1004336348-1177238915-682003330-1108"},
        {"S-1-1-0", "S-1-1-0"},
        {"s-1-5-18", "S-1-5-18"},
        {"S-1-5", "S-1-5"},
        {"S-1-0x10-3", "S-1-16-3"},
        {"S-1-5-4294967295", "S-1-5-4294967295"},
        {"S-1-5-4294967296", "error 1337"},
        {"S-2-5-18", "error 1337"},
        {"S-1-5-", "error 1337"},
        {"S-1--5", "error 1337"},
        {"S-1-5-18 ", "error 1337"},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", "error 1337"},
        {"S-1-281474976710656-1", "error 1337"},
        {"", "error 1337"},
        {"BA", "error 1337"},
        {"not-a-sid", "error 1337"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundTrip(c.pszSid), c.pszExpected) << c.pszSid;
    PSID pSid = reinterpret_cast<PSID>(1);
    EXPECT_FALSE(ConvertStringSidToSidA(nullptr, &pSid));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WinSecurity, ThreadTokenCarriesTheUserAndGroups)
{
    CRevert revert;
    HANDLE hToken = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken));
    EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);

    ASSERT_TRUE(DlswSetThreadUser("jdoe", "CORP", "S-1-5-21-7-8-9-1001", {"S-1-5-21-7-8-9-513", "S-1-1-0"}));
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_QUERY_SOURCE, TRUE, &hToken));

    // Token user, two-call protocol.
    DWORD dwNeeded = 0;
    EXPECT_FALSE(GetTokenInformation(hToken, TokenUser, nullptr, 0, &dwNeeded));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(dwNeeded);
    ASSERT_TRUE(GetTokenInformation(hToken, TokenUser, buffer.data(), dwNeeded, &dwNeeded));
    PSID pUser = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    char szName[260];
    char szDomain[260];
    DWORD cchName = 2;
    DWORD cchDomain = sizeof(szDomain);
    SID_NAME_USE eUse = SidTypeUnknown;
    EXPECT_FALSE(LookupAccountSidA(nullptr, pUser, szName, &cchName, szDomain, &cchDomain, &eUse));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(cchName, 5u);
    cchName = sizeof(szName);
    cchDomain = sizeof(szDomain);
    ASSERT_TRUE(LookupAccountSidA(nullptr, pUser, szName, &cchName, szDomain, &cchDomain, &eUse));
    EXPECT_STREQ(szName, "jdoe");
    EXPECT_STREQ(szDomain, "CORP");
    EXPECT_EQ(eUse, SidTypeUser);

    // Groups.
    std::vector<BYTE> groups(1024);
    ASSERT_TRUE(GetTokenInformation(hToken, TokenGroups, groups.data(), 1024, &dwNeeded));
    const auto* pGroups = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
    ASSERT_EQ(pGroups->GroupCount, 2u);
    LPSTR psz = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA((pGroups->Groups + 1)->Sid, &psz));
    EXPECT_STREQ(psz, "S-1-1-0");
    LocalFree(psz);

    // Membership through the thread's token; dropping it leaves the process's identity.
    PSID pGroup = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-7-8-9-513", &pGroup));
    BOOL bMember = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, pGroup, &bMember));
    EXPECT_TRUE(bMember);
    HANDLE hSaved = nullptr;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &hSaved));
    ASSERT_TRUE(RevertToSelf());
    ASSERT_TRUE(CheckTokenMembership(nullptr, pGroup, &bMember));
    EXPECT_FALSE(bMember);
    HANDLE hNone = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hNone));

    // Another thread has no token of its own.
    std::thread(
        [&]
        {
            BOOL bOther = TRUE;
            EXPECT_TRUE(CheckTokenMembership(nullptr, pGroup, &bOther));
            EXPECT_FALSE(bOther);
        })
        .join();

    ASSERT_TRUE(SetThreadToken(nullptr, hSaved));
    ASSERT_TRUE(CheckTokenMembership(nullptr, pGroup, &bMember));
    EXPECT_TRUE(bMember);
    // An explicit token answers for itself whatever the thread holds.
    ASSERT_TRUE(CheckTokenMembership(hToken, pGroup, &bMember));
    EXPECT_TRUE(bMember);
    EXPECT_TRUE(CloseHandle(hSaved));
    EXPECT_TRUE(CloseHandle(hToken));
    EXPECT_FALSE(SetThreadToken(nullptr, hToken)); // closed: refused
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    LocalFree(pGroup);

    // Unknown SIDs have no name.
    PSID pUnknown = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-4", &pUnknown));
    cchName = sizeof(szName);
    cchDomain = sizeof(szDomain);
    EXPECT_FALSE(LookupAccountSidA(nullptr, pUnknown, szName, &cchName, szDomain, &cchDomain, &eUse));
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
    LocalFree(pUnknown);
}

TEST(WinSecurity, HostRefusesInvalidSids)
{
    EXPECT_EQ(DlswCreateUserToken("u", "d", "S-1-5-21-1", {"S-1-x"}), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    EXPECT_FALSE(DlswSetThreadUser("u", "d", "bogus", {}));
}
