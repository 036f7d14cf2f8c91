// Fixtures several directory test programs share: the session cache component on its own, and the general
// settings as far as the directory needs them.
#pragma once

#include "components/sessioncache/SessionCacheInterface.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/ComSupport.h"
#include "platform/WinEventLog.h"
#include "tests/directory/DirectoryTestSupport.h"

#include <string>

constexpr const char* SESSION_CACHE_CLSID_TEXT = "{67EA23E7-C621-4890-827D-72111D82417C}";

// The name of the running test: caches outlive every instance and every test of a program, so each test
// keys its own names and sessions with it.
inline std::string CurrentTestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class CSessionCacheComponentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetInprocServer(SESSION_CACHE_CLSID_TEXT, DLSW_SESSION_CACHE_MODULE);
    }
    void TearDown() override { CMachineConfig::Instance().Reset(); }

    static CComPtr<IKSSessionCache> NewInstance()
    {
        CComPtr<IKSSessionCache> sp;
        EXPECT_EQ(sp.CoCreateInstance(CLSID_KSSessionCache, CLSCTX_ALL), S_OK);
        return sp;
    }
    static _bstr_t CacheName() { return _bstr_t(CurrentTestName().c_str()); }
};

// This computer's names, the attribute readers, the language tables, an event source, and the session
// cache when the machine has it.
class CGeneralDirectoryTest : public CDirectoryTest
{
protected:
    void SetUp() override
    {
        CDirectoryTest::SetUp();
        CMachineConfig::Instance().SetInprocServer(SESSION_CACHE_CLSID_TEXT, DLSW_SESSION_CACHE_MODULE);
        SetEventLogToSyslog(false);
        m_settings.m_EventLog.Register(nullptr);
        ClearRecordedEvents();
        m_settings.m_strDnsHostName = "mail01";
        m_settings.m_strDnsFullyQualifiedName = "mail01.example.test";
        m_settings.m_OWAADConfig.BuildAttributeReaders();
        m_settings.BuildLanguageTagMap();
        m_settings.BuildBrowserLanguageList();
    }

    void StartCache()
    {
        ASSERT_TRUE(m_settings.m_KSCache.Init());
        ASSERT_TRUE(m_settings.m_KSCache.CreateCache(AD_USER_CONFIG_CACHE, 3000, 60));
    }

    static std::string Session(const char* pszSuffix) { return CurrentTestName() + pszSuffix; }

    CDLSWGeneralSettings m_settings;
};
