#include "settings/DLSettings.h"
#include "platform/WinError.h"
#include "settings/SettingItemIDs.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using settings_test::CTempFolder;
using settings_test::CTraceCapture;
using settings_test::Fixture;

namespace
{
struct CLoaded
{
    explicit CLoaded(const char* pszFixture) { hr = settings.LoadSettings(Fixture(pszFixture)); }
    CDLSettings settings;
    HRESULT hr = E_FAIL;
};
} // namespace

TEST(DLSettingsLookup, PrecedenceEngineThenSetThenGeneral)
{
    CLoaded loaded("precedence.xml");
    ASSERT_EQ(loaded.hr, S_OK);
    const struct
    {
        int nID;
        int nSettingID;
        int nEngineID;
        bool bFound;
        int nExpected;
    } cases[] = {
        {SETTING_OPEN_ALLOWED, 3, 0, true, 1},     // the set's item over the general one
        {SETTING_OPEN_ALLOWED, 4, 0, true, 0},     // no set 4: the general item
        {SETTING_OPEN_ALLOWED, -1, -1, true, 0},   // the general items
        {SETTING_CACHE_MULTIMEDIA, 3, 7, true, 1}, // the engine's item over the set's
        {SETTING_CACHE_MULTIMEDIA, 3, 0, true, 0}, // no engine 0 in set 3: the set's item
        {SETTING_CACHE_MULTIMEDIA, 4, 7, true, 5}, // unknown set: general, whatever the engine
        {SETTING_LOG_SIZE_KB, 3, 7, true, 2048},   // neither engine nor set has it: general
        {SETTING_SAVE_ALLOWED, 3, 7, false, -99},  // nowhere: false, the default stays
    };
    for (const auto& c : cases)
    {
        int nValue = -99;
        EXPECT_EQ(loaded.settings.GetItemValue(c.nID, nValue, c.nSettingID, c.nEngineID), c.bFound)
            << c.nID << "/" << c.nSettingID << "/" << c.nEngineID;
        EXPECT_EQ(nValue, c.nExpected) << c.nID << "/" << c.nSettingID << "/" << c.nEngineID;
    }
    std::string sFolder = "default";
    EXPECT_TRUE(loaded.settings.GetItemValue(SETTING_VIRTUAL_FOLDER_NAME, sFolder, 3, 0));
    EXPECT_EQ(sFolder, "X-SetThree");
    ci_string csFolder = "default";
    EXPECT_TRUE(loaded.settings.GetItemValue(SETTING_VIRTUAL_FOLDER_NAME, csFolder, 9, 0));
    EXPECT_EQ(csFolder, "x-general");
    std::string sAbsent = "kept";
    EXPECT_FALSE(loaded.settings.GetItemValue(SETTING_TEMP_DIRECTORY, sAbsent, 3, 0));
    EXPECT_EQ(sAbsent, "kept");

    // Engine options: no fall-through to the set or the general items.
    int nOption = -1;
    EXPECT_TRUE(loaded.settings.GetEngineOptionValue(9, nOption, 7, 3));
    EXPECT_EQ(nOption, 77);
    nOption = -1;
    EXPECT_FALSE(loaded.settings.GetEngineOptionValue(SETTING_OPEN_ALLOWED, nOption, 7, 3));
    EXPECT_FALSE(loaded.settings.GetEngineOptionValue(9, nOption, 0, 3));
    EXPECT_FALSE(loaded.settings.GetEngineOptionValue(9, nOption, 7, -1));
    EXPECT_EQ(nOption, -1);
}

TEST(DLSettingsLookup, EmptyFileLeavesEveryDefault)
{
    CLoaded loaded("empty.xml");
    ASSERT_EQ(loaded.hr, S_OK);
    for (const SettingItemInfo& info : g_settingItems)
    {
        if (info.m_kind == SettingKind::Int)
        {
            int nValue = SettingDefaultInt(info.m_id);
            EXPECT_FALSE(loaded.settings.GetItemValue(info.m_id, nValue, 0, 0)) << info.m_id;
            EXPECT_EQ(nValue, info.m_nDefault) << info.m_id;
        }
        else
        {
            std::string sValue = SettingDefaultText(info.m_id);
            EXPECT_FALSE(loaded.settings.GetItemValue(info.m_id, sValue, 0, 0)) << info.m_id;
            EXPECT_EQ(sValue, SettingDefaultText(info.m_id)) << info.m_id;
        }
    }
    EXPECT_EQ(SettingDefaultInt(SETTING_OPEN_ALLOWED), 1);
    EXPECT_EQ(SettingDefaultInt(SETTING_DIRECT_ACCESS_LEVEL), 1);
    EXPECT_EQ(SettingDefaultInt(SETTING_AUTO_RELOAD), 1);
    EXPECT_EQ(SettingDefaultInt(SETTING_RELOAD_INTERVAL), 15);
    EXPECT_EQ(SettingDefaultInt(SETTING_LOG_SIZE_KB), 1048576);
    EXPECT_STREQ(SettingDefaultText(SETTING_VIRTUAL_FOLDER_NAME), "X-Dorvel");
    EXPECT_EQ(loaded.settings.GetReloadInterval(), 15);
}

TEST(DLSettingsLookup, ValueConversions)
{
    CLoaded loaded("conversions.xml");
    ASSERT_EQ(loaded.hr, S_OK);
    const struct
    {
        int nID;
        bool bIntFound;
        int nInt;
        bool bTextFound;
        const char* pszText;
    } cases[] = {
        {100, true, 0, true, "abc"},
        {101, true, 12, true, "12abc"},
        {102, true, 0, true, ""},
        {103, false, -5, false, "unchanged"}, // no VALUE: neither a number nor a text
        {104, true, -42, true, "  -42"},
        {105, true, 2147483647, true, "99999999999"},
        {106, true, 0, true, "no description"}, // an ITEM without DESCR keeps its VALUE
    };
    for (const auto& c : cases)
    {
        int nValue = -5;
        EXPECT_EQ(loaded.settings.GetItemValue(c.nID, nValue, -1, -1), c.bIntFound) << c.nID;
        EXPECT_EQ(nValue, c.nInt) << c.nID;
        std::string sValue = "unchanged";
        EXPECT_EQ(loaded.settings.GetItemValue(c.nID, sValue, -1, -1), c.bTextFound) << c.nID;
        EXPECT_EQ(sValue, c.pszText) << c.nID;
    }
    // Elements without a readable ID name no item.
    EXPECT_EQ(loaded.settings.GetGeneralItems().size(), 7u);
    EXPECT_EQ(loaded.settings.GetGeneralItems().count(0), 0u);
}

TEST(DLSettingsLoad, SetsEnginesSummariesAndDerivedData)
{
    CTraceCapture trace;
    CLoaded loaded("sets.xml");
    ASSERT_EQ(loaded.hr, S_OK);
    const SettingSetMap& sets = loaded.settings.GetSettingSets();
    ASSERT_EQ(sets.size(), 2u);
    const SettingSetRecord& set5 = *sets.at(5);
    EXPECT_EQ(set5.m_sDescr, "Second description");
    // Engine 8 was given again: the later one replaced it, and the id list names it twice.
    EXPECT_EQ((std::vector<int>{0, 8, 8}), set5.m_vecEngineIDs);
    EXPECT_EQ(set5.m_mapEngines.at(8)->m_sName, "Export engine again");
    EXPECT_TRUE(set5.m_mapEngines.at(8)->m_mapOptions.empty());
    int nMeasure = 0;
    EXPECT_TRUE(loaded.settings.GetItemValue(SETTING_CACHE_MULTIMEDIA, nMeasure, 5, 8));
    EXPECT_EQ(nMeasure, 9);

    // Summary: a row switched off is dropped; the later row of the same id takes its place at the end.
    ASSERT_EQ(set5.m_vecSummary.size(), 2u);
    EXPECT_EQ(set5.m_vecSummary[0].m_nID, 2);
    EXPECT_EQ(set5.m_vecSummary[1].m_nID, 1);
    EXPECT_EQ(set5.m_vecSummary[1].m_sValue, "c");

    // Banned extensions compare without case.
    EXPECT_EQ(set5.m_setBannedExtensions.count("EXE"), 1u);
    EXPECT_EQ(set5.m_setBannedExtensions.count("Bat"), 1u);
    EXPECT_EQ(set5.m_setBannedExtensions.size(), 2u);

    // The ranges come from the item in force (the second SETTING 5), not from every value it had.
    ASSERT_EQ(set5.m_vecIPRanges.size(), 2u);
    IPAddressRecord client;
    ParseIPAddress("192.168.1.9", client);
    EXPECT_TRUE(loaded.settings.CheckClientIPAgainstDirectAccessIPRange(client, 5));
    EXPECT_FALSE(loaded.settings.CheckClientIPAgainstDirectAccessIPRange(client, 6));
    EXPECT_FALSE(loaded.settings.CheckClientIPAgainstDirectAccessIPRange(client, -1));
    EXPECT_TRUE(sets.at(6)->m_vecIPRanges.empty());
    EXPECT_EQ(trace.Count("[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] Direct access IP "
                          "ranges setting is empty."),
              1u);

    // Item 81 sets the reload interval.
    EXPECT_EQ(loaded.settings.GetReloadInterval(), 5);
}

TEST(DLSettingsLoad, OptionArraysHoldIdAndValueRows)
{
    // The arrays as the XML builds them, before the engine options take engine 0's place.
    struct CXmlOnly : CDLSettings
    {
        bool LoadEngineINI() override { return true; }
    };
    struct
    {
        CXmlOnly settings;
        HRESULT hr = E_FAIL;
    } loaded;
    loaded.hr = loaded.settings.LoadSettings(Fixture("sets.xml"));
    ASSERT_EQ(loaded.hr, S_OK);
    auto Cell = [](SAFEARRAY* psa, LONG nFirst, LONG nRow)
    {
        const LONG idx[2] = {nFirst, nRow};
        _variant_t v;
        EXPECT_EQ(SafeArrayGetElement(psa, idx, &v), S_OK);
        return v;
    };
    // Three options: a 3 x 3 array, ids ascending at {0, r}, values at {1, r}, the rest empty.
    const EngineRecord& engine0 = *loaded.settings.GetSettingSets().at(5)->m_mapEngines.at(0);
    ASSERT_TRUE(engine0.m_spOptionArray);
    SAFEARRAY* psa = engine0.m_spOptionArray->m_psa;
    LONG nUpper = 0;
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &nUpper), S_OK);
    EXPECT_EQ(nUpper, 2);
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &nUpper), S_OK);
    EXPECT_EQ(nUpper, 2);
    const int ids[3] = {10, 20, 30};
    const char* values[3] = {"first", "second", "third"};
    for (LONG r = 0; r < 3; ++r)
    {
        _variant_t vID = Cell(psa, 0, r);
        ASSERT_EQ(vID.vt, VT_I4);
        EXPECT_EQ(vID.lVal, ids[r]);
        _variant_t vValue = Cell(psa, 1, r);
        ASSERT_EQ(vValue.vt, VT_BSTR);
        EXPECT_EQ(BstrToAnsi(vValue.bstrVal, SysStringLen(vValue.bstrVal)), values[r]);
        EXPECT_EQ(Cell(psa, 2, r).vt, VT_EMPTY);
    }
    // One option: room for its id and its value.
    const EngineRecord& engine8 = *loaded.settings.GetSettingSets().at(6)->m_mapEngines.at(8);
    ASSERT_TRUE(engine8.m_spOptionArray);
    _variant_t vID = Cell(engine8.m_spOptionArray->m_psa, 0, 0);
    _variant_t vValue = Cell(engine8.m_spOptionArray->m_psa, 1, 0);
    EXPECT_EQ(vID.vt, VT_I4);
    EXPECT_EQ(vID.lVal, 1);
    ASSERT_EQ(vValue.vt, VT_BSTR);
    EXPECT_EQ(BstrToAnsi(vValue.bstrVal, SysStringLen(vValue.bstrVal)), "4");
    int nOption = 0;
    EXPECT_TRUE(loaded.settings.GetEngineOptionValue(1, nOption, 8, 6));
    EXPECT_EQ(nOption, 4);
}

TEST(DLSettingsLoad, ElementsWithoutReadableIdAreSkippedWithTheirChildren)
{
    CTraceCapture trace;
    CLoaded loaded("unreadable-ids.xml");
    ASSERT_EQ(loaded.hr, S_OK);
    const SettingSetMap& sets = loaded.settings.GetSettingSets();
    ASSERT_EQ(sets.size(), 1u);
    const SettingSetRecord& set1 = *sets.at(1);
    EXPECT_EQ(set1.m_mapEngines.size(), 1u);
    EXPECT_EQ(set1.m_mapEngines.at(0)->m_mapItems.count(46), 1u);
    EXPECT_EQ(set1.m_mapEngines.at(0)->m_mapItems.count(47), 0u); // not given to the engine read before
    EXPECT_EQ(set1.m_mapItems.count(3), 0u);                      // not given to the set read before
    EXPECT_EQ(set1.m_mapEngines.count(9), 0u);
    EXPECT_EQ(trace.Count("AddEngine failed to read ID"), 1u);
}

TEST(DLSettingsLoad, FailedLoadKeepsTheSettingsInForce)
{
    CTempFolder folder;
    folder.Write("SWSettings.xml", settings_test::ReadFixtureText("precedence.xml"));
    CDLSettings settings;
    const std::string sPath = folder.WindowsOf("SWSettings.xml");
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    EXPECT_EQ(settings.GetSettingsDirectory(), folder.Windows());

    CTraceCapture trace;
    folder.Write("SWSettings.xml", settings_test::ReadFixtureText("broken.xml"));
    const HRESULT hrBroken = settings.LoadSettings(sPath);
    EXPECT_LT(hrBroken, 0);
    EXPECT_TRUE(trace.Contains("LoadSettings HRESULT exception"));
    int nValue = -1;
    EXPECT_TRUE(settings.GetItemValue(SETTING_OPEN_ALLOWED, nValue, 3, 0));
    EXPECT_EQ(nValue, 1);
    EXPECT_EQ(settings.GetSettingSets().size(), 1u);

    folder.Write("SWSettings.xml", "");
    EXPECT_LT(settings.LoadSettings(sPath), 0);
    EXPECT_EQ(settings.GetSettingSets().size(), 1u);

    // A file that parses but is no settings file is a failed load too, and says so; the root is the
    // element's exact name.
    for (const char* pszOther :
         {"<FOO/>", "<settings><GENERALSETTINGS/></settings>", "<ROOT><SETTINGS/></ROOT>"})
    {
        SCOPED_TRACE(pszOther);
        folder.Write("SWSettings.xml", pszOther);
        EXPECT_EQ(settings.LoadSettings(sPath), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
        EXPECT_EQ(settings.GetParseFailure(), sPath + " has no <SETTINGS> element.");
        EXPECT_TRUE(trace.Has("Settings file " + sPath + " has no <SETTINGS> element."));
        EXPECT_EQ(settings.GetSettingSets().size(), 1u);
    }

    EXPECT_EQ(settings.LoadSettings(folder.WindowsOf("Missing.xml")),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(
        trace.Count("Load LoadSettings can not find file " + folder.WindowsOf("Missing.xml") + " error 2"),
        1u);
    EXPECT_EQ(settings.GetSettingSets().size(), 1u);
    EXPECT_EQ(settings.GetPath(), sPath);

    // A good file replaces everything, sections it lacks included.
    folder.Write("SWSettings.xml", "<SETTINGS><GENERALSETTINGS/></SETTINGS>");
    ASSERT_EQ(settings.LoadSettings(sPath), S_OK);
    EXPECT_TRUE(settings.GetSettingSets().empty());
    EXPECT_FALSE(settings.GetItemValue(SETTING_OPEN_ALLOWED, nValue, 3, 0));
}

namespace
{
// Stands in for the engine-option reader with one that answers false or throws.
class CEngineOptionsStandIn : public CDLSettings
{
public:
    explicit CEngineOptionsStandIn(std::function<bool()> fnRead) : m_fnRead(std::move(fnRead)) {}
    bool LoadEngineINI() override
    {
        ++m_nCalls;
        return m_fnRead();
    }
    int m_nCalls = 0;

private:
    std::function<bool()> m_fnRead;
};
} // namespace

TEST(DLSettingsLoad, EngineOptionFailureIsTracedAndNeverThrown)
{
    CTempFolder folder;
    const std::string sPath = folder.WindowsOf("SWSettings.xml");
    folder.Write("SWSettings.xml", settings_test::ReadFixtureText("broken.xml"));
    CDLSettings plain;
    const HRESULT hrBroken = plain.LoadSettings(sPath);
    ASSERT_LT(hrBroken, 0);

    const struct
    {
        const char* pszName;
        std::function<bool()> fnRead;
        std::string sLine; // TraceLogError lines carry the system's text after three blanks
        bool bWithSystemText;
    } cases[] = {
        {"false", [] { return false; }, "LoadSettings failed to load the engine options HRESULT 80004005",
         true},
        {"HRESULT", []() -> bool { throw CHResultError(E_OUTOFMEMORY); },
         "LoadSettings failed to load the engine options HRESULT 8007000e", true},
        {"COM error", []() -> bool { throw _com_error(E_ACCESSDENIED); },
         "LoadSettings failed to load the engine options HRESULT 80070005", true},
        {"other", []() -> bool { throw std::runtime_error("ini unreadable"); },
         "LoadSettings failed to load the engine options General exception", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        const auto LinesOf = [&](const CTraceCapture& trace)
        {
            size_t n = 0;
            for (const std::string& s : trace.Lines())
            {
                if (c.bWithSystemText ? s.rfind(c.sLine + "   ", 0) == 0 : s == c.sLine)
                    ++n;
            }
            return n;
        };
        CTraceCapture trace;
        CEngineOptionsStandIn settings(c.fnRead);

        // A good file: its own result, its settings taken over, the failure traced.
        folder.Write("SWSettings.xml", settings_test::ReadFixtureText("precedence.xml"));
        HRESULT hr = E_UNEXPECTED;
        EXPECT_NO_THROW(hr = settings.LoadSettings(sPath));
        EXPECT_EQ(hr, S_OK);
        int nValue = -1;
        EXPECT_TRUE(settings.GetItemValue(SETTING_OPEN_ALLOWED, nValue, 3, 0));
        EXPECT_EQ(nValue, 1);
        EXPECT_EQ(settings.GetSettingSets().size(), 1u);
        EXPECT_EQ(LinesOf(trace), 1u);

        // A broken file: the parse error; the settings stay, and so do their engine options, which are
        // not read again.
        folder.Write("SWSettings.xml", settings_test::ReadFixtureText("broken.xml"));
        hr = E_UNEXPECTED;
        EXPECT_NO_THROW(hr = settings.LoadSettings(sPath));
        EXPECT_EQ(hr, hrBroken);
        nValue = -1;
        EXPECT_TRUE(settings.GetItemValue(SETTING_OPEN_ALLOWED, nValue, 3, 0));
        EXPECT_EQ(nValue, 1);
        EXPECT_EQ(LinesOf(trace), 1u);
        EXPECT_EQ(settings.m_nCalls, 1);
    }
}

TEST(DLSettingsLoad, ReloadIntervalStaysWhenItem81Goes)
{
    CTempFolder folder;
    folder.Write("SWSettings.xml",
                 "<SETTINGS><GENERALSETTINGS><ITEM ID=\"81\" VALUE=\"5\"/></GENERALSETTINGS></SETTINGS>");
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("SWSettings.xml")), S_OK);
    EXPECT_EQ(settings.GetReloadInterval(), 5);
    folder.Write("SWSettings.xml", "<SETTINGS/>");
    ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("SWSettings.xml")), S_OK);
    EXPECT_EQ(settings.GetReloadInterval(), 5);
}

TEST(DLSettingsLoad, PathWithoutBackslashStillLoads)
{
    CDLSettings settings;
    const std::string sPosix = std::string(DLSW_FIXTURES) + "/settings/precedence.xml";
    CTraceCapture trace;
    EXPECT_EQ(settings.LoadSettings(sPosix), S_OK);
    EXPECT_EQ(settings.GetSettingsDirectory(), "");
    EXPECT_EQ(trace.Count("Invaliud path format " + sPosix), 1u);
}

TEST(DLSettingsLoad, InstallationSampleLoads)
{
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(MapPosixPathToWindows(std::string(DLSW_SOURCE_DIR) +
                                                          "/samples/install/Settings/SWSettings.xml")),
              S_OK);
    EXPECT_EQ(settings.GetSettingSets().size(), 3u);
    int nLevel = SettingDefaultInt(SETTING_DIRECT_ACCESS_LEVEL);
    EXPECT_TRUE(settings.GetItemValue(SETTING_DIRECT_ACCESS_LEVEL, nLevel, 2, 0));
    EXPECT_EQ(nLevel, 2);
    IPAddressRecord client;
    ParseIPAddress("10.20.30.40", client);
    EXPECT_TRUE(settings.CheckClientIPAgainstDirectAccessIPRange(client, 1));
    EXPECT_FALSE(settings.CheckClientIPAgainstDirectAccessIPRange(client, 3));
    ParseIPAddress("fd00::1:2", client);
    EXPECT_TRUE(settings.CheckClientIPAgainstDirectAccessIPRange(client, 1));
    int nAction = 2;
    settings.GetHighSpeedAction("MP4", nAction, 0, 1);
    EXPECT_EQ(nAction, 3);
}
