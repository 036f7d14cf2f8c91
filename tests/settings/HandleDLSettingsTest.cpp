#include "settings/HandleDLSettings.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

using settings_test::CFakeClock;
using settings_test::CTempFolder;
using settings_test::CTraceCapture;

namespace
{
constexpr long long MTIME_BASE = 1748781296; // 2025-06-01 12:34:56 UTC

std::string SwXml(int nOpen, int nAutoReload = 1, int nInterval = 0)
{
    return "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" VALUE=\"" + std::to_string(nOpen) +
           "\"/><ITEM ID=\"74\" VALUE=\"" + std::to_string(nAutoReload) + "\"/><ITEM ID=\"81\" VALUE=\"" +
           std::to_string(nInterval) +
           "\"/></GENERALSETTINGS><SETTING ID=\"1\"/><SETTING ID=\"2\"/></SETTINGS>";
}

std::string LinkXml(int nSettingsID)
{
    return "<SERVICEWORKERS><SW ID=\"3\" DESCR=\"worker\"><LINK CRITERIA_ID=\"10\" SETTINGS_ID=\"" +
           std::to_string(nSettingsID) + "\"/></SW></SERVICEWORKERS>";
}

// An installation: <root>\Product\Settings\SWSettings.xml and <root>\Common Files\Settings\....
class CInstall
{
public:
    CInstall(int nOpen = 1, int nSettingsID = 1, int nAutoReload = 1, int nInterval = 0)
    {
        WriteSW(SwXml(nOpen, nAutoReload, nInterval));
        WriteLink(LinkXml(nSettingsID));
    }
    void WriteSW(const std::string& sXml)
    {
        m_folder.Write("Product/Settings/SWSettings.xml", sXml, NextMTime());
    }
    void WriteLink(const std::string& sXml)
    {
        m_folder.Write("Common Files/Settings/LinkCriteriaSettings.xml", sXml, NextMTime());
    }
    std::string Folder() const { return m_folder.Windows() + "Product\\Settings\\"; }
    HRESULT Load(CHandleDLSettings& holder) const
    {
        std::string sFolder = Folder();
        return holder.LoadSettings(sFolder);
    }
    CTempFolder m_folder;

private:
    long long NextMTime() { return m_llMTime += 10; }
    long long m_llMTime = MTIME_BASE;
};

int Open(CHandleDLSettings& holder)
{
    int n = -1;
    holder.GetSettingFromID(SETTING_OPEN_ALLOWED, &n, -1, -1);
    return n;
}

int SetOf(CHandleDLSettings& holder, int nCriteriaID)
{
    int n = -1;
    holder.GetSettingIDFromCriteriaID(nCriteriaID, &n);
    return n;
}
} // namespace

TEST(HandleDLSettings, LinkCriteriaPathFromTheSettingsFolder)
{
    const struct
    {
        const char* pszFolder;
        const char* pszExpected;
    } cases[] = {
        {"X:\\Apps\\Vendor\\Product\\Settings\\",
         "X:\\Apps\\Vendor\\Common Files\\Settings\\LinkCriteriaSettings.xml"},
        {"D:\\A\\B\\Settings\\", "D:\\A\\Common Files\\Settings\\LinkCriteriaSettings.xml"},
        {"C:\\Set\\", "C:\\Set\\Common Files\\Settings\\LinkCriteriaSettings.xml"},
        {"settings", "settingsLinkCriteriaSettings.xml"},
        {"", "LinkCriteriaSettings.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHandleDLSettings::GetLinkCriteriaPath(c.pszFolder), c.pszExpected) << c.pszFolder;
}

TEST(HandleDLSettings, LoadsBothFilesAndMapsCriteria)
{
    CInstall install;
    CHandleDLSettings holder;
    std::string sFolder = install.Folder();
    ASSERT_EQ(holder.LoadSettings(sFolder), S_OK);
    EXPECT_EQ(sFolder, install.Folder() + "SWSettings.xml");
    EXPECT_EQ(Open(holder), 1);

    CTraceCapture trace;
    int nSetting = -1;
    EXPECT_TRUE(holder.GetSettingIDFromCriteriaID(10, &nSetting));
    EXPECT_EQ(nSetting, 1);
    EXPECT_EQ(trace.Count("Criteria 10 is SETTING ID 1 for SW 3"), 1u);
    nSetting = -1;
    EXPECT_FALSE(holder.GetSettingIDFromCriteriaID(77, &nSetting));
    EXPECT_EQ(nSetting, 0);
    EXPECT_EQ(trace.Count("Criteria 77 for SW 3 is not LinkCriteria settings"), 1u);
    holder.SetServiceWorkerID(9);
    nSetting = -1;
    EXPECT_FALSE(holder.GetSettingIDFromCriteriaID(10, &nSetting));
    EXPECT_EQ(nSetting, -1);
    EXPECT_EQ(trace.Count("SW is not LinkCriteria settings 9"), 1u);
    holder.SetServiceWorkerID(0);
    EXPECT_FALSE(holder.GetSettingIDFromCriteriaID(10, &nSetting));
    EXPECT_EQ(trace.Count("SW is not LinkCriteria settings 0"), 1u);
}

TEST(HandleDLSettings, MissingLinkCriteriaFailsTheWholeLoad)
{
    CInstall install;
    std::filesystem::remove(install.m_folder.PosixOf("Common Files/Settings/LinkCriteriaSettings.xml"));
    CHandleDLSettings holder;
    CTraceCapture trace;
    std::string sFolder = install.Folder();
    EXPECT_EQ(holder.LoadSettings(sFolder), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(trace.Contains("HandleSWSettings::LoadSettings failed to load SW settings " +
                               install.Folder() + "SWSettings.xml"));
    EXPECT_EQ(Open(holder), -1); // "SWSettings.xml" was not read at all

    std::string sEmpty;
    EXPECT_EQ(holder.LoadSettings(sEmpty), E_FAIL);
    EXPECT_EQ(trace.Count("HandleSWSettings::LoadSettings got a NULL path to service worker settings"), 1u);
}

TEST(HandleDLSettings, CheckForRefreshTable)
{
    const struct
    {
        bool bEditSW;
        bool bEditLink;
        int nOpenAfter;
        int nSetAfter;
        bool bRefreshed;
    } cases[] = {
        {true, false, 2, 1, true},   // only "SWSettings.xml" changed
        {true, true, 2, 2, true},    // both changed: both reloaded
        {false, true, 1, 1, false},  // only the link file: not examined, not reloaded
        {false, false, 1, 1, false}, // nothing changed
    };
    for (const auto& c : cases)
    {
        CFakeClock clock;
        CInstall install;
        CHandleDLSettings holder;
        ASSERT_EQ(install.Load(holder), S_OK);
        if (c.bEditSW)
            install.WriteSW(SwXml(2));
        if (c.bEditLink)
            install.WriteLink(LinkXml(2));
        bool bRefreshed = false;
        EXPECT_EQ(holder.CheckForRefresh(&bRefreshed), S_OK);
        EXPECT_EQ(bRefreshed, c.bRefreshed) << c.bEditSW << c.bEditLink;
        EXPECT_EQ(Open(holder), c.nOpenAfter) << c.bEditSW << c.bEditLink;
        EXPECT_EQ(SetOf(holder, 10), c.nSetAfter) << c.bEditSW << c.bEditLink;
    }
}

TEST(HandleDLSettings, Setting74TurnsChecksOffForGood)
{
    CFakeClock clock;
    CInstall install(1, 1, 0);
    CHandleDLSettings holder;
    ASSERT_EQ(install.Load(holder), S_OK);
    EXPECT_FALSE(holder.IsRefreshEnabled());
    install.WriteSW(SwXml(2, 1));
    bool bRefreshed = true;
    EXPECT_EQ(holder.CheckForRefresh(&bRefreshed), S_OK);
    EXPECT_TRUE(bRefreshed); // not written
    EXPECT_EQ(Open(holder), 1);
}

TEST(HandleDLSettings, ReloadSkippedForABusyLockHappensAtTheNextCheck)
{
    CFakeClock clock;
    CInstall install;
    CHandleDLSettings holder;
    ASSERT_EQ(install.Load(holder), S_OK);
    install.WriteSW(SwXml(2));
    install.WriteLink(LinkXml(2));
    CTraceCapture trace;
    {
        CAutoSync lookup(&holder.Lock()); // a lookup in progress
        bool bRefreshed = false;
        EXPECT_EQ(holder.CheckForRefresh(&bRefreshed), S_OK);
        EXPECT_TRUE(bRefreshed);
    }
    EXPECT_EQ(
        trace.Count("CHandleDLSettings Refresh was necessary but Critical Section was locked decided to skip "
                    "the Refresh"),
        1u);
    EXPECT_EQ(Open(holder), 1);
    EXPECT_EQ(SetOf(holder, 10), 1);
    // No further edit: the next check still reloads both.
    EXPECT_EQ(holder.CheckForRefresh(nullptr), S_OK);
    EXPECT_EQ(Open(holder), 2);
    EXPECT_EQ(SetOf(holder, 10), 2);
}

TEST(HandleDLSettings, FailedReloadIsRetriedWithoutAnotherEdit)
{
    CFakeClock clock;
    CInstall install(1, 1, 1, 15);
    CHandleDLSettings holder;
    ASSERT_EQ(install.Load(holder), S_OK);
    // A broken file: the reload fails and the settings in force stay.
    const long long llEdit = MTIME_BASE + 1000;
    install.m_folder.Write("Product/Settings/SWSettings.xml", "<SETTINGS><GENERALSETTINGS>", llEdit);
    clock.Advance(15 * 60);
    EXPECT_LT(holder.CheckForRefresh(nullptr), 0);
    EXPECT_EQ(Open(holder), 1);
    // Repaired with the same last-write time (a copy that kept its time): reloaded at the next check.
    install.m_folder.Write("Product/Settings/SWSettings.xml", SwXml(2, 1, 15), llEdit);
    EXPECT_EQ(holder.CheckForRefresh(nullptr), S_OK);
    EXPECT_EQ(Open(holder), 1); // the interval holds the next check off
    clock.Advance(15 * 60);
    EXPECT_EQ(holder.CheckForRefresh(nullptr), S_OK);
    EXPECT_EQ(Open(holder), 2);
}

TEST(HandleDLSettings, AnExceptionInAReloadIsAFailedReload)
{
    struct CThrowing : CBasicSettings
    {
        HRESULT Load(const std::string&) override { throw std::runtime_error("disk on fire"); }
    };
    CThrowing throwing;
    CTraceCapture trace;
    EXPECT_EQ(CHandleDLSettings::GuardedRefresh(throwing), E_FAIL);
    EXPECT_EQ(CHandleDLSettings::GuardedLoad(throwing, "X:\\a.xml"), E_FAIL);
    EXPECT_EQ(trace.Count("CHandleDLSettings load of X:\\a.xml General exception"), 1u);
}

TEST(HandleDLSettings, LookupsForwardUnderTheLock)
{
    CInstall install;
    install.WriteSW(settings_test::ReadFixtureText("sets.xml"));
    CHandleDLSettings holder;
    ASSERT_EQ(install.Load(holder), S_OK);
    EXPECT_TRUE(holder.CheckClientIPAgainstDirectAccessIPRange("192.168.1.9", 5));
    EXPECT_FALSE(holder.CheckClientIPAgainstDirectAccessIPRange("192.168.1.9", 6));
    EXPECT_FALSE(holder.CheckClientIPAgainstDirectAccessIPRange("", 5));
    ci_string csValue = "x";
    EXPECT_TRUE(holder.GetSettingFromID(SETTING_BLOCKED_EXTENSIONS, &csValue, 5, 0));
    EXPECT_EQ(csValue, "EXE;BAT");
    EXPECT_FALSE(holder.Lock().IsLocked());
}
