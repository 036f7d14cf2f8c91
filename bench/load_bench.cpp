// The whole road as a server runs it, through the loaded worker library and the host: generated read
// pages of 50 KB, 500 KB and 5 MB with attachments in proportion sent through send raw data (DOM, template
// comment, factory, rewriter, instruction list, the host's applier), beside libxml2's parse and the memchr
// floor on the same bytes; the peak memory of one rewrite per size; and the per-request road (pre-processed
// headers, authentication complete with a download decision, send response) from 1, 2, 4 and 8 threads.
#include "PeerScans.h"
#include "common/StringHelpers.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"
#include "platform/MachineConfig.h"
#include "tests/directory/SlapdServer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;

// The worker runs from a copy of the build's run-time tree, with the sample's trace switched off as a
// server in production runs (--traced keeps it on, to measure what the trace lines cost).
bool g_bTraced = false;

// The copy of the run-time tree, removed at exit, and by a peak child itself before its std::_Exit.
fs::path g_treeCopy;

void RemoveTreeCopy()
{
    if (g_treeCopy.empty())
        return;
    std::error_code ec;
    fs::remove_all(g_treeCopy, ec);
    g_treeCopy.clear();
}

std::string TreeCopy()
{
    static const std::string s_strModule = []
    {
        // Under TMPDIR, where a run's leftovers are looked for.
        std::string strRoot = (fs::temp_directory_path() / "dlsw-load-bench-XXXXXX").string();
        if (mkdtemp(strRoot.data()) == nullptr)
        {
            std::fprintf(stderr, "load_bench: cannot make %s\n", strRoot.c_str());
            std::exit(1);
        }
        const fs::path root = strRoot;
        g_treeCopy = root;
        std::atexit(RemoveTreeCopy);
        const fs::path tree = DLSW_INSTALL_TREE;
        fs::copy(tree, root / "install", fs::copy_options::recursive);
        fs::copy(tree.parent_path() / "Common Files", root / "Common Files", fs::copy_options::recursive);
        fs::copy(tree.parent_path() / "C", root / "C", fs::copy_options::recursive);
        if (!g_bTraced)
        {
            const fs::path settings = root / "install" / "Settings" / "SWSettings.xml";
            std::ifstream in(settings, std::ios::binary);
            std::string strText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const std::string strKind = "(1 trace, 10 trace and event log)\" VALUE=\"1\"";
            const size_t nKind = strText.find(strKind);
            if (nKind == std::string::npos)
            {
                std::fprintf(stderr, "load_bench: the sample settings have no log kind to switch off\n");
                std::exit(1);
            }
            strText[nKind + strKind.size() - 2] = '0';
            std::ofstream(settings, std::ios::binary | std::ios::trunc) << strText;
        }
        return (root / "install" / "bin" / "DL_ServiceWorker.so").string();
    }();
    return s_strModule;
}

// OWA's settings and users' languages come from a real directory server, as on a server in use; a
// directory that cannot be reached would make every request report it to the event log.
CSlapdServer& Directory()
{
    static CSlapdServer s_server;
    return s_server;
}

CHostFilter& Host()
{
    static CHostFilter* s_pHost = []
    {
        std::string strDirectoryError;
        if (!Directory().Start(strDirectoryError))
        {
            std::fprintf(stderr, "load_bench: no directory server: %s\n", strDirectoryError.c_str());
            std::exit(1);
        }
        CMachineConfig::Instance().SetDirectoryServer(Directory().MachineDirectory());
        CMachineConfig::Instance().SetComputerName("MAIL01", "mail01", "example.test");
        auto* pHost = new CHostFilter();
        std::string strError;
        HTTP_FILTER_VERSION version{};
        if (!pHost->Load(TreeCopy(), strError) || !pHost->GetFilterVersion(version))
        {
            std::fprintf(stderr, "load_bench: the worker did not start: %s\n", strError.c_str());
            std::exit(1);
        }
        return pHost;
    }();
    return *s_pHost;
}

enum class PageKind
{
    Premium,
    Basic
};

const char* const kNames[] = {"report.doc", "setup.exe", "figures.xls", "archive.zip", "notes.txt"};

std::string Attachment(PageKind eKind, size_t i)
{
    const std::string n = std::to_string(i);
    const std::string strName = kNames[i % 5];
    const std::string strLink = "<a id=\"lnkAtmt\" href=\"attachment.ashx?attach=1&amp;id=RgAAAADs4ZfQ&amp;"
                                "attcnt=1&amp;attid0=RgAAAAAtt" +
                                n + "\" target=_blank title=\"" + strName + "\">" + strName +
                                "&#x200E; (24 KB)</a>";
    if (eKind == PageKind::Premium)
        return "<span id=\"spnAtmt\" _level=\"3\" _attid=\"RgAAAAAtt" + n +
               "\" level=\"3\"><img src=\"/owa/8.1.240.5/themes/base/doc.gif\"> " + strLink + "</span>;\r\n";
    return "<span id=\"spnAtmt\" level=\"3\"><img src=\"/owa/8.1.240.5/themes/base/doc.gif\"> " + strLink +
           "</span>\r\n";
}

// A paragraph of mail body as outsiders write it: text, links, a table, a comment and a character reference.
std::string BodyBlock(size_t i)
{
    const std::string n = std::to_string(i);
    return "<p class=\"MsoNormal\">Line " + n +
           " of the quarterly figures &amp; notes, see <a href=\"http://example.test/r/" + n +
           "\" target=\"_blank\">the report</a>.</p><table border=\"1\"><tr><td nowrap>Q" + n +
           "</td><td>1,234</td></tr></table><!-- quoted " + n + " --><div style=\"margin:0\"><b>" + n +
           "</b> caf&eacute;</div>\r\n";
}

// About one attachment for every 5 KB of page, the rest mail body.
const std::string& Page(PageKind eKind, size_t nBytes)
{
    static std::map<std::pair<int, size_t>, std::string> s_pages;
    std::string& s = s_pages[{static_cast<int>(eKind), nBytes}];
    if (!s.empty())
        return s;
    const size_t nAttachments = nBytes / 5000;
    if (eKind == PageKind::Premium)
        s = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\r\n<!-- OwaPage = "
            "ASP.forms_premium_readmessage_aspx -->\r\n<html dir=\"ltr\">\r\n<head>\r\n<title>Quarterly "
            "figures</title>\r\n<link type=\"text/css\" rel=\"stylesheet\" "
            "href=\"/owa/8.1.240.5/themes/base/premium.css\">\r\n<script type=\"text/javascript\" "
            "src=\"/owa/8.1.240.5/scripts/premium/uglobal.js\"></script>\r\n<script "
            "type=\"text/javascript\">var "
            "a_sId = \"RgAAAADs4ZfQxGn2TqgUVA3sAAAB\";</script>\r\n</head>\r\n<body class=\"rdFrmBody\">\r\n"
            "<div id=\"divSubj\">Quarterly figures</div>\r\n<div id=\"divAtch\" class=\"atchList\">\r\n";
    else
        s = "<!-- OwaPage = ASP.forms_basic_basicreadmessage_aspx "
            "-->\r\n<html>\r\n<head>\r\n<title>Quarterly "
            "figures</title>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
            "<link type=\"text/css\" rel=\"stylesheet\" href=\"/owa/8.1.240.5/themes/base/basic.css\">\r\n"
            "</head>\r\n<body>\r\n<form name=\"frm\" method=\"post\" action=\"?ae=Item&amp;t=IPM.Note\">\r\n"
            "<input type=\"hidden\" name=\"hidid\" value=\"RgAAAADs4ZfQxGn2TqgUVA3sAAAB\">\r\n<div "
            "id=\"divAtt\">\r\n";
    for (size_t i = 0; i < nAttachments; ++i)
        s += Attachment(eKind, i);
    s += eKind == PageKind::Premium ? "</div>\r\n<div id=\"divBdy\" class=\"bdy\">"
                                    : "</div>\r\n<div class=\"bdy\">";
    const std::string strTail = eKind == PageKind::Premium ? "</div>\r\n</body>\r\n</html>\r\n"
                                                           : "</div>\r\n</form>\r\n</body>\r\n</html>\r\n";
    for (size_t i = 0; s.size() + strTail.size() < nBytes; ++i)
        s += BodyBlock(i);
    s += strTail;
    return s;
}

CHostRequest PageRequest(const std::string& strPage)
{
    CHostRequest request;
    std::string strError;
    RawRequest::Parse(
        "GET /owa/?ae=Item&t=IPM.Note&id=RgAAAADs4ZfQ%2bWvTQ5dYtJbqPEoBwBdm6Ks&a=Open HTTP/1.1\r\n"
        "Host: mail.example.test\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; "
        "Trident/4.0)\r\nAccept: */*\r\nCookie: sessionid=5f1c2a; UserContext=a81f; cadata=\"1Qm3kFhKx0\"\r\n"
        "KS_CSMPREFIX: csm01/\r\n\r\n",
        request.m_raw, strError);
    request.m_strUser = "EXAMPLE\\bob";
    request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
    request.m_strResponseBody = strPage;
    return request;
}

// Peak memory of one rewrite: the resident set's high-water mark is reset to what is resident now, the
// rewrite run once, and the peak getrusage reports taken less the one it reported before.
long PeakKilobytesOfOneRewrite(const CHostRequest& request, bool& bRewritten)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const CHostResult result = Host().Process(request);
    bRewritten = result.m_bInstructionsSubmitted && result.m_dwSubmitResult == 0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss - before.ru_maxrss;
}

// The peak of one rewrite measured in a process of its own (this program run with --peak-of=KIND/BYTES), so
// that no heap another page grew before hides it. -1 when the page was not rewritten.
long PeakInAFreshProcess(const char* pszKind, size_t nBytes)
{
    const std::string strCommand = "'/proc/" + std::to_string(getpid()) + "/exe' --peak-of=" + pszKind + "/" +
                                   std::to_string(nBytes) + (g_bTraced ? " --traced" : "") + " 2>/dev/null";
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (pPipe == nullptr)
        return -1;
    long lPeak = -1;
    if (std::fscanf(pPipe, "%ld", &lPeak) != 1)
        lPeak = -1;
    pclose(pPipe);
    return lPeak;
}

int MeasureOnePeak(const std::string& strWhat)
{
    const size_t nSlash = strWhat.find('/');
    const PageKind eKind = strWhat.substr(0, nSlash) == "Basic" ? PageKind::Basic : PageKind::Premium;
    const size_t nBytes = std::stoul(strWhat.substr(nSlash + 1));
    const CHostRequest request = PageRequest(Page(eKind, nBytes));
    // The worker's first request sets up what it keeps for good; that is no rewrite's peak.
    Host().Process(PageRequest(Page(eKind, 4096)));
    bool bRewritten = false;
    const long lPeak = PeakKilobytesOfOneRewrite(request, bRewritten);
    std::printf("%ld\n", bRewritten ? lPeak : -1L);
    std::fflush(stdout);
    // std::_Exit skips the worker's unload, which is no part of the peak, and with it every destructor
    // and atexit handler: the directory server and the tree copy go here, or each child would leave both.
    Directory().Stop();
    RemoveTreeCopy();
    std::_Exit(0);
}

void Rewrite(benchmark::State& state, const CHostRequest& request, long lPeakKilobytes)
{
    size_t nInstructions = 0;
    for (auto _ : state)
    {
        const CHostResult result = Host().Process(request);
        if (!result.m_bInstructionsSubmitted || result.m_dwSubmitResult != 0)
        {
            state.SkipWithError("the page was not rewritten");
            break;
        }
        nInstructions = result.m_nInstructions;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(request.m_strResponseBody.size()));
    state.counters["instructions"] = static_cast<double>(nInstructions);
    state.counters["peak_KB"] = static_cast<double>(lPeakKilobytes);
    state.counters["peak_per_page_byte"] =
        static_cast<double>(lPeakKilobytes) * 1024.0 / static_cast<double>(request.m_strResponseBody.size());
}

// The requests a server answers most, each with its download decision: a direct download let through on
// the worker's hashes, one with a wrong hash refused, and a viewer show redirect.
std::vector<CHostRequest> DecisionRequests()
{
    const std::string strAllowed = "/owa/attachment.ashx?attach=1&id=RgAAAADs4ZfQ&attcnt=2&attid0=BAAAAAAA&"
                                   "attid1=BAAAAAAB&midh=" +
                                   HashToDecimalString("RgAAAADs4ZfQBAAAAAAA") +
                                   "&aidh=" + HashToDecimalString("BAAAAAAB");
    const std::string astrURLs[] = {
        strAllowed, "/owa/attachment.ashx?attach=1&id=RgAAAADs4ZfQ&attcnt=1&attid0=BAAAAAAA&midh=1&aidh=2",
        "/X-Dorvel/cmd/show/file/reports/q3.doc?aid=BAAAAAAA&mid=RgAAAADs4ZfQ&bld=8.3&thm=base&prexp=0"};
    std::vector<CHostRequest> vecRequests;
    for (const std::string& strURL : astrURLs)
    {
        CHostRequest request;
        std::string strError;
        RawRequest::Parse(
            "GET " + strURL +
                " HTTP/1.1\r\nHost: mail.example.test\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE "
                "8.0; Windows NT 6.1; Trident/4.0)\r\nCookie: sessionid=5f1c2a; UserContext=a81f\r\n"
                "Accept-Language: fr-CA,fr;q=0.8\r\n\r\n",
            request.m_raw, strError);
        request.m_strUser = "EXAMPLE\\bob";
        request.m_dwCriteriaID = 2;
        vecRequests.push_back(std::move(request));
    }
    return vecRequests;
}

void PerRequest(benchmark::State& state)
{
    static const std::vector<CHostRequest> s_vecRequests = DecisionRequests();
    size_t i = static_cast<size_t>(state.thread_index());
    for (auto _ : state)
    {
        const CHostResult result = Host().Process(s_vecRequests[i++ % s_vecRequests.size()]);
        benchmark::DoNotOptimize(result.m_dwRequestFlags);
    }
    state.SetItemsProcessed(state.iterations());
}

void RegisterAll()
{
    const struct
    {
        const char* pszName;
        size_t nBytes;
    } sizes[] = {{"50KB", 50 * 1024}, {"500KB", 500 * 1024}, {"5MB", 5 * 1024 * 1024}};
    const struct
    {
        const char* pszName;
        PageKind eKind;
    } kinds[] = {{"Premium", PageKind::Premium}, {"Basic", PageKind::Basic}};
    static std::vector<CHostRequest> s_vecRequests;
    s_vecRequests.reserve(std::size(sizes) * std::size(kinds));
    for (const auto& kind : kinds)
    {
        for (const auto& size : sizes)
        {
            const long lPeak = PeakInAFreshProcess(kind.pszName, size.nBytes);
            if (lPeak < 0)
            {
                std::fprintf(
                    stderr,
                    "load_bench: this worker does not rewrite %s read pages; their rows are left out\n",
                    kind.pszName);
                break;
            }
            s_vecRequests.push_back(PageRequest(Page(kind.eKind, size.nBytes)));
            const CHostRequest& request = s_vecRequests.back();
            const std::string strSuffix = std::string("/") + kind.pszName + "/" + size.pszName;
            benchmark::RegisterBenchmark((std::string(kind.pszName) + "Rewrite/" + size.pszName).c_str(),
                                         Rewrite, request, lPeak)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("LibXml2Html" + strSuffix).c_str(), LibXml2,
                                         request.m_strResponseBody)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("MemchrFloor" + strSuffix).c_str(), MemchrFloor,
                                         request.m_strResponseBody)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    for (int nThreads : {1, 2, 4, 8})
        benchmark::RegisterBenchmark("PerRequest/Decisions", PerRequest)->Threads(nThreads)->UseRealTime();
}
} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::string(argv[i]) == "--traced")
        {
            g_bTraced = true;
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    benchmark::AddCustomContext("trace", g_bTraced ? "on" : "off");
    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        if (strArg.rfind("--peak-of=", 0) == 0)
            return MeasureOnePeak(strArg.substr(10));
    }
    benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
