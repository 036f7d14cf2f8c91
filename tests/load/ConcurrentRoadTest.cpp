// Many request threads through the loaded worker while another thread rewrites both settings files and
// the engine's INI file between two versions: every request must end as one whole version of the files
// has it end, never half of each, never a failure, and the thread sanitizer must stay quiet.
#include "tests/integration/AuthTreeSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace
{
using namespace auth_tree;

// Two versions of the installation's files. The reload interval of 0 has the worker look for changes on
// every request. Version A lets downloads through on the worker's hashes and blocks .exe; version B
// lets no download through and blocks .xls.
std::string SettingsVersion(char cVersion)
{
    const bool bA = cVersion == 'A';
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SETTINGS><GENERALSETTINGS>") +
           Item(1, "KVExport.ini") + Item(7, "X-Dorvel") + Item(12, "2") + Item(14, "1") + Item(81, "0") +
           "</GENERALSETTINGS><SETTING ID=\"1\" DESCR=\"version " + cVersion + "\"><ITEMS>" + Item(43, "1") +
           "</ITEMS></SETTING><SETTING ID=\"2\" DESCR=\"version " + cVersion + "\"><ITEMS>" +
           Item(43, bA ? "2" : "0") + Item(22, "1") + Item(42, bA ? "exe;bat" : "xls;bat") +
           "</ITEMS></SETTING></SETTINGS>\n";
}

std::string LinksVersion(char cVersion)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- version " + std::string(1, cVersion) +
           " -->\n<SERVICEWORKERS><SW ID=\"3\" DESCR=\"OWA\"><LINK CRITERIA_ID=\"1\" SETTINGS_ID=\"1\"/>"
           "<LINK CRITERIA_ID=\"2\" SETTINGS_ID=\"2\"/></SW></SERVICEWORKERS>\n";
}

std::string IniVersion(const std::string& strSample, char cVersion)
{
    return "; version " + std::string(1, cVersion) + "\n" + strSample;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Everything the host saw the worker do to a request, in one text that two outcomes compare by.
std::string Outcome(const CHostResult& result)
{
    std::ostringstream out;
    out << "flags " << result.m_dwRequestFlags << " set " << result.m_dwSettingID << "\n";
    for (const CNotificationRecord& record : result.m_vecNotifications)
        out << "notification " << record.m_dwType << " " << record.m_dwCode << " "
            << record.m_dwControlMessage << "\n";
    for (const CHeaderChange& change : result.m_vecRequestHeadersSet)
        out << "set " << change.m_strName << " " << change.m_strValue << "\n";
    out << "passed on " << result.m_strURL << "\nsent " << result.m_strResponseSent << "\nsubmitted "
        << result.m_nInstructions << " " << result.m_dwSubmitResult << "\nbody " << result.m_strBody;
    return out.str();
}

class ConcurrentRoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szParent[] = "/tmp/dlsw-load-XXXXXX";
        ASSERT_NE(mkdtemp(szParent), nullptr);
        m_parent = szParent;
        const fs::path tree = DLSW_INSTALL_TREE;
        fs::copy(tree, m_parent / "install", fs::copy_options::recursive);
        fs::copy(tree.parent_path() / "Common Files", m_parent / "Common Files", fs::copy_options::recursive);
        fs::create_directories(m_parent / "C" / "Windows" / "System32" / "LogFiles" / "KestruneLogs");
        m_strIniSample = ReadAll(IniPath());
        WriteVersion('A');
        m_host = std::make_unique<CHostFilter>();
        std::string strError;
        ASSERT_TRUE(m_host->Load((m_parent / "install" / "bin" / "DL_ServiceWorker.so").string(), strError))
            << strError;
        HTTP_FILTER_VERSION version{};
        ASSERT_EQ(m_host->GetFilterVersion(version), TRUE);
    }
    void TearDown() override
    {
        if (m_host)
        {
            m_host->Terminate();
            m_host.reset();
        }
        std::error_code ec;
        fs::remove_all(m_parent, ec);
    }

    fs::path SettingsPath() const { return m_parent / "install" / "Settings" / "SWSettings.xml"; }
    fs::path LinksPath() const { return m_parent / "Common Files" / "Settings" / "LinkCriteriaSettings.xml"; }
    fs::path IniPath() const { return m_parent / "install" / "Engine" / "ini" / "KVExport.ini"; }

    // In place, as an administrator's editor saves them: a reader may meet a file half written.
    void WriteVersion(char cVersion)
    {
        WriteFile(SettingsPath(), SettingsVersion(cVersion));
        WriteFile(LinksPath(), LinksVersion(cVersion));
        WriteFile(IniPath(), IniVersion(m_strIniSample, cVersion));
    }

    // A direct download the worker's hashes vouch for, a Premium read page, and a redirect to the viewer.
    std::vector<CHostRequest> Requests() const
    {
        const std::string strDownload =
            "/owa/attachment.ashx?attach=1&id=RgAAAADs4ZfQ&attcnt=2&attid0=BAAAAAAA"
            "&attid1=BAAAAAAB&midh=" +
            Hash("RgAAAADs4ZfQBAAAAAAA") + "&aidh=" + Hash("BAAAAAAB");
        const std::string astrRaw[] = {
            "GET " + strDownload +
                " HTTP/1.1\r\nHost: mail.example.test\r\nUser-Agent: Mozilla/4.0 (compatible; "
                "MSIE 8.0; Windows NT 6.1)\r\nCookie: sessionid=5f1c2a\r\n\r\n",
            ReadAll(fs::path(DLSW_SOURCE_DIR) / "samples" / "requests" / "15-premium-read-page.http"),
            ReadAll(fs::path(DLSW_SOURCE_DIR) / "samples" / "requests" / "14-viewer-show-redirect.http"),
        };
        std::vector<CHostRequest> vecRequests;
        for (const std::string& strRaw : astrRaw)
        {
            CHostRequest request;
            std::string strError;
            EXPECT_TRUE(RawRequest::Parse(strRaw, request.m_raw, strError)) << strError;
            request.m_strUser = "EXAMPLE\\alice";
            request.m_dwCriteriaID = 2;
            request.m_strClientAddress = OUTSIDE;
            vecRequests.push_back(std::move(request));
        }
        vecRequests[1].m_strResponseBody =
            ReadAll(fs::path(DLSW_SOURCE_DIR) / "samples" / "pages" / "premium-read-item.html");
        vecRequests[1].m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
        return vecRequests;
    }

    fs::path m_parent;
    std::string m_strIniSample;
    std::unique_ptr<CHostFilter> m_host;
};

TEST_F(ConcurrentRoad, EveryRequestEndsAsOneWholeVersionHasItEnd)
{
    const std::vector<CHostRequest> vecRequests = Requests();
    // What each version makes of each request, taken alone.
    std::vector<std::map<std::string, char>> vecExplained(vecRequests.size());
    for (char cVersion : {'A', 'B'})
    {
        WriteVersion(cVersion);
        for (size_t i = 0; i < vecRequests.size(); ++i)
            vecExplained[i][Outcome(m_host->Process(vecRequests[i]))] = cVersion;
    }
    // The versions must tell the download and the page apart, or the test would prove nothing.
    ASSERT_EQ(vecExplained[0].size(), 2u);
    ASSERT_EQ(vecExplained[1].size(), 2u) << vecExplained[1].begin()->first;
    for (const auto& outcome : vecExplained[0])
        EXPECT_NE(outcome.first.find(outcome.second == 'A' ? "passed on /owa/attachment.ashx?attach=1&id="
                                                           : "sent HTTP/1.0 401"),
                  std::string::npos)
            << outcome.second << ":\n"
            << outcome.first;

    std::atomic<bool> bStop{false};
    std::atomic<int> nWrites{0};
    std::thread writer(
        [&]
        {
            for (int i = 0; !bStop.load(); ++i)
            {
                WriteVersion(i % 2 == 0 ? 'B' : 'A');
                nWrites.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    constexpr int THREADS = 6;
    constexpr int ROUNDS = 150;
    std::vector<std::vector<std::string>> vecUnexplained(THREADS);
    std::atomic<int> anSeen[2] = {0, 0}; // downloads as A and as B have them end
    std::vector<std::thread> vecThreads;
    for (int t = 0; t < THREADS; ++t)
        vecThreads.emplace_back(
            [&, t]
            {
                for (int r = 0; r < ROUNDS; ++r)
                {
                    const size_t i = static_cast<size_t>(t + r) % vecRequests.size();
                    const std::string strOutcome = Outcome(m_host->Process(vecRequests[i]));
                    const auto it = vecExplained[i].find(strOutcome);
                    if (it == vecExplained[i].end())
                        vecUnexplained[static_cast<size_t>(t)].push_back(strOutcome);
                    else if (i == 0)
                        anSeen[it->second - 'A'].fetch_add(1);
                }
            });
    for (std::thread& thread : vecThreads)
        thread.join();
    bStop = true;
    writer.join();
    EXPECT_GT(nWrites.load(), 2);
    // The files did change under the requests.
    EXPECT_GT(anSeen[0].load(), 0);
    EXPECT_GT(anSeen[1].load(), 0);
    for (const auto& vecThread : vecUnexplained)
    {
        for (const std::string& strOutcome : vecThread)
            ADD_FAILURE() << "no version explains:\n" << strOutcome;
    }
}
// The tool loads the worker, runs a request and unloads it before it exits: what the worker keeps for the
// process's life must go with the module, not run at exit after its code is gone.
TEST(ConcurrentRoadHost, TheToolExitsCleanlyAfterUnloadingTheWorker)
{
    const std::string strCommand = std::string("'") + DLSW_HOST_TOOL + "' --root '" + DLSW_INSTALL_TREE +
                                   "' --user 'EXAMPLE\\alice' --body '" + DLSW_SOURCE_DIR +
                                   "/samples/pages/premium-read-item.html' '" + DLSW_SOURCE_DIR +
                                   "/samples/requests/15-premium-read-page.http' >/dev/null 2>&1";
    const int nStatus = std::system(strCommand.c_str());
    ASSERT_TRUE(WIFEXITED(nStatus)) << nStatus;
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
}
} // namespace
