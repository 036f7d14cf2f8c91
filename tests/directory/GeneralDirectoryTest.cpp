#include "tests/directory/DirectoryFixtures.h"
#include "tests/support/TraceCapture.h"

#include <string>
#include <vector>

namespace
{
std::vector<std::string> EventTexts()
{
    std::vector<std::string> vecTexts;
    for (const RecordedEvent& e : GetRecordedEvents())
        vecTexts.push_back(e.m_strings.empty() ? std::string() : e.m_strings.front());
    return vecTexts;
}

bool AnyEventContains(const std::string& strPart)
{
    for (const std::string& s : EventTexts())
    {
        if (s.find(strPart) != std::string::npos)
            return true;
    }
    return false;
}

using GeneralDirectoryTest = CGeneralDirectoryTest;
} // namespace

TEST_F(GeneralDirectoryTest, OwaSettingsAreReadOnceAtStart)
{
    CTraceCapture trace;
    EXPECT_EQ(m_settings.ReadOWAAD(), S_OK);
    EXPECT_EQ(m_settings.m_OWAADConfig.m_wstrServerName, L"mail01");
    EXPECT_EQ(m_settings.m_OWAADConfig.m_nFileAccessControlOnPrivateComputers, 5);
    EXPECT_EQ(m_settings.m_OWAADConfig.m_vecAllowedFileTypes.size(), 2u);
    EXPECT_TRUE(EventTexts().empty());

    const size_t nSearches = m_pServer->SearchCount();
    EXPECT_EQ(m_settings.ReadOWAAD(), S_OK);
    EXPECT_EQ(m_pServer->SearchCount(), nSearches);
    EXPECT_EQ(m_settings.m_OWAADConfig.m_vecAllowedFileTypes.size(), 2u);
}

TEST_F(GeneralDirectoryTest, AFailedReadIsReportedAndTriedAgainLater)
{
    m_settings.m_strDnsHostName = "mail02";
    m_settings.m_strDnsFullyQualifiedName = "mail02.example.test";
    CTraceCapture trace;
    EXPECT_EQ(m_settings.ReadOWAAD(), static_cast<HRESULT>(0x80072030));
    EXPECT_TRUE(
        trace.HasPrefix("Reading OWA configuration failed 0x80072030 for mail02 mail02.example.test"));
    EXPECT_EQ(EventTexts(),
              std::vector<std::string>{
                  "Reading OWA configuration failed HR: 0x80072030 for FQDNS: mail02.example.test, "
                  "DNS: mail02"});
    EXPECT_EQ(GetRecordedEvents().front().m_wType, EVENTLOG_ERROR_TYPE);

    m_settings.m_strDnsHostName = "mail01";
    EXPECT_EQ(m_settings.ReadOWAAD(), S_OK);
    EXPECT_EQ(m_settings.m_OWAADConfig.m_nOutputCharSet, 65001);
}

TEST_F(GeneralDirectoryTest, FileAccessLevelsFromOwasLists)
{
    // Content types come from the sample machine's registry: .pdf, .xls and .exe have one, .png none.
    CMachineConfig::Instance().SetRegistryFile(std::string(DLSW_SOURCE_DIR) +
                                               "/samples/install/Registry/machine.reg");
    COWAADConfig& owa = m_settings.m_OWAADConfig;
    owa.m_vecAllowedFileTypes = {".DOC", ".txt"};
    owa.m_vecBlockedFileTypes = {".exe", ".doc"};
    owa.m_vecForceSaveFileTypes = {".zip"};
    owa.m_vecBlockedMimeTypes = {"APPLICATION/PDF"};
    owa.m_vecForceSaveMimeTypes = {"application/vnd.ms-excel"};

    struct CCase
    {
        const char* m_pszExt;
        int32_t m_nPublic;  // file-access control on public computers
        int32_t m_nPrivate; // and on private ones
        int32_t m_nAction;  // OWA's action for unlisted types
        DWORD m_dwPublicRet;
        OWAFileAccessLevel m_nPublicLevel;
        DWORD m_dwPrivateRet;
        OWAFileAccessLevel m_nPrivateLevel;
    };
    const CCase rgCases[] = {
        // Control bit 0 decides first, whatever the extension.
        {"doc", 0, 1, 0, 0, 1, 0, 3},
        {"doc", 1, 4, 0, 0, 3, 0, 1},
        {".doc", 0, 0, 0, 0, 1, 0, 1},
        {"doc", 3, 5, -1, 0, 3, 0, 3},
        // The first list that holds an extension decides; case is ignored.
        {"txt", 1, 1, 2, 0, 3, 0, 3},
        {"exe", 1, 1, 0, 0, 1, 0, 1},
        {"ZIP", 1, 1, 0, 0, 2, 0, 2},
        {"pdf", 1, 1, 0, 0, 1, 0, 1},
        {"xls", 1, 1, 0, 0, 2, 0, 2},
        // Unlisted and empty extensions take OWA's action: 0 allow, 1 force-save, 2 block, -1 unread.
        {"png", 1, 1, 0, 0, 3, 0, 3},
        {"png", 1, 1, 1, 0, 2, 0, 2},
        {"png", 1, 1, 2, 0, 1, 0, 1},
        {"png", 1, 1, -1, 0, 2, 0, 2},
        {"png", 1, 1, 7, 13, 0, 13, 0},
        {"", 1, 1, -1, 0, 2, 0, 2},
        {"", 1, 1, 1, 0, 2, 0, 2},
        {"", 1, 1, 3, 13, 0, 13, 0},
        // An extension given with its dot is refused once access is on.
        {".doc", 1, 1, 0, 13, 0, 13, 0},
    };
    for (const CCase& c : rgCases)
    {
        owa.m_nFileAccessControlOnPublicComputers = c.m_nPublic;
        owa.m_nFileAccessControlOnPrivateComputers = c.m_nPrivate;
        owa.m_nActionForUnknownFileAndMIMETypes = c.m_nAction;
        OWAFileAccessLevel nLevel = 99;
        EXPECT_EQ(m_settings.GetOWAFileAccessLevel(c.m_pszExt, true, nLevel), c.m_dwPublicRet)
            << c.m_pszExt << " public, action " << c.m_nAction;
        EXPECT_EQ(nLevel, c.m_nPublicLevel) << c.m_pszExt << " public, action " << c.m_nAction;
        nLevel = 99;
        EXPECT_EQ(m_settings.GetOWAFileAccessLevel(c.m_pszExt, false, nLevel), c.m_dwPrivateRet)
            << c.m_pszExt << " private, action " << c.m_nAction;
        EXPECT_EQ(nLevel, c.m_nPrivateLevel) << c.m_pszExt << " private, action " << c.m_nAction;
    }
}

TEST_F(GeneralDirectoryTest, FileAccessLevelLines)
{
    CMachineConfig::Instance().SetRegistryFile(std::string(DLSW_SOURCE_DIR) +
                                               "/samples/install/Registry/machine.reg");
    ASSERT_EQ(m_settings.ReadOWAAD(), S_OK);
    CTraceCapture trace;
    OWAFileAccessLevel nLevel = 0;
    EXPECT_EQ(m_settings.GetOWAFileAccessLevel("doc", false, nLevel), 0u);
    EXPECT_EQ(nLevel, 3);
    EXPECT_EQ(m_settings.GetOWAFileAccessLevel("exe", true, nLevel), 0u);
    EXPECT_EQ(m_settings.GetOWAFileAccessLevel("rar", false, nLevel), 0u);
    EXPECT_EQ(nLevel, 2);
    EXPECT_EQ(m_settings.GetOWAFileAccessLevel("png", false, nLevel), 0u);
    EXPECT_EQ(nLevel, 2); // the fixture's action is 1
    // The registry lookup of a content type traces lines of its own.
    std::vector<std::string> vecLines;
    for (const std::string& s : trace.Lines())
    {
        if (s.rfind("IdentifyContentType", 0) != 0)
            vecLines.push_back(s);
    }
    EXPECT_EQ(
        vecLines,
        (std::vector<std::string>{
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Starts. csExt <doc> Public client <N>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList] Starts. csExt <.doc>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList]  Extension .doc, allowed by OWA",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] returns dwRet <0>. For extension <doc> "
            "nOWAFileAccessLevel is <3> <allowed>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Starts. csExt <exe> Public client <Y>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Direct file access is disabled for <public> "
            "clients.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] returns dwRet <0>. For extension <exe> "
            "nOWAFileAccessLevel is <1> <blocked>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Starts. csExt <rar> Public client <N>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList] Starts. csExt <.rar>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList] returned bReturn <FALSE>.",
            "[CDLSWGeneralSettings::IsExtensionInOWABlockList] Starts. csExt <.rar>.",
            "[CDLSWGeneralSettings::IsExtensionInOWABlockList] returned bReturn <FALSE>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAForceSaveList] Starts. csExt <.rar>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAForceSaveList]  Extension .rar, set to \"Force-save\" by "
            "OWA",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] returns dwRet <0>. For extension <rar> "
            "nOWAFileAccessLevel is <2> <force-save>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Starts. csExt <png> Public client <N>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList] Starts. csExt <.png>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAAllowList] returned bReturn <FALSE>.",
            "[CDLSWGeneralSettings::IsExtensionInOWABlockList] Starts. csExt <.png>.",
            "[CDLSWGeneralSettings::IsExtensionInOWABlockList] returned bReturn <FALSE>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAForceSaveList] Starts. csExt <.png>.",
            "[CDLSWGeneralSettings::IsExtensionInOWAForceSaveList] returned bReturn <FALSE>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Default OWA access level for unknown files is <2> "
            "<force-save>.",
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] returns dwRet <0>. For extension <png> "
            "nOWAFileAccessLevel is <2> <force-save>.",
        }));
}

TEST(GeneralDirectoryOutsideDomain, DirectFileAccessIsOffWhenOwasSettingsCannotBeRead)
{
    CMachineConfig::Instance().Reset();
    CDLSWGeneralSettings settings;
    settings.m_strDnsHostName = "mail01";
    settings.m_strDnsFullyQualifiedName = "mail01.example.test";
    settings.m_OWAADConfig.BuildAttributeReaders();
    EXPECT_EQ(settings.ReadOWAAD(), static_cast<HRESULT>(0x8007054B));
    for (const char* pszExt : {"doc", "txt", "zip", ""})
    {
        for (const bool bPublic : {true, false})
        {
            OWAFileAccessLevel nLevel = 0;
            EXPECT_EQ(settings.GetOWAFileAccessLevel(pszExt, bPublic, nLevel), 0u);
            EXPECT_EQ(nLevel, 1) << pszExt;
        }
    }
}

TEST_F(GeneralDirectoryTest, ASecondRequestOfTheSessionIsAnsweredByTheCache)
{
    StartCache();
    const std::string strCookie = "theme=x; UserContext=" + Session("-1") + "; other=1";
    std::string strValue;
    const size_t nBefore = m_pServer->SearchCount();
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\ann", "msExchUserCulture", strValue, strCookie), S_OK);
    EXPECT_EQ(strValue, "fr-FR");
    const size_t nAfterFirst = m_pServer->SearchCount();
    EXPECT_GT(nAfterFirst, nBefore);

    CTraceCapture trace;
    std::string strAgain;
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\ann", "msExchUserCulture", strAgain, strCookie), S_OK);
    EXPECT_EQ(strAgain, "fr-FR");
    EXPECT_EQ(m_pServer->SearchCount(), nAfterFirst);
    EXPECT_TRUE(
        trace.Has("[CDLGeneralSettings::GetADProperty] Get property from cache successfull, Value: fr-FR !"));

    // Another browser session reads the directory again.
    std::string strOther;
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\ann", "msExchUserCulture", strOther,
                                       "UserContext=" + Session("-2")),
              S_OK);
    EXPECT_EQ(strOther, "fr-FR");
    EXPECT_GT(m_pServer->SearchCount(), nAfterFirst);
    EXPECT_TRUE(EventTexts().empty());
}

TEST_F(GeneralDirectoryTest, TheSessionComesFromUserContextThenSessionIdThenTheUser)
{
    StartCache();
    std::string strValue;
    ASSERT_EQ(
        m_settings.GetADProperty("EXAMPLE\\bob", "msExchUserCulture", strValue, "SESSIONID=" + Session("-s")),
        S_OK);
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\bob", "msExchUserCulture", strValue, "a=b"), S_OK);
    const auto stored = [&](const std::string& strSession)
    {
        char* psz = nullptr;
        const bool bFound = m_settings.m_KSCache.GetItemSessionProperty(
            AD_USER_CONFIG_CACHE, "bob", &psz, strSession.c_str(), "msExchUserCulture");
        delete[] psz;
        return bFound;
    };
    EXPECT_TRUE(stored(Session("-s")));
    // Without either cookie the user's own name stands for the session.
    EXPECT_TRUE(stored("bob"));
}

TEST_F(GeneralDirectoryTest, AFailedReadIsNotCachedAndItsSessionIsNotLogged)
{
    StartCache();
    const std::string strCookie = "UserContext=secret-" + Session("");
    std::string strValue = "unchanged";
    const size_t nBefore = m_pServer->SearchCount();
    EXPECT_EQ(m_settings.GetADProperty("EXAMPLE\\carl", "msExchUserCulture", strValue, strCookie), E_FAIL);
    EXPECT_EQ(strValue, "unchanged");
    const size_t nAfterFirst = m_pServer->SearchCount();
    EXPECT_GT(nAfterFirst, nBefore);
    EXPECT_EQ(m_settings.GetADProperty("EXAMPLE\\carl", "msExchUserCulture", strValue, strCookie), E_FAIL);
    EXPECT_GT(m_pServer->SearchCount(), nAfterFirst);

    const std::vector<std::string> vecEvents = EventTexts();
    ASSERT_EQ(vecEvents.size(), 2u);
    EXPECT_EQ(vecEvents[0].rfind("ERROR: ", 0), 0u);
    EXPECT_NE(
        vecEvents[0].find(". Dorvel could not access AD to get property msExchUserCulture for User carl "
                          "Session secr..."),
        std::string::npos)
        << vecEvents[0];
    EXPECT_FALSE(AnyEventContains("secret-"));
}

TEST_F(GeneralDirectoryTest, AnAddressIsSearchedAgainByProxyAddress)
{
    StartCache();
    std::string strValue;
    EXPECT_EQ(m_settings.GetADProperty("ann.archer@example.test", "msExchUserCulture", strValue,
                                       "UserContext=" + Session("")),
              S_OK);
    EXPECT_EQ(strValue, "fr-FR");
    const std::vector<std::string> vecFilters = m_pServer->SearchFilters();
    ASSERT_GE(vecFilters.size(), 2u);
    EXPECT_NE(vecFilters.back().find("proxyAddresses"), std::string::npos) << vecFilters.back();
}

TEST_F(GeneralDirectoryTest, WithoutTheCacheEveryRequestReadsTheDirectory)
{
    // No StartCache: the component is there but the client was never initialised.
    std::string strValue;
    const std::string strCookie = "UserContext=nocache-" + Session("");
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\ann", "msExchUserCulture", strValue, strCookie), S_OK);
    EXPECT_EQ(strValue, "fr-FR");
    const size_t nAfterFirst = m_pServer->SearchCount();
    ASSERT_EQ(m_settings.GetADProperty("EXAMPLE\\ann", "msExchUserCulture", strValue, strCookie), S_OK);
    EXPECT_GT(m_pServer->SearchCount(), nAfterFirst);
    const std::vector<std::string> vecEvents = EventTexts();
    ASSERT_EQ(vecEvents.size(), 2u);
    EXPECT_EQ(vecEvents[0],
              "Dorvel failed to store in cache AD property msExchUserCulture for User ann Session "
              "noca... Value fr-FR");
}

TEST_F(GeneralDirectoryTest, ANameThatCannotBeStrippedAsksNothing)
{
    StartCache();
    std::string strValue = "unchanged";
    const size_t nBefore = m_pServer->SearchCount();
    EXPECT_EQ(m_settings.GetADProperty("EXAMPLE\\", "msExchUserCulture", strValue, "UserContext=x"), S_OK);
    EXPECT_EQ(strValue, "unchanged");
    EXPECT_EQ(m_pServer->SearchCount(), nBefore);
}

TEST_F(GeneralDirectoryTest, TheDirectorysCultureDecidesTheLanguageBeforeTheBrowser)
{
    StartCache();
    struct CCase
    {
        const char* m_pszUser;
        const char* m_pszAcceptLanguage;
        const char* m_pszCode;
        LANGID m_wLangID;
    };
    const CCase rgCases[] = {
        {"EXAMPLE\\ann", "de-DE,de;q=0.8", "fr", 0x040C},
        {"EXAMPLE\\bob", "fr-FR", "de", 0x0407},
        // No culture in the directory, or no such user: the browser decides.
        {"EXAMPLE\\carl", "de-DE", "de", 0x0407},
        {"EXAMPLE\\nobody", "fr-CA,fr", "fr", 0x0C0C},
    };
    for (const CCase& c : rgCases)
    {
        ci_string csCode;
        LANGID wLangID = 0;
        EXPECT_TRUE(m_settings.DetectUserLanguage(c.m_pszUser, c.m_pszAcceptLanguage, csCode, wLangID,
                                                  "UserContext=" + Session("")))
            << c.m_pszUser;
        EXPECT_EQ(csCode, c.m_pszCode) << c.m_pszUser;
        EXPECT_EQ(wLangID, c.m_wLangID) << c.m_pszUser;
    }
}

TEST(GeneralDirectoryOutsideDomain, TheBrowserDecidesTheLanguageWhenTheDirectoryCannotBeRead)
{
    CMachineConfig::Instance().Reset();
    CDLSWGeneralSettings settings;
    settings.BuildLanguageTagMap();
    settings.BuildBrowserLanguageList();
    ci_string csCode;
    LANGID wLangID = 0;
    EXPECT_TRUE(settings.DetectUserLanguage("EXAMPLE\\ann", "de-DE", csCode, wLangID, "UserContext=x"));
    EXPECT_EQ(csCode, "de");
    EXPECT_EQ(wLangID, 0x0407);
}
