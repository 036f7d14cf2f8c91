#include "platform/WinMemory.h"
#include "platform/WinSecurity.h"
#include "settings/DLSettings.h"
#include "settings/HandleDLSettings.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"
#include "tests/support/MembershipFailure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

namespace
{
std::string GroupsXml(const char* pszItem48, const char* pszItem49)
{
    std::string sXml = "<SETTINGS><GENERALSETTINGS>";
    if (pszItem48 != nullptr)
        sXml += std::string("<ITEM ID=\"48\" VALUE=\"") + pszItem48 + "\"/>";
    if (pszItem49 != nullptr)
        sXml += std::string("<ITEM ID=\"49\" VALUE=\"") + pszItem49 + "\"/>";
    return sXml + "</GENERALSETTINGS></SETTINGS>";
}

std::vector<std::string> SidTexts(const CDLSettings& settings)
{
    std::vector<std::string> vec;
    for (const CSidPtr& spSid : settings.GetBypassSids())
    {
        LPSTR psz = nullptr;
        if (!ConvertSidToStringSidA(spSid.Get(), &psz))
        {
            vec.emplace_back("?");
            continue;
        }
        vec.emplace_back(psz);
        LocalFree(psz);
    }
    return vec;
}

std::string Sid(int n)
{
    return "S-1-5-21-100-200-300-" + std::to_string(n);
}
} // namespace

TEST(Bypass, HowTheListTextIsCut)
{
    const std::string A = Sid(1101), B = Sid(1102);
    const struct
    {
        const char* pszItem48;
        const char* pszItem49;
        std::vector<std::string> expected;
        const char* pszIgnored;
    } cases[] = {
        {"S-1-5-21-100-200-300-1101", nullptr, {A}, nullptr},
        {"S-1-5-21-100-200-300-1101;S-1-5-21-100-200-300-1102", nullptr, {A, B}, nullptr},
        {";S-1-5-21-100-200-300-1101;S-1-5-21-100-200-300-1102",
         nullptr,
         {A, B},
         nullptr},                                                                       // empty first piece
        {"S-1-5-21-100-200-300-1101;;S-1-5-21-100-200-300-1102", nullptr, {A}, nullptr}, // ";;" ends it
        {";;S-1-5-21-100-200-300-1101", nullptr, {}, nullptr},
        {"S-1-5-21-100-200-300-1101;S-1-5-21-100-200-300-1102;", nullptr, {A, B}, nullptr},
        {";", nullptr, {}, nullptr},
        {"S-1-5-21-100-200-300-1101;bad;S-1-5-21-100-200-300-1102", nullptr, {A, B}, "bad"},
        {"bad;S-1-5-21-100-200-300-1102", nullptr, {B}, "bad"},
        {"S-1-5-21-100-200-300-1101", "S-1-5-21-100-200-300-1102", {A, B}, nullptr}, // ";" put between
        {"S-1-5-21-100-200-300-1101;", "S-1-5-21-100-200-300-1102", {A, B}, nullptr},
        {"S-1-5-21-100-200-300-1101;", ";S-1-5-21-100-200-300-1102", {A}, nullptr}, // joined into ";;"
        {"", "S-1-5-21-100-200-300-1102", {B}, nullptr},
        {nullptr, "S-1-5-21-100-200-300-1101;S-1-5-21-100-200-300-1102", {A, B}, nullptr},
        {"S-1-5-21-100-200-300-1101", "", {A}, nullptr},
        {nullptr, nullptr, {}, nullptr},
    };
    CTempFolder folder;
    const std::string sPath = folder.WindowsOf("SWSettings.xml");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(GroupsXml(c.pszItem48, c.pszItem49));
        folder.Write("SWSettings.xml", GroupsXml(c.pszItem48, c.pszItem49));
        CTraceCapture trace;
        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
        EXPECT_EQ(SidTexts(settings), c.expected);
        const std::string sIgnored = "Reading Groups from Global settings got an error 1337 . This group " +
                                     std::string(c.pszIgnored != nullptr ? c.pszIgnored : "bad") +
                                     " will be ignored";
        EXPECT_EQ(trace.HasPrefix(sIgnored), c.pszIgnored != nullptr);
        EXPECT_EQ(trace.HasPrefix("Reading Groups from Global settings"), c.pszIgnored != nullptr);
    }
}

TEST(Bypass, LongListLoadsWhole)
{
    // 50 000 groups over both items, an invalid piece among them, and a ";;" after which nothing counts.
    constexpr int COUNT = 50000;
    std::vector<std::string> vecExpected;
    std::string sItem48;
    std::string sItem49;
    for (int i = 0; i < COUNT; ++i)
    {
        vecExpected.push_back(Sid(100000 + i));
        std::string& sItem = i < COUNT / 2 ? sItem48 : sItem49;
        if (!sItem.empty())
            sItem += ';';
        sItem += vecExpected.back();
        if (i == COUNT / 4)
            sItem += ";not-a-sid";
    }
    sItem49 += ";;" + Sid(99);

    CTempFolder folder;
    folder.Write("SWSettings.xml", GroupsXml(sItem48.c_str(), sItem49.c_str()));
    CTraceCapture trace;
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("SWSettings.xml")), S_OK);
    ASSERT_EQ(settings.GetBypassSids().size(), static_cast<size_t>(COUNT));
    EXPECT_TRUE(SidTexts(settings) == vecExpected);
    size_t nIgnored = 0;
    for (const std::string& sLine : trace.Lines())
    {
        if (sLine.rfind("Reading Groups from Global settings", 0) == 0)
        {
            ++nIgnored;
            EXPECT_EQ(
                sLine.rfind("Reading Groups from Global settings got an error 1337 . This group not-a-sid "
                            "will be ignored",
                            0),
                0u);
        }
    }
    EXPECT_EQ(nIgnored, 1u);
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

    // A membership check that fails says nothing about the user: the list answers the failure, never "not
    // a member", so the caller cannot mistake it for a user the worker may serve.
    const CMembershipFailure failure(ERROR_ACCESS_DENIED);
    CTraceCapture lines;
    bMember = FALSE;
    EXPECT_EQ(holder.CheckByPassList(&bMember), static_cast<HRESULT>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(bMember);
    EXPECT_TRUE(lines.HasPrefix("CheckByPassList  CheckTokeMembership failed error 5 for Criteria   "));
}
