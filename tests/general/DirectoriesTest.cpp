#include "general/DLSWGeneralSettings.h"
#include "tests/general/GeneralTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <fstream>

namespace
{
class Directories : public CGeneralSettingsTest
{
protected:
    bool Load(const CLoadedTestModule& module, std::string& strError)
    {
        return m_settings.LoadSettings(module.ModuleName().c_str(), "DorvRes64.dll", strError, 1);
    }

    CDLSWGeneralSettings m_settings;
};

TEST_F(Directories, DeriveFromTheModulesPath)
{
    struct Case
    {
        const char* m_pszProduct; // the install directory under D:
        const char* m_pszInstall;
        const char* m_pszProductFolder;
        const char* m_pszCommonFiles;
    };
    const Case cases[] = {
        {"A/B", "D:\\A\\B\\", "B", "D:\\A\\Common Files\\"},
        {"Program Files/Kestrune/Dorvel", "D:\\Program Files\\Kestrune\\Dorvel\\", "Dorvel",
         "D:\\Program Files\\Kestrune\\Common Files\\"},
        {"P", "D:\\P\\", "P", "D:\\Common Files\\"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszProduct);
        CDLSWGeneralSettings settings;
        const fs::path install = LayOutInstallation(c.m_pszProduct);
        WriteSettings(install, {{14, "0"}});
        CLoadedTestModule module(m_root, std::string(c.m_pszProduct) + "/bin");
        std::string strError;
        ASSERT_TRUE(settings.LoadSettings(module.ModuleName().c_str(), "DorvRes64.dll", strError, 1))
            << strError;
        EXPECT_EQ(strError, "");
        EXPECT_EQ(settings.m_strInstallDirectory, c.m_pszInstall);
        EXPECT_EQ(settings.m_strProductFolderName, c.m_pszProductFolder);
        EXPECT_EQ(settings.m_strCommonFilesDirectory, c.m_pszCommonFiles);
        EXPECT_EQ(settings.m_strSettingsDirectory, std::string(c.m_pszInstall) + "Settings\\");
        EXPECT_EQ(settings.m_Resource.m_strPath, std::string(c.m_pszInstall) + "Resource\\DorvRes64.dll");
        EXPECT_EQ(settings.m_strTempDirectory, std::string(c.m_pszInstall) + "Temp");
        EXPECT_TRUE(fs::is_directory(install / "Temp"));
    }
}

TEST_F(Directories, ModuleAtTheDrivesRootKeepsTheInstallDirectoryAsCommonFiles)
{
    // The module in D:\bin\: the install directory is the drive's root, which has no parent.
    const fs::path install = LayOutInstallation(".");
    WriteSettings(install, {{14, "0"}});
    CLoadedTestModule module(m_root, "bin");
    std::string strError;
    Load(module, strError);
    EXPECT_EQ(m_settings.m_strInstallDirectory, "D:\\");
    EXPECT_EQ(m_settings.m_strProductFolderName, "");
    EXPECT_EQ(m_settings.m_strCommonFilesDirectory, "D:\\");
}

TEST_F(Directories, TempDirectoryFromTheSettingOrRefused)
{
    const fs::path install = LayOutInstallation("A/B");
    CLoadedTestModule module(m_root, "A/B/bin");
    std::string strError;

    WriteSettings(install, {{14, "0"}, {17, "D:\\Work\\Tmp"}});
    EXPECT_TRUE(Load(module, strError));
    EXPECT_EQ(m_settings.m_strTempDirectory, "D:\\Work\\Tmp");
    EXPECT_TRUE(fs::is_directory(m_root / "Work" / "Tmp"));

    // A drive this machine does not have: the directory cannot be made, and loading fails.
    WriteSettings(install, {{14, "0"}, {17, "Q:\\Tmp"}});
    CTraceCapture trace;
    EXPECT_FALSE(Load(module, strError));
    EXPECT_TRUE(trace.HasPrefix(" Can not create Temp Directory Q:\\Tmp   "));
}

TEST_F(Directories, SettingsDirectoryOfAtMost260Characters)
{
    // D:\<name>\ + "Settings\": 13 characters besides the name.
    for (const auto& [nName, bFits] : {std::pair<size_t, bool>{247, true}, {248, false}})
    {
        SCOPED_TRACE(nName);
        CDLSWGeneralSettings settings;
        const std::string strName(nName, 'n');
        const fs::path install = LayOutInstallation(strName);
        WriteSettings(install, {{14, "0"}, {7, "Long"}});
        CLoadedTestModule module(m_root, strName + "/bin");
        std::string strError;
        CTraceCapture trace;
        settings.LoadSettings(module.ModuleName().c_str(), "DorvRes64.dll", strError, 1);
        EXPECT_EQ(settings.m_strSettingsDirectory.size(), bFits ? 260u : 261u);
        ci_string csFolder;
        if (bFits)
        {
            EXPECT_NE(strError, "Path length exceeded MAX_PATH ");
            EXPECT_TRUE(settings.GetSettingFromID(7, csFolder, 0, 0));
            EXPECT_EQ(csFolder, "Long");
        }
        else
        {
            EXPECT_EQ(strError, "Path length exceeded MAX_PATH ");
            EXPECT_TRUE(trace.Has(" LoadSettings incorrect path " + settings.m_strSettingsDirectory));
            EXPECT_FALSE(settings.GetSettingFromID(7, csFolder, 0, 0));
        }
    }
}

TEST_F(Directories, ModuleThatIsNotLoaded)
{
    std::string strError;
    CTraceCapture trace;
    CEventLog& eventLog = m_settings.m_EventLog;
    eventLog.Register("Kestrune Dorvel");
    EXPECT_FALSE(m_settings.LoadSettings("NoSuchModule.dll", "DorvRes64.dll", strError, 1));
    EXPECT_EQ(strError, "Can not get module path NoSuchModule.dll");
    EXPECT_TRUE(trace.Has("GetModulePath didn't find the module NoSuchModule.dll"));
    const auto vecEvents = GetRecordedEvents();
    ASSERT_FALSE(vecEvents.empty());
    EXPECT_EQ(vecEvents.front().m_strings,
              std::vector<std::string>{"Can not get module path NoSuchModule.dll"});
    EXPECT_FALSE(m_settings.LoadSettings(nullptr, "DorvRes64.dll", strError, 1));
    EXPECT_TRUE(trace.Has("LoadSettings has NULL ModuleName"));
}

TEST_F(Directories, ExchangeVersionClassesAtTheirBoundaries)
{
    struct Case
    {
        const char* m_pszValue; // "NewestBuild"=<value>; null: no value; "nokey": no key at all
        ExchangeVersionClass m_dwClass;
    };
    const Case cases[] = {
        {"dword:00000000", 0},  {"dword:00000fa0", 0}, {"dword:00000fa1", 1}, {"dword:0000176f", 1},
        {"dword:00001770", 0},  {"dword:00001771", 2}, {"dword:0000270f", 2}, {"dword:00002710", 4},
        {"dword:000036af", 4},  {"dword:000036b0", 8}, {"dword:0000ffff", 8}, {"\"14000\"", 0},
        {"hex:b0,36,00,00", 0}, {nullptr, 0},          {"nokey", 0},
    };
    const fs::path reg = m_root / "machine.reg";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszValue != nullptr ? c.m_pszValue : "(absent)");
        std::ofstream out(reg, std::ios::trunc);
        out << "Windows Registry Editor Version 5.00\n\n";
        if (c.m_pszValue == nullptr || std::string(c.m_pszValue) != "nokey")
        {
            out << "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Exchange\\Setup]\n\"MsiProductMajor\"=dword:"
                   "0000000e\n";
            if (c.m_pszValue != nullptr)
                out << "\"NewestBuild\"=" << c.m_pszValue << "\n";
        }
        out.close();
        CMachineConfig::Instance().SetRegistryFile(reg.string());
        EXPECT_EQ(m_settings.GetExchangeVersion(), c.m_dwClass);
    }
}

TEST_F(Directories, ExchangeVersionIsTraced)
{
    CMachineConfig::Instance().SetRegistryFile(std::string(DLSW_SOURCE_DIR) +
                                               "/samples/install/Registry/machine.reg");
    CTraceCapture trace;
    EXPECT_EQ(m_settings.GetExchangeVersion(), 8u);
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{"Exchange NewestBuild 15000, Version 8.3.123.2"});
}

TEST(ExtractUserName, Table)
{
    struct Case
    {
        const char* m_pszIn;
        bool m_bResult;
        const char* m_pszOut;
    };
    const Case cases[] = {
        {"dom\\user", true, "user"},
        {"user@dom.example", true, "user"},
        {"user@", true, "user@"},
        {"dom\\", false, "dom\\"},
        {"dom/user", true, "user"},
        {"dom/", false, "dom/"},
        {"user", true, "user"},
        {"", false, ""},
        {"a\\b@c", true, "b@c"},
        {"x@y/z", true, "x"},
        {"dom\\sub\\user", true, "sub\\user"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszIn);
        std::string strName = c.m_pszIn;
        EXPECT_EQ(CGeneralSettings::ExtractUserName(strName), c.m_bResult);
        EXPECT_EQ(strName, c.m_pszOut);
        ci_string csName = c.m_pszIn;
        EXPECT_EQ(CGeneralSettings::ExtractUserName(csName), c.m_bResult);
        EXPECT_EQ(csName, c.m_pszOut);
    }
    CTraceCapture trace;
    std::string strEmpty;
    CGeneralSettings::ExtractUserName(strEmpty);
    std::string strBad = "dom\\";
    CGeneralSettings::ExtractUserName(strBad);
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "[CGeneralSettings::ExtractUserName] Username is empty.",
                                 "CGeneralSettings::ExtractUserName got an invalid Username format dom\\ "}));
}

TEST_F(Directories, ComputerNamesFromTheMachine)
{
    CMachineConfig::Instance().SetComputerName("WEB01", "web01", "corp.example");
    std::string strFull;
    std::string strHost;
    CTraceCapture trace;
    EXPECT_TRUE(m_settings.GetComputerNames(strFull, strHost));
    EXPECT_EQ(strFull, "web01.corp.example");
    EXPECT_EQ(strHost, "web01");
    EXPECT_TRUE(trace.Has("GetComputerName ComputerNameDnsFullyQualified web01.corp.example"));
    EXPECT_TRUE(trace.HasPrefix("GetComputerName ComputerNameDnsHostname web01 Err: 0   "));
}
} // namespace
