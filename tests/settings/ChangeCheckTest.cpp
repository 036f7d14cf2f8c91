#include "settings/DLSettings.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

using settings_test::CFakeClock;
using settings_test::CTempFolder;
using settings_test::CTraceCapture;

namespace
{
constexpr long long MTIME_LOADED = 1748781296; // 2025-06-01 12:34:56 UTC
constexpr long long MTIME_EDITED = 1748867696; // 2025-06-02 12:34:56 UTC

class ChangeCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder.Write("SWSettings.xml", "<SETTINGS/>", MTIME_LOADED);
        ASSERT_EQ(m_settings.LoadSettings(m_folder.WindowsOf("SWSettings.xml")), S_OK);
    }

    bool Check(HRESULT hrExpected = S_OK)
    {
        bool bChanged = false;
        EXPECT_EQ(m_settings.GetFileDate(bChanged), hrExpected);
        return bChanged;
    }

    CFakeClock m_clock;
    CTempFolder m_folder;
    CDLSettings m_settings;
};
} // namespace

TEST_F(ChangeCheck, NotBeforeTheIntervalThenOnlyWhenTheTimeMoved)
{
    CTraceCapture trace;
    m_folder.SetMTime("SWSettings.xml", MTIME_EDITED);
    // 14:59 after the load: the file is not even opened (a missing file would fail the check).
    m_clock.Advance(14 * 60 + 59);
    std::filesystem::rename(m_folder.PosixOf("SWSettings.xml"), m_folder.PosixOf("away.xml"));
    EXPECT_FALSE(Check());
    std::filesystem::rename(m_folder.PosixOf("away.xml"), m_folder.PosixOf("SWSettings.xml"));

    m_clock.Advance(1);
    EXPECT_TRUE(Check());
    const std::string sPath = m_folder.WindowsOf("SWSettings.xml");
    EXPECT_EQ(trace.Count("Reload Settings " + sPath +
                          ". Curent LastModifiedDate 2.6.2025 - 12:34:56:0 Interval: 15 minutes"),
              1u);
    EXPECT_EQ(trace.Count("Previous LastModifiedDate 1.6.2025 - 12:34:56:0"), 1u);

    // The stamp moved with the change: the same time is no change again.
    m_clock.Advance(15 * 60);
    EXPECT_FALSE(Check());
    // A last-write time that moves backwards is no change, and the newer stamp stays.
    m_folder.SetMTime("SWSettings.xml", MTIME_LOADED);
    m_clock.Advance(15 * 60);
    EXPECT_FALSE(Check());
    m_folder.SetMTime("SWSettings.xml", MTIME_EDITED);
    m_clock.Advance(15 * 60);
    EXPECT_FALSE(Check());
}

TEST_F(ChangeCheck, MissingFileFailsAndKeepsTheLastCheck)
{
    const FILETIME ftBefore = m_settings.GetLastCheck();
    std::filesystem::remove(m_folder.PosixOf("SWSettings.xml"));
    m_clock.Advance(15 * 60);
    EXPECT_FALSE(Check(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    const FILETIME ftAfter = m_settings.GetLastCheck();
    EXPECT_EQ(CompareFileTime(&ftBefore, &ftAfter), 0);
    // Back again and newer: the very next call examines it, since the last check did not advance.
    m_folder.Write("SWSettings.xml", "<SETTINGS/>", MTIME_EDITED);
    EXPECT_TRUE(Check());
}

TEST_F(ChangeCheck, IntervalZeroChecksEveryCallAndStaleStampReportsAChange)
{
    m_settings.SetReloadInterval(0);
    EXPECT_FALSE(Check());
    m_folder.SetMTime("SWSettings.xml", MTIME_EDITED);
    EXPECT_TRUE(Check());
    EXPECT_FALSE(Check());
    m_settings.MarkStale();
    EXPECT_TRUE(Check());
}

TEST(ChangeCheckNoPath, EmptyPathNeverOpensAFile)
{
    CDLSettings settings;
    bool bChanged = false;
    EXPECT_EQ(settings.GetFileDate(bChanged), S_OK);
    EXPECT_FALSE(bChanged);
}

TEST(ChangeCheckDuringLoad, AnEditSavedWhileTheFileIsReadIsSeenAfterwards)
{
    // A load during which the file is saved again, as an editor may do at any moment.
    struct CEditedWhileLoading : CBasicSettings
    {
        CTempFolder* m_pFolder = nullptr;
        HRESULT Load(const std::string& sPath) override
        {
            m_pFolder->Write("SWSettings.xml", "<SETTINGS/>", MTIME_EDITED);
            RecordLoad(sPath, nullptr);
            return S_OK;
        }
        void Start(const std::string& sPath, const FILETIME& ftRead) { RecordLoad(sPath, &ftRead); }
    };
    CFakeClock clock;
    CTempFolder folder;
    folder.Write("SWSettings.xml", "<SETTINGS/>", MTIME_LOADED);
    CEditedWhileLoading settings;
    settings.m_pFolder = &folder;
    const FILETIME ftLoaded =
        UInt64ToFileTime(FILETIME_UNIX_EPOCH + MTIME_LOADED * FILETIME_TICKS_PER_SECOND);
    settings.Start(folder.WindowsOf("SWSettings.xml"), ftLoaded);
    settings.SetReloadInterval(0);
    ASSERT_EQ(settings.Refresh(), S_OK);
    bool bChanged = false;
    ASSERT_EQ(settings.GetFileDate(bChanged), S_OK);
    EXPECT_TRUE(bChanged);
}
