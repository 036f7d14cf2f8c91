#include "contract/DLLContext.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
TEST(Module, ExportsExactlyTheThreeEntryPoints)
{
    int nExit = 0;
    const std::string strOutput =
        RunCommand(std::string(DLSW_NM) + " -D --defined-only '" + DLSW_MODULE_PATH + "'", nExit);
    ASSERT_EQ(nExit, 0) << strOutput;
    std::vector<std::string> vecNames;
    std::istringstream lines(strOutput);
    std::string strLine;
    while (std::getline(lines, strLine))
    {
        if (!strLine.empty())
            vecNames.push_back(strLine.substr(strLine.rfind(' ') + 1));
    }
    std::sort(vecNames.begin(), vecNames.end());
    EXPECT_EQ(vecNames, (std::vector<std::string>{"GetFilterVersion", "HttpFilterProc", "TerminateFilter"}));
}

// One load of the worker for the whole program, as a web server keeps its filter.
class LoadedWorker : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pHost = new CHostFilter();
        std::string strError;
        ASSERT_TRUE(s_pHost->Load(DLSW_MODULE_PATH, strError)) << strError;
        std::memset(&s_version, 0, sizeof(s_version));
        s_version.dwServerFilterVersion = 0x12345678;
        s_bVersion = s_pHost->GetFilterVersion(s_version);
    }
    static void TearDownTestSuite()
    {
        if (s_pHost != nullptr)
            s_pHost->Terminate();
        delete s_pHost;
        s_pHost = nullptr;
    }

    static CHostResult Run(const std::string& strRawRequest, DWORD dwStatus = 200)
    {
        CHostRequest request;
        std::string strError;
        EXPECT_TRUE(RawRequest::Parse(strRawRequest, request.m_raw, strError)) << strError;
        request.m_dwResponseStatus = dwStatus;
        return s_pHost->Process(request);
    }

    static CHostFilter* s_pHost;
    static HTTP_FILTER_VERSION s_version;
    static BOOL s_bVersion;
};
CHostFilter* LoadedWorker::s_pHost = nullptr;
HTTP_FILTER_VERSION LoadedWorker::s_version;
BOOL LoadedWorker::s_bVersion = FALSE;

TEST_F(LoadedWorker, GetFilterVersion)
{
    ASSERT_EQ(s_bVersion, TRUE);
    EXPECT_EQ(s_version.dwFilterVersion,
              0x00060000u); // the revision, written out: the contract may not drift
    EXPECT_EQ(s_version.dwFlags, 0x040264C0u);
    EXPECT_STREQ(s_version.lpszFilterDesc, "Kestrune Dorvel");
    EXPECT_EQ(s_version.dwServerFilterVersion, 0x12345678u) << "left to the server";
}

TEST_F(LoadedWorker, NullRecordAndUnhandledTypes)
{
    // The module is loaded already; this only looks its entry point up.
    void* hModule = dlopen(DLSW_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(hModule, nullptr);
    auto pfnProc = reinterpret_cast<DWORD (*)(CDLLContext*)>(dlsym(hModule, "HttpFilterProc"));
    ASSERT_NE(pfnProc, nullptr);
    EXPECT_EQ(pfnProc(nullptr), ERROR_SUCCESS);
    for (DWORD dwType : {SF_NOTIFY_AUTHENTICATION, 0x8000u})
    {
        CDLLContext context{};
        context.NotificationType = dwType;
        context.RequestFlags = 0xABCD;
        context.ControlMessage = 9;
        EXPECT_EQ(pfnProc(&context), ERROR_SUCCESS);
        EXPECT_EQ(context.RequestFlags, 0xABCDu);
        EXPECT_EQ(context.ControlMessage, 9u);
    }
    dlclose(hModule);
}

struct SampleCase
{
    const char* m_pszFile;
    DWORD m_dwSubscriptionType;
    DWORD m_dwFlags;
    std::vector<std::pair<DWORD, DWORD>> m_vecNotifications; // type, control message
    bool m_bRefused;                                         // answered with the denial page
    std::vector<std::pair<std::string, std::string>> m_vecRequestHeadersSet;
};

// What the worker makes of each sample request of an authenticated user, with the page no rewriter knows.
TEST_F(LoadedWorker, SampleRequests)
{
    const std::vector<std::pair<DWORD, DWORD>> vecWholeRoad = {{SF_NOTIFY_PREPROC_HEADERS, CM_NONE},
                                                               {SF_NOTIFY_AUTH_COMPLETE, CM_NONE},
                                                               {SF_NOTIFY_SEND_RESPONSE, CM_NONE},
                                                               {SF_NOTIFY_SEND_RAW_DATA, CM_IGNORE},
                                                               {SF_NOTIFY_END_OF_REQUEST, CM_IGNORE}};
    const std::vector<std::pair<DWORD, DWORD>> vecIgnored = {{SF_NOTIFY_PREPROC_HEADERS, CM_IGNORE},
                                                             {SF_NOTIFY_END_OF_REQUEST, CM_IGNORE}};
    const std::vector<std::pair<DWORD, DWORD>> vecRefused = {{SF_NOTIFY_PREPROC_HEADERS, CM_NONE},
                                                             {SF_NOTIFY_AUTH_COMPLETE, CM_COMPLETED},
                                                             {SF_NOTIFY_END_OF_REQUEST, CM_COMPLETED}};
    const std::vector<std::pair<DWORD, DWORD>> vecRedirected = {
        {SF_NOTIFY_PREPROC_HEADERS, CM_NONE},
        {SF_NOTIFY_AUTH_COMPLETE, CM_HANDLED_REDIRECTED},
        {SF_NOTIFY_SEND_RESPONSE, CM_HANDLED_REDIRECTED},
        {SF_NOTIFY_SEND_RAW_DATA, CM_IGNORE},
        {SF_NOTIFY_END_OF_REQUEST, CM_IGNORE}};
    const SampleCase aCases[] = {
        // The cadata cookie of a public computer's forms-based sign-in.
        {"01-premium-read-item.http",
         2,
         RF_PREMIUM_CLIENT | RF_FBA_CLIENT | RF_FBA_PUBLIC_CLIENT,
         vecWholeRoad,
         false,
         {}},
        // The sample settings let direct downloads through only from the office networks.
        {"02-direct-attachment-download.http",
         5,
         RF_DIRECT_ATTACHMENT_ACCESS | RF_PREMIUM_CLIENT,
         vecRefused,
         true,
         {{"Cookie:", "UserContext=a81f"}}},
        {"03-basic-attachment-manager.http",
         2,
         RF_POST | RF_ATTACH_FILE_DIALOG_OR_MANAGER,
         vecWholeRoad,
         false,
         {}},
        {"04-mac-client-read-item.http", 2, RF_MAC_CLIENT, vecWholeRoad, false, {}},
        {"05-smime-item.http", 2, RF_PREMIUM_CLIENT | RF_SMIME, vecWholeRoad, false, {}},
        // Without OWA's settings from a directory every file is blocked for OWA: level 1.
        {"06-viewer-virtual-folder.http",
         20,
         RF_FAKE_DORVEL_VIRTUAL_FOLDER | RF_PREMIUM_CLIENT,
         vecRedirected,
         false,
         {{"URL", "/X-Dorvel/bin/dorvel.srf?fn=cmVwb3J0LmRvYw%3d%3d&id=RgAAAADs4ZfQ&owaal=1"}}},
        {"07-no-interest-stylesheet.http", 0, RF_PREMIUM_CLIENT, vecIgnored, false, {}},
        {"08-head-request.http", 2, RF_MAC_CLIENT, vecIgnored, false, {}},
        {"09-document-view-direct-file.http",
         4,
         RF_PREMIUM_CLIENT | RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS,
         vecRefused,
         true,
         {}},
        {"10-premium-delete-attachment.http",
         4,
         RF_PREMIUM_DELETE_ATTACHMENT | RF_POST | RF_PREMIUM_CLIENT,
         vecWholeRoad,
         false,
         {}},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszFile);
        CHostRequest request;
        std::string strError;
        ASSERT_TRUE(
            RawRequest::Parse(ReadFileText(std::string(DLSW_SOURCE_DIR) + "/samples/requests/" + c.m_pszFile),
                              request.m_raw, strError))
            << strError;
        request.m_strUser = "EXAMPLE\\alice";
        const CHostResult result = s_pHost->Process(request);
        EXPECT_EQ(result.m_dwSubscriptionType, c.m_dwSubscriptionType);
        EXPECT_EQ(result.m_dwRequestFlags, c.m_dwFlags);
        std::vector<std::pair<DWORD, DWORD>> vecSeen;
        for (const auto& record : result.m_vecNotifications)
            vecSeen.emplace_back(record.m_dwType, record.m_dwControlMessage);
        EXPECT_EQ(vecSeen, c.m_vecNotifications);
        EXPECT_EQ(result.m_bResponseSent, c.m_bRefused);
        std::vector<std::pair<std::string, std::string>> vecSet;
        for (const auto& change : result.m_vecRequestHeadersSet)
            vecSet.emplace_back(change.m_strName, change.m_strValue);
        EXPECT_EQ(vecSet, c.m_vecRequestHeadersSet);
    }
}

TEST_F(LoadedWorker, RequestWithoutUserAgentIsStillClassified)
{
    const CHostResult result = Run("GET /owa/attachment.ashx?attach=1&id=x HTTP/1.1\r\nHost: m\r\n\r\n");
    EXPECT_EQ(result.m_dwRequestFlags, RF_DIRECT_ATTACHMENT_ACCESS);
    ASSERT_FALSE(result.m_vecNotifications.empty());
    EXPECT_EQ(result.m_vecNotifications[0].m_dwCode, ERROR_SUCCESS);
    EXPECT_EQ(result.m_vecNotifications[0].m_dwControlMessage, CM_NONE);
}

TEST(HostTool, PrintsOneJsonObject)
{
    int nExit = 0;
    const std::string strOutput =
        RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + DLSW_INSTALL_TREE + "' '" +
                       DLSW_SOURCE_DIR + "/samples/requests/02-direct-attachment-download.http'",
                   nExit);
    EXPECT_EQ(nExit, 0);
    EXPECT_EQ(strOutput.front(), '{');
    for (const char* pszPart :
         {"\"filter_version\":{\"result\":1,\"revision\":393216,\"flags\":67265728,\"description\":"
          "\"Kestrune Dorvel\"}",
          "\"request_flags\":80", "\"setting_id\":1",
          "{\"type\":16384,\"name\":\"pre-processed headers\",\"code\":0,\"control_message\":\"None\"}",
          "\"request_headers_set\":[{\"name\":\"Cookie:\",\"value\":\"UserContext=a81f\"",
          "\"response_headers_added\":[]",
          "\"response_sent\":\"HTTP/1.0 401 OK\\r\\nContent-Length: 273\\r\\n", "\"body\":\"\""})
        EXPECT_NE(strOutput.find(pszPart), std::string::npos) << pszPart << "\n" << strOutput;
}

TEST(HostTool, RunsTheWorkerFromAnotherTree)
{
    // An installation elsewhere: the tree with its settings, and the product's common files beside it.
    const CTempDir parent("dlsw-tree");
    const std::string strTree = (parent.Path() / "install").string();
    const std::filesystem::path installTree = DLSW_INSTALL_TREE;
    std::filesystem::copy(installTree, strTree, std::filesystem::copy_options::recursive);
    std::filesystem::copy(installTree.parent_path() / "Common Files", parent.Path() / "Common Files",
                          std::filesystem::copy_options::recursive);
    int nExit = 0;
    const std::string strOutput =
        RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --subscription-type 22 --root '" + strTree +
                       "' '" + DLSW_SOURCE_DIR + "/samples/requests/07-no-interest-stylesheet.http'",
                   nExit);
    EXPECT_EQ(nExit, 0);
    EXPECT_NE(strOutput.find("\"module\":\"" + strTree + "/bin/DL_ServiceWorker.so\""), std::string::npos)
        << strOutput;
    EXPECT_NE(strOutput.find("\"request_flags\":66"), std::string::npos) << strOutput;
}

TEST(HostTool, RefusesATreeWithoutTheWorker)
{
    int nExit = 0;
    RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --root /nonexistent-tree '" + DLSW_SOURCE_DIR +
                   "/samples/requests/01-premium-read-item.http'",
               nExit);
    EXPECT_EQ(nExit, 3);
    RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --status abc x.http", nExit);
    EXPECT_EQ(nExit, 2);
}
// A copy of the run-time tree, the product's common files and drive C: in a folder of its own, so that its
// log and its changes are its own.
class CTreeCopy
{
public:
    CTreeCopy() : m_parent("dlsw-tree")
    {
        namespace fs = std::filesystem;
        const fs::path installTree = DLSW_INSTALL_TREE;
        fs::copy(installTree, Tree(), fs::copy_options::recursive);
        fs::copy(installTree.parent_path() / "Common Files", m_parent.Path() / "Common Files",
                 fs::copy_options::recursive);
        fs::create_directories(LogFile().parent_path());
    }

    std::filesystem::path Tree() const { return m_parent.Path() / "install"; }
    std::filesystem::path LogFile() const
    {
        return m_parent.Path() / "C/Windows/System32/LogFiles/KestruneLogs/KSCommonLog.log";
    }
    // The tree's path as the worker sees it, with backslashes doubled as JSON writes them.
    std::string JsonWindowsPath(const std::string& strRelative) const
    {
        std::string strPath = "Z:" + (Tree() / strRelative).string();
        std::string strJson;
        for (char ch : strPath)
            strJson += ch == '/' ? std::string("\\\\") : std::string(1, ch);
        return strJson;
    }
    std::string Run(int& nExit) const
    {
        return RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + Tree().string() + "' '" +
                              DLSW_SOURCE_DIR + "/samples/requests/01-premium-read-item.http'",
                          nExit);
    }

private:
    CTempDir m_parent;
};

size_t CountOf(const std::string& strText, const std::string& strPart)
{
    size_t nCount = 0;
    for (size_t nPos = strText.find(strPart); nPos != std::string::npos;
         nPos = strText.find(strPart, nPos + 1))
        ++nCount;
    return nCount;
}

TEST(GeneralSettingsStart, SucceedsWithOneInformationEventAndTracesTheRealInitialisation)
{
    const CTreeCopy copy;
    int nExit = 0;
    const std::string strOutput = copy.Run(nExit);
    EXPECT_EQ(nExit, 0) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "{\"type\":4,\"id\":1610612837,\"strings\":[]}"), 1u) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "\"id\":1610612837"), 1u) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "\"id\":1610612862"), 0u) << strOutput;
    // The log the settings chose: the common log in the system's log folder.
    const std::string strLog = ReadFileText(copy.LogFile());
    for (const char* pszLine :
         {"\r\n", " Exchange NewestBuild 15000, Version 8.3.123.2\r\n", " RSA loaded\r\n",
          " DL_ServiceWorker.dll FileVer: 6.0.0.0, Product Ver: 6.0.0.0  \r\n",
          " General Settings successful initialization \r\n",
          " [CDLGeneralSettings::Init] base::Init() SUCCEEDED, ReadOWAAD FAILED.\r\n",
          " [CDLSWGeneralSettings::Init] returned bRet <TRUE>.\r\n"})
        EXPECT_NE(strLog.find(pszLine), std::string::npos) << pszLine << "\n" << strLog;
}

TEST(GeneralSettingsStart, FailsWithoutTheSettingsFile)
{
    const CTreeCopy copy;
    std::filesystem::remove(copy.Tree() / "Settings" / "SWSettings.xml");
    int nExit = 0;
    const std::string strOutput = copy.Run(nExit);
    EXPECT_EQ(nExit, 3);
    EXPECT_NE(strOutput.find("\"filter_version\":{\"result\":0}"), std::string::npos) << strOutput;
    // The two events of the failed start, in order; the directory read that follows (outside a domain
    // here) adds its own.
    const std::string strEvents = "{\"type\":1,\"id\":1610612847,\"strings\":[\"Loading Settings failed " +
                                  copy.JsonWindowsPath("Settings") +
                                  "\\\\ -2147024894\"]},{\"type\":1,\"id\":1610612862," + "\"strings\":[]}";
    EXPECT_NE(strOutput.find(strEvents), std::string::npos) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "\"id\":1610612862"), 1u) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "\"id\":1610612837"), 0u);
}

TEST(GeneralSettingsStart, ASettingsFileThatDoesNotParseLeavesTheParsersReason)
{
    const CTreeCopy copy;
    std::ofstream(copy.Tree() / "Settings" / "SWSettings.xml", std::ios::trunc)
        << "<SETTINGS>\n  <GENERALSETTINGS>\n    <ITEM ID=\"2\" VALUE=\"1\">\n</SETTINGS>\n";
    int nExit = 0;
    const std::string strOutput = copy.Run(nExit);
    EXPECT_EQ(nExit, 3);
    EXPECT_NE(strOutput.find("\"filter_version\":{\"result\":0}"), std::string::npos) << strOutput;
    // The events of a failed load as they always were, with the parser's word on where and why after the
    // first: the file, its line and column, and libxml2's message.
    const std::string strFailed =
        "Loading Settings failed " + copy.JsonWindowsPath("Settings") + "\\\\ -1072897972";
    const std::string strEvents = "{\"type\":1,\"id\":1610612847,\"strings\":[\"ERROR: . " + strFailed +
                                  "\"]}," + "{\"type\":1,\"id\":1610612847,\"strings\":[\"Settings file " +
                                  copy.JsonWindowsPath("Settings") +
                                  "\\\\SWSettings.xml line 4, column 12: Opening and ending tag mismatch: "
                                  "ITEM line 3 and SETTINGS\"]}," +
                                  "{\"type\":1,\"id\":1610612847,\"strings\":[\"" + strFailed + "\"]}," +
                                  "{\"type\":1,\"id\":1610612862,\"strings\":[]}";
    EXPECT_NE(strOutput.find(strEvents), std::string::npos) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "Settings file "), 1u) << strOutput;
}

TEST(GeneralSettingsStart, AnUncreatableTempFolderIsNamedWithTheSystemsReason)
{
    // The temporary folder (general item 17) would lie below a file: it cannot be made.
    const CTreeCopy copy;
    const std::filesystem::path settingsFile = copy.Tree() / "Settings" / "SWSettings.xml";
    std::string strSettings = ReadFileText(settingsFile);
    const std::string strTemp = "Z:" + (copy.Tree() / "Settings" / "SWSettings.xml" / "Temp").string();
    std::string strTempWindows;
    for (char ch : strTemp)
        strTempWindows += ch == '/' ? '\\' : ch;
    const size_t nGeneral = strSettings.find("<GENERALSETTINGS>");
    ASSERT_NE(nGeneral, std::string::npos);
    strSettings.insert(nGeneral + std::strlen("<GENERALSETTINGS>"),
                       "<ITEM ID=\"17\" DESCR=\"temp\" VALUE=\"" + strTempWindows + "\"/>");
    std::ofstream(settingsFile, std::ios::trunc) << strSettings;
    int nExit = 0;
    const std::string strOutput = copy.Run(nExit);
    EXPECT_EQ(nExit, 3);
    const std::string strEvents =
        "{\"type\":1,\"id\":1610612847,\"strings\":[\"Can not create Temp Directory " +
        copy.JsonWindowsPath("Settings/SWSettings.xml/Temp") +
        ": The system cannot find the path specified.\"]},{\"type\":1,\"id\":1610612862," + "\"strings\":[]}";
    EXPECT_NE(strOutput.find(strEvents), std::string::npos) << strOutput;
}

TEST(GeneralSettingsStart, FailsWithoutTheResourceLibrary)
{
    const CTreeCopy copy;
    std::filesystem::remove(copy.Tree() / "Resource" / "DorvRes64.so");
    int nExit = 0;
    const std::string strOutput = copy.Run(nExit);
    EXPECT_EQ(nExit, 3);
    const std::string strEvents = "{\"type\":1,\"id\":1610612847,\"strings\":[\"Load resource file failed " +
                                  copy.JsonWindowsPath("Resource") +
                                  "\\\\DorvRes64.dll\"]},{\"type\":1,\"id\":1610612862," + "\"strings\":[]}";
    EXPECT_NE(strOutput.find(strEvents), std::string::npos) << strOutput;
    EXPECT_EQ(CountOf(strOutput, "\"id\":1610612862"), 1u) << strOutput;
}
} // namespace
