#include "general/DLSWGeneralSettings.h"
#include "tests/general/GeneralTestSupport.h"
#include "tests/support/TraceCapture.h"

namespace
{
constexpr DWORD EVENT_SUCCEEDED = 0x60000065;
constexpr DWORD EVENT_FAILED = 0x6000007E;
constexpr DWORD EVENT_FAILURE_TEXT = 0x6000006F;

// The events of initialisation itself: on this machine, outside a domain, the directory read adds its own.
std::vector<RecordedEvent> InitEvents()
{
    std::vector<RecordedEvent> vecOut;
    for (const RecordedEvent& event : GetRecordedEvents())
    {
        if (event.m_strings.empty() || event.m_strings[0].rfind("Reading OWA configuration failed", 0) != 0)
            vecOut.push_back(event);
    }
    return vecOut;
}

class GeneralSettingsInit : public CGeneralSettingsTest
{
protected:
    void SetUp() override
    {
        CGeneralSettingsTest::SetUp();
        // The RSA loader is found by name in the run-time tree's bin folder.
        CMachineConfig::Instance().SetLibrarySearchPath(
            {MapPosixPathToWindows(std::string(DLSW_INSTALL_TREE) + "/bin")});
        m_settings.SetServiceWorkerID(3);
        m_settings.SetEventIDs(EVENT_SUCCEEDED, EVENT_FAILED, EVENT_FAILURE_TEXT);
    }

    bool Init(const CLoadedTestModule& module)
    {
        return m_settings.Init("Kestrune Dorvel", module.ModuleName().c_str(), "DorvRes64.dll",
                               "Software\\Kestrune\\Dorvel");
    }

    CDLSWGeneralSettings m_settings;
};

TEST_F(GeneralSettingsInit, SucceedsOnceWithOneInformationEvent)
{
    const fs::path install = LayOutInstallation("Kestrune/Dorvel");
    WriteSettings(install, {{14, "0"}, {7, "Viewer"}});
    CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
    ASSERT_TRUE(module.Loaded());

    ASSERT_TRUE(Init(module));
    EXPECT_TRUE(m_settings.m_bInitialized);
    const auto vecSucceeded = EventsOf(EVENT_SUCCEEDED);
    ASSERT_EQ(vecSucceeded.size(), 1u);
    EXPECT_EQ(vecSucceeded[0].m_wType, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(vecSucceeded[0].m_sSource, "Kestrune Dorvel");
    EXPECT_TRUE(vecSucceeded[0].m_strings.empty());
    EXPECT_TRUE(EventsOf(EVENT_FAILED).empty());

    EXPECT_EQ(m_settings.m_strInstallDirectory, "D:\\Kestrune\\Dorvel\\");
    EXPECT_EQ(m_settings.m_strModuleName, module.ModuleName());
    EXPECT_NE(m_settings.m_Resource.m_hModule, nullptr);
    EXPECT_EQ(m_settings.m_Resource.m_strPath, "D:\\Kestrune\\Dorvel\\Resource\\DorvRes64.dll");
    EXPECT_TRUE(m_settings.m_bRSAAvailable);
    EXPECT_EQ(m_settings.m_csVirtualFolderName, "Viewer");
    ASSERT_EQ(m_settings.m_mapJSVariables.size(), 16u);
    EXPECT_EQ(m_settings.m_mapJSVariables.at(107), "var g_szOpenText = \"");
    EXPECT_EQ(m_settings.m_mapJSVariables.at(197), "var g_szHelpText = \"");
    EXPECT_EQ(m_settings.m_PageCharSet.m_mapCharSets.size(), 24u);
    // No session cache on this machine: the worker runs without it.
    EXPECT_FALSE(m_settings.m_KSCache.m_bInitialized);
    EXPECT_EQ(m_settings.m_listBrowserLanguages.size(), 26u);

    // Again: the base returns at once, with no event; the browser languages are not appended twice.
    ClearRecordedEvents();
    EXPECT_TRUE(Init(module));
    EXPECT_TRUE(InitEvents().empty());
    EXPECT_EQ(m_settings.m_listBrowserLanguages.size(), 26u);
    EXPECT_EQ(m_settings.m_mapLanguageTags.size(), 145u);
    EXPECT_EQ(m_settings.m_mapJSVariables.size(), 16u);

    EXPECT_EQ(m_settings.Uninitialize(), 1u);
    EXPECT_FALSE(m_settings.m_bInitialized);
    EXPECT_EQ(m_settings.m_Resource.m_hModule, nullptr);
    EXPECT_FALSE(m_settings.m_RSACookieAPI.m_bAvailable);
    // Nothing reaches the event log once the source is deregistered.
    ClearRecordedEvents();
    m_settings.WriteEventText(1, "%s", "after shutdown");
    EXPECT_TRUE(GetRecordedEvents().empty());
}

TEST_F(GeneralSettingsInit, VirtualFolderDefaultsWhenTheSettingIsAbsent)
{
    const fs::path install = LayOutInstallation("Kestrune/Dorvel");
    WriteSettings(install, {{14, "0"}});
    CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
    ASSERT_TRUE(Init(module));
    EXPECT_EQ(m_settings.m_csVirtualFolderName, "X-Dorvel");
}

TEST_F(GeneralSettingsInit, SettingsThatCannotLoadFailWithTheTwoErrorEvents)
{
    LayOutInstallation("Kestrune/Dorvel", false);
    CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
    CTraceCapture trace;
    EXPECT_FALSE(Init(module));
    EXPECT_FALSE(m_settings.m_bInitialized);
    const std::string strText = "Loading Settings failed D:\\Kestrune\\Dorvel\\Settings\\ -2147024894";
    EXPECT_TRUE(trace.Has("General Settings failed initialization " + strText));
    EXPECT_TRUE(trace.Has("[CDLSWGeneralSettings::Init] CDLGeneralSettings::Init() failed."));
    EXPECT_TRUE(trace.Has("[CDLGeneralSettings::Init] returned bRet <FALSE>"));
    const auto vecEvents = InitEvents();
    ASSERT_GE(vecEvents.size(), 2u);
    const RecordedEvent& text = vecEvents[vecEvents.size() - 2];
    EXPECT_EQ(text.m_dwEventId, EVENT_FAILURE_TEXT);
    EXPECT_EQ(text.m_wType, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(text.m_strings, std::vector<std::string>{strText});
    EXPECT_EQ(vecEvents.back().m_dwEventId, EVENT_FAILED);
    EXPECT_EQ(vecEvents.back().m_wType, EVENTLOG_ERROR_TYPE);
    EXPECT_TRUE(vecEvents.back().m_strings.empty());
    EXPECT_TRUE(EventsOf(EVENT_SUCCEEDED).empty());
    EXPECT_TRUE(m_settings.m_csVirtualFolderName.empty());
    EXPECT_TRUE(m_settings.m_mapJSVariables.empty());
}

TEST_F(GeneralSettingsInit, MissingResourceLibraryFailsWithItsOwnText)
{
    const fs::path install = LayOutInstallation("Kestrune/Dorvel", true, false);
    WriteSettings(install, {{14, "0"}});
    CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
    EXPECT_FALSE(Init(module));
    const auto vecEvents = InitEvents();
    ASSERT_GE(vecEvents.size(), 2u);
    EXPECT_EQ(
        vecEvents[vecEvents.size() - 2].m_strings,
        std::vector<std::string>{"Load resource file failed D:\\Kestrune\\Dorvel\\Resource\\DorvRes64.dll"});
    EXPECT_EQ(vecEvents.back().m_dwEventId, EVENT_FAILED);
    // The settings and the RSA loader are independent of the resource library.
    EXPECT_TRUE(m_settings.m_bRSAAvailable);
}

TEST_F(GeneralSettingsInit, FailedLookupsAreTracedWithTheirIds)
{
    const fs::path install = LayOutInstallation("Kestrune/Dorvel");
    WriteSettings(install, {{14, "0"}});
    CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
    ASSERT_TRUE(Init(module));
    CTraceCapture trace;
    int nValue = 77;
    EXPECT_FALSE(m_settings.GetSettingFromID(999, nValue, 1, 0));
    EXPECT_EQ(nValue, 77);
    ci_string csValue = "kept";
    EXPECT_FALSE(m_settings.GetSettingFromID(998, csValue, -1, 5));
    EXPECT_EQ(csValue, "kept");
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "GetSettingFromID int failed ID 999, SettingID 1, EngineID 0",
                                 "GetSettingFromID ci_string failed ID 998, SettingID -1, EngineID 5"}));
}
} // namespace
