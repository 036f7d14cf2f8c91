// Authentication complete per request, in process, on the decisions a server makes most: a direct
// download with the worker's hashes let through, one refused with the denial page, and a viewer redirect;
// alone and from many threads at once.
#include "common/StringHelpers.h"
#include "filter/Notifications.h"
#include "platform/MachineConfig.h"
#include "platform/WinSecurity.h"
#include "request/GeneralSettingsAccess.h"
#include "tests/support/AuthRequest.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{
namespace fs = std::filesystem;

// An installation on drive C: set 1 lets downloads through on their hashes, set 2 only from an address
// range no request comes from.
class CBenchInstall
{
public:
    CBenchInstall()
    {
        char szRoot[] = "/tmp/dlsw-auth-bench-XXXXXX";
        if (mkdtemp(szRoot) == nullptr)
            std::abort();
        m_root = szRoot;
        CMachineConfig::Instance().SetDriveRoot('C', m_root.string());
        const auto Item = [](int nID, const char* pszValue)
        { return "<ITEM ID=\"" + std::to_string(nID) + "\" DESCR=\"\" VALUE=\"" + pszValue + "\"/>"; };
        Write("Product/Settings/SWSettings.xml",
              "<SETTINGS><GENERALSETTINGS>" + Item(7, "X-Dorvel") +
                  "</GENERALSETTINGS><SETTING ID=\"1\" DESCR=\"\">"
                  "<ITEMS>" +
                  Item(43, "2") + "</ITEMS></SETTING><SETTING ID=\"2\" DESCR=\"\"><ITEMS>" + Item(43, "0") +
                  Item(45, "10.0.0.0;10.0.0.255") + "</ITEMS></SETTING></SETTINGS>");
        Write("Common Files/Settings/LinkCriteriaSettings.xml",
              "<SERVICEWORKERS><SW ID=\"3\" DESCR=\"\"><LINK CRITERIA_ID=\"1\" SETTINGS_ID=\"1\"/>"
              "<LINK CRITERIA_ID=\"2\" SETTINGS_ID=\"2\"/></SW></SERVICEWORKERS>");
        std::string strFolder = "C:\\Product\\Settings\\";
        if (GeneralSettings()->m_Settings.LoadSettings(strFolder) != S_OK)
            std::abort();
        GeneralSettings()->m_csVirtualFolderName = "X-Dorvel";
    }
    ~CBenchInstall()
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

private:
    void Write(const std::string& strRelative, const std::string& strText)
    {
        const fs::path path = m_root / strRelative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << strText;
    }
    fs::path m_root;
};

void Install()
{
    static CBenchInstall s_install;
}

void RunRequest(benchmark::State& state, const std::string& strURL, DWORD dwFlags, DWORD dwSubscriptionType,
                DWORD dwCriteriaID)
{
    Install();
    DlswSetThreadUser("alice", "EXAMPLE", "S-1-5-21-7-7-7-1001", {});
    for (auto _ : state)
    {
        CAuthRequest request(strURL, dwFlags, dwSubscriptionType);
        request.m_context.CriteriaID = dwCriteriaID;
        request.SetHeaderValue("Cookie", "sessionid=5f1c2a; UserContext=a81f");
        request.SetHeaderValue("Accept-Language", "fr-CA,fr;q=0.8");
        benchmark::DoNotOptimize(CNotifications().NotifyAuthComplete(request.Record()));
    }
    RevertToSelf();
}

const std::string ALLOWED =
    "/owa/attachment.ashx?attach=1&id=RgAAAADs4ZfQ&attcnt=2&attid0=BAAAAAAA&attid1=BAAAAAAB"
    "&midh=" +
    HashToDecimalString("RgAAAADs4ZfQBAAAAAAA") + "&aidh=" + HashToDecimalString("BAAAAAAB");

void AllowedByHashes(benchmark::State& state)
{
    RunRequest(state, ALLOWED, RF_DIRECT_ATTACHMENT_ACCESS, 5, 1);
}

void RefusedByAddress(benchmark::State& state)
{
    RunRequest(state, "/owa/attachment.ashx?attach=1&id=RgAAAADs4ZfQ", RF_DIRECT_ATTACHMENT_ACCESS, 5, 2);
}

void ViewerShowRedirect(benchmark::State& state)
{
    RunRequest(state, "/X-Dorvel/cmd/show/file/reports/q3.doc?aid=BAAAAAAA&mid=RgAAAADs4ZfQ",
               RF_FAKE_DORVEL_VIRTUAL_FOLDER, 22, 1);
}
} // namespace

BENCHMARK(AllowedByHashes);
BENCHMARK(AllowedByHashes)->Threads(8)->UseRealTime();
BENCHMARK(RefusedByAddress);
BENCHMARK(RefusedByAddress)->Threads(8)->UseRealTime();
BENCHMARK(ViewerShowRedirect);
BENCHMARK(ViewerShowRedirect)->Threads(8)->UseRealTime();
BENCHMARK_MAIN();
