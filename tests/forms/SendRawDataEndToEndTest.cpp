// Send response and send raw data end to end: the built worker loaded by the host's tool from a run-time
// tree of its own, once as shipped and once with the probe as the rewriter of every row, so that each
// outcome of a rewrite shows in what the host reports, in the page it sends and in the worker's trace.
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

// A run-time tree in a folder of its own, with the worker given and a drive C: for its log.
class CTree
{
public:
    explicit CTree(const std::string& strModule)
    {
        m_root = fs::temp_directory_path() /
                 ("dlsw-forms-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++s_nTrees));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "C/Windows/System32/LogFiles/KestruneLogs");
        fs::copy(DLSW_INSTALL_TREE, m_root / "install", fs::copy_options::recursive);
        fs::copy(DLSW_COMMON_FILES, m_root / "Common Files", fs::copy_options::recursive);
        fs::copy_file(strModule, m_root / "install/bin/DL_ServiceWorker.so",
                      fs::copy_options::overwrite_existing);
    }
    ~CTree() { fs::remove_all(m_root); }
    CTree(const CTree&) = delete;
    CTree& operator=(const CTree&) = delete;

    // The host's JSON report of one request for the page; the page as the host sends it and the worker's
    // trace lines of the run come back too.
    std::string Drive(const std::string& strPage, const std::string& strOptions, const char* pszRequest,
                      std::string& strSent, std::string& strTrace)
    {
        const fs::path page = m_root / "page.html";
        const fs::path sent = m_root / "sent.html";
        const fs::path log = m_root / "C/Windows/System32/LogFiles/KestruneLogs/KSCommonLog.log";
        std::ofstream(page, std::ios::binary) << strPage;
        fs::remove(log);
        fs::remove(sent);
        int nExit = 0;
        const std::string strJson = RunCommand(
            std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + (m_root / "install").string() +
                "' --user 'EXAMPLE\\alice' " + strOptions + " --body '" + page.string() + "' --out '" +
                sent.string() + "' '" + DLSW_SOURCE_DIR + "/samples/requests/" + pszRequest + "'",
            nExit);
        EXPECT_EQ(nExit, 0) << strJson;
        strSent = ReadFileText(sent);
        strTrace = ReadFileText(log);
        for (char& c : strTrace)
        {
            if (c == '\r')
                c = '\n';
        }
        return strJson;
    }

private:
    static inline int s_nTrees = 0;
    fs::path m_root;
};

std::string RawDataRecord(unsigned nCode, const char* pszControlMessage)
{
    return "{\"type\":1024,\"name\":\"send raw data\",\"code\":" + std::to_string(nCode) +
           ",\"control_message\":\"" + pszControlMessage + "\"}";
}

std::string ProbePage(const char* pszOutcome)
{
    return std::string(
               "<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->\n<html><head><title>t</title></head>"
               "<body><div id=probe data-outcome=") +
           pszOutcome + " data-title='</script>\"'>x</div></body></html>";
}

struct OutcomeCase
{
    const char* m_pszName;
    const char* m_pszOutcome;
    const char* m_pszOptions;
    unsigned m_nCode;
    const char* m_pszControlMessage;
    const char* m_pszTraceLine; // the handler's line that tells the outcome
    bool m_bUnchanged;
};

TEST(SendRawDataThroughTheHost, EveryOutcomeOfARewrite)
{
    CTree tree(DLSW_PROBE_MODULE);
    const OutcomeCase aCases[] = {
        {"rewritten", "rewrite", "", 0, "None",
         "[CNotifications::NotifySendRawData] Sending instructions to core services, number of instructions "
         "is 2 ",
         false},
        {"Process fails", "error", "", 13, "Ignore",
         "[CNotifications::NotifySendRawData] finished.  Win32 RC=13.", true},
        {"nothing to do", "empty", "", 13, "Ignore",
         "[CNotifications::NotifySendRawData] m_pcobBufferInstructions is Empty ", true},
        {"edits that collide never reach the host", "overlap", "", 13, "Ignore",
         "[CNotifications::NotifySendRawData] Instructions do not fit the page (deletes overlap). Nothing is "
         "sent.",
         true},
        {"an edit that would not stay markup never reaches the host", "inside-value", "", 13, "Ignore",
         "[CNotifications::NotifySendRawData] The page goes out unchanged: the insert at <147> is not "
         "between "
         "tokens as a browser reads the page.",
         true},
        {"the host offers no submit entry", "rewrite", "--without-submit-entry", 50, "Ignore",
         "[CNotifications::NotifySendRawData] SubmitBufferCommands returned error 50", true},
        {"a runtime error", "throw-runtime", "", 7, "Ignore",
         "[CNotifications::NotifySendRawData] Runtime exception: probe failure", true},
        {"out of memory", "throw-oom", "", 7, "Ignore",
         "[CNotifications::NotifySendRawData] Unexpected exception", true},
        {"a DOM exception", "throw-dom", "", 7, "Ignore",
         "[CNotifications::NotifySendRawData] Unexpected exception", true},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        std::string strSent;
        std::string strTrace;
        const std::string strPage = ProbePage(c.m_pszOutcome);
        const std::string strJson =
            tree.Drive(strPage, c.m_pszOptions, "01-premium-read-item.http", strSent, strTrace);
        EXPECT_NE(strJson.find(RawDataRecord(c.m_nCode, c.m_pszControlMessage)), std::string::npos)
            << strJson;
        EXPECT_NE(strTrace.find(c.m_pszTraceLine), std::string::npos) << strTrace;
        if (c.m_bUnchanged)
            EXPECT_EQ(strSent, strPage);
        else
            EXPECT_NE(strSent, strPage);
    }
}

TEST(SendRawDataThroughTheHost, TheReportListsTheInstructionsAndTheSentPageCarriesThem)
{
    CTree tree(DLSW_PROBE_MODULE);
    std::string strSent;
    std::string strTrace;
    const std::string strJson =
        tree.Drive(ProbePage("rewrite"), "", "01-premium-read-item.http", strSent, strTrace);
    EXPECT_EQ(strSent,
              "<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->\n<html><head><script "
              "language='javascript'>\r\nvar g_szTitle = \"\\x3C/script\\x3E\\x22\";\r\n</script><title>t</"
              "title></head><body><div id=probe data-outcome=rewrite data-title='</script>\"' "
              "title=\"&lt;/script&gt;&quot;\">x</div></body></html>");
    EXPECT_NE(strJson.find(
                  "\"instructions\":[{\"kind\":\"insert\",\"position\":66,\"text\":\"<script "
                  "language='javascript'>\\r\\nvar g_szTitle = \\\"\\\\x3C/script\\\\x3E\\\\x22\\\";\\r\\n</"
                  "script>\"},{\"kind\":\"insert\",\"position\":153,\"text\":\" "
                  "title=\\\"&lt;/script&gt;&quot;\\\"\"}]"),
              std::string::npos)
        << strJson;
    EXPECT_NE(strJson.find("\"instruction_count\":2"), std::string::npos);
    EXPECT_NE(strJson.find("\"submit_error\":\"\""), std::string::npos);
}

TEST(SendRawDataThroughTheHost, AReplacedPageGoesOutInsteadOfTheOriginal)
{
    CTree tree(DLSW_PROBE_MODULE);
    std::string strSent;
    std::string strTrace;
    const std::string strJson =
        tree.Drive(ProbePage("replace"), "", "01-premium-read-item.http", strSent, strTrace);
    EXPECT_NE(strJson.find(RawDataRecord(0, "Replace")), std::string::npos) << strJson;
    EXPECT_EQ(strSent, "HTTP/1.1 302 Object Moved\r\nLocation: /owa/\r\nContent-Length: 0\r\n\r\n");
}

TEST(SendRawDataThroughTheHost, TheShippedWorkerLeavesPagesWithoutARewriterAlone)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    const struct
    {
        const char* m_pszPage;
        unsigned m_nCode;
        const char* m_pszTraceLine;
    } aCases[] = {
        {"<!-- OwaPage = ASP.forms_premium_options_aspx --><html><head></head><body></body></html>", 13,
         "[CNotifications::NotifySendRawData] Unknown form, no need for modification"},
        {"premium-delete-attachment.html", 13,
         "[CDLFormFactory::createForm] Unknown form, no need for modification. Return NULL."},
        {"", 7, "[CNotifications::NotifySendRawData] Runtime exception: invalid template"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszPage);
        const std::string strPage =
            *c.m_pszPage == '<' ? std::string(c.m_pszPage)
            : *c.m_pszPage != '\0'
                ? ReadFileText(std::string(DLSW_SOURCE_DIR) + "/samples/pages/" + c.m_pszPage)
                : "<!-- OwaPage = ASP.auth_logon_aspx --><html></html>";
        std::string strSent;
        std::string strTrace;
        const std::string strJson = tree.Drive(strPage, "", "01-premium-read-item.http", strSent, strTrace);
        EXPECT_NE(strJson.find(RawDataRecord(c.m_nCode, "Ignore")), std::string::npos) << strJson;
        EXPECT_NE(strTrace.find(c.m_pszTraceLine), std::string::npos) << strTrace;
        EXPECT_EQ(strSent, strPage);
    }
}

TEST(SendResponseThroughTheHost, NoCacheHeadersOnlyOnSuccess)
{
    CTree tree(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so");
    std::string strSent;
    std::string strTrace;
    const std::string strAdded =
        "\"response_headers_added\":[{\"name\":\"X-KSProduct:\",\"value\":\"DL_SW\",\"notification\":64},{"
        "\"name\":"
        "\"Pragma:\",\"value\":\"no-cache\",\"notification\":64},{\"name\":\"Cache-control:\",\"value\":\"no-"
        "cache\","
        "\"notification\":64},{\"name\":\"Cache-control:\",\"value\":\"must-revalidate\",\"notification\":64}"
        ",{"
        "\"name\":\"Cache-control:\",\"value\":\"max-age=0\",\"notification\":64},{\"name\":\"Cache-control:"
        "\","
        "\"value\":\"s-maxage=0\",\"notification\":64},{\"name\":\"Cache-control:\",\"value\":\"no-store\","
        "\"notification\":64},{\"name\":\"Cache-control:\",\"value\":\"private\",\"notification\":64},{"
        "\"name\":"
        "\"Cache-control:\",\"value\":\"proxy-revalidate\",\"notification\":64}]";
    const std::string str200 =
        tree.Drive("<html></html>", "--status 200", "01-premium-read-item.http", strSent, strTrace);
    EXPECT_NE(str200.find(strAdded), std::string::npos) << str200;
    const std::string str302 =
        tree.Drive("<html></html>", "--status 302", "01-premium-read-item.http", strSent, strTrace);
    EXPECT_NE(str302.find("\"response_headers_added\":[]"), std::string::npos);
    EXPECT_NE(
        str302.find("{\"type\":64,\"name\":\"send response\",\"code\":0,\"control_message\":\"Ignore\"}"),
        std::string::npos)
        << str302;
    EXPECT_NE(strTrace.find("[CNotifications::NotifySendResponse] Status is not 200. Ignore request"),
              std::string::npos);
    const std::string str100 =
        tree.Drive("<html></html>", "--status 100", "01-premium-read-item.http", strSent, strTrace);
    EXPECT_NE(str100.find("\"response_headers_added\":[]"), std::string::npos);
    EXPECT_NE(str100.find("{\"type\":64,\"name\":\"send response\",\"code\":0,\"control_message\":\"None\"}"),
              std::string::npos);
}
} // namespace
