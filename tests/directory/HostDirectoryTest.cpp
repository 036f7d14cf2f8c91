#include "tests/directory/DirectoryTestSupport.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace
{
namespace fs = std::filesystem;

// The run-time tree, the product's common files and drive C: copied into a folder of this test's own, so
// that the log the worker writes is this run's alone.
class CHostTree
{
public:
    CHostTree() : m_parent("dlsw-dirtree")
    {
        const fs::path installTree = DLSW_INSTALL_TREE;
        fs::copy(installTree, Tree(), fs::copy_options::recursive);
        fs::copy(installTree.parent_path() / "Common Files", m_parent.Path() / "Common Files",
                 fs::copy_options::recursive);
        fs::create_directories(LogFile().parent_path());
    }
    fs::path Tree() const { return m_parent.Path() / "install"; }
    fs::path LogFile() const
    {
        return m_parent.Path() / "C/Windows/System32/LogFiles/KestruneLogs/KSCommonLog.log";
    }

    std::string Run(const std::string& strOptions, int& nExit) const
    {
        return RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + Tree().string() + "' " +
                              strOptions + " '" + DLSW_SOURCE_DIR +
                              "/samples/requests/01-premium-read-item.http'",
                          nExit);
    }

private:
    CTempDir m_parent;
};

using HostDirectoryTest = CDirectoryTest;
} // namespace

TEST_F(HostDirectoryTest, TheLoadedWorkerReadsOwasSettingsAndCreatesItsCacheAtStart)
{
    const CHostTree tree;
    const DirectoryServerConfig directory = m_pServer->MachineDirectory();
    int nExit = 0;
    const size_t nBefore = m_pServer->SearchCount();
    const std::string strOutput =
        tree.Run("--directory '" + directory.m_sUri + "' --directory-bind '" + directory.m_sBindDN +
                     "' --directory-password-file '" + directory.m_sBindPasswordFile +
                     "' --computer-name mail01.example.test",
                 nExit);
    EXPECT_EQ(nExit, 0) << strOutput;
    EXPECT_GT(m_pServer->SearchCount(), nBefore);
    // Started with its one information event and no error.
    EXPECT_NE(strOutput.find("{\"type\":4,\"id\":1610612837,\"strings\":[]}"), std::string::npos)
        << strOutput;
    EXPECT_EQ(strOutput.find("\"type\":1,"), std::string::npos) << strOutput;
    const std::string strLog = ReadFileText(tree.LogFile());
    EXPECT_NE(strLog.find(" [CDLGeneralSettings::Init] base::Init() SUCCEEDED, ReadOWAAD SUCCEEDED.\r\n"),
              std::string::npos)
        << strLog;
    EXPECT_NE(strLog.find(" GetExchangeOrganizationCN ExecuteSearch got a Example Org\r\n"),
              std::string::npos)
        << strLog;
    EXPECT_EQ(strLog.find("InitializeCache"), std::string::npos) << strLog;
}

TEST(HostDirectoryOutsideDomain, TheLoadedWorkerStartsWithoutADirectory)
{
    const CHostTree tree;
    int nExit = 0;
    const std::string strOutput = tree.Run("", nExit);
    EXPECT_EQ(nExit, 0) << strOutput;
    EXPECT_NE(strOutput.find("{\"type\":4,\"id\":1610612837,\"strings\":[]}"), std::string::npos)
        << strOutput;
    EXPECT_NE(
        strOutput.find("\"strings\":[\"Reading OWA configuration failed HR: 0x8007054b for FQDNS: localhost, "
                       "DNS: localhost\"]"),
        std::string::npos)
        << strOutput;
    const std::string strLog = ReadFileText(tree.LogFile());
    EXPECT_NE(strLog.find(" [CDLGeneralSettings::Init] base::Init() SUCCEEDED, ReadOWAAD FAILED.\r\n"),
              std::string::npos)
        << strLog;
    EXPECT_EQ(strLog.find("InitializeCache"), std::string::npos) << strLog;
}
