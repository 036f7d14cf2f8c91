// A directory server a program starts goes with the program however it ends, std::_Exit and signals that
// run no destructor included: nothing of it stays, no slapd and no folder (its password file with it).
#include "tests/directory/SlapdServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace
{
namespace fs = std::filesystem;

// The slapd processes whose arguments name something under the folder.
std::vector<std::string> SlapdsUnder(const fs::path& folder)
{
    std::vector<std::string> vecFound;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec))
    {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string strCommand((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string strProgram = strCommand.substr(0, strCommand.find('\0'));
        if (fs::path(strProgram).filename() == "slapd" &&
            strCommand.find(folder.string() + "/") != std::string::npos)
            vecFound.push_back(entry.path().filename().string());
    }
    return vecFound;
}

std::string Entries(const fs::path& folder)
{
    std::string strEntries;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        strEntries += entry.path().string() + "\n";
    return strEntries;
}

struct CWayOut
{
    const char* m_pszName;
    int m_nSignal; // 0: std::_Exit(0)
};

void PrintTo(const CWayOut& way, std::ostream* pOut)
{
    *pOut << way.m_pszName;
}

class SlapdServerWayOut : public testing::TestWithParam<CWayOut>
{
protected:
    // The death test's child runs the test's body again up to the statement: it finds the folder the test
    // made in the environment it inherits, and makes none of its own.
    static constexpr const char* FOLDER_VARIABLE = "DLSW_TEST_WAY_OUT_FOLDER";

    void SetUp() override
    {
        if (const char* pszFolder = std::getenv(FOLDER_VARIABLE))
        {
            m_folder = pszFolder;
            return;
        }
        std::string strFolder = (fs::temp_directory_path() / "dlsw-slapd-way-out-XXXXXX").string();
        ASSERT_NE(mkdtemp(strFolder.data()), nullptr);
        m_folder = strFolder;
        m_bOwner = true;
        const char* pszOld = std::getenv("TMPDIR");
        m_bHadTmpDir = pszOld != nullptr;
        m_strOldTmpDir = m_bHadTmpDir ? pszOld : "";
        // The program below makes the server's folder here, where this test looks for what is left.
        setenv(FOLDER_VARIABLE, m_folder.c_str(), 1);
        setenv("TMPDIR", m_folder.c_str(), 1);
    }
    void TearDown() override
    {
        if (!m_bOwner)
            return;
        unsetenv(FOLDER_VARIABLE);
        if (m_bHadTmpDir)
            setenv("TMPDIR", m_strOldTmpDir.c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }

    fs::path m_folder;
    bool m_bOwner = false;
    bool m_bHadTmpDir = false;
    std::string m_strOldTmpDir;
};

// The program that starts the server: a child that runs this test binary again, with TMPDIR inherited.
[[noreturn]] void StartAndLeave(int nSignal)
{
    CSlapdServer server;
    std::string strError;
    if (!server.Start(strError))
    {
        std::fprintf(stderr, "no server: %s\n", strError.c_str());
        std::_Exit(3);
    }
    if (nSignal != 0)
        std::raise(nSignal);
    std::_Exit(0);
}

TEST_P(SlapdServerWayOut, NoServerAndNoFolderStayOnceTheProgramIsGone)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int nSignal = GetParam().m_nSignal;
    if (nSignal == 0)
        EXPECT_EXIT(StartAndLeave(nSignal), testing::ExitedWithCode(0), "");
    else
        EXPECT_EXIT(StartAndLeave(nSignal), testing::KilledBySignal(nSignal), "");

    // A server left running would also hold the death test's pipe open, so that the check above waits for
    // good: a server that outlives its program shows as this test timing out.
    // The guard notices at once, but stopping slapd takes it a moment.
    const auto tpEnd = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < tpEnd &&
           (!SlapdsUnder(m_folder).empty() || !fs::is_empty(m_folder)))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(SlapdsUnder(m_folder), std::vector<std::string>());
    EXPECT_EQ(Entries(m_folder), "");
}

const CWayOut WAYS_OUT[] = {
    {"QuickExit", 0},
    {"Kill", SIGKILL},
    {"Terminate", SIGTERM},
    {"Abort", SIGABRT},
};

INSTANTIATE_TEST_SUITE_P(WaysOut, SlapdServerWayOut, testing::ValuesIn(WAYS_OUT),
                         [](const testing::TestParamInfo<CWayOut>& param) { return param.param.m_pszName; });
} // namespace
