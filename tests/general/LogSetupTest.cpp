#include "general/DLSWGeneralSettings.h"
#include "platform/WinFileMapping.h"
#include "platform/WinHandle.h"
#include "tests/general/GeneralTestSupport.h"

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
using Items = std::vector<std::pair<int, std::string>>;

class LogSetup : public CGeneralSettingsTest
{
protected:
    // Loads the settings of an installation at D:\Kestrune\Dorvel\ and runs the log set-up.
    void SetUpLog(const Items& vecItems, bool bLogModule = true)
    {
        const fs::path install = LayOutInstallation("Kestrune/Dorvel");
        if (!bLogModule)
            fs::remove(install.parent_path() / "Common Files" / "bin" / "LogModule.so");
        WriteSettings(install, vecItems);
        m_spModule = std::make_unique<CLoadedTestModule>(m_root, "Kestrune/Dorvel/bin");
        std::string strError;
        ASSERT_TRUE(m_settings.LoadSettings(m_spModule->ModuleName().c_str(), "DorvRes64.dll", strError, 1))
            << strError;
        m_settings.InitLog(m_spModule->ModuleName().c_str(), -1);
    }

    std::string Module() const { return m_spModule->m_strName; }

    void TearDown() override
    {
        // The log lock lives in the log module the settings hold: the trace state lets go of it first.
        ResetTraceLogState();
        CGeneralSettingsTest::TearDown();
    }

    std::unique_ptr<CLoadedTestModule> m_spModule;
    CDLSWGeneralSettings m_settings;
};

TEST_F(LogSetup, SettingsChooseTheSinkSizeAndPath)
{
    const std::string strSystemLogs = "C:\\Windows\\System32\\LogFiles\\KestruneLogs\\";
    struct Case
    {
        const char* m_pszName;
        Items m_vecItems;
        PFN_TRACE_FUNCTION m_pfnSink;
        DWORD m_dwMask;
        int32_t m_nMaxSize;
        std::string m_strPath; // after the system's log folder unless it holds a backslash
        bool m_bModulePrefix;
        bool m_bDump;
        bool m_bLock;
    };
    const std::vector<Case> cases = {
        {"file sink",
         {{14, "1"}, {12, "2"}, {13, "512"}},
         &TraceLogToFile,
         2,
         524288,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"event log whatever the destination",
         {{14, "10"}, {12, "2"}, {13, "512"}},
         &WriteEventLogTrace,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"tracing off",
         {{14, "0"}, {12, "1"}},
         &TraceLogToSharedMemory,
         0,
         TRACE_DEFAULT_MAX_SIZE,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"defaults",
         {},
         &TraceLogToSharedMemory,
         0,
         TRACE_DEFAULT_MAX_SIZE,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"other destination",
         {{14, "1"}, {12, "3"}, {13, "64"}},
         &TraceLogToFallbackFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"size beyond the section",
         {{14, "1"}, {12, "1"}, {13, "4000000"}},
         &TraceLogToSharedMemory,
         2,
         1073741824,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"size not positive",
         {{14, "1"}, {12, "1"}, {13, "-5"}},
         &TraceLogToSharedMemory,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KSCommonLog.log",
         true,
         false,
         true},
        {"own log",
         {{14, "1"}, {12, "1"}, {75, "1"}},
         &TraceLogToSharedMemory,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "(module).log",
         false,
         true,
         true},
        {"shared log named CON",
         {{14, "1"}, {12, "2"}, {23, "CON"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KS_CON",
         true,
         false,
         true},
        {"shared log name sanitised",
         {{14, "1"}, {12, "1"}, {23, " a:b?c*d.log "}},
         &TraceLogToSharedMemory,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "a_b_c_d.log",
         true,
         false,
         true},
        {"COM1.log reserved",
         {{14, "1"}, {12, "2"}, {23, "COM1.log"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KS_COM1.log",
         true,
         false,
         true},
        {"COM10 allowed",
         {{14, "1"}, {12, "2"}, {23, "COM10"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "COM10",
         true,
         false,
         true},
        {"lpt2 reserved",
         {{14, "1"}, {12, "2"}, {23, "lpt2"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KS_lpt2",
         true,
         false,
         true},
        {"no lock for another destination",
         {{14, "1"}, {12, "3"}, {23, "shared.log"}},
         &TraceLogToFallbackFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "shared.log",
         true,
         false,
         false},
        // A name never leaves the log folder.
        {"parent folder as name",
         {{14, "1"}, {12, "2"}, {23, ".."}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KS_..",
         true,
         false,
         true},
        {"absolute path as name",
         {{14, "1"}, {12, "2"}, {23, "C:\\Windows\\win.ini"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "C__Windows_win.ini",
         true,
         false,
         true},
        {"relative path as name",
         {{14, "1"}, {12, "2"}, {23, "..\\..\\x.log"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         ".._.._x.log",
         true,
         false,
         true},
        {"blank name",
         {{14, "1"}, {12, "2"}, {23, "   "}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "KS_",
         true,
         false,
         true},
        {"log folder",
         {{14, "1"}, {12, "2"}, {39, "D:\\Logs"}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "D:\\Logs\\KestruneLogs\\KSCommonLog.log",
         true,
         false,
         true},
        {"log folder too long",
         {{14, "1"}, {12, "2"}, {39, "D:\\" + std::string(240, 'l')}},
         &TraceLogToFile,
         2,
         TRACE_DEFAULT_MAX_SIZE,
         "C:\\LogError.txt",
         true,
         false,
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        ResetTraceLogState();
        CDLSWGeneralSettings settings;
        const fs::path install = LayOutInstallation("Kestrune/Dorvel");
        WriteSettings(install, c.m_vecItems);
        CLoadedTestModule module(m_root, "Kestrune/Dorvel/bin");
        std::string strError;
        ASSERT_TRUE(settings.LoadSettings(module.ModuleName().c_str(), "DorvRes64.dll", strError, 1));
        settings.InitLog(module.ModuleName().c_str(), -1);

        EXPECT_EQ(GetTraceFunction(), c.m_pfnSink);
        EXPECT_EQ(GetTraceMask(), c.m_dwMask);
        EXPECT_EQ(GetTraceLogMaxSize(), c.m_nMaxSize);
        std::string strPath = c.m_strPath == "(module).log" ? module.m_strName + ".log" : c.m_strPath;
        if (strPath.find('\\') == std::string::npos)
            strPath = strSystemLogs + strPath;
        EXPECT_EQ(GetTraceLogPath(), strPath);
        EXPECT_EQ(settings.m_strLogPath, strPath);
        EXPECT_EQ(GetTraceLogModulePrefix(), c.m_bModulePrefix ? "[" + module.ModuleName() + "] " : "");
        EXPECT_EQ(GetTraceLogDumpAtUnload(), c.m_bDump);
        EXPECT_EQ(GetTraceLogLock() != nullptr, c.m_bLock);
        ResetTraceLogState();
    }
}

TEST_F(LogSetup, LinesArriveInTheFileThroughTheLogModulesLock)
{
    fs::create_directories(m_root / "Logs" / "KestruneLogs");
    SetUpLog({{14, "1"}, {12, "2"}, {39, "D:\\Logs"}});
    // The lock is the log module's common-log lock.
    using PFN_GET_GENERAL_CS = int (*)(CSync**, int);
    CSync* pModuleLock = nullptr;
    auto pfnGetGeneralCS = reinterpret_cast<PFN_GET_GENERAL_CS>(reinterpret_cast<void (*)()>(
        GetProcAddress(static_cast<HMODULE>(m_settings.m_spLogModule.Get()), "GetGeneralCS")));
    ASSERT_NE(pfnGetGeneralCS, nullptr);
    pfnGetGeneralCS(&pModuleLock, 1);
    EXPECT_EQ(GetTraceLogLock(), pModuleLock);

    TraceLog("first line %d", 1);
    TraceLog("second line");
    FlushTraceLog(false);
    const fs::path file = m_root / "Logs" / "KestruneLogs" / "KSCommonLog.log";
    const std::string strText = ReadFileText(file);
    ASSERT_GT(strText.size(), 100u);
    EXPECT_NE(strText.find(" first line 1\r\n"), std::string::npos);
    EXPECT_NE(strText.find(" second line"), std::string::npos);
    // Each line behind its time stamp and thread id, from offset 100 on.
    EXPECT_TRUE(std::regex_search(
        strText.substr(100),
        std::regex("^\r\n\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} +[0-9A-F]+ first line 1\r\n")))
        << strText.substr(100);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogSetup, LinesArriveInTheSharedMemorySection)
{
    const std::string strName = "dlsw-test-" + std::to_string(::getpid()) + ".log";
    SetUpLog({{14, "1"}, {12, "1"}, {13, "64"}, {23, strName}});
    TraceLog("into the section");
    HANDLE hSection = OpenFileMappingA(FILE_MAP_READ, FALSE, ("Global\\" + strName).c_str());
    ASSERT_NE(hSection, nullptr);
    const char* pView = static_cast<const char*>(MapViewOfFile(hSection, FILE_MAP_READ, 0, 0, 65536));
    ASSERT_NE(pView, nullptr);
    const std::string strHeader(pView, 100);
    const std::string strBody(pView + 100, strnlen(pView + 100, 65436));
    int nWrite = 0;
    int nHighWater = 0;
    int nWrapStart = 0;
    int nSize = 0;
    ASSERT_EQ(std::sscanf(strHeader.c_str(), "%d, %d, %d, %d", &nWrite, &nHighWater, &nWrapStart, &nSize), 4);
    EXPECT_EQ(nSize, 65536);
    EXPECT_EQ(static_cast<size_t>(nWrite), 100 + strBody.size());
    EXPECT_NE(strBody.find("[" + m_spModule->ModuleName() + "] into the section "), std::string::npos);
    UnmapViewOfFile(pView);
    CloseHandle(hSection);
}

TEST_F(LogSetup, WithoutTheLogModuleNothingIsWritten)
{
    fs::create_directories(m_root / "Logs" / "KestruneLogs");
    SetUpLog({{14, "1"}, {12, "2"}, {39, "D:\\Logs"}}, false);
    EXPECT_FALSE(m_settings.m_spLogModule);
    EXPECT_EQ(GetTraceLogLock(), nullptr);
    // The rest of the set-up still ran.
    EXPECT_EQ(GetTraceLogPath(), "D:\\Logs\\KestruneLogs\\KSCommonLog.log");
    TraceLog("lost line");
    FlushTraceLog(false);
    EXPECT_FALSE(fs::exists(m_root / "Logs" / "KestruneLogs" / "KSCommonLog.log"));
}

TEST(LogFileNames, ValidAndSanitised)
{
    CDLSWGeneralSettings settings;
    const struct
    {
        const char* m_pszName;
        bool m_bValid;
    } cases[] = {{"CON", false},   {"con", false},      {" NUL ", false}, {"CLOCKS$", false},
                 {"COM1", false},  {"COM1.log", false}, {"COM10", true},  {"LPT9.txt", false},
                 {"xCOM3", false}, {"COM", true},       {"COMx1", true},  {"app.log", true},
                 {"..", false},    {".", false},        {"", false},      {"...log", true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidLogFileName(settings, c.m_pszName), c.m_bValid) << c.m_pszName;
    ci_string csName = "  a\\b/c:d\"e?f*g<h>i|j  ";
    SanitizeLogFileName(settings, csName);
    EXPECT_EQ(csName, "a_b_c_d_e_f_g_h_i_j");
}
} // namespace
