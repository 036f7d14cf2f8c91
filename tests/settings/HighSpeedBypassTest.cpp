#include "platform/WinMemory.h"
#include "platform/WinSecurity.h"
#include "settings/DLSettings.h"
#include "settings/HandleDLSettings.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

using settings_test::CTempFolder;
using settings_test::CTraceCapture;
using settings_test::Fixture;

TEST(HighSpeed, ActionsByExtension)
{
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(Fixture("highspeed.xml")), S_OK);
    const struct
    {
        const char* pszExtension;
        int nSettingID;
        int nExpected;
    } cases[] = {
        {"PDF", -1, 1},                 // HIGHSPEED decides, without regard to case
        {"doc", -1, 1},                 // the first row naming it wins
        {"ppt", -1, 3}, {"xls", -1, 2}, // before the empty entry
        {"csv", -1, 3},                 // after it: not listed, so "*"
        {"txt", -1, 3},                 // only in DEFAULTHIGHSPEED: not in force
        {"zip", -1, 3},                 // "*"
        {"pdf", 1, -7},                 // item 5 = 0 in set 1: untouched
        {"pdf", 2, 1},                  // no set 2: the general item 5
    };
    for (const auto& c : cases)
    {
        int nAction = -7;
        EXPECT_EQ(settings.GetHighSpeedAction(c.pszExtension, nAction, 0, c.nSettingID), c.nExpected != -7)
            << c.pszExtension << " " << c.nSettingID;
        EXPECT_EQ(nAction, c.nExpected) << c.pszExtension << " " << c.nSettingID;
    }
    EXPECT_EQ(settings.GetDefaultHighSpeedList().size(), 2u);
    EXPECT_EQ(settings.GetHighSpeedList().size(), 4u);
}

TEST(HighSpeed, DefaultListDecidesAloneAndMissingSectionsAreEmpty)
{
    CTempFolder folder;
    CDLSettings settings;
    const std::string sPath = folder.WindowsOf("SWSettings.xml");
    folder.Write("SWSettings.xml", settings_test::ReadFixtureText("highspeed-default-only.xml"));
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    int nAction = -7;
    EXPECT_TRUE(settings.GetHighSpeedAction("txt", nAction, 0, 0));
    EXPECT_EQ(nAction, 2);
    nAction = -7;
    EXPECT_FALSE(settings.GetHighSpeedAction("zip", nAction, 0, 0)); // no "*" row
    EXPECT_EQ(nAction, -7);

    // A later file without either section has no actions, not those of the file before.
    folder.Write("SWSettings.xml",
                 "<SETTINGS><GENERALSETTINGS><ITEM ID=\"5\" VALUE=\"1\"/></GENERALSETTINGS></SETTINGS>");
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    EXPECT_FALSE(settings.GetHighSpeedAction("txt", nAction, 0, 0));
    EXPECT_TRUE(settings.GetDefaultHighSpeedList().empty());
    EXPECT_TRUE(settings.GetHighSpeedList().empty());
    EXPECT_TRUE(settings.GetExtensionActions().empty());
}

TEST(HighSpeed, SplitExtensionsRules)
{
    const struct
    {
        const char* pszText;
        std::vector<const char*> expected;
    } cases[] = {
        {"pdf", {"pdf"}},
        {"pdf;doc", {"doc", "pdf"}},
        {"pdf;;doc", {"pdf"}},
        {";pdf;doc", {"doc", "pdf"}},
        {"pdf;doc;", {"doc", "pdf"}},
        {";;pdf", {}},
    };
    for (const auto& c : cases)
    {
        ExtensionActionMap map;
        EXPECT_TRUE(CDLSettings::SplitExtensions(c.pszText, ";", map, 1)) << c.pszText;
        std::vector<std::string> got;
        for (const auto& [cs, n] : map)
            got.push_back(FromCi(cs));
        EXPECT_EQ(got, std::vector<std::string>(c.expected.begin(), c.expected.end())) << c.pszText;
    }
    ExtensionActionMap map;
    EXPECT_FALSE(CDLSettings::SplitExtensions("", ";", map, 1));
    CDLSettings::SplitExtensions("pdf", ";", map, 1);
    CDLSettings::SplitExtensions("PDF;doc", ";", map, 2);
    EXPECT_EQ(map.at("pdf"), 1);
    EXPECT_EQ(map.at("doc"), 2);
}

namespace
{
struct CThreadUser
{
    CThreadUser(const std::vector<std::string>& vecGroups)
    {
        EXPECT_TRUE(DlswSetThreadUser("jdoe", "CORP", "S-1-5-21-100-200-300-5000", vecGroups));
    }
    ~CThreadUser() { RevertToSelf(); }
};
} // namespace

TEST(Bypass, GroupsFromItems48And49AndTheThreadToken)
{
    CTraceCapture trace;
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(Fixture("bypass.xml")), S_OK);
    // The invalid entry is traced and skipped; 48 ends with ";" and 49 follows without a second one.
    ASSERT_EQ(settings.GetBypassSids().size(), 3u);
    EXPECT_TRUE(
        trace.Contains("Reading Groups from Global settings got an error 1337 . This group not-a-sid will be "
                       "ignored"));
    LPSTR psz = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(settings.GetBypassSids()[2].Get(), &psz));
    EXPECT_STREQ(psz, "S-1-5-21-100-200-300-1103");
    LocalFree(psz);

    const struct
    {
        std::vector<std::string> groups;
        BOOL bBypassed;
    } cases[] = {
        {{"S-1-5-21-100-200-300-1102"}, TRUE},
        {{"S-1-5-21-100-200-300-1103", "S-1-1-0"}, TRUE},
        {{"S-1-5-21-100-200-300-9999"}, FALSE},
        {{}, FALSE},
    };
    for (const auto& c : cases)
    {
        CThreadUser user(c.groups);
        CTraceCapture lines;
        BOOL bMember = FALSE;
        EXPECT_EQ(settings.CheckByPassList(bMember), 0u);
        EXPECT_EQ(bMember != FALSE, c.bBypassed != FALSE);
        EXPECT_EQ(lines.Count("CheckByPassList found a match user is excluded from DL"),
                  c.bBypassed ? 1u : 0u);
        EXPECT_EQ(lines.Count("CheckByPassList didn't find a match user is allow to DL"),
                  c.bBypassed ? 0u : 1u);
    }
    // Not impersonating: the process's own identity is in no bypass group.
    BOOL bMember = FALSE;
    EXPECT_EQ(settings.CheckByPassList(bMember), 0u);
    EXPECT_FALSE(bMember);
}

TEST(Bypass, NoGroupsAndGroupsRemovedByAReload)
{
    CTempFolder folder;
    CDLSettings settings;
    const std::string sPath = folder.WindowsOf("SWSettings.xml");
    folder.Write("SWSettings.xml", "<SETTINGS/>");
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    CThreadUser user({"S-1-5-21-100-200-300-1101"});
    BOOL bMember = FALSE;
    EXPECT_EQ(settings.CheckByPassList(bMember), 0u);
    EXPECT_FALSE(bMember);

    folder.Write("SWSettings.xml", settings_test::ReadFixtureText("bypass.xml"));
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    EXPECT_EQ(settings.CheckByPassList(bMember), 0u);
    EXPECT_TRUE(bMember);

    folder.Write("SWSettings.xml",
                 "<SETTINGS><GENERALSETTINGS><ITEM ID=\"48\" VALUE=\"S-1-5-21-100-200-300-1102\"/>"
                 "</GENERALSETTINGS></SETTINGS>");
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    bMember = FALSE;
    EXPECT_EQ(settings.CheckByPassList(bMember), 0u);
    EXPECT_FALSE(bMember);

    // A broken file keeps the groups in force.
    folder.Write("SWSettings.xml", "<SETTINGS>");
    EXPECT_LT(settings.LoadSettings(sPath), 0);
    EXPECT_EQ(settings.GetBypassSids().size(), 1u);
}

TEST(Bypass, ThroughTheHolder)
{
    CTempFolder folder;
    folder.Write("Product/Settings/SWSettings.xml", settings_test::ReadFixtureText("bypass.xml"));
    folder.Write("Common Files/Settings/LinkCriteriaSettings.xml",
                 settings_test::ReadFixtureText("linkcriteria.xml"));
    CHandleDLSettings holder;
    std::string sFolder = folder.Windows() + "Product\\Settings\\";
    ASSERT_EQ(holder.LoadSettings(sFolder), S_OK);
    CThreadUser user({"S-1-5-21-100-200-300-1101"});
    BOOL bMember = FALSE;
    EXPECT_EQ(holder.CheckByPassList(&bMember), S_OK);
    EXPECT_TRUE(bMember);
    EXPECT_FALSE(holder.Lock().IsLocked());
}
