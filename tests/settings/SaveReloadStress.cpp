// Programs writing the settings back while the holder reloads them: a reload never meets half a file, and
// every answer comes from one whole version.
#include "settings/DLSettings.h"
#include "settings/HandleDLSettings.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
constexpr int FIRST_ITEM = 100;
constexpr int ITEMS = 400; // files of some size, so that a write takes a while
constexpr int SAVES = 150;

// Version v: every item holds v; reloads are checked on every call.
std::string VersionXml(int nVersion)
{
    const std::string v = std::to_string(nVersion);
    std::string s = "<SETTINGS><GENERALSETTINGS><ITEM ID=\"81\" DESCR=\"interval\" VALUE=\"0\"/>"
                    "<ITEM ID=\"1\" DESCR=\"engine options\" VALUE=\"engine.ini\"/>";
    for (int i = 0; i < ITEMS; ++i)
        s += "<ITEM ID=\"" + std::to_string(FIRST_ITEM + i) + "\" DESCR=\"item of version " + v +
             "\" VALUE=\"" + v + "\"/>";
    s += "</GENERALSETTINGS><SETTING ID=\"1\" DESCR=\"set\"><ITEMS><ITEM ID=\"2\" DESCR=\"d\" VALUE=\"" + v +
         "\"/></ITEMS></SETTING></SETTINGS>";
    return s;
}
} // namespace

TEST(SaveReloadStress, SavesRacingReloadsNeverYieldAHalfReadFile)
{
    settings_test::CTempFolder folder;
    const std::string sRelative = "Product/Settings/SWSettings.xml";
    folder.Write("Common Files/Settings/LinkCriteriaSettings.xml",
                 "<SERVICEWORKERS><SW ID=\"3\" DESCR=\"w\"><LINK CRITERIA_ID=\"10\" SETTINGS_ID=\"1\"/></SW>"
                 "</SERVICEWORKERS>");
    // Two programs, each holding one version loaded from the shared file.
    CDLSettings versionB;
    folder.Write(sRelative, VersionXml(2));
    ASSERT_EQ(versionB.LoadSettings(folder.WindowsOf(sRelative)), S_OK);
    CDLSettings versionA;
    folder.Write(sRelative, VersionXml(1));
    ASSERT_EQ(versionA.LoadSettings(folder.WindowsOf(sRelative)), S_OK);

    CHandleDLSettings holder;
    std::string sFolder = folder.Windows() + "Product\\Settings\\";
    ASSERT_EQ(holder.LoadSettings(sFolder), S_OK);

    std::atomic<bool> bDone{false};
    std::atomic<int> nFailedReloads{0};
    std::atomic<int> nFailedSaves{0};
    std::atomic<int> nMixed{0};
    std::atomic<int> nReloads{0};

    std::thread writer(
        [&]
        {
            for (int i = 0; i < SAVES; ++i)
            {
                if (FAILED((i % 2 == 0 ? versionB : versionA).Save()))
                    ++nFailedSaves;
            }
            bDone = true;
        });
    // The holder writes back what it holds, under its lock, while the others write and it reloads.
    std::thread holderWriter(
        [&]
        {
            while (!bDone)
            {
                if (FAILED(holder.SaveSettings()))
                    ++nFailedSaves;
                // Now and then, as a program would: a lock held without pause leaves no reload a chance.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    std::thread reloader(
        [&]
        {
            while (!bDone)
            {
                bool bRefreshed = false;
                if (FAILED(holder.CheckForRefresh(&bRefreshed)))
                    ++nFailedReloads;
                if (bRefreshed)
                    ++nReloads;
                int nFirst = -1;
                int nLast = -1;
                int nSet = -1;
                holder.GetSettingFromID(FIRST_ITEM, &nFirst, -1, -1);
                holder.GetSettingFromID(FIRST_ITEM + ITEMS - 1, &nLast, -1, -1);
                holder.GetSettingFromID(2, &nSet, 1, -1);
                if (nFirst != nLast || nFirst != nSet || (nFirst != 1 && nFirst != 2))
                    ++nMixed;
            }
        });
    writer.join();
    holderWriter.join();
    reloader.join();

    EXPECT_EQ(nFailedSaves.load(), 0);
    EXPECT_EQ(nFailedReloads.load(), 0);
    EXPECT_EQ(nMixed.load(), 0);
    EXPECT_GT(nReloads.load(), 0);

    // The file in place is whole: it loads, and it is one of the two versions.
    CDLSettings last;
    ASSERT_EQ(last.LoadSettings(folder.WindowsOf(sRelative)), S_OK);
    int nValue = -1;
    EXPECT_TRUE(last.GetItemValue(FIRST_ITEM + ITEMS - 1, nValue, -1, -1));
    EXPECT_TRUE(nValue == 1 || nValue == 2);
}
