#include "general/RSACookieAPI.h"
#include "tests/general/GeneralTestSupport.h"

#include <mutex>

namespace
{
std::mutex g_traceMutex;
std::vector<std::string> g_vecTraces;

void RSATraceHook(const char* pszLine)
{
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_vecTraces.emplace_back(pszLine);
}

class RSALoader : public CGeneralSettingsTest
{
protected:
    void SetUp() override
    {
        CGeneralSettingsTest::SetUp();
        g_vecTraces.clear();
        CRSACookieAPI::SetTraceHook(&RSATraceHook);
    }
    void TearDown() override
    {
        CRSACookieAPI::SetTraceHook(nullptr);
        CGeneralSettingsTest::TearDown();
    }

    static void SearchIn(const std::string& strPosixDirectory)
    {
        CMachineConfig::Instance().SetLibrarySearchPath({MapPosixPathToWindows(strPosixDirectory)});
    }
};

TEST_F(RSALoader, LibraryAbsent)
{
    SearchIn(m_root.string());
    CRSACookieAPI api;
    EXPECT_EQ(api.RSALoad(), ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(api.m_bAvailable);
    EXPECT_EQ(api.m_pfnCookieInitializeFilt, nullptr);
    EXPECT_EQ(api.m_pfnCookieInitializeExtNoMFC, nullptr);
    EXPECT_FALSE(api.m_spModule);
    ASSERT_EQ(g_vecTraces.size(), 1u);
    EXPECT_EQ(g_vecTraces[0].rfind(
                  "RSALoad failed to load KS_RSALoad.dll 126. If RSA is installed check in System32 "
                  "for dll and rsacookieapi.dll    The specified module could not be found.",
                  0),
              0u);
}

TEST_F(RSALoader, EntryPointMissing)
{
    SearchIn(FixtureModule("partial-rsa"));
    CRSACookieAPI api;
    EXPECT_EQ(api.RSALoad(), ERROR_PROC_NOT_FOUND);
    EXPECT_FALSE(api.m_bAvailable);
    EXPECT_NE(api.m_pfnCookieInitializeFilt, nullptr);
    EXPECT_NE(api.m_pfnGetUserName, nullptr);
    EXPECT_EQ(api.m_pfnGetLastError, nullptr);
    EXPECT_NE(api.m_pfnFreeMemory, nullptr);
    EXPECT_NE(api.m_pfnCookieInitializeExtNoMFC, nullptr);
    ASSERT_EQ(g_vecTraces.size(), 1u);
    EXPECT_EQ(g_vecTraces[0].rfind("RSALoad failed to get RSAGetLastError error 127   ", 0), 0u);
}

TEST_F(RSALoader, SecondLoadKeepsOneReferenceAndUnloadFreesIt)
{
    SearchIn(std::string(DLSW_INSTALL_TREE) + "/bin");
    CRSACookieAPI api;
    ASSERT_EQ(api.RSALoad(), 0u);
    EXPECT_TRUE(api.m_bAvailable);
    HMODULE hModule = static_cast<HMODULE>(api.m_spModule.Get());
    EXPECT_EQ(GetModuleLoadCount(hModule), 1);
    ASSERT_EQ(api.RSALoad(), 0u);
    EXPECT_EQ(api.m_spModule.Get(), hModule);
    EXPECT_EQ(GetModuleLoadCount(hModule), 1);
    EXPECT_TRUE(g_vecTraces.empty());
    api.Unload();
    EXPECT_FALSE(api.m_bAvailable);
    EXPECT_EQ(api.m_pfnFreeMemory, nullptr);
    EXPECT_EQ(GetModuleLoadCount(hModule), 0);
    EXPECT_EQ(GetModuleHandleA("KS_RSALoad64.dll"), nullptr);
}

TEST_F(RSALoader, LoadedLibraryIsFoundByNameWithoutASearchPath)
{
    SearchIn(std::string(DLSW_INSTALL_TREE) + "/bin");
    CRSACookieAPI api;
    ASSERT_EQ(api.RSALoad(), 0u);
    HMODULE hModule = static_cast<HMODULE>(api.m_spModule.Get());
    CMachineConfig::Instance().SetLibrarySearchPath({});
    // Still loaded, so found by name: the same module again.
    EXPECT_EQ(api.RSALoad(), 0u);
    EXPECT_EQ(GetModuleLoadCount(hModule), 1);
}
} // namespace
