#include "general/DLSWGeneralSettings.h"
#include "platform/WinModule.h"
#include "tests/general/GeneralTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <cstdlib>
#include <mutex>

namespace
{
std::string WindowsPathOf(const std::string& strFixture)
{
    return MapPosixPathToWindows(FixtureModule(strFixture));
}

// What the resource module hands to its hooks.
std::mutex g_hookMutex;
std::vector<std::string> g_vecHookTraces;
std::vector<std::pair<DWORD, std::string>> g_vecHookEvents;

void HookTrace(const char* pszText)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_vecHookTraces.emplace_back(pszText);
}

void HookEvent(DWORD dwType, const char* pszText)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_vecHookEvents.emplace_back(dwType, pszText);
}

class Resources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_vecHookTraces.clear();
        g_vecHookEvents.clear();
        CResource::SetTraceHook(&HookTrace);
        CResource::SetEventHook(&HookEvent);
    }
    void TearDown() override
    {
        CResource::SetTraceHook(nullptr);
        CResource::SetEventHook(nullptr);
    }
};

TEST_F(Resources, StringsByIdAndLanguage)
{
    CResource resource;
    ASSERT_TRUE(resource.LoadModule(WindowsPathOf("TestRes64.dll")));
    EXPECT_EQ(resource.m_strPath, WindowsPathOf("TestRes64.dll"));
    const struct
    {
        int m_nID;
        LANGID m_wLangID;
        bool m_bFound;
        std::u16string m_strText;
    } cases[] = {
        {100, 0x1009, true, u"Open"},
        {100, 0x040C, true, u"Ouvrir"},
        {100, 0x0419, true, u"\u041e\u0442\u043a\u0440\u044b\u0442\u044c"},
        {101, 0x1009, true, u"Only in English"},
        {101, 0x040C, false, u""}, // no English fallback at this level
        {100, 0x0409, false, u""}, // English (United States) is not English (Canada)
        {105, 0x1009, false, u""}, // an empty entry of an existing block
        {4095, 0x1009, true, u"Last block"},
        {5000, 0x1009, false, u""},
        {-1, 0x1009, false, u""},
        {70000, 0x1009, false, u""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_nID);
        std::u16string strText;
        EXPECT_EQ(resource.LoadString(c.m_nID, strText, c.m_wLangID), c.m_bFound);
        EXPECT_EQ(strText, c.m_strText);
    }
    EXPECT_NE(std::find(g_vecHookTraces.begin(), g_vecHookTraces.end(),
                        "Resource Class LoadString failed. It couldn't find the resource 5000 error 1814"),
              g_vecHookTraces.end());
    EXPECT_TRUE(resource.UnloadModule());
    EXPECT_EQ(resource.m_hModule, nullptr);
    EXPECT_TRUE(resource.m_strPath.empty());
    EXPECT_TRUE(resource.UnloadModule());

    g_vecHookTraces.clear();
    std::u16string strText;
    EXPECT_FALSE(resource.LoadString(100, strText, 0x1009));
    EXPECT_EQ(g_vecHookTraces, std::vector<std::string>{"Resource class NULL handler LoadString"});
}

TEST_F(Resources, DamagedBlockEndsTheWalkWithinTheBlock)
{
    CResource resource;
    ASSERT_TRUE(resource.LoadModule(WindowsPathOf("DamagedRes64.dll")));
    std::u16string strText;
    EXPECT_FALSE(resource.LoadString(0, strText, 0x1009));
    EXPECT_FALSE(resource.LoadString(1, strText, 0x1009));
    EXPECT_FALSE(resource.LoadString(2, strText, 0x1009));
    EXPECT_TRUE(strText.empty());
}

TEST_F(Resources, LibraryIsLoadedAsDataOnly)
{
    unsetenv("DLSW_MARKER_MODULE_RAN");
    CResource resource;
    ASSERT_TRUE(resource.LoadModule(WindowsPathOf("MarkerModule.dll")));
    EXPECT_EQ(std::getenv("DLSW_MARKER_MODULE_RAN"), nullptr);
    // Loading another library frees the first.
    ASSERT_TRUE(resource.LoadModule(WindowsPathOf("TestRes64.dll")));
    EXPECT_EQ(resource.m_strPath, WindowsPathOf("TestRes64.dll"));
}

TEST_F(Resources, LibraryThatCannotBeLoaded)
{
    CResource resource;
    const std::string strPath = WindowsPathOf("NoSuchRes.dll");
    EXPECT_FALSE(resource.LoadModule(strPath));
    EXPECT_EQ(resource.m_hModule, nullptr);
    ASSERT_EQ(g_vecHookEvents.size(), 1u);
    EXPECT_EQ(g_vecHookEvents[0].first, 1u);
    EXPECT_EQ(g_vecHookEvents[0].second, " Resource Class LoadModule failed  " + strPath +
                                             " error 126   The specified module could not be found.");
    ASSERT_EQ(g_vecHookTraces.size(), 1u);
    EXPECT_EQ(g_vecHookTraces[0].rfind("Resource Class LoadModule failed  " + strPath +
                                           " error 126, The specified module could not be found.",
                                       0),
              0u);
}

TEST_F(Resources, ProductLanguageCodes)
{
    CResource resource;
    EXPECT_EQ(resource.m_vecLanguages.size(), 20u);
    const struct
    {
        const char* m_pszCode;
        bool m_bKnown;
        LANGID m_wLangID;
    } cases[] = {{"en", true, 0x1009}, {"pt-br", true, 0x0416}, {"pt", true, 0x0816},  {"cht", true, 0x0404},
                 {"el", true, 0x0408}, {"EN", false, 0x1009},   {"ru", false, 0x1009}, {"", false, 0x1009}};
    for (const auto& c : cases)
    {
        LANGID wLangID = 0;
        EXPECT_EQ(resource.DetectLanguage(c.m_pszCode, wLangID), c.m_bKnown) << c.m_pszCode;
        EXPECT_EQ(wLangID, c.m_wLangID) << c.m_pszCode;
    }
    EXPECT_EQ(g_vecHookTraces.front(), "Resource class can not find language EN. Set english as default");
}

class GetResources : public Resources
{
protected:
    void SetUp() override
    {
        Resources::SetUp();
        m_settings.m_PageCharSet.Init();
        ASSERT_TRUE(m_settings.m_Resource.LoadModule(WindowsPathOf("TestRes64.dll")));
    }

    CDLSWGeneralSettings m_settings;
};

TEST_F(GetResources, InUtf8WithTheEnglishFallback)
{
    CTraceCapture trace;
    std::map<int, ci_string> mapStrings = {{104, "earlier"}};
    EXPECT_FALSE(
        m_settings.GetResources({100, 101, 103, 999, 102, 104}, mapStrings, 1, 0x040C, "windows-1250"));
    const std::map<int, ci_string> expected = {{100, "Ouvrir"},
                                               {101, "Only in English"},
                                               {102, "Ok"},
                                               {103, "&lt;b&gt;Gras&lt;/b&gt; &quot;cit\xc3\xa9&quot;"},
                                               {104, "earlier"}};
    EXPECT_EQ(mapStrings, expected);
    EXPECT_EQ(trace.Lines(),
              (std::vector<std::string>{
                  "GetResources didn't find res ID 101 LANGID 1036, it looked for Englich version 1",
                  "GetResources didn't find res ID 999 LANGID 1036, it looked for Englich version 0",
                  "GetResources can not get res ID 999 for LANGID 1036.",
                  "GetResources didn't find res ID 102 LANGID 1036, it looked for Englich version 1"}));
    mapStrings.clear();
    EXPECT_TRUE(m_settings.GetResources({100, 101}, mapStrings, 7, 0x040C, ""));
    EXPECT_EQ(mapStrings.size(), 2u);
}

TEST_F(GetResources, InThePagesCharacterSet)
{
    for (const int nMode : {2, 3})
    {
        SCOPED_TRACE(nMode);
        std::map<int, ci_string> mapStrings;
        EXPECT_TRUE(m_settings.GetResources({100, 103}, mapStrings, nMode, 0x0419, "windows-1251"));
        EXPECT_EQ(mapStrings.at(100), "\xce\xf2\xea\xf0\xfb\xf2\xfc");
        // Unescaped, in English for want of the language.
        EXPECT_EQ(mapStrings.at(103), "<b>Bold</b> \"quoted\"");
    }
    // Every language fits every page: what the page cannot hold comes as character references.
    const struct
    {
        LANGID m_wLangID;
        const char* m_pszCharSet;
        const char* m_pszOpen;
    } cases[] = {
        {0x0408, "windows-1252", "&#902;&#957;&#959;&#953;&#947;&#956;&#945;"},
        {0x0408, "iso-8859-7", "\xb6\xed\xef\xe9\xe3\xec\xe1"},
        {0x0408, "shift_jis", "&#902;\x83\xcb\x83\xcd\x83\xc7\x83\xc1\x83\xca\x83\xbf"},
        {0x0419, "us-ascii", "&#1054;&#1090;&#1082;&#1088;&#1099;&#1090;&#1100;"},
        {0x0419, "koi8-r", "\xef\xd4\xcb\xd2\xd9\xd4\xd8"},
        {0x040C, "euc-kr", "Ouvrir"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_pszCharSet);
        std::map<int, ci_string> mapStrings;
        EXPECT_TRUE(m_settings.GetResources({100}, mapStrings, 2, c.m_wLangID, c.m_pszCharSet));
        EXPECT_EQ(mapStrings.at(100), c.m_pszOpen);
    }
}

TEST_F(GetResources, ASetThatIsNotKnownIsSaidOnceAndDeliversNothing)
{
    for (const char* pszCharSet : {"x-mac-hebrew", "no-such-set", "\"big5\""})
    {
        SCOPED_TRACE(pszCharSet);
        CTraceCapture trace;
        std::map<int, ci_string> mapStrings;
        EXPECT_FALSE(m_settings.GetResources({100, 104, 103}, mapStrings, 2, 0x040C, pszCharSet));
        EXPECT_TRUE(mapStrings.empty());
        EXPECT_EQ(trace.Lines(),
                  std::vector<std::string>{"GetResources can not translate the res ID 100 LANGID "
                                           "1036, CharSet " +
                                           std::string(pszCharSet)});
    }
}

TEST_F(GetResources, OneStringInUtf8)
{
    CTraceCapture trace;
    ci_string csText = "untouched";
    EXPECT_EQ(GetUTF8ResourceString(m_settings, 100, csText, 0x040C), 1);
    EXPECT_EQ(csText, "Ouvrir");
    // Three bytes or fewer are not delivered.
    csText = "untouched";
    EXPECT_EQ(GetUTF8ResourceString(m_settings, 102, csText, 0x1009), 0);
    EXPECT_EQ(csText, "untouched");
    EXPECT_EQ(GetUTF8ResourceString(m_settings, 101, csText, 0x040C), 0);
    EXPECT_EQ(csText, "untouched");
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{
                                 "[GetUTF8ResourceString] Unable to load resource RES 101 LANGID 1036"});
    EXPECT_EQ(GetUTF8ResourceString(m_settings, 103, csText, 0x1009), 1);
    EXPECT_EQ(csText, "&lt;b&gt;Bold&lt;/b&gt; &quot;quoted&quot;");
}

TEST(ShippedResources, EveryIdTheWorkerUsesInEveryLanguage)
{
    CResource resource;
    ASSERT_TRUE(resource.LoadModule(
        MapPosixPathToWindows(std::string(DLSW_INSTALL_TREE) + "/Resource/DorvRes64.dll")));
    for (const LANGID wLangID : {LANGID(0x1009), LANGID(0x040C), LANGID(0x0407), LANGID(0x0408)})
    {
        for (const int nID :
             {104, 107, 108, 109, 110, 171, 181, 183, 187, 188, 189, 191, 193, 197, 199, 202, 211, 600, 601})
        {
            std::u16string strText;
            EXPECT_TRUE(resource.LoadString(nID, strText, wLangID)) << nID << " " << wLangID;
            EXPECT_GT(strText.size(), 2u);
        }
    }
    std::u16string strText;
    ASSERT_TRUE(resource.LoadString(191, strText, 0x1009));
    EXPECT_EQ(strText, u"You are not authorized to view this file.");
}
} // namespace
