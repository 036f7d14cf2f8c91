#include "host/HostUserToken.h"
#include "host/HostFilter.h"
#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "platform/WinSecurity.h"
#include "platform/WinTime.h"
#include "settings/HandleDLSettings.h"

#include <gtest/gtest.h>

namespace
{
// The sample installation's settings name this group among the users who bypass the worker.
constexpr const char* SAMPLE_BYPASS_GROUP = "S-1-5-21-1004336348-1177238915-682003330-1200";

BOOL Bypassed(CHandleDLSettings& settings)
{
    BOOL bMember = FALSE;
    EXPECT_EQ(settings.CheckByPassList(&bMember), S_OK);
    return bMember;
}
} // namespace

TEST(HostUserToken, TheRequestsUserDecidesTheBypassOfTheSampleInstallation)
{
    CHandleDLSettings settings;
    std::string strFolder =
        MapPosixPathToWindows(std::string(DLSW_SOURCE_DIR) + "/samples/install/Settings/");
    ASSERT_EQ(settings.LoadSettings(strFolder), S_OK);

    const struct
    {
        std::vector<std::string> vecGroups;
        BOOL bBypassed;
    } cases[] = {
        {{SAMPLE_BYPASS_GROUP}, TRUE},
        {{"S-1-5-32-545", SAMPLE_BYPASS_GROUP}, TRUE},
        {{"S-1-5-32-545"}, FALSE},
        {{}, FALSE},
    };
    for (const auto& c : cases)
    {
        CHostRequest request;
        request.m_strUser = "CORP\\alice";
        request.m_vecGroupSids = c.vecGroups;
        {
            CHostUserToken token(request);
            HANDLE hToken = nullptr;
            ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken));
            CloseHandle(hToken);
            EXPECT_EQ(Bypassed(settings), c.bBypassed) << c.vecGroups.size();
        }
        // The token goes with the request: the thread is itself again.
        HANDLE hToken = nullptr;
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken));
        EXPECT_FALSE(Bypassed(settings));
    }
}

TEST(HostUserToken, AnonymousRequestsRunWithoutAToken)
{
    CHostRequest request;
    CHostUserToken token(request);
    HANDLE hToken = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken));
}

TEST(HostUserToken, SidTexts)
{
    EXPECT_TRUE(IsValidSidText("S-1-5-21-1-2-3-1000"));
    EXPECT_TRUE(IsValidSidText("S-1-5-32-544"));
    for (const char* psz : {"", "S-1", "S-1-x", "1-5-32", "S-1-5-", "S--1-5"})
        EXPECT_FALSE(IsValidSidText(psz)) << psz;
}
