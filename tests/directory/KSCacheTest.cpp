#include "general/KSCache.h"
#include "common/StaticMemory.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/ComSupport.h"
#include "platform/MachineConfig.h"
#include "platform/WinEventLog.h"
#include "tests/directory/DirectoryFixtures.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace
{
// Events reach the recorder through the general settings' registered source.
void RegisterEventSource()
{
    Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance()->m_EventLog.Register(nullptr);
    SetEventLogToSyslog(false);
    ClearRecordedEvents();
}

std::vector<std::string> EventTexts()
{
    std::vector<std::string> vecTexts;
    for (const RecordedEvent& e : GetRecordedEvents())
        vecTexts.push_back(e.m_strings.empty() ? std::string() : e.m_strings.front());
    return vecTexts;
}

class KSCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetInprocServer(SESSION_CACHE_CLSID_TEXT, DLSW_SESSION_CACHE_MODULE);
        RegisterEventSource();
    }
    void TearDown() override { CMachineConfig::Instance().Reset(); }

    static std::string CacheName() { return CurrentTestName(); }
};

// Stands in for the component while a test needs its creation to fail; the real class comes back after.
struct CFailingClass
{
    CFailingClass()
    {
        // Load the real module first, so that it cannot register itself over this one later.
        CComPtr<IKSSessionCache> sp;
        EXPECT_EQ(sp.CoCreateInstance(CLSID_KSSessionCache, CLSCTX_ALL), S_OK);
        s_spReal = sp;
        DlswCoRegisterInprocClass(CLSID_KSSessionCache, &Fail);
    }
    ~CFailingClass() { DlswCoRegisterInprocClass(CLSID_KSSessionCache, &Real); }

    static HRESULT Fail(REFIID, void** ppv)
    {
        *ppv = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    // Every instance of the component serves the same caches, so one instance stands for all.
    static HRESULT Real(REFIID riid, void** ppv) { return s_spReal->QueryInterface(riid, ppv); }

    static inline CComPtr<IKSSessionCache> s_spReal;
};
} // namespace

TEST_F(KSCacheTest, NothingWorksBeforeInit)
{
    CTraceCapture trace;
    CKSCache cache;
    char* psz = nullptr;
    EXPECT_FALSE(cache.CreateCache("x", 1, 1));
    EXPECT_FALSE(cache.AddItemSessionProperty("x", "k", "d", "s", "p"));
    EXPECT_FALSE(cache.GetItemSessionProperty("x", "k", &psz, "s", "p"));
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"CreateCache KSCache is not initialized",
                                                       "AddItem KSCache is not initialized",
                                                       "GetItem KSCache is not initialized"}));
}

TEST_F(KSCacheTest, AnItemAddedComesBackForItsKeySessionAndProperty)
{
    CKSCache cache;
    ASSERT_TRUE(cache.Init());
    const std::string strCache = CacheName();
    ASSERT_TRUE(cache.CreateCache(strCache.c_str(), 3000, 60));
    ASSERT_TRUE(cache.AddItemSessionProperty(strCache.c_str(), "ann", "fr-FR", "s1", "msExchUserCulture"));
    // A text longer in the page's narrow form than in UTF-16 comes back whole.
    ASSERT_TRUE(cache.AddItemSessionProperty(strCache.c_str(), "ann", "\xe4\xb8\xad\xe6\x96\x87\xe2\x82\xac",
                                             "s1", "displayName"));
    ASSERT_TRUE(cache.AddItemSessionProperty(strCache.c_str(), "ann", "", "s1", "empty"));

    struct CCase
    {
        const char* m_pszSession;
        const char* m_pszProp;
        bool m_bFound;
        const char* m_pszValue;
    };
    for (const CCase& c : {CCase{"s1", "msExchUserCulture", true, "fr-FR"},
                           CCase{"s1", "displayName", true, "\xe4\xb8\xad\xe6\x96\x87\xe2\x82\xac"},
                           CCase{"s1", "empty", true, ""}, CCase{"s2", "msExchUserCulture", false, ""}})
    {
        char* psz = nullptr;
        EXPECT_EQ(cache.GetItemSessionProperty(strCache.c_str(), "ann", &psz, c.m_pszSession, c.m_pszProp),
                  c.m_bFound)
            << c.m_pszProp;
        const std::unique_ptr<char[]> sp(psz);
        if (c.m_bFound)
        {
            ASSERT_NE(psz, nullptr);
            EXPECT_STREQ(psz, c.m_pszValue);
        }
        else
            EXPECT_EQ(psz, nullptr);
    }
}

TEST_F(KSCacheTest, ModesPickTheirKindAndAnUnknownModeCallsNothing)
{
    CKSCache cache;
    ASSERT_TRUE(cache.Init());
    const std::string strCache = CacheName();
    ASSERT_TRUE(cache.CreateCache(strCache.c_str(), 3000, 60));
    ASSERT_TRUE(cache.AddItem(strCache.c_str(), "k", "by key", nullptr, nullptr, 1));
    ASSERT_TRUE(cache.AddItem(strCache.c_str(), "k", "by session", "s", nullptr, 2));
    EXPECT_TRUE(cache.AddItem(strCache.c_str(), "k", "nowhere", "s", "p", 4));
    for (const auto& [nMode, pszValue] : {std::pair<uint8_t, const char*>{1, "by key"}, {2, "by session"}})
    {
        char* psz = nullptr;
        EXPECT_TRUE(cache.GetItem(strCache.c_str(), "k", &psz, "s", "p", nMode));
        const std::unique_ptr<char[]> sp(psz);
        EXPECT_STREQ(psz, pszValue);
    }
    char* psz = nullptr;
    EXPECT_FALSE(cache.GetItem(strCache.c_str(), "k", &psz, "s", "p", 3));
    EXPECT_FALSE(cache.GetItem(strCache.c_str(), "k", &psz, "s", "p", 4));
    EXPECT_EQ(psz, nullptr);
}

TEST_F(KSCacheTest, ACacheThatWasNeverCreatedRefusesItems)
{
    CTraceCapture trace;
    CKSCache cache;
    ASSERT_TRUE(cache.Init());
    EXPECT_FALSE(cache.AddItemSessionProperty("never created", "ann", "fr-FR", "s1", "p"));
    EXPECT_TRUE(trace.HasPrefix("AddItem failed HR 0x80070490"));
    EXPECT_TRUE(trace.HasPrefix(
        "[CKSCache::AddItem() ]  failed Key ann Data fr-FR Session s1 PropName p hr: 0X80070490"));
    char* psz = nullptr;
    EXPECT_FALSE(cache.GetItemSessionProperty("never created", "ann", &psz, "s1", "p"));
    EXPECT_TRUE(trace.HasPrefix("GetItem failed HR 0x80070490"));
}

TEST_F(KSCacheTest, AComponentThatCannotBeCreatedFailsInitWithTwoEvents)
{
    const CFailingClass failing;
    CTraceCapture trace;
    ClearRecordedEvents();
    CKSCache cache;
    EXPECT_FALSE(cache.Init());
    EXPECT_FALSE(cache.m_bInitialized);
    EXPECT_TRUE(trace.HasPrefix("[CKSCache::Init( ] m_spCache.CoCreateInstance failed hr: 0X80040154"));
    EXPECT_TRUE(trace.HasPrefix("[CKSCache::Init( ] m_spCache.Initialize failed hr: 0X80040154"));
    EXPECT_EQ(EventTexts(),
              (std::vector<std::string>{"Cache component failed to instantiate HRESULT: 0X80040154",
                                        "Cache component initialization failed HRESULT: 0X80040154"}));
}
