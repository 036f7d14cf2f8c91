// What an operator meets at the worker's start, through the host's tool on a copy of the run-time tree:
// the engine-option lines in the log, the events of a settings file that is no settings file or is a
// folder, and the demo's judgement of the error events of a run without a directory.
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const std::string SAMPLE_REQUEST =
    std::string(DLSW_SOURCE_DIR) + "/samples/requests/01-premium-read-item.http";

// The events of the start's verdict.
const std::string START_SUCCEEDED = "Event:             information 0x60000065\n";
const std::string START_FAILED = "Event:             error 0x6000007E\n";

std::string Quoted(const std::string& strText)
{
    std::string strQuoted = "'";
    for (char ch : strText)
        strQuoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return strQuoted + "'";
}

// The path as the worker names it: the host maps the root of the file system to drive Z:.
std::string WindowsPathOf(const fs::path& path)
{
    std::string strPath = "Z:" + path.string();
    for (char& ch : strPath)
    {
        if (ch == '/')
            ch = '\\';
    }
    return strPath;
}

// A copy of the run-time tree with its drive C:, where the sample settings put the log.
class COperatorTree
{
public:
    COperatorTree()
    {
        fs::copy(DLSW_INSTALL_TREE, Install(), fs::copy_options::recursive);
        fs::copy(fs::path(DLSW_INSTALL_TREE) / ".." / "Common Files", m_dir.Path() / "Common Files",
                 fs::copy_options::recursive);
        fs::create_directories(LogPath().parent_path());
    }

    fs::path Install() const { return m_dir.Path() / "install"; }
    fs::path Settings() const { return Install() / "Settings" / "SWSettings.xml"; }
    fs::path LogPath() const
    {
        return m_dir.Path() / "C" / "Windows" / "System32" / "LogFiles" / "KestruneLogs" / "KSCommonLog.log";
    }

    // The sample settings with one text replaced.
    void EditSettings(const std::string& strFrom, const std::string& strTo) const
    {
        std::string strText = ReadFileText(Settings());
        const size_t nPos = strText.find(strFrom);
        ASSERT_NE(nPos, std::string::npos) << strFrom;
        strText.replace(nPos, strFrom.size(), strTo);
        std::ofstream(Settings(), std::ios::binary | std::ios::trunc) << strText;
    }

    // One run of the host's tool, without a directory: its report.
    std::string Run(int& nExit) const
    {
        return RunCommand(Quoted(DLSW_HOST_TOOL) + " --root " + Quoted(Install().string()) +
                              " --user 'EXAMPLE\\alice' " + Quoted(SAMPLE_REQUEST) + " 2>&1",
                          nExit);
    }

    // The log's lines after its 100 reserved bytes.
    std::vector<std::string> LogLines() const
    {
        const std::string strLog = ReadFileText(LogPath());
        std::vector<std::string> vecLines;
        std::istringstream lines(strLog.size() > 100 ? strLog.substr(100) : std::string());
        std::string strLine;
        while (std::getline(lines, strLine))
        {
            if (!strLine.empty() && strLine.back() == '\r')
                strLine.pop_back();
            if (!strLine.empty())
                vecLines.push_back(strLine);
        }
        return vecLines;
    }

private:
    CTempDir m_dir{"dlsw-operator"};
};

size_t CountLinesEndingWith(const std::vector<std::string>& vecLines, const std::string& strEnd)
{
    size_t nCount = 0;
    for (const std::string& strLine : vecLines)
    {
        if (strLine.size() >= strEnd.size() &&
            strLine.compare(strLine.size() - strEnd.size(), strEnd.size(), strEnd) == 0)
            ++nCount;
    }
    return nCount;
}
} // namespace

// The engine options are read before the settings have said where the log goes; their lines still reach
// the log at start, once, before the start's own verdict.
TEST(OperatorStart, EngineOptionLinesReachTheLogAtStart)
{
    struct Case
    {
        const char* m_pszName;
        bool m_bRemoveINI;
        std::string m_strLine; // after the install folder's path
    };
    const std::vector<Case> cases = {
        {"with the file", false, "[CDLSettings::LoadEngineINI] Reading the engine options from "},
        {"without it", true, "[CDLSettings::LoadEngineINI] The engine option file "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        COperatorTree tree;
        const fs::path ini = tree.Install() / "Engine" / "ini" / "KVExport.ini";
        if (c.m_bRemoveINI)
            fs::remove(ini);
        int nExit = -1;
        const std::string strReport = tree.Run(nExit);
        ASSERT_EQ(nExit, 0) << strReport;

        const std::string strExpected =
            c.m_strLine + WindowsPathOf(ini) +
            (c.m_bRemoveINI ? " is missing: every option takes its default" : std::string());
        const std::vector<std::string> vecLines = tree.LogLines();
        ASSERT_EQ(CountLinesEndingWith(vecLines, strExpected), 1u) << ReadFileText(tree.LogPath());
        size_t nEngine = vecLines.size();
        size_t nVerdict = vecLines.size();
        for (size_t i = 0; i < vecLines.size(); ++i)
        {
            if (CountLinesEndingWith({vecLines[i]}, strExpected) != 0)
                nEngine = i;
            if (vecLines[i].find("General Settings successful initialization") != std::string::npos)
                nVerdict = std::min(nVerdict, i);
        }
        EXPECT_LT(nEngine, nVerdict);
        EXPECT_NE(strReport.find(START_SUCCEEDED), std::string::npos) << strReport;
    }
}

// Settings that switch tracing off never get the lines traced before the log was set up.
TEST(OperatorStart, TracingOffKeepsTheEarlyLinesOutOfTheLog)
{
    COperatorTree tree;
    tree.EditSettings("DESCR=\"Log kind (1 trace, 10 trace and event log)\" VALUE=\"1\"",
                      "DESCR=\"Log kind (1 trace, 10 trace and event log)\" VALUE=\"0\"");
    int nExit = -1;
    const std::string strReport = tree.Run(nExit);
    ASSERT_EQ(nExit, 0) << strReport;
    EXPECT_TRUE(tree.LogLines().empty()) << ReadFileText(tree.LogPath());
}

// A settings file that is no settings file, or a folder where the file should be: the event names the
// file and what is wrong with it, and the start is reported failed.
TEST(OperatorStart, ASettingsFileThatIsNoneIsNamedInAnEvent)
{
    struct Case
    {
        const char* m_pszName;
        bool m_bFolder;
        std::string m_strText;
        std::string m_strEvent; // after "Settings file " and the path
    };
    const std::vector<Case> cases = {
        {"another root", false, "<FOO/>", " has no <SETTINGS> element."},
        {"another root with a declaration", false,
         "<?xml version=\"1.0\"?>\n<settings><GENERALSETTINGS/></settings>", " has no <SETTINGS> element."},
        {"a folder", true, "", ": The path names a folder, not a file."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        COperatorTree tree;
        fs::remove(tree.Settings());
        if (c.m_bFolder)
            fs::create_directory(tree.Settings());
        else
            std::ofstream(tree.Settings(), std::ios::binary) << c.m_strText;
        int nExit = -1;
        const std::string strReport = tree.Run(nExit);
        EXPECT_NE(strReport.find("\"Settings file " + WindowsPathOf(tree.Settings()) + c.m_strEvent + "\""),
                  std::string::npos)
            << strReport;
        EXPECT_EQ(strReport.find("too large"), std::string::npos) << strReport;
        EXPECT_NE(strReport.find(START_FAILED), std::string::npos) << strReport;
        EXPECT_EQ(strReport.find(START_SUCCEEDED), std::string::npos) << strReport;
        EXPECT_NE(strReport.find("GetFilterVersion:  0 (the worker did not start)"), std::string::npos)
            << strReport;
    }
}

// Without a directory the demo expects the directory's own error events, and only those: a broken
// settings file still fails it.
TEST(OperatorStart, DemoWithoutADirectoryFailsOnABrokenSettingsFile)
{
    const std::string strJudge = Quoted(std::string(DLSW_SOURCE_DIR) + "/scripts/demo-events");
    struct Case
    {
        const char* m_pszName;
        std::string m_strSettings; // empty: the sample settings
        int m_nExit;
        std::string m_strOutput;
    };
    const std::vector<Case> cases = {
        {"the sample settings", "", 0, "error events tell that the directory could not be read."},
        {"a settings file without its root", "<FOO/>", 1, "has no <SETTINGS> element."},
        {"a settings file that does not parse", "<SETTINGS><GENERALSETTINGS>", 1, "Settings file "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        COperatorTree tree;
        if (!c.m_strSettings.empty())
            std::ofstream(tree.Settings(), std::ios::binary | std::ios::trunc) << c.m_strSettings;
        int nExit = -1;
        CTempDir files("dlsw-demo-events");
        const std::string strReport = Quoted((files.Path() / "report").string());
        const std::string strEvents = Quoted((files.Path() / "events").string());
        std::ofstream(files.Path() / "report", std::ios::binary) << tree.Run(nExit);
        int nCollected = -1;
        RunCommand(strJudge + " collect samples/requests/01-premium-read-item.http < " + strReport + " > " +
                       strEvents,
                   nCollected);
        ASSERT_EQ(nCollected, 0);
        ASSERT_NE(ReadFileText(files.Path() / "events"), "") << "the unreachable directory raises events";
        int nJudged = -1;
        const std::string strOutput =
            RunCommand(strJudge + " judge --without-directory < " + strEvents, nJudged);
        EXPECT_EQ(nJudged, c.m_nExit) << strOutput;
        EXPECT_NE(strOutput.find(c.m_strOutput), std::string::npos) << strOutput;

        // With a directory every error event is a defect.
        EXPECT_NE(RunCommand(strJudge + " judge < " + strEvents, nJudged).find("each one a defect"),
                  std::string::npos);
        EXPECT_EQ(nJudged, 1);
    }
}
