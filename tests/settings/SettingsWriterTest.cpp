#include "platform/MsXmlFile.h"
#include "settings/DLSettings.h"
#include "settings/LinkCriteria.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using settings_test::CTempFolder;
using settings_test::CTraceCapture;

namespace
{
std::string ValueText(const VARIANT& v)
{
    if (v.vt == VT_BSTR)
        return v.bstrVal == nullptr ? "T<null>" : "T:" + BstrToAnsi(v.bstrVal, SysStringLen(v.bstrVal));
    if (v.vt == VT_I4)
        return "I:" + std::to_string(v.lVal);
    return "vt" + std::to_string(v.vt);
}

void DumpItems(std::ostringstream& out, const char* pszName, const SettingItemMap& items)
{
    out << pszName << "{";
    for (const auto& [nID, item] : items)
        out << nID << "/" << item.m_nID << "/" << item.m_bstrDescr.ToAnsi() << "/" << ValueText(item.m_vValue)
            << ";";
    out << "}";
}

// Everything a load keeps of the file, as text: two loads of equal files dump alike.
std::string Dump(const CDLSettings& settings)
{
    std::ostringstream out;
    DumpItems(out, "general", settings.GetGeneralItems());
    for (const auto* pList : {&settings.GetDefaultHighSpeedList(), &settings.GetHighSpeedList()})
    {
        out << "\napps{";
        for (const HighSpeedApp& app : *pList)
            out << app.m_sName << "/" << FromCi(app.m_csExtension) << "/" << app.m_nAction << ";";
        out << "}";
    }
    out << "\nactions{";
    for (const auto& [csExtension, nAction] : settings.GetExtensionActions())
        out << FromCi(csExtension) << "=" << nAction << ";";
    out << "}";
    for (const auto& [nSettingID, spSet] : settings.GetSettingSets())
    {
        out << "\nset " << nSettingID << "/" << spSet->m_nID << "/" << spSet->m_sDescr;
        for (const auto& [nEngineID, spEngine] : spSet->m_mapEngines)
        {
            if (spEngine->m_bOptionsOnly)
                continue;
            out << "\n  engine " << nEngineID << "/" << spEngine->m_nID << "/" << spEngine->m_sName;
            DumpItems(out, " measures", spEngine->m_mapItems);
            DumpItems(out, " options", spEngine->m_mapOptions);
        }
        DumpItems(out, "\n  items", spSet->m_mapItems);
        out << "\n  summary{";
        for (const SummaryInfo& info : spSet->m_vecSummary)
            out << info.m_nID << "/" << info.m_sDescr << "/" << info.m_sValue << "/" << info.m_nOn << ";";
        out << "} banned " << spSet->m_setBannedExtensions.size() << " ranges "
            << spSet->m_vecIPRanges.size();
    }
    out << "\nbypass " << settings.GetBypassSids().size() << " interval " << settings.GetReloadInterval();
    return out.str();
}

// The folder's entries: a save leaves no file of its own behind.
std::vector<std::string> Entries(const std::string& sPosixFolder)
{
    std::vector<std::string> vec;
    for (const auto& entry : std::filesystem::directory_iterator(sPosixFolder))
        vec.push_back(entry.path().filename().string());
    std::sort(vec.begin(), vec.end());
    return vec;
}

unsigned ModeOf(const std::string& sPosixPath)
{
    struct stat st = {};
    ::stat(sPosixPath.c_str(), &st);
    return st.st_mode & 0777u;
}
} // namespace

TEST(SettingsWriter, ServiceWorkerFilesRoundTrip)
{
    const std::string sSample = std::string(DLSW_SOURCE_DIR) + "/samples/install/Settings/SWSettings.xml";
    const std::string sFixtures = std::string(DLSW_FIXTURES) + "/settings/";
    // Every file the loader takes whose items all have a value (an item without one cannot be written).
    for (const std::string& sSource :
         {sSample, sFixtures + "precedence.xml", sFixtures + "sets.xml", sFixtures + "highspeed.xml",
          sFixtures + "highspeed-default-only.xml", sFixtures + "bypass.xml", sFixtures + "empty.xml",
          sFixtures + "unreadable-ids.xml"})
    {
        SCOPED_TRACE(sSource);
        CTempFolder folder;
        folder.Write("Product/Settings/SWSettings.xml", ReadFileText(sSource));
        const std::string sPath = folder.WindowsOf("Product/Settings/SWSettings.xml");
        const std::string sPosix = folder.PosixOf("Product/Settings/SWSettings.xml");
        CDLSettings original;
        ASSERT_EQ(original.LoadSettings(sPath), S_OK);
        const std::string sBefore = Dump(original);

        ASSERT_EQ(original.Save(), S_OK);
        const std::string sFirst = ReadFileText(sPosix);
        EXPECT_EQ(sFirst.rfind("<SETTINGS><GENERALSETTINGS", 0), 0u); // the bare tree, no declaration
        EXPECT_EQ(Entries(folder.PosixOf("Product/Settings")), std::vector<std::string>{"SWSettings.xml"});

        CDLSettings reread;
        ASSERT_EQ(reread.LoadSettings(sPath), S_OK);
        EXPECT_EQ(Dump(reread), sBefore);
        ASSERT_EQ(reread.Save(), S_OK);
        EXPECT_EQ(ReadFileText(sPosix), sFirst);
    }
}

TEST(SettingsWriter, ASaveKeepsTheFilesModeOwnerAndGroup)
{
    // A group of our own other than the primary one, when the account has one: the save must keep it.
    gid_t gidOther = ::getegid();
    std::vector<gid_t> vecGroups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    vecGroups.resize(
        static_cast<size_t>(std::max(::getgroups(static_cast<int>(vecGroups.size()), vecGroups.data()), 0)));
    for (gid_t gid : vecGroups)
    {
        if (gid != ::getegid())
            gidOther = gid;
    }
    const std::string sText = "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" DESCR=\"d\" VALUE=\"1\"/>"
                              "</GENERALSETTINGS></SETTINGS>";
    for (const unsigned nMode : {0644u, 0640u, 0604u, 0444u, 0600u, 0660u})
    {
        SCOPED_TRACE(nMode);
        CTempFolder folder;
        folder.Write("Product/Settings/SWSettings.xml", sText);
        const std::string sPosix = folder.PosixOf("Product/Settings/SWSettings.xml");
        ASSERT_EQ(::chmod(sPosix.c_str(), nMode), 0);
        (void)!::chown(sPosix.c_str(), static_cast<uid_t>(-1), gidOther);
        struct stat before = {};
        ASSERT_EQ(::stat(sPosix.c_str(), &before), 0);

        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        ASSERT_EQ(settings.Save(), S_OK);
        struct stat after = {};
        ASSERT_EQ(::stat(sPosix.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino); // written anew and renamed over the old file
        EXPECT_EQ(after.st_mode & 07777u, nMode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(Entries(folder.PosixOf("Product/Settings")), std::vector<std::string>{"SWSettings.xml"});

        // Saved once more, it reads back the same and still keeps the mode.
        CDLSettings reread;
        ASSERT_EQ(reread.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        ASSERT_EQ(reread.Save(), S_OK);
        EXPECT_EQ(ModeOf(sPosix), nMode);
        EXPECT_EQ(ReadFileText(sPosix).rfind("<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\"", 0), 0u);

        // A file that is no longer there is written new, readable by the worker's account alone.
        std::filesystem::remove(sPosix);
        ASSERT_EQ(reread.Save(), S_OK);
        EXPECT_EQ(ModeOf(sPosix), 0600u);
    }
}

// A settings file that is a symbolic link is saved through it: the operator's real file is updated in its
// own folder, atomically, and keeps its mode, owner and group; the link stays a link.
TEST(SettingsWriter, ASaveThroughASymbolicLinkWritesItsTarget)
{
    // Written by hand: the save gives the same settings as the bare element tree.
    const std::string sText =
        "<?xml version=\"1.0\"?>\n<SETTINGS>\n  <GENERALSETTINGS>\n"
        "    <ITEM ID=\"2\" DESCR=\"d\" VALUE=\"1\"/>\n  </GENERALSETTINGS>\n</SETTINGS>\n";
    struct Case
    {
        const char* m_pszName;
        std::vector<std::pair<std::string, std::string>> m_vecLinks; // link, what it points at
        std::string m_strTarget;
    };
    const std::vector<Case> cases = {
        {"absolute link",
         {{"Product/Settings/SWSettings.xml", "@/Real/SWSettings.xml"}},
         "Real/SWSettings.xml"},
        {"relative link",
         {{"Product/Settings/SWSettings.xml", "../../Real/SWSettings.xml"}},
         "Real/SWSettings.xml"},
        {"link to a link",
         {{"Product/Settings/SWSettings.xml", "../../Middle/SWSettings.xml"},
          {"Middle/SWSettings.xml", "@/Real/Target.xml"}},
         "Real/Target.xml"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTempFolder folder;
        folder.Write(c.m_strTarget, sText);
        const std::string sTarget = folder.PosixOf(c.m_strTarget);
        for (const auto& [strLink, strTo] : c.m_vecLinks)
        {
            std::filesystem::create_directories(std::filesystem::path(folder.PosixOf(strLink)).parent_path());
            const std::string sTo = strTo[0] == '@' ? folder.PosixOf(strTo.substr(2)) : strTo;
            std::filesystem::create_symlink(sTo, folder.PosixOf(strLink));
        }
        ASSERT_EQ(::chmod(sTarget.c_str(), 0640), 0);
        struct stat before = {};
        ASSERT_EQ(::stat(sTarget.c_str(), &before), 0);

        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        ASSERT_EQ(settings.Save(), S_OK);

        for (const auto& [strLink, strTo] : c.m_vecLinks)
            EXPECT_TRUE(std::filesystem::is_symlink(folder.PosixOf(strLink))) << strLink;
        struct stat after = {};
        ASSERT_EQ(::stat(sTarget.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino); // written anew beside the target and renamed over it
        EXPECT_EQ(after.st_mode & 07777u, 0640u);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(ReadFileText(sTarget).rfind(
                      "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" DESCR=\"d\" VALUE=\"1\"/>", 0),
                  0u);
        // Nothing left beside the link or the target.
        EXPECT_EQ(Entries(folder.PosixOf("Product/Settings")), std::vector<std::string>{"SWSettings.xml"});
        EXPECT_EQ(Entries(std::filesystem::path(sTarget).parent_path().string()),
                  std::vector<std::string>{std::filesystem::path(sTarget).filename().string()});

        CDLSettings reread;
        ASSERT_EQ(reread.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        EXPECT_EQ(Dump(reread), Dump(settings));
    }
}

// A process that may not give the replaced file its owner or group would hand the file's group access to
// its own group: the file is then saved readable by the worker's account alone, and the trace says so.
TEST(SettingsWriter, AnOwnerOrGroupThatCannotBeKeptLeavesTheFile0600)
{
    // The replaced file needs an owner or group other than this process's: root gives it any, another
    // account one of its other groups.
    std::vector<std::pair<uid_t, gid_t>> vecOwners;
    if (::geteuid() == 0)
        vecOwners = {{65534u, 4u}, {0u, 4u}}; // another account and group; this account, another group
    else
    {
        std::vector<gid_t> vecGroups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
        vecGroups.resize(static_cast<size_t>(
            std::max(::getgroups(static_cast<int>(vecGroups.size()), vecGroups.data()), 0)));
        for (gid_t gid : vecGroups)
        {
            if (gid != ::getegid() && vecOwners.empty())
                vecOwners.emplace_back(::geteuid(), gid);
        }
    }
    ASSERT_FALSE(vecOwners.empty()) << "the account running the tests is root or has a second group";
    const std::string sText = "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" DESCR=\"d\" VALUE=\"1\"/>"
                              "</GENERALSETTINGS></SETTINGS>";
    for (const auto& [uid, gid] : vecOwners)
    {
        SCOPED_TRACE(std::to_string(uid) + ":" + std::to_string(gid));
        CTempFolder folder;
        folder.Write("Product/Settings/SWSettings.xml", sText);
        const std::string sPosix = folder.PosixOf("Product/Settings/SWSettings.xml");
        const std::string sPath = folder.WindowsOf("Product/Settings/SWSettings.xml");
        ASSERT_EQ(::chown(sPosix.c_str(), uid, gid), 0);
        ASSERT_EQ(::chmod(sPosix.c_str(), 0640), 0);

        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
        CTraceCapture trace;
        DlswSetSaveOwnershipFailure(EPERM);
        const HRESULT hr = settings.Save();
        DlswSetSaveOwnershipFailure(0);
        ASSERT_EQ(hr, S_OK);
        struct stat after = {};
        ASSERT_EQ(::stat(sPosix.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777u, 0600u);
        EXPECT_EQ(after.st_uid, ::geteuid());
        EXPECT_TRUE(CTraceCapture::Has("XMLSaveDocument could not keep the owner " + std::to_string(uid) +
                                       ", group " + std::to_string(gid) + " and mode 0640 of " + sPath +
                                       " (Operation not permitted): the file is saved with mode 0600"));

        // A process that may give them keeps all three, and says nothing.
        if (::geteuid() == 0)
        {
            ASSERT_EQ(::chown(sPosix.c_str(), uid, gid), 0);
            ASSERT_EQ(::chmod(sPosix.c_str(), 0640), 0);
            CTraceCapture::Clear();
            ASSERT_EQ(settings.Save(), S_OK);
            ASSERT_EQ(::stat(sPosix.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode & 07777u, 0640u);
            EXPECT_EQ(after.st_uid, uid);
            EXPECT_EQ(after.st_gid, gid);
            EXPECT_FALSE(CTraceCapture::Contains("could not keep"));
        }
    }
}

TEST(SettingsWriter, ExactTextOfASmallFile)
{
    CTempFolder folder;
    folder.Write(
        "Product/Settings/SWSettings.xml",
        "<SETTINGS>\n"
        "  <GENERALSETTINGS><ITEM ID=\"7\" DESCR=\"Viewer &amp; folder\" VALUE=\"X-&lt;V&gt;\"/>"
        "<ITEM ID=\"1\" VALUE=\"engine.ini\"/></GENERALSETTINGS>\n"
        "  <DEFAULTHIGHSPEED><APP NAME=\"Word\" Extension=\"doc;docx\" ACTION=\"2\"/></DEFAULTHIGHSPEED>\n"
        "  <SETTING ID=\"2\" DESCR=\"Two\">\n"
        "    <ITEMS><ITEM ID=\"42\" DESCR=\"b\" VALUE=\"exe\"/></ITEMS>\n"
        "    <SUMMARY><INFO ID=\"1\" DESCR=\"p\" VALUE=\"v\" ON=\"1\"/></SUMMARY>\n"
        "  </SETTING>\n"
        "  <SETTING ID=\"1\"><ENGINES><ENGINE ID=\"8\" DESCR=\"Export\"><OPTIONS>"
        "<OPTION ID=\"1\" DESCR=\"o\" VALUE=\"3\"/></OPTIONS></ENGINE></ENGINES></SETTING>\n"
        "</SETTINGS>\n");
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
    ASSERT_EQ(settings.Save(), S_OK);
    // Sections in their order, even when empty; items by id, sets by id; the engines made only to hold the
    // engine options are not written.
    EXPECT_EQ(
        ReadFileText(folder.PosixOf("Product/Settings/SWSettings.xml")),
        "<SETTINGS><GENERALSETTINGS><ITEM ID=\"1\" DESCR=\"\" VALUE=\"engine.ini\"/>"
        "<ITEM ID=\"7\" DESCR=\"Viewer &amp; folder\" VALUE=\"X-&lt;V&gt;\"/></GENERALSETTINGS>"
        "<DEFAULTHIGHSPEED><APP NAME=\"Word\" Extension=\"doc;docx\" ACTION=\"2\"/></DEFAULTHIGHSPEED>"
        "<HIGHSPEED><APP NAME=\"Word\" Extension=\"doc;docx\" ACTION=\"2\"/></HIGHSPEED>"
        "<SETTING ID=\"1\" DESCR=\"\"><ENGINES><ENGINE ID=\"8\" DESCR=\"Export\"><GENERAL/><OPTIONS>"
        "<OPTION ID=\"1\" DESCR=\"o\" VALUE=\"3\"/></OPTIONS></ENGINE></ENGINES><ITEMS/><SUMMARY/></SETTING>"
        "<SETTING ID=\"2\" DESCR=\"Two\"><ENGINES/><ITEMS><ITEM ID=\"42\" DESCR=\"b\" VALUE=\"exe\"/></ITEMS>"
        "<SUMMARY><INFO ID=\"1\" DESCR=\"p\" VALUE=\"v\" ON=\"1\"/></SUMMARY></SETTING></SETTINGS>\n");
}

TEST(SettingsWriter, FailedSaveLeavesTheFileWhole)
{
    CTempFolder folder;
    const std::string sGood = "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" DESCR=\"d\" VALUE=\"1\"/>"
                              "</GENERALSETTINGS></SETTINGS>";
    const std::string sPosix = folder.PosixOf("Product/Settings/SWSettings.xml");
    const std::string sPath = folder.WindowsOf("Product/Settings/SWSettings.xml");
    {
        // An item whose value is neither a number nor a text cannot be written: nothing is.
        folder.Write(
            "Product/Settings/SWSettings.xml",
            "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" DESCR=\"no value\"/></GENERALSETTINGS></SETTINGS>");
        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
        folder.Write("Product/Settings/SWSettings.xml", sGood);
        CTraceCapture trace;
        EXPECT_EQ(settings.Save(), E_FAIL);
        EXPECT_EQ(ReadFileText(sPosix), sGood);
        EXPECT_TRUE(trace.HasPrefix("CDLSettings::Save failed to write " + sPath + " HRESULT 80004005"));
    }
    {
        // The folder went away: the save fails and leaves nothing behind.
        folder.Write("Product/Settings/SWSettings.xml", sGood);
        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
        std::filesystem::remove_all(folder.PosixOf("Product/Settings"));
        EXPECT_LT(settings.Save(), 0);
        EXPECT_FALSE(std::filesystem::exists(folder.PosixOf("Product/Settings")));
    }
    {
        // A read-only folder: the old file stays as it was, and no temporary file is left.
        folder.Write("Product/Settings/SWSettings.xml", sGood);
        CDLSettings settings;
        ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
        ::chmod(folder.PosixOf("Product/Settings").c_str(), 0500);
        const HRESULT hr = settings.Save();
        ::chmod(folder.PosixOf("Product/Settings").c_str(), 0700);
        if (::geteuid() != 0) // root writes anyway
        {
            EXPECT_LT(hr, 0);
            EXPECT_EQ(ReadFileText(sPosix), sGood);
        }
        EXPECT_EQ(Entries(folder.PosixOf("Product/Settings")), std::vector<std::string>{"SWSettings.xml"});
    }
    // Never loaded: no file to write to.
    CDLSettings never;
    EXPECT_LT(never.Save(), 0);
}

TEST(SettingsWriter, LinkCriteriaRoundTrip)
{
    CTempFolder folder;
    folder.Write("LinkCriteriaSettings.xml", settings_test::ReadFixtureText("linkcriteria.xml"));
    ::chmod(folder.PosixOf("LinkCriteriaSettings.xml").c_str(), 0644);
    const std::string sPath = folder.WindowsOf("LinkCriteriaSettings.xml");
    CLinkCriteria criteria;
    ASSERT_EQ(criteria.LoadLinkCriteria(sPath), S_OK);
    ASSERT_EQ(criteria.Save(), S_OK);
    const std::string sFirst = ReadFileText(folder.PosixOf("LinkCriteriaSettings.xml"));
    EXPECT_EQ(sFirst,
              "<SERVICEWORKERS><SW ID=\"3\" DESCR=\"Service worker, merged\">"
              "<LINK CRITERIA_ID=\"10\" SETTINGS_ID=\"1\"/><LINK CRITERIA_ID=\"11\" SETTINGS_ID=\"4\"/>"
              "<LINK CRITERIA_ID=\"12\" SETTINGS_ID=\"0\"/><LINK CRITERIA_ID=\"13\" SETTINGS_ID=\"3\"/></SW>"
              "<SW ID=\"4\" DESCR=\"Other worker\"><LINK CRITERIA_ID=\"10\" SETTINGS_ID=\"7\"/></SW>"
              "</SERVICEWORKERS>\n");
    // The file keeps the mode it had.
    EXPECT_EQ(ModeOf(folder.PosixOf("LinkCriteriaSettings.xml")), 0644u);
    CLinkCriteria reread;
    ASSERT_EQ(reread.LoadLinkCriteria(sPath), S_OK);
    ASSERT_EQ(reread.Save(), S_OK);
    EXPECT_EQ(ReadFileText(folder.PosixOf("LinkCriteriaSettings.xml")), sFirst);
}
