// An installation laid out in a temporary folder seen as drive D:, with a loaded module standing in for
// the worker in its bin folder, so that the general settings find their directories from its path.
#pragma once

#include "common/TraceLog.h"
#include "platform/MachineConfig.h"
#include "platform/WinEventLog.h"
#include "platform/WinFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

inline std::string FixtureModule(const std::string& strName)
{
    return std::string(DLSW_FIXTURE_MODULES) + "/" + strName;
}

// A worker module at D:\<relative directory>\<name>.so, loaded for as long as the object lives.
class CLoadedTestModule
{
public:
    CLoadedTestModule(const fs::path& root, const std::string& strRelativeDirectory)
    {
        static std::atomic<int> s_nNext{0};
        m_strName = "TestWorker" + std::to_string(++s_nNext);
        m_directory = root / strRelativeDirectory;
        fs::create_directories(m_directory);
        fs::copy_file(FixtureModule("MarkerModule.so"), m_directory / (m_strName + ".so"));
        m_pHandle = dlopen((m_directory / (m_strName + ".so")).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~CLoadedTestModule()
    {
        if (m_pHandle != nullptr)
            dlclose(m_pHandle);
    }
    CLoadedTestModule(const CLoadedTestModule&) = delete;
    CLoadedTestModule& operator=(const CLoadedTestModule&) = delete;

    // The Windows module name the worker asks for.
    std::string ModuleName() const { return m_strName + ".dll"; }
    bool Loaded() const { return m_pHandle != nullptr; }

    std::string m_strName;
    fs::path m_directory;
    void* m_pHandle = nullptr;
};

// Drive D: in a temporary folder; events recorded only; the trace state back to its start afterwards.
class CGeneralSettingsTest : public ::testing::Test
{
protected:
    CGeneralSettingsTest() : m_dir("dlsw-general"), m_root(m_dir.Path()) {}

    void SetUp() override
    {
        ResetTraceLogState();
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetDriveRoot('D', m_root.string());
        SetEventLogToSyslog(false);
        ClearRecordedEvents();
    }
    void TearDown() override
    {
        ResetTraceLogState();
        CMachineConfig::Instance().Reset();
    }

    // An installation at D:\<product path>\: bin\ with the module, Settings\, Resource\ and, beside it,
    // Common Files\ with the link criteria and the log module.
    fs::path LayOutInstallation(const std::string& strProductPath, bool bSettings = true,
                                bool bResources = true)
    {
        const fs::path install = m_root / strProductPath;
        fs::create_directories(install / "Settings");
        fs::create_directories(install / "Resource");
        fs::create_directories(install.parent_path() / "Common Files" / "Settings");
        fs::create_directories(install.parent_path() / "Common Files" / "bin");
        if (bSettings)
            fs::copy_file(fs::path(DLSW_SOURCE_DIR) / "samples/install/Settings/SWSettings.xml",
                          install / "Settings" / "SWSettings.xml", fs::copy_options::overwrite_existing);
        fs::copy_file(fs::path(DLSW_SOURCE_DIR) / "samples/Common Files/Settings/LinkCriteriaSettings.xml",
                      install.parent_path() / "Common Files" / "Settings" / "LinkCriteriaSettings.xml",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(fs::path(DLSW_COMMON_FILES) / "bin" / "LogModule.so",
                      install.parent_path() / "Common Files" / "bin" / "LogModule.so",
                      fs::copy_options::overwrite_existing);
        if (bResources)
            fs::copy_file(fs::path(DLSW_INSTALL_TREE) / "Resource" / "DorvRes64.so",
                          install / "Resource" / "DorvRes64.so", fs::copy_options::overwrite_existing);
        return install;
    }

    // Writes a settings file with these general items (id, value) over the installation's.
    static void WriteSettings(const fs::path& install,
                              const std::vector<std::pair<int, std::string>>& vecItems)
    {
        std::string strXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SETTINGS>\n  <GENERALSETTINGS>\n";
        for (const auto& [nID, strValue] : vecItems)
            strXml +=
                "    <ITEM ID=\"" + std::to_string(nID) + "\" DESCR=\"item\" VALUE=\"" + strValue + "\"/>\n";
        strXml += "  </GENERALSETTINGS>\n  <SETTING ID=\"1\" DESCR=\"Internal users\">\n    <ENGINES/>\n"
                  "  </SETTING>\n</SETTINGS>\n";
        std::ofstream(install / "Settings" / "SWSettings.xml", std::ios::binary | std::ios::trunc) << strXml;
    }

    // The events of one id.
    static std::vector<RecordedEvent> EventsOf(DWORD dwEventId)
    {
        std::vector<RecordedEvent> vecOut;
        for (const RecordedEvent& event : GetRecordedEvents())
        {
            if (event.m_dwEventId == dwEventId)
                vecOut.push_back(event);
        }
        return vecOut;
    }

    CTempDir m_dir;
    fs::path m_root;
};
