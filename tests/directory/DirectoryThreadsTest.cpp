// Many threads at once through the session cache component and through users' property lookups; run
// under the thread sanitizer with the concurrency tests.
#include "tests/directory/DirectoryFixtures.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
using SessionCacheComponent = CSessionCacheComponentTest;
using GeneralDirectoryTest = CGeneralDirectoryTest;
} // namespace

TEST_F(SessionCacheComponent, ManyThreadsAddAndReadAtOnce)
{
    const _bstr_t bstrCache = CacheName();
    ASSERT_EQ(NewInstance()->CreateCache(bstrCache, 100000, 60), S_OK);
    constexpr int THREADS = 8;
    constexpr int ITEMS = 300;
    std::vector<std::thread> vecThreads;
    std::vector<int> vecFailures(THREADS, 0);
    for (int t = 0; t < THREADS; ++t)
    {
        vecThreads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < ITEMS; ++i)
                {
                    // Each call its own instance, as the worker's client makes them.
                    const _bstr_t bstrKey(("user" + std::to_string(t)).c_str());
                    const _bstr_t bstrSession(std::to_string(i).c_str());
                    CComPtr<IKSSessionCache> sp;
                    if (FAILED(sp.CoCreateInstance(CLSID_KSSessionCache, CLSCTX_ALL)) ||
                        sp->AddItemSessionProperty(bstrKey, bstrSession, _bstr_t("p"), bstrSession,
                                                   bstrCache) != S_OK)
                    {
                        ++vecFailures[static_cast<size_t>(t)];
                        continue;
                    }
                    _bstr_t bstr;
                    if (sp->GetItemSessionProperty(bstrKey, bstrSession, _bstr_t("p"), bstr.GetAddress(),
                                                   bstrCache) != S_OK ||
                        bstr.ToAnsi() != std::to_string(i))
                        ++vecFailures[static_cast<size_t>(t)];
                }
            });
    }
    for (std::thread& th : vecThreads)
        th.join();
    for (int n : vecFailures)
        EXPECT_EQ(n, 0);
    DWORD nCount = 0;
    EXPECT_EQ(NewInstance()->GetItemCount(bstrCache, &nCount), S_OK);
    EXPECT_EQ(nCount, static_cast<DWORD>(THREADS * ITEMS));
}

TEST_F(GeneralDirectoryTest, ManyRequestThreadsAskAtOnce)
{
    StartCache();
    constexpr int THREADS = 8;
    constexpr int REQUESTS = 10;
    std::atomic<int> nWrong{0};
    std::vector<std::thread> vecThreads;
    for (int t = 0; t < THREADS; ++t)
    {
        vecThreads.emplace_back(
            [&, t]
            {
                const char* pszUser = t % 2 == 0 ? "EXAMPLE\\ann" : "EXAMPLE\\bob";
                const char* pszExpected = t % 2 == 0 ? "fr-FR" : "de-DE";
                for (int i = 0; i < REQUESTS; ++i)
                {
                    // Half the requests repeat a session, half start a new one.
                    const std::string strCookie =
                        "UserContext=" + Session("-") + std::to_string(t) + "-" + std::to_string(i / 2);
                    std::string strValue;
                    if (m_settings.GetADProperty(pszUser, "msExchUserCulture", strValue, strCookie) != S_OK ||
                        strValue != pszExpected)
                        ++nWrong;
                }
            });
    }
    for (std::thread& th : vecThreads)
        th.join();
    EXPECT_EQ(nWrong.load(), 0);
}
