// OWA pages in the character sets users' servers send them in, for users of every language the resource
// library holds and one it does not: each sample page goes through the worker, loaded once for the whole
// program by the host, with the set in its response's Content-Type and the user's language in
// Accept-Language (the machine is in no domain, so the browser's header decides). Every page must come back
// rewritten, and every script and event handler of it must parse in node once the page is read in its set
// as a browser reads it. A page in a set that is not read here, or whose ASCII bytes may
// stand for other characters, goes out as it came, with one trace line that names the set.
#include "host/HostFilter.h"
#include "host/RawRequest.h"
#include "tests/support/MappedSection.h"
#include "tests/support/PageChecks.h"
#include "tests/support/PageDecode.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const fs::path SAMPLES = fs::path(DLSW_SOURCE_DIR) / "samples";
constexpr const char* LOG_FOLDER = "C/Windows/System32/LogFiles/KestruneLogs";

const char* const CHARSETS[] = {"windows-1252", "us-ascii", "iso-8859-1", "iso-8859-2",
                                "iso-8859-7",   "koi8-r",   "euc-kr",     "shift_jis",
                                "big5",         "gb2312",   "utf-8"};
// English, French and Greek have resources; Japanese falls back to English.
const char* const LANGUAGES[] = {"en", "fr", "el", "ja"};

struct CPage
{
    const char* m_pszPage;
    const char* m_pszRequest; // the sample request that asks for it
};

const CPage PAGES[] = {
    {"basic-read-item.html", "19-basic-read-page.http"},
    {"basic-edit-item.html", "20-basic-edit-page.http"},
    {"basic-attachment-manager.html", "03-basic-attachment-manager.http"},
    {"premium-edit-item.html", "16-premium-edit-page.http"},
    {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http"},
    {"premium-attach-file-dialog-result.html", "18-premium-attach-file-dialog-post.http"},
    {"premium-delete-attachment.html", "10-premium-delete-attachment.http"},
    {"premium-document-view.html", "21-premium-document-view.http"},
    {"premium-document-view-sort.html", "22-premium-document-view-sort.http"},
};

void PrintTo(const CPage& page, std::ostream* pOut)
{
    *pOut << page.m_pszPage;
}

// The scheduling tab is left out: with the shipped settings it has nothing to change, in any set.

// The request with the user's language and the prefix of the viewer's cached scripts, which a page needs
// to be rewritten.
std::string Request(const CPage& page, const std::string& strLanguage)
{
    const std::string strHead = ReadFileText(SAMPLES / "requests" / page.m_pszRequest);
    std::string strRequest;
    std::istringstream lines(strHead);
    for (std::string strLine; std::getline(lines, strLine);)
    {
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (!strLine.empty())
            strRequest += strLine + "\r\n";
    }
    if (strRequest.find("KS_CSMPREFIX:") == std::string::npos)
        strRequest += "KS_CSMPREFIX: csm01/\r\n";
    return strRequest + "Accept-Language: " + strLanguage + "\r\n\r\n";
}

// One request's inputs and what came back.
struct CRun
{
    const CPage* m_pPage = nullptr;
    std::string m_strCharSet;
    std::string m_strLanguage;
    bool m_bProcessed = false;
    bool m_bInstructionsSubmitted = false;
    DWORD m_dwSubmitResult = 0;
    std::string m_strSubmitError;
    std::string m_strSent;
    std::string m_strTrace;
    // A body and a Content-Type of the run's own, in place of the sample page and its set.
    std::string m_strBody;
    std::string m_strContentType;

    std::string Name() const
    {
        return std::string(m_pPage->m_pszPage) + " " + m_strCharSet + " " + m_strLanguage;
    }
    // What the host reports of the page's instructions, for a failure's message.
    std::string Outcome() const
    {
        return "instructions submitted: " + std::string(m_bInstructionsSubmitted ? "yes" : "no") +
               ", submit result: " + std::to_string(m_dwSubmitResult) + ", host: " + m_strSubmitError;
    }
};

// The shipped run-time tree copied for this program, the worker loaded from it once, and its trace. The
// trace goes to a shared-memory log of this program's own (the log name, and so the section's, carries the
// process id), which this program creates before the worker starts, as a log viewer does, so that each
// request's lines are the text its request added to the section.
class CCharSetWorker : public testing::Environment
{
public:
    // The log's size: every line of every request of one program fits without wrapping.
    static constexpr DWORD LOG_SIZE = 64u << 20;
    // The section starts with a header of this size, the text "write offset, high water, wrap start, size"
    // padded with blanks; the lines follow it.
    static constexpr int HEADER_SIZE = 100;
    static constexpr int LOG_WRAP_START = 20480;

    void SetUp() override
    {
        std::string strRoot = (fs::temp_directory_path() / "dlsw-charsets-XXXXXX").string();
        ASSERT_NE(mkdtemp(strRoot.data()), nullptr);
        s_root = strRoot;
        fs::create_directories(s_root / LOG_FOLDER);
        fs::copy(DLSW_INSTALL_TREE, s_root / "install", fs::copy_options::recursive);
        fs::copy(DLSW_COMMON_FILES, s_root / "Common Files", fs::copy_options::recursive);

        const std::string strLogName = "KSCharSets-" + std::to_string(getpid()) + ".log";
        const fs::path settings = s_root / "install" / "Settings" / "SWSettings.xml";
        std::string strSettings = ReadFileText(settings);
        const std::string strDestination = "(1 shared memory, 2 file)\" VALUE=\"2\"";
        const size_t nDestination = strSettings.find(strDestination);
        ASSERT_NE(nDestination, std::string::npos) << "the shipped settings log elsewhere";
        strSettings[nDestination + strDestination.size() - 2] = '1';
        strSettings.insert(strSettings.find("</GENERALSETTINGS>"),
                           "<ITEM ID=\"23\" DESCR=\"Log file name\" VALUE=\"" + strLogName + "\"/>\n");
        std::ofstream(settings, std::ios::binary | std::ios::trunc) << strSettings;

        s_strSection = "Global\\" + strLogName;
        HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, SEC_RESERVE | PAGE_READWRITE, 0,
                                             LOG_SIZE, s_strSection.c_str());
        ASSERT_NE(hSection, nullptr) << "cannot make the log section " << s_strSection;
        s_spLog = std::make_unique<CMappedSection>(hSection, LOG_SIZE);
        ASSERT_NE(s_spLog->View(), nullptr);
        char szHeader[HEADER_SIZE + 1];
        std::snprintf(szHeader, sizeof(szHeader), "%-*s", HEADER_SIZE,
                      (std::to_string(HEADER_SIZE) + ", " + std::to_string(HEADER_SIZE) + ", " +
                       std::to_string(LOG_WRAP_START) + ", " + std::to_string(LOG_SIZE))
                          .c_str());
        std::copy(szHeader, szHeader + HEADER_SIZE, s_spLog->View());

        s_spHost = std::make_unique<CHostFilter>();
        std::string strError;
        ASSERT_TRUE(s_spHost->Load((s_root / "install" / "bin" / "DL_ServiceWorker.so").string(), strError))
            << strError;
        HTTP_FILTER_VERSION version{};
        ASSERT_EQ(s_spHost->GetFilterVersion(version), TRUE);
        s_bLoaded = true;
    }

    void TearDown() override
    {
        if (s_bLoaded)
            s_spHost->Terminate();
        s_spHost.reset();
        s_bLoaded = false;
        s_spLog.reset();
        if (!s_strSection.empty())
            DeleteNamedFileMapping(s_strSection.c_str());
        std::error_code ec;
        fs::remove_all(s_root, ec);
    }

    // Each run through the loaded worker in turn, with the trace lines its request wrote.
    static void DriveAll(std::vector<CRun>& vecRuns)
    {
        ASSERT_TRUE(s_bLoaded) << "the worker did not load";
        for (CRun& run : vecRuns)
            Drive(run);
    }

private:
    static size_t WriteOffset()
    {
        int nWrite = 0;
        std::sscanf(s_spLog->View(), "%d", &nWrite);
        return static_cast<size_t>(nWrite);
    }

    static void Drive(CRun& run)
    {
        CHostRequest request;
        std::string strError;
        ASSERT_TRUE(RawRequest::Parse(Request(*run.m_pPage, run.m_strLanguage), request.m_raw, strError))
            << strError;
        request.m_strUser = "EXAMPLE\\alice";
        request.m_vecResponseHeaders = {{"Content-Type", run.m_strContentType.empty()
                                                             ? "text/html; charset=" + run.m_strCharSet
                                                             : run.m_strContentType}};
        request.m_strResponseBody =
            run.m_strBody.empty() ? ReadFileText(SAMPLES / "pages" / run.m_pPage->m_pszPage) : run.m_strBody;
        const size_t nFrom = WriteOffset();
        const CHostResult result = s_spHost->Process(request);
        const size_t nTo = WriteOffset();
        run.m_bProcessed = true;
        run.m_bInstructionsSubmitted = result.m_bInstructionsSubmitted;
        run.m_dwSubmitResult = result.m_dwSubmitResult;
        run.m_strSubmitError = result.m_strSubmitError;
        run.m_strSent = result.m_strBody;
        ASSERT_GE(nTo, nFrom) << "the log wrapped in " << run.Name() << ": make LOG_SIZE larger";
        run.m_strTrace.assign(s_spLog->View() + nFrom, nTo - nFrom);
    }

    inline static fs::path s_root;
    inline static std::string s_strSection;
    inline static std::unique_ptr<CMappedSection> s_spLog;
    inline static std::unique_ptr<CHostFilter> s_spHost;
    inline static bool s_bLoaded = false;
};

testing::Environment* const g_pWorker = testing::AddGlobalTestEnvironment(new CCharSetWorker());

// What node says of each piece that does not parse, one line each; empty when all parse. Pieces are
// checked in one node process, each text once however many runs it stands in: a handler as the body of
// the function a browser makes of it.
std::string NodeCheckAll(const std::vector<std::pair<std::string, page_checks::CScriptPiece>>& vecPieces)
{
    std::set<std::pair<bool, std::string>> setSeen;
    std::string strJson = "[";
    size_t nChecked = 0;
    for (const auto& [strPage, piece] : vecPieces)
    {
        const bool bHandler = piece.m_strWhere.rfind("script #", 0) != 0;
        if (!setSeen.emplace(bHandler, piece.m_strCode).second)
            continue;
        ++nChecked;
        strJson += (strJson.size() > 1 ? "," : "") + std::string("[") +
                   page_checks::JsonString(strPage + ": " + piece.m_strWhere) + "," +
                   page_checks::JsonString(piece.m_strCode) + "," + (bHandler ? "true" : "false") + "]";
    }
    strJson += "]";
    if (nChecked == 0)
        return "no script to check";
    const std::string strScript =
        "const vm = require('vm');\n"
        "const pieces = " +
        strJson +
        ";\n"
        "let failed = 0;\n"
        "for (const [where, code, handler] of pieces) {\n"
        "  try { new vm.Script(handler ? 'function handler(event) {\\n' + code + '\\n}' : code); }\n"
        "  catch (e) { failed++; console.log(where + ': ' + e.message + ': ' + code.slice(0, 200)); }\n"
        "}\n"
        "if (failed == 0) console.log('parsed ' + pieces.length);\n";
    const page_checks::CScriptFile file(strScript);
    int nExit = 0;
    const std::string strOutput = page_checks::RunCommand("node '" + file.Path() + "' 2>&1", nExit);
    if (nExit != 0 || strOutput.empty())
        return "node did not run (is nodejs installed?) " + strOutput;
    return strOutput.rfind("parsed ", 0) == 0 ? std::string() : strOutput;
}

size_t CountLines(const std::string& strTrace, const std::string& strWhat)
{
    size_t nCount = 0;
    for (size_t nPos = 0; (nPos = strTrace.find(strWhat, nPos)) != std::string::npos; nPos += strWhat.size())
        ++nCount;
    return nCount;
}

// One sample page at a time, so that the pages run side by side.
class PageCharSetsEndToEnd : public testing::TestWithParam<CPage>
{
};

TEST_P(PageCharSetsEndToEnd, RewrittenInEverySetForEveryLanguageAndItsScriptsParse)
{
    std::vector<CRun> vecRuns;
    for (const char* pszCharSet : CHARSETS)
    {
        for (const char* pszLanguage : LANGUAGES)
        {
            CRun run;
            run.m_pPage = &GetParam();
            run.m_strCharSet = pszCharSet;
            run.m_strLanguage = pszLanguage;
            vecRuns.push_back(run);
        }
    }
    CCharSetWorker::DriveAll(vecRuns);

    const std::string strInput = ReadFileText(SAMPLES / "pages" / GetParam().m_pszPage);
    std::vector<std::pair<std::string, page_checks::CScriptPiece>> vecPieces;
    for (const CRun& run : vecRuns)
    {
        SCOPED_TRACE(run.Name());
        ASSERT_TRUE(run.m_bProcessed);
        EXPECT_TRUE(run.m_bInstructionsSubmitted && run.m_dwSubmitResult == 0) << run.Outcome();
        EXPECT_NE(run.m_strSent, strInput);
        EXPECT_EQ(run.m_strTrace.find("GetResources can not translate"), std::string::npos);
        // The run's own lines were read, or the line above would hold for want of any.
        EXPECT_EQ(
            CountLines(run.m_strTrace, "DetectUserLanguage User: alice Language: " + run.m_strLanguage + " "),
            1u);
        std::string strPage;
        ASSERT_TRUE(page_decode::DecodeToUtf8(run.m_strSent, run.m_strCharSet, strPage));
        const std::vector<page_checks::CScriptPiece> vecScripts = page_checks::ScriptsOfText(strPage);
        EXPECT_FALSE(vecScripts.empty());
        for (const auto& piece : vecScripts)
            vecPieces.emplace_back(run.Name(), piece);
    }
    EXPECT_EQ(NodeCheckAll(vecPieces), "");
}

INSTANTIATE_TEST_SUITE_P(SamplePages, PageCharSetsEndToEnd, testing::ValuesIn(PAGES),
                         [](const testing::TestParamInfo<CPage>& param)
                         {
                             std::string strName;
                             for (const char* p = param.param.m_pszPage; *p != '.'; ++p)
                                 strName += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return strName;
                         });

TEST(PageCharSetsEndToEnd, AUserOfALanguageWithoutStringsGetsEnglish)
{
    std::vector<CRun> vecRuns;
    for (const char* pszCharSet : {"shift_jis", "windows-1252"})
    {
        CRun run;
        run.m_pPage = &PAGES[0];
        run.m_strCharSet = pszCharSet;
        run.m_strLanguage = "ja";
        vecRuns.push_back(run);
    }
    CCharSetWorker::DriveAll(vecRuns);
    for (const CRun& run : vecRuns)
    {
        SCOPED_TRACE(run.Name());
        ASSERT_TRUE(run.m_bProcessed);
        EXPECT_NE(run.m_strSent.find("var g_szDorvLoading = \"Loading...\";"), std::string::npos);
        EXPECT_NE(
            run.m_strTrace.find("GetResources didn't find res ID 189 LANGID 1041, it looked for Englich "
                                "version 1"),
            std::string::npos);
    }
}

// The kanji of a page in ISO-2022-JP are ASCII bytes between ESC $B and ESC (B: fourteen ordinary ones spell
// a tag that an edit cutting through them would let the browser read.
const std::string KANJI_TAG = "\x1B$B\"><iframe/onload=alert(11)>>\x1B(B";

// The sample page with the text in its first title (its attachment's where it has one).
std::string WithTitle(const CPage& page, const std::string& strText)
{
    std::string strPage = ReadFileText(SAMPLES / "pages" / page.m_pszPage);
    const size_t nTitle = strPage.find("title=\"");
    if (nTitle != std::string::npos)
        strPage.insert(nTitle + 7, strText);
    else
        strPage.insert(strPage.find("</body>"), "<p title=\"" + strText + "\">x</p>");
    return strPage;
}

const char* const UNCHANGED_LINE =
    "is not one whose ASCII bytes are always ASCII here: the page goes out unchanged.";

// A page whose set is not read here, or whose ASCII bytes may stand for other characters, goes out as it
// came, Basic and Premium alike, with one trace line that names the set.
TEST(PageCharSetsEndToEnd, APageInASetWhoseAsciiIsNotAlwaysAsciiGoesOutAsItCameWithOneTraceLine)
{
    const struct
    {
        const char* m_pszContentType;
        std::string m_strText;
        const char* m_pszNamed;
    } aSets[] = {
        {"text/html; charset=iso-2022-jp", KANJI_TAG, "<iso-2022-jp>"},
        {"text/html; charset=ISO-2022-JP", KANJI_TAG + "\x1B$B\x1B(B", "<iso-2022-jp>"},
        {"text/html; charset=utf-7", "+ACI-+AD4-+ADw-iframe/onload+AD0-alert(7)+AD4-", "<utf-7>"},
        {"text/html; charset=hz-gb-2312", "~{\"><iframe/onload=alert(12)>>~}", "<replacement>"},
        {"text/html; charset=utf-16", "x", "<utf-16le>"},
        {"text/html; charset=x-user-defined", "x", "<x-user-defined>"},
    };
    std::vector<CRun> vecRuns;
    for (const CPage& page : PAGES)
    {
        if (std::string(page.m_pszPage) != "basic-read-item.html" &&
            std::string(page.m_pszPage) != "premium-edit-item.html")
            continue;
        for (const auto& set : aSets)
        {
            CRun run;
            run.m_pPage = &page;
            run.m_strCharSet = set.m_pszNamed;
            run.m_strContentType = set.m_pszContentType;
            run.m_strBody = WithTitle(page, set.m_strText);
            run.m_strLanguage = "fr";
            vecRuns.push_back(run);
        }
    }
    ASSERT_EQ(vecRuns.size(), 12u);
    CCharSetWorker::DriveAll(vecRuns);
    for (const CRun& run : vecRuns)
    {
        SCOPED_TRACE(run.Name() + " " + run.m_strContentType);
        ASSERT_TRUE(run.m_bProcessed);
        EXPECT_FALSE(run.m_bInstructionsSubmitted) << run.Outcome();
        EXPECT_EQ(run.m_strSent, run.m_strBody);
        EXPECT_EQ(CountLines(run.m_strTrace, UNCHANGED_LINE), 1u) << run.m_strTrace;
        EXPECT_EQ(CountLines(run.m_strTrace,
                             "[CDLForm::CDLForm] Character set " + run.m_strCharSet + " " + UNCHANGED_LINE),
                  1u);
        EXPECT_EQ(run.m_strTrace.find("GetResources can not translate"), std::string::npos);
    }
}

// Browsers take the set as the HTML Standard says: the byte-order mark over the Content-Type, the
// Content-Type's charset parameter as a MIME parameter, a <meta> anywhere among the first 1024 bytes, and a
// name no browser knows as no name at all.
TEST(PageCharSetsEndToEnd, ThePagesSetIsTheOneBrowsersPick)
{
    const CPage& page = PAGES[0];
    const std::string strPage = ReadFileText(SAMPLES / "pages" / page.m_pszPage);
    std::string strNoMeta = strPage;
    const size_t nMeta = strNoMeta.find("<meta http-equiv=\"Content-Type\"");
    ASSERT_NE(nMeta, std::string::npos);
    strNoMeta.erase(nMeta, strNoMeta.find('>', nMeta) + 1 - nMeta);
    const struct
    {
        const char* m_pszContentType;
        std::string m_strBody;
        const char* m_pszLine;
    } aCases[] = {
        {"text/html; charset=shift_jis", "\xEF\xBB\xBF" + strPage,
         "Character set <utf-8> from the byte-order mark."},
        {"text/html; x-charset=utf-8; charset=shift_jis", strPage,
         "Character set <shift_jis> from the Content-Type."},
        {"text/html; charset=\"GB_2312\"", strPage, "Character set <gbk> from the Content-Type."},
        {"text/html; charset=ibm-943", "<meta charset=big5>" + strNoMeta,
         "Character set <big5> from the meta."},
        {"text/html",
         "<meta http-equiv=content-type content=\"text/html; charset; charset=euc-kr\">" + strNoMeta,
         "Character set <euc-kr> from the meta."},
        // Browsers read a <meta> with their tokenizer, which reads character references.
        {"text/html", "<meta http-equiv=content-type content=\"text/html; charset&#61;euc-kr\">" + strNoMeta,
         "Character set <euc-kr> from the meta."},
        {"text/html", "<meta name=x content=\"charset=shift_jis\">" + strNoMeta,
         "Character set <utf-8> from the default."},
        {"text/html; charset=x-no-such-set", strNoMeta, "Character set <utf-8> from the default."},
    };
    std::vector<CRun> vecRuns;
    for (const auto& c : aCases)
    {
        CRun run;
        run.m_pPage = &page;
        run.m_strContentType = c.m_pszContentType;
        run.m_strBody = c.m_strBody;
        run.m_strCharSet = c.m_pszLine;
        run.m_strLanguage = "en";
        vecRuns.push_back(run);
    }
    CCharSetWorker::DriveAll(vecRuns);
    for (const CRun& run : vecRuns)
    {
        SCOPED_TRACE(run.m_strContentType + " " + run.m_strCharSet);
        ASSERT_TRUE(run.m_bProcessed);
        EXPECT_TRUE(run.m_bInstructionsSubmitted) << run.Outcome();
        EXPECT_EQ(CountLines(run.m_strTrace, "[CDLForm::CDLForm] " + run.m_strCharSet), 1u) << run.m_strTrace;
    }
    EXPECT_NE(vecRuns.back().m_strTrace.find("[CDLForm::CDLForm] Character set <x-no-such-set> of the "
                                             "Content-Type is no label browsers know: ignored."),
              std::string::npos);
}
} // namespace
