#include "general/OWAADConfig.h"
#include "tests/directory/DirectoryTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <string>
#include <vector>

namespace
{
using OWAADConfigTest = CDirectoryTest;

std::vector<std::string> Texts(const std::vector<ci_string>& vec)
{
    std::vector<std::string> vecOut;
    for (const ci_string& cs : vec)
        vecOut.emplace_back(cs.c_str());
    return vecOut;
}

void ExpectInitialValues(const COWAADConfig& c)
{
    for (int32_t n : {c.m_nVirtualDirectoryType, c.m_nOWAVersion, c.m_nUserContextTimeOut, c.m_nUseISO99519,
                      c.m_nUseGB18030, c.m_nTranscodingFlag, c.m_nRedirectToOptimalOWAServer,
                      c.m_nOutputCharSet, c.m_nNotificationInterval, c.m_nLogonFormat,
                      c.m_nLogonAndErrorLanguage, c.m_nGZipLevel, c.m_nFilterWebBeacons,
                      c.m_nFileAccessControlOnPublicComputers, c.m_nFileAccessControlOnPrivateComputers,
                      c.m_nExchangeProxyDestination, c.m_nDefaultClientLanguage, c.m_nAuthCleanUpLevel})
        EXPECT_EQ(n, 0);
    EXPECT_EQ(c.m_nRemoteDocumentsActionForUnknownServers, -1);
    EXPECT_EQ(c.m_nActionForUnknownFileAndMIMETypes, -1);
    EXPECT_EQ(c.m_nMailboxFolderSet, -1);
    for (const auto* pVec : {&c.m_vecTranscodingMimeTypes, &c.m_vecTranscodingFileTypes,
                             &c.m_vecRemoteDocumentsInternalDomainSuffixes,
                             &c.m_vecRemoteDocumentsBlockedServers, &c.m_vecRemoteDocumentsAllowedServers,
                             &c.m_vecForceSaveMimeTypes, &c.m_vecForceSaveFileTypes, &c.m_vecBlockedMimeTypes,
                             &c.m_vecAllowedMimeTypes, &c.m_vecBlockedFileTypes, &c.m_vecAllowedFileTypes})
        EXPECT_TRUE(pVec->empty());
    EXPECT_TRUE(c.m_csMaxTranscodableDocumentSize.empty());
    EXPECT_TRUE(c.m_strDefaultTheme.empty());
}
} // namespace

TEST(OWAADConfigReaders, OneReaderPerAttributeInOrder)
{
    COWAADConfig config;
    config.BuildAttributeReaders();
    ASSERT_EQ(config.m_vecAttributeReaders.size(), 34u);
    EXPECT_EQ(config.m_vecAttributeReaders.front()->m_strName, "msExchOWAUserContextTimeOut");
    EXPECT_EQ(config.m_vecAttributeReaders.back()->m_strName, "msExchMailboxFolderSet");
    int nLists = 0;
    int nStrings = 0;
    for (const auto& sp : config.m_vecAttributeReaders)
    {
        nLists += sp->m_nKind == ADProp::KIND_LIST ? 1 : 0;
        nStrings += sp->m_nKind == ADProp::KIND_STRING ? 1 : 0;
    }
    EXPECT_EQ(nLists, 11);
    EXPECT_EQ(nStrings, 2);
}

TEST_F(OWAADConfigTest, ReadsEveryAttributeAndLeavesAbsentOnesAtTheirInitialValues)
{
    CTraceCapture trace;
    COWAADConfig c;
    c.BuildAttributeReaders();
    c.m_wstrServerName = L"mail01";
    EXPECT_EQ(c.ReadProperties("mail01.example.test", ""), S_OK);

    struct CInt
    {
        const char* m_pszName;
        int32_t m_nValue;
        int32_t m_nExpected;
    };
    const CInt rgInts[] = {
        {"UserContextTimeOut", c.m_nUserContextTimeOut, 20},
        {"OWAVersion", c.m_nOWAVersion, 8},
        {"VirtualDirectoryType", c.m_nVirtualDirectoryType, 1},
        {"UseISO99519", c.m_nUseISO99519, 1},
        {"UseGB18030", c.m_nUseGB18030, 1},
        {"TranscodingFlag", c.m_nTranscodingFlag, 3},
        {"RemoteDocumentsActionForUnknownServers", c.m_nRemoteDocumentsActionForUnknownServers, 2},
        {"RedirectToOptimalOWAServer", c.m_nRedirectToOptimalOWAServer, 1},
        {"OutputCharSet", c.m_nOutputCharSet, 65001},
        {"NotificationInterval", c.m_nNotificationInterval, 120},
        {"LogonFormat", c.m_nLogonFormat, 2},
        {"LogonAndErrorLanguage", c.m_nLogonAndErrorLanguage, 1033},
        {"GZipLevel (absent)", c.m_nGZipLevel, 0},
        {"FilterWebBeacons", c.m_nFilterWebBeacons, 1},
        {"FileAccessControlOnPublicComputers", c.m_nFileAccessControlOnPublicComputers, 0},
        {"FileAccessControlOnPrivateComputers", c.m_nFileAccessControlOnPrivateComputers, 5},
        {"ExchangeProxyDestination", c.m_nExchangeProxyDestination, 4},
        {"DefaultClientLanguage", c.m_nDefaultClientLanguage, 1036},
        {"AuthCleanUpLevel", c.m_nAuthCleanUpLevel, 2},
        {"ActionForUnknownFileAndMIMETypes", c.m_nActionForUnknownFileAndMIMETypes, 1},
        {"MailboxFolderSet", c.m_nMailboxFolderSet, 7},
    };
    for (const CInt& i : rgInts)
        EXPECT_EQ(i.m_nValue, i.m_nExpected) << i.m_pszName;
    EXPECT_EQ(c.m_csMaxTranscodableDocumentSize, "5000");
    EXPECT_EQ(c.m_strDefaultTheme, "");

    using V = std::vector<std::string>;
    // Lists kept as DN-with-string values and lists kept as plain strings are read alike.
    EXPECT_EQ(Texts(c.m_vecAllowedFileTypes), (V{".DOC", ".txt"}));
    EXPECT_EQ(Texts(c.m_vecBlockedFileTypes), (V{".exe", ".doc"}));
    EXPECT_EQ(Texts(c.m_vecTranscodingFileTypes), (V{".xls"}));
    EXPECT_EQ(Texts(c.m_vecRemoteDocumentsBlockedServers), (V{"intranet1"}));
    EXPECT_EQ(Texts(c.m_vecForceSaveFileTypes), (V{".zip", ".rar"}));
    EXPECT_EQ(Texts(c.m_vecAllowedMimeTypes), (V{"image/png"}));
    EXPECT_EQ(Texts(c.m_vecBlockedMimeTypes), (V{"application/x-msdownload"}));
    EXPECT_EQ(Texts(c.m_vecTranscodingMimeTypes), (V{"application/msword"}));
    EXPECT_EQ(Texts(c.m_vecRemoteDocumentsInternalDomainSuffixes), (V{"example.test"}));
    EXPECT_EQ(Texts(c.m_vecRemoteDocumentsAllowedServers), (V{"docs1", "docs2"}));
    EXPECT_TRUE(c.m_vecForceSaveMimeTypes.empty());

    EXPECT_TRUE(trace.Has("GetExchangeOrganizationCN ExecuteSearch got a handle"));
    EXPECT_TRUE(trace.Has("GetExchangeOrganizationCN ExecuteSearch got a Example Org"));
    for (const char* pszAbsent :
         {"msExchOWAGZipLevel", "msExchOWADefaultTheme", "msExchOWAForceSaveMimeTypes"})
        EXPECT_TRUE(trace.HasPrefix(std::string(" Read OWAProperty ") + pszAbsent + " not found"))
            << pszAbsent;
}

TEST_F(OWAADConfigTest, AServerWithoutAVirtualDirectoryKeepsTheInitialValues)
{
    struct CCase
    {
        const wchar_t* m_pszServer;
        const char* m_pszPathPart;
    };
    // A name holding DN syntax stays one value of the path.
    for (const CCase& c :
         {CCase{L"mail02", ",CN=Protocols,CN=mail02,CN=Servers,"},
          CCase{L"HTTP,CN=Protocols,CN=mail01", ",CN=Protocols,CN=HTTP\\,CN\\=Protocols\\,CN\\=mail01,"}})
    {
        CTraceCapture trace;
        COWAADConfig config;
        config.BuildAttributeReaders();
        config.m_wstrServerName = c.m_pszServer;
        EXPECT_EQ(config.ReadProperties("x", ""), static_cast<HRESULT>(0x80072030));
        ExpectInitialValues(config);
        EXPECT_TRUE(trace.HasPrefix("ReadProperties couldn't GetOWA object prop 0x80072030 No such object"));
        EXPECT_TRUE(trace.Contains(c.m_pszPathPart)) << c.m_pszPathPart;
    }
}

TEST(OWAADConfigOutsideDomain, NothingIsReadAndTheFailureIsTraced)
{
    CMachineConfig::Instance().Reset();
    CTraceCapture trace;
    COWAADConfig config;
    config.BuildAttributeReaders();
    config.m_wstrServerName = L"mail01";
    EXPECT_EQ(config.ReadProperties("mail01.example.test", ""), static_cast<HRESULT>(0x8007054B));
    ExpectInitialValues(config);
    EXPECT_TRUE(trace.HasPrefix(
        "ReadProperties couldn't open AD connection 0x8007054b The specified domain either does not exist or "
        "could not be contacted. LDAP Provider"));
}

TEST(OWAADConfigErrorText, OnlyWin32CodesHaveAProviderText)
{
    CMachineConfig::Instance().Reset();
    IADs* p = nullptr;
    ADsGetObject(u"LDAP://rootDSE", IADs::iid, reinterpret_cast<void**>(&p));
    EXPECT_EQ(COWAADConfig::GetADSIErrorText(static_cast<HRESULT>(0x8007054B)),
              L"The specified domain either does not exist or could not be contacted. LDAP Provider");
    EXPECT_EQ(COWAADConfig::GetADSIErrorText(E_ADS_PROPERTY_NOT_FOUND), L"");
    EXPECT_EQ(COWAADConfig::GetADSIErrorText(E_FAIL), L"");
}

TEST(OWAADConfigOddRoot, AConfigurationContextThatIsNoSingleTextFailsTheRead)
{
    CSlapdServer server;
    std::string strError;
    ASSERT_TRUE(server.Start(strError, "rootdse-two-configurations.ldif")) << strError;
    CMachineConfig::Instance().Reset();
    CMachineConfig::Instance().SetDirectoryServer(server.MachineDirectory());
    CTraceCapture trace;
    COWAADConfig config;
    config.BuildAttributeReaders();
    config.m_wstrServerName = L"mail01";
    // Read but unusable: a failure, so that the read is tried again later, and no object is bound.
    EXPECT_EQ(config.ReadProperties("mail01.example.test", ""), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_TRUE(trace.HasPrefix("GetExchangeOrganizationCN read CN 0x0"));
    EXPECT_FALSE(trace.Contains("GetExchangeOrganizationCN ExecuteSearch"));
    ExpectInitialValues(config);
    CMachineConfig::Instance().Reset();
}
