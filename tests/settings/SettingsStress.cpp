// Many request threads reading settings while another rewrites "SWSettings.xml" and runs the reload
// check: every answer comes from one whole file, answers never go back to an older file, and the last
// file is in force at the end.
#include "platform/WinSecurity.h"
#include "settings/HandleDLSettings.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
constexpr int VERSIONS = 100;
constexpr int READERS = 6;
constexpr int FIRST_ITEM = 100;
constexpr int ITEMS = 8;

// Version v: every item of the general items and of set 1 holds v, and set 1's range ends at 10.0.v.255.
std::string VersionXml(int nVersion)
{
    const std::string v = std::to_string(nVersion);
    std::string s = "<SETTINGS><GENERALSETTINGS><ITEM ID=\"81\" VALUE=\"0\"/><ITEM ID=\"5\" VALUE=\"1\"/>"
                    "<ITEM ID=\"48\" VALUE=\"S-1-5-21-1-2-3-1000\"/>";
    for (int i = 0; i < ITEMS; ++i)
        s += "<ITEM ID=\"" + std::to_string(FIRST_ITEM + i) + "\" VALUE=\"" + v + "\"/>";
    s += "</GENERALSETTINGS><HIGHSPEED><APP NAME=\"a\" Extension=\"pdf\" ACTION=\"" +
         std::to_string(1 + nVersion % 3) + "\"/></HIGHSPEED><SETTING ID=\"1\" DESCR=\"set\"><ITEMS>";
    for (int i = 0; i < ITEMS; ++i)
        s += "<ITEM ID=\"" + std::to_string(FIRST_ITEM + i) + "\" VALUE=\"" + v + "\"/>";
    s += "<ITEM ID=\"45\" VALUE=\"10.0.0.0;10.0." + v + ".255\"/></ITEMS></SETTING></SETTINGS>";
    return s;
}
} // namespace

TEST(SettingsStress, LookupsDuringReloadsSeeWholeFiles)
{
    settings_test::CTempFolder folder;
    constexpr long long MTIME_BASE = 1748781296;
    folder.Write("Product/Settings/SWSettings.xml", VersionXml(0), MTIME_BASE);
    folder.Write(
        "Common Files/Settings/LinkCriteriaSettings.xml",
        "<SERVICEWORKERS><SW ID=\"3\"><LINK CRITERIA_ID=\"1\" SETTINGS_ID=\"1\"/></SW></SERVICEWORKERS>",
        MTIME_BASE);
    CHandleDLSettings holder;
    std::string sFolder = folder.Windows() + "Product\\Settings\\";
    ASSERT_EQ(holder.LoadSettings(sFolder), S_OK);

    std::atomic<bool> bDone{false};
    std::atomic<int> nBadAnswers{0};
    std::atomic<long> nLookups{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < READERS; ++t)
    {
        readers.emplace_back(
            [&, t]
            {
                DlswSetThreadUser("user" + std::to_string(t), "CORP",
                                  "S-1-5-21-1-2-3-" + std::to_string(2000 + t),
                                  {t % 2 == 0 ? "S-1-5-21-1-2-3-1000" : "S-1-1-0"});
                int nLast = 0;
                while (!bDone.load())
                {
                    for (int i = 0; i < ITEMS; ++i)
                    {
                        for (int nSettingID : {-1, 1})
                        {
                            int nValue = -1;
                            if (!holder.GetSettingFromID(FIRST_ITEM + i, &nValue, nSettingID, 0) ||
                                nValue < nLast || nValue > VERSIONS)
                                ++nBadAnswers;
                            else
                                nLast = nValue;
                            ++nLookups;
                        }
                    }
                    int nSetting = 0;
                    if (!holder.GetSettingIDFromCriteriaID(1, &nSetting) || nSetting != 1)
                        ++nBadAnswers;
                    if (!holder.CheckClientIPAgainstDirectAccessIPRange("10.0.0.7", 1))
                        ++nBadAnswers;
                    int nAction = 0;
                    if (!holder.GetHighSpeedAction("PDF", &nAction, 1, 0) || nAction < 1 || nAction > 3)
                        ++nBadAnswers;
                    BOOL bMember = FALSE;
                    if (holder.CheckByPassList(&bMember) != S_OK || (bMember != FALSE) != (t % 2 == 0))
                        ++nBadAnswers;
                    if (t == 0)
                        holder.CheckForRefresh(nullptr); // request threads run the check too
                }
                RevertToSelf();
            });
    }

    for (int v = 1; v <= VERSIONS; ++v)
    {
        folder.Write("Product/Settings/SWSettings.xml", VersionXml(v), MTIME_BASE + v);
        holder.CheckForRefresh(nullptr);
        // Let the readers run against this version before the next one is written.
        const long nTarget = nLookups.load() + 400;
        while (nLookups.load() < nTarget)
            std::this_thread::yield();
    }
    bDone = true;
    for (std::thread& t : readers)
        t.join();

    // A reload skipped for a busy lock is made up at the next check.
    holder.CheckForRefresh(nullptr);
    EXPECT_EQ(nBadAnswers.load(), 0);
    EXPECT_GT(nLookups.load(), 0);
    for (int i = 0; i < ITEMS; ++i)
    {
        int nValue = -1;
        EXPECT_TRUE(holder.GetSettingFromID(FIRST_ITEM + i, &nValue, 1, 0));
        EXPECT_EQ(nValue, VERSIONS);
    }
    EXPECT_TRUE(holder.CheckClientIPAgainstDirectAccessIPRange("10.0.100.1", 1));
    EXPECT_FALSE(holder.CheckClientIPAgainstDirectAccessIPRange("10.0.101.1", 1));
}
