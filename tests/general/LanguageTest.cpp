#include "general/DLSWGeneralSettings.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

namespace
{
class Languages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_settings.BuildLanguageTagMap();
        m_settings.BuildBrowserLanguageList();
    }

    CDLSWGeneralSettings m_settings;
};

TEST_F(Languages, TablesAreBuiltOnce)
{
    m_settings.BuildLanguageTagMap();
    m_settings.BuildBrowserLanguageList();
    EXPECT_EQ(m_settings.m_mapLanguageTags.size(), 145u);
    EXPECT_EQ(m_settings.m_listBrowserLanguages.size(), 26u);
    EXPECT_EQ(m_settings.m_mapLanguageTags.at("es-c"), 0x340Au);
    EXPECT_EQ(m_settings.m_mapLanguageTags.at("es-hn"), 0x480Au);
    EXPECT_EQ(m_settings.m_listBrowserLanguages[21], std::make_pair(ci_string("zh-hk"), ci_string("chs")));
    EXPECT_EQ(m_settings.m_listBrowserLanguages[22], std::make_pair(ci_string("zh"), ci_string("cht")));
}

TEST_F(Languages, TagToLanguageId)
{
    const struct
    {
        const char* m_pszTag;
        bool m_bFound;
        LANGID m_wLangID;
    } cases[] = {{"en-ca", true, 0x1009}, {"EN-CA,fr", true, 0x1009}, {"fr-CA,fr", true, 0x0C0C},
                 {"en", true, 0x0409},    {"nn", false, 0},           {"", false, 0},
                 {" fr", false, 0},       {"zh-CHT", false, 0}};
    for (const auto& c : cases)
    {
        LANGID wLangID = 77;
        EXPECT_EQ(m_settings.GetLanguageIDFromTag(c.m_pszTag, wLangID), c.m_bFound) << c.m_pszTag;
        EXPECT_EQ(wLangID, c.m_wLangID) << c.m_pszTag;
    }
}

TEST_F(Languages, FromTheBrowsersHeader)
{
    const struct
    {
        const char* m_pszHeader;
        bool m_bResult;
        const char* m_pszCode;
        LANGID m_wLangID;
    } cases[] = {
        {"fr-CA,fr;q=0.9,en;q=0.8", true, "fr", 0x0C0C},
        {"zh-HK", true, "chs", 0x0C04},
        {"zh-CHT", true, "cht", 0},
        {"zh-tw", true, "cht", 0x0404},
        {"pt-BR", true, "pt-br", 0x0416},
        {"pt-PT", true, "pt", 0x0816},
        {"nb-NO", true, "no", 0x0414},
        {"de-AT,de;q=0.5", true, "de", 0x0C07},
        {"xx;fr-FR", true, "fr", 0},
        // A quality value never matches; the header's order decides.
        {"q=0.9;el", true, "el", 0},
        {"ru;q=1,de", false, "en", 0x0419},
        {" fr", false, "en", 0},
        {"nn", false, "en", 0},
        {"", false, "en", 9},
        {";", false, "en", 9},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_pszHeader);
        ci_string csCode = "unset";
        LANGID wLangID = 77;
        EXPECT_EQ(m_settings.DetectBrowserLanguage(c.m_pszHeader, csCode, wLangID), c.m_bResult);
        EXPECT_EQ(csCode, c.m_pszCode);
        EXPECT_EQ(wLangID, c.m_wLangID);
    }
}

TEST_F(Languages, UserWithoutADirectoryGoesWithTheBrowser)
{
    CTraceCapture trace;
    ci_string csCode;
    LANGID wLangID = 0;
    EXPECT_TRUE(m_settings.DetectUserLanguage("DOM\\user", "de-AT", csCode, wLangID, "UserContext=abc"));
    EXPECT_EQ(csCode, "de");
    EXPECT_EQ(wLangID, 0x0C07);
    EXPECT_TRUE(trace.Has("DetectUserLanguage failed and goes with Browser language"));
    EXPECT_TRUE(trace.Has("DetectUserLanguage User: DOM\\user Language: de"));
}
} // namespace
