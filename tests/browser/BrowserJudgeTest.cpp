// A real browser judges every rewrite. Each page (every sample page, and hostile variants that put
// markup where the rewriters look for it, or bytes that a reader in another character set reads
// otherwise) goes through the host's tool with OWA's settings from a slapd of the test's own; node then
// loads the page as OWA sent it and as the host sent it in one headless Chromium (judge.mjs), runs every
// handler and javascript: link of both, and checks every edit with a conforming tokenizer
// (editcheck.mjs). Chromium, node and the npm modules of tests/browser/ are needed: without them the test
// fails (scripts/install-deps installs them).
#include "tests/directory/SlapdServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const fs::path SOURCE = DLSW_SOURCE_DIR;
const fs::path JUDGE_DIR = SOURCE / "tests" / "browser";

void WriteFile(const fs::path& path, const std::string& strText)
{
    std::ofstream(path, std::ios::binary) << strText;
}

std::string Sample(const char* pszPage)
{
    return ReadFileText(SOURCE / "samples" / "pages" / pszPage);
}

std::string Replaced(std::string strText, const std::string& strWhat, const std::string& strWith)
{
    const size_t nPos = strText.find(strWhat);
    EXPECT_NE(nPos, std::string::npos) << strWhat;
    if (nPos != std::string::npos)
        strText.replace(nPos, strWhat.size(), strWith);
    return strText;
}

// An attachment's name as the page holds it (character references and all) and its id's bytes: the
// worker's handlers must pass both as the browser reads them in the original page.
struct CValue
{
    std::string m_strName;
    std::string m_strID;
};

enum class Rewrite
{
    Expected,  // the page must differ and hold the marker
    Unchanged, // the page must go out as OWA sent it
    Either,    // only the browser and the tokenizer judge
};

struct CPageCase
{
    std::string m_strName;
    std::string m_strRequest; // a file of samples/requests/, or a request line (RequestFile)
    std::string m_strPage;
    std::string m_strContentType;
    std::string m_strOptions; // more options of the host's tool
    Rewrite m_eRewrite = Rewrite::Either;
    std::string m_strMarker;
    std::vector<CValue> m_vecValues;
};

// ---- the pages ----

constexpr const char* PREMIUM_REQUEST = "15-premium-read-page.http";
constexpr const char* PREMIUM_OPTIONS = "--criteria-id 2";
constexpr const char* BASIC_REQUEST = "19-basic-read-page.http";
constexpr const char* HTML_UTF8 = "text/html; charset=utf-8";

CPageCase Premium(const std::string& strName, const std::string& strPage,
                  const std::string& strContentType = HTML_UTF8)
{
    return {strName, PREMIUM_REQUEST, strPage, strContentType, PREMIUM_OPTIONS, Rewrite::Either, "", {}};
}

CPageCase Basic(const std::string& strName, const std::string& strPage,
                const std::string& strContentType = HTML_UTF8)
{
    return {strName, BASIC_REQUEST, strPage, strContentType, "", Rewrite::Either, "", {}};
}

// Every sample page with the request that picks its form: each must still be rewritten.
std::vector<CPageCase> SampleCases()
{
    struct
    {
        const char* m_pszPage;
        const char* m_pszRequest;
        const char* m_pszOptions;
        const char* m_pszMarker;
    } const aSamples[] = {
        {"premium-read-item.html", PREMIUM_REQUEST, PREMIUM_OPTIONS, "_KSDLAttFilename="},
        {"premium-read-item-hostile-names.html", PREMIUM_REQUEST, PREMIUM_OPTIONS, "_KSDLAttFilename="},
        {"premium-edit-item.html", "16-premium-edit-page.http", "", "//KESTRUNE DORVEL"},
        {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http", "", "//KESTRUNE DORVEL"},
        {"premium-attach-file-dialog-result.html", "18-premium-attach-file-dialog-post.http", "",
         "_KSDLAttFilename="},
        {"premium-delete-attachment.html", "10-premium-delete-attachment.http", "",
         "oncontextmenu=\"return false;\""},
        {"premium-document-view.html", "21-premium-document-view.http", "", "//KESTRUNE DORVEL"},
        {"premium-document-view-sort.html", "22-premium-document-view-sort.http", "", "KSDL"},
        {"basic-read-item.html", BASIC_REQUEST, "", "f_KSDLOnMouseDown("},
        {"basic-edit-item.html", "20-basic-edit-page.http", "", "f_KSDLOnMouseDown("},
        {"basic-attachment-manager.html", "POST /owa/?ae=PreFormAction&a=Attach&t=IPM.Note&id=RgAAAADs4ZfQ",
         "", "f_KSDLOnMouseDown("},
        // Rewritten where its attach buttons go: at the level that removes them.
        {"basic-calendar-scheduling-tab.html", "GET /owa/?ae=Item&t=IPM.Appointment&id=RgAAAADs4ZfQ",
         "--criteria-id 3", ""},
    };
    std::vector<CPageCase> vecCases;
    for (const auto& sample : aSamples)
    {
        vecCases.push_back({std::string("sample ") + sample.m_pszPage,
                            sample.m_pszRequest,
                            Sample(sample.m_pszPage),
                            HTML_UTF8,
                            sample.m_pszOptions,
                            Rewrite::Expected,
                            sample.m_pszMarker,
                            {}});
    }
    // The attachments whose names the worker's handlers pass on.
    for (CPageCase& c : vecCases)
    {
        if (c.m_strName == "sample premium-read-item.html")
            c.m_vecValues = {{"figures.xls", "RgAAAAAtt0"}};
        else if (c.m_strName == "sample basic-read-item.html")
            c.m_vecValues = {{"figures.xls", "BAAAAAAA"}};
    }
    // The force-save error page is not edited: the worker answers with a redirect in its place.
    vecCases.push_back({"sample force-save-error.html",
                        "23-document-view-force-save.http",
                        Sample("force-save-error.html"),
                        HTML_UTF8,
                        "--client-ip 10.1.2.3",
                        Rewrite::Either,
                        "",
                        {}});
    return vecCases;
}

// Markup-like text in attribute values of every quoting, in comments and in raw-text elements, where the
// rewriters look for the body's end: the menu must go in at the real </body> and no script may run.
std::vector<CPageCase> BodyEndCases()
{
    const std::vector<std::pair<std::string, std::string>> vecShapes = {
        {"title, double quotes",
         "<a href=\"http://example.org/\" title=\"</body><img src=x onerror=alert(1)>\">this</a>"},
        {"title, upper case",
         "<a href=\"http://example.org/\" title=\"</BODY><img src=x onerror=alert(2)>\">this</a>"},
        {"alt", "<img src=\"/owa/x.gif\" alt=\"</body><img src=x onerror=alert(3)>\">"},
        {"title, single quotes", "<a href=\"#\" title='</body><img src=x onerror=alert(4)>'>this</a>"},
        {"title, unquoted", "<a href=\"#\" title=x</body>this</a>"},
        {"comment", "<!-- </body><img src=x onerror=alert(5)> -->"},
        {"script", "<script>var s = \"</body><img src=x onerror=alert(6)>\";</script>"},
        {"style", "<style>/* </body><img src=x onerror=alert(7)> */</style>"},
        {"textarea", "<textarea></body><img src=x onerror=alert(8)></textarea>"},
        {"xmp", "<xmp></body><img src=x onerror=alert(9)></xmp>"},
        {"noscript", "<noscript></body><img src=x onerror=alert(10)></noscript>"},
    };
    std::vector<CPageCase> vecCases;
    for (const auto& [strShape, strMarkup] : vecShapes)
    {
        CPageCase premium =
            Premium("premium body end in " + strShape,
                    Replaced(Sample("premium-read-item.html"), "Please find the figures attached.",
                             "Please find the figures attached. " + strMarkup));
        premium.m_vecValues = {{"figures.xls", "RgAAAAAtt0"}};
        vecCases.push_back(premium);
        CPageCase basic = Basic("basic body end in " + strShape,
                                Replaced(Sample("basic-read-item.html"), "Please find the figures attached.",
                                         "Please find the figures attached. " + strMarkup));
        basic.m_vecValues = {{"figures.xls", "BAAAAAAA"}};
        vecCases.push_back(basic);
    }
    // A title element that holds the body's end, before the body.
    vecCases.push_back(Basic("basic body end in the title element",
                             Replaced(Sample("basic-read-item.html"), "<title>Quarterly figures</title>",
                                      "<title>Q </body><img src=x onerror=alert(11)></title>")));
    // No </body> at all: the page's end is looked for, and a </html> in a title is none.
    for (const bool bElement : {false, true})
    {
        const std::string strWhere = bElement ? "the title element" : "a title attribute";
        std::string strPage = Replaced(Sample("basic-read-item.html"), "</body>\n</html>\n", "");
        strPage = bElement ? Replaced(strPage, "<title>Quarterly figures</title>",
                                      "<title>a</html><img src=x onerror=alert(12)></title>")
                           : Replaced(strPage, "Please find the figures attached.",
                                      "<a href=\"#\" title=\"a</html><img src=x onerror=alert(12)>\">x</a>");
        vecCases.push_back(Basic("basic page end without </body>, </html in " + strWhere, strPage));
        std::string strPremium = Replaced(Sample("premium-read-item.html"), "</body>\n</html>\n", "");
        strPremium = bElement
                         ? Replaced(strPremium, "<title>Quarterly figures</title>",
                                    "<title>a</html><img src=x onerror=alert(12)></title>")
                         : Replaced(strPremium, "Please find the figures attached.",
                                    "<a href=\"#\" title=\"a</html><img src=x onerror=alert(12)>\">x</a>");
        vecCases.push_back(Premium("premium page end without </body>, </html in " + strWhere, strPremium));
    }
    // The head the worker's script goes after, in a comment before the real one.
    vecCases.push_back(Premium("premium <head> in a comment",
                               Replaced(Sample("premium-read-item.html"), "<html dir=\"ltr\">",
                                        "<!-- <head><script>alert(13)</script> --><html dir=\"ltr\">")));
    return vecCases;
}

// Tags written inside attribute values of the attachment area: only real spans are attachments.
std::vector<CPageCase> AttachmentAreaCases()
{
    const std::string strSpanInTitle = "<a id=\"lnkAtmt\" href=\"#\" title=\"<span id=spnAtmt _level=3 "
                                       "_attid=Z><img src=x onerror=alert(4)>\">x</a>";
    const std::string strSpanInAlt = "<img src=\"/owa/x.gif\" alt=\"<span id=spnAtmt _level=3 _attid=Z "
                                     "level=3><img src=x onerror=alert(5)>\">";
    std::vector<CPageCase> vecCases;
    for (const auto& [strShape, strMarkup] : std::vector<std::pair<std::string, std::string>>{
             {"a title", strSpanInTitle}, {"an alt", strSpanInAlt}})
    {
        vecCases.push_back(
            Premium("premium attachment span in " + strShape,
                    Replaced(Sample("premium-read-item.html"), "<div id=\"divAtch\" class=\"atchList\">\n",
                             "<div id=\"divAtch\" class=\"atchList\">\n" + strMarkup + "\n")));
        vecCases.push_back(Basic("basic attachment span in " + strShape,
                                 Replaced(Sample("basic-read-item.html"), "<div id=\"divAtt\">\n",
                                          "<div id=\"divAtt\">\n" + strMarkup + "\n")));
    }
    return vecCases;
}

// Cut-off pages whose last construct the tokenizer reads otherwise than a plain scan would.
std::vector<CPageCase> CutOffCases()
{
    const std::vector<std::pair<std::string, std::string>> vecEnds = {
        {"script in its double-escaped state", "<script>var s=\"<!--<script>\";</script><p>after"},
        {"svg CDATA", "<svg><![CDATA[ a > b"},
        {"a look-alike end of a script", "<p><script>x</scripts>y"},
        {"text ending in -->", "<p>a --></p><p>b -->"},
        {"the comment <!--->", "<!---><p>after"},
        {"an open comment", "<p>a<!-- b"},
        {"an open attribute value", "<p title=\"a"},
    };
    std::vector<CPageCase> vecCases;
    for (const auto& [strShape, strEnd] : vecEnds)
    {
        const std::string strBasic = Sample("basic-read-item.html");
        vecCases.push_back(Basic("basic page cut off in " + strShape,
                                 strBasic.substr(0, strBasic.find("</form>")) + strEnd));
        const std::string strPremium = Sample("premium-read-item.html");
        vecCases.push_back(Premium("premium page cut off in " + strShape,
                                   strPremium.substr(0, strPremium.find("</body>")) + strEnd));
    }
    return vecCases;
}

// Fourteen ordinary kanji, in ISO-2022-JP between ESC $B and ESC ( B, are these ASCII bytes.
const std::string KANJI_BYTES = "\"><iframe/onload=alert(11)>>";

// Stateful sets, and those that let ASCII bytes stand for other characters.
std::vector<CPageCase> StatefulSetCases()
{
    const std::string strJis = "\x1b$B" + KANJI_BYTES + "\x1b(B";
    std::vector<CPageCase> vecCases;
    vecCases.push_back(Premium(
        "premium ISO-2022-JP kanji in an attachment title",
        Replaced(Sample("premium-read-item.html"), "title=\"figures.xls\"", "title=\"" + strJis + "\""),
        "text/html; charset=iso-2022-jp"));
    vecCases.push_back(Basic(
        "basic ISO-2022-JP kanji in OWA's link tag",
        Replaced(Sample("basic-read-item.html"), "basic.css\">", "basic.css\" title=\"" + strJis + "\">"),
        "text/html; charset=iso-2022-jp"));
    vecCases.push_back(Basic("basic ISO-2022-JP kanji in the body",
                             Replaced(Sample("basic-read-item.html"), "Please find the figures attached.",
                                      "<a href=\"#\" title=\"" + strJis + "\">x</a>"),
                             "text/html; charset=iso-2022-jp"));
    // UTF-7: +ACI- is a quote there.
    vecCases.push_back(Premium("premium UTF-7 quote in an attachment title",
                               Replaced(Sample("premium-read-item.html"), "title=\"figures.xls\"",
                                        "title=\"figures+ACI-><img src=x onerror=alert(14)>.xls\""),
                               "text/html; charset=utf-7"));
    vecCases.push_back(Basic("basic UTF-7 quote in the body",
                             Replaced(Sample("basic-read-item.html"), "Please find the figures attached.",
                                      "<a href=\"#\" title=\"+ACI-><img src=x onerror=alert(14)>\">x</a>"),
                             "text/html; charset=utf-7"));
    // HZ: ~{ shifts to GB2312 pairs.
    vecCases.push_back(Basic("basic HZ pairs in the body",
                             Replaced(Sample("basic-read-item.html"), "Please find the figures attached.",
                                      "<a href=\"#\" title=\"~{" + KANJI_BYTES + "~}\">x</a>"),
                             "text/html; charset=hz-gb-2312"));
    // UTF-16, little-endian with its mark.
    for (const char* pszPage : {"premium-read-item.html", "basic-read-item.html"})
    {
        std::string strWide = "\xFF\xFE";
        for (const char c : Sample(pszPage))
        {
            strWide += c;
            strWide += '\0';
        }
        CPageCase c =
            std::string(pszPage).rfind("premium", 0) == 0 ? Premium("", strWide) : Basic("", strWide);
        c.m_strName = std::string("UTF-16 ") + pszPage;
        c.m_strContentType = "text/html; charset=utf-16";
        vecCases.push_back(c);
    }
    return vecCases;
}

// OWA's embedded-item handler, copied by the Basic rewriter, on pages whose character set the browser
// picks otherwise than a careless reader: one backslash hides the quote from a reader that takes the byte
// before it as a lead byte; two hide it from one that does not.
std::vector<CPageCase> HandlerCopyCases()
{
    const std::string strOneBackslash = "X\x81\\',alert(21))//";
    const std::string strTwoBackslashes = "X\x81\\\\',alert(22))//";
    const auto Page = [](const std::string& strPayload, const std::string& strMeta)
    {
        std::string strPage = Replaced(Sample("basic-read-item.html"), "'IPM.Note','BAAAAAAC'",
                                       "'IPM.Note','" + strPayload + "'");
        return Replaced(strPage, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
                        strMeta);
    };
    const std::string strUtf8Meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
    std::vector<CPageCase> vecCases;
    vecCases.push_back(Basic("handler copy, UTF-8 by BOM over Shift_JIS in the Content-Type",
                             "\xEF\xBB\xBF" + Page(strOneBackslash, strUtf8Meta),
                             "text/html; charset=shift_jis"));
    vecCases.push_back(Basic("handler copy, Shift_JIS by MIME parameter after x-charset=utf-8",
                             Page(strTwoBackslashes, strUtf8Meta),
                             "text/html; x-charset=utf-8; charset=shift_jis"));
    for (const char* pszLabel : {"ibm-943", "utf-7"})
    {
        vecCases.push_back(
            Basic(std::string("handler copy, the unknown label ") + pszLabel + " over a UTF-8 <meta>",
                  Page(strOneBackslash, strUtf8Meta), std::string("text/html; charset=") + pszLabel));
    }
    vecCases.push_back(Basic("handler copy, <meta> content with a bare charset first",
                             Page(strTwoBackslashes, "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                                     "charset; charset=shift_jis\">"),
                             "text/html"));
    // Where browsers skip a <meta>, the one after it sets windows-1252 (else Chromium would guess a set).
    const std::string strLatinMeta =
        "\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">";
    vecCases.push_back(Basic(
        "handler copy, <meta name> content that browsers ignore",
        Page(strOneBackslash, "<meta name=\"x\" content=\"text/html; charset=shift_jis\">" + strLatinMeta),
        "text/html"));
    vecCases.push_back(Basic(
        "handler copy, <meta charset> before <head>",
        Replaced(Page(strTwoBackslashes, ""), "<html>", "<meta charset=\"shift_jis\"><html>"), "text/html"));
    // Chromium reads the references of a <meta>'s content in its prescan: this page is Shift_JIS to it.
    vecCases.push_back(Basic("handler copy, &#61; in a <meta> content",
                             Page(strTwoBackslashes, "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                                     "charset&#61;shift_jis\">" +
                                                         strLatinMeta),
                             "text/html"));
    vecCases.push_back(Basic("handler copy, gb_2312 is GBK", Page(strTwoBackslashes, strUtf8Meta),
                             "text/html; charset=gb_2312"));
    const struct
    {
        const char* m_pszSet;
        const char* m_pszPair;
    } aUnmapped[] = {{"shift_jis", "\x85"}, {"euc-kr", "\x83"}, {"big5", "\x81"}};
    for (const auto& unmapped : aUnmapped)
    {
        vecCases.push_back(
            Basic(std::string("handler copy, an unmapped pair in ") + unmapped.m_pszSet,
                  Page(std::string("X") + unmapped.m_pszPair + "\\',alert(23))//", strUtf8Meta),
                  std::string("text/html; charset=") + unmapped.m_pszSet));
    }
    return vecCases;
}

// Attachment names and ids that try to break out, in three sets: each must reach the worker's handlers
// as the browser reads it.
std::vector<CPageCase> HostileNameCases()
{
    const std::vector<CValue> vecValues = {
        {"x%22);alert(31);//.txt", "x\");alert(32);//"},
        {"say &quot;hi&quot; it's", "a'b\\c"},
        {"&lt;/script&gt;&lt;script&gt;alert(33)&lt;/script&gt;", "</script><script>alert(34)//"},
        {"back\\slash\\", "B\xA5\\"},
        {"\x8C\xA9\x90\xCF\x95\x5C", "\x95\x5C"},
        {"caf\xC3\xA9 &amp; &#x3B1;", "line\xE2\x80\xA8sep"},
    };
    std::vector<CPageCase> vecCases;
    for (const char* pszSet : {"utf-8", "shift_jis", "big5"})
    {
        std::string strSpans;
        for (const CValue& value : vecValues)
        {
            std::string strEscapedID;
            for (const char c : value.m_strID)
            {
                char szHex[4];
                std::snprintf(szHex, sizeof(szHex), "%%%02X", static_cast<unsigned char>(c));
                strEscapedID += std::isalnum(static_cast<unsigned char>(c)) != 0 ? std::string(1, c) : szHex;
            }
            strSpans +=
                "<span id=\"spnAtmt\" level=\"3\"><img src=\"/owa/8.1.240.5/themes/base/txt.gif\"> "
                "<a id=\"lnkAtmt\" href=\"attachment.ashx?attach=1&amp;id=RgAAAADs4ZfQ&amp;attcnt=1&amp;"
                "attid0=" +
                strEscapedID + "\" target=_blank>" + value.m_strName + "&#x200E; (1 KB)</a></span>\n";
        }
        std::string strPage =
            Replaced(Sample("basic-read-item.html"), "charset=utf-8", std::string("charset=") + pszSet);
        const size_t nStart = strPage.find("<span id=\"spnAtmt\"");
        const size_t nEnd = strPage.find("</div>", nStart);
        strPage.replace(nStart, nEnd - nStart, strSpans);
        CPageCase c = Basic(std::string("basic hostile names in ") + pszSet, strPage,
                            std::string("text/html; charset=") + pszSet);
        c.m_vecValues = vecValues;
        vecCases.push_back(c);
    }
    return vecCases;
}

// ---- the run ----

std::string JsonString(const std::string& strText)
{
    std::string strOut = "\"";
    for (const char c : strText)
    {
        if (c == '"' || c == '\\')
            strOut += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
        {
            char szEscape[8];
            std::snprintf(szEscape, sizeof(szEscape), "\\u%04X", static_cast<unsigned>(c));
            strOut += szEscape;
        }
        else if (static_cast<unsigned char>(c) >= 0x80)
        {
            // Names of cases are ASCII; anything else is kept out of the JSON text.
            strOut += "?";
        }
        else
            strOut += c;
    }
    return strOut + "\"";
}

std::string JsonBytes(const std::string& strBytes)
{
    std::string strOut = "[";
    for (const char c : strBytes)
        strOut += (strOut.size() > 1 ? "," : "") + std::to_string(static_cast<unsigned char>(c));
    return strOut + "]";
}

// A run-time tree of the sample installation in a folder of its own, with a drive C: for the log.
class CTree
{
public:
    CTree() : m_dir("dlsw-browser")
    {
        m_root = m_dir.Path();
        fs::create_directories(m_root / "C/Windows/System32/LogFiles/KestruneLogs");
        fs::copy(DLSW_INSTALL_TREE, m_root / "install", fs::copy_options::recursive);
        fs::copy(DLSW_COMMON_FILES, m_root / "Common Files", fs::copy_options::recursive);
    }
    fs::path Root() const { return m_root; }

private:
    CTempDir m_dir;
    fs::path m_root;
};

std::string Shell(const std::string& strArg)
{
    std::string strOut = "'";
    for (const char c : strArg)
        strOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strOut + "'";
}

// A file of samples/requests/, or a request line given with the Basic sample request's headers.
fs::path RequestFile(const std::string& strRequest, const fs::path& dir)
{
    if (strRequest.rfind("GET ", 0) != 0 && strRequest.rfind("POST ", 0) != 0)
        return SOURCE / "samples" / "requests" / strRequest;
    const std::string strSample = ReadFileText(SOURCE / "samples" / "requests" / BASIC_REQUEST);
    WriteFile(dir / "request.http", strRequest + " HTTP/1.1" + strSample.substr(strSample.find('\n')));
    return dir / "request.http";
}

class BrowserJudge : public ::testing::Test
{
protected:
    // Every case through the host's tool, then all of them through the judge in one browser.
    static void SetUpTestSuite()
    {
        s_pResults = new std::map<std::string, std::string>();
        s_pCases = new std::vector<CPageCase>();
        for (auto vecFamily : {SampleCases(), BodyEndCases(), AttachmentAreaCases(), CutOffCases(),
                               StatefulSetCases(), HandlerCopyCases(), HostileNameCases()})
            s_pCases->insert(s_pCases->end(), vecFamily.begin(), vecFamily.end());

        CSlapdServer server;
        std::string strError;
        if (!server.Start(strError))
        {
            s_strFatal = "slapd is a test dependency (scripts/install-deps installs it): " + strError;
            return;
        }
        const DirectoryServerConfig directory = server.MachineDirectory();
        const std::string strDirectory = " --directory " + Shell(directory.m_sUri) + " --directory-bind " +
                                         Shell(directory.m_sBindDN) + " --directory-password-file " +
                                         Shell(directory.m_sBindPasswordFile) +
                                         " --computer-name mail01.example.test";
        CTree tree;
        const fs::path work = tree.Root() / "cases";
        fs::create_directories(work);
        std::string strManifest = "{\"cases\":[";
        for (size_t i = 0; i < s_pCases->size(); ++i)
        {
            const CPageCase& c = (*s_pCases)[i];
            const fs::path dir = work / std::to_string(i);
            fs::create_directories(dir);
            WriteFile(dir / "original.html", c.m_strPage);
            int nExit = 0;
            const std::string strReport = RunCommand(
                Shell(DLSW_HOST_TOOL) + " --json --root " + Shell((tree.Root() / "install").string()) +
                    " --user 'EXAMPLE\\alice' " + c.m_strOptions + strDirectory + " --response-header " +
                    Shell("Content-Type: " + c.m_strContentType) + " --body " +
                    Shell((dir / "original.html").string()) + " --out " +
                    Shell((dir / "sent.html").string()) + " " +
                    Shell(RequestFile(c.m_strRequest, dir).string()) + " 2>/dev/null",
                nExit);
            if (nExit != 0)
                (*s_pResults)[std::to_string(i)] =
                    "FAIL\n  - the host's tool exited with " + std::to_string(nExit);
            WriteFile(dir / "report.json", strReport);
            strManifest += std::string(i ? "," : "") + "\n{\"id\":" + JsonString(std::to_string(i)) +
                           ",\"name\":" + JsonString(c.m_strName) +
                           ",\"original\":" + JsonString((dir / "original.html").string()) +
                           ",\"sent\":" + JsonString((dir / "sent.html").string()) +
                           ",\"report\":" + JsonString((dir / "report.json").string()) +
                           ",\"contentType\":" + JsonString(c.m_strContentType) + ",\"rewritten\":" +
                           (c.m_eRewrite == Rewrite::Expected    ? "true"
                            : c.m_eRewrite == Rewrite::Unchanged ? "false"
                                                                 : "null") +
                           ",\"marker\":" + JsonString(c.m_strMarker) + ",\"values\":[";
            for (size_t k = 0; k < c.m_vecValues.size(); ++k)
                strManifest += std::string(k ? "," : "") +
                               "{\"name\":" + JsonBytes(c.m_vecValues[k].m_strName) +
                               ",\"id\":" + JsonBytes(c.m_vecValues[k].m_strID) + "}";
            strManifest += "]}";
        }
        strManifest += "\n]}\n";
        WriteFile(work / "manifest.json", strManifest);

        int nExit = 0;
        const std::string strOutput = RunCommand("cd " + Shell(JUDGE_DIR.string()) + " && node judge.mjs " +
                                                     Shell((work / "manifest.json").string()) + " 2>&1",
                                                 nExit);
        std::istringstream lines(strOutput);
        std::string strLine;
        while (std::getline(lines, strLine))
        {
            const bool bResult = strLine.rfind("RESULT\t", 0) == 0;
            if (!bResult && strLine.rfind("FAULT\t", 0) != 0)
            {
                // The judge's time per case, and anything it says beside its results.
                std::cout << strLine << "\n";
                continue;
            }
            const size_t nID = strLine.find('\t') + 1;
            const size_t nTab = strLine.find('\t', nID);
            const std::string strID = strLine.substr(nID, nTab - nID);
            std::string& strResult = (*s_pResults)[strID];
            if (bResult && strResult.empty())
                strResult = strLine.substr(nTab + 1);
            else if (!bResult)
                strResult += "\n  - " + strLine.substr(nTab + 1);
        }
        if (s_pResults->empty())
            s_strFatal = "the judge ran no case (exit " + std::to_string(nExit) + "): " + strOutput;
    }
    static void TearDownTestSuite()
    {
        delete s_pResults;
        s_pResults = nullptr;
        delete s_pCases;
        s_pCases = nullptr;
    }

    // Every case whose name starts so passed the judge.
    static void ExpectJudged(const std::string& strPrefix)
    {
        ASSERT_TRUE(s_strFatal.empty()) << s_strFatal;
        size_t nCases = 0;
        for (size_t i = 0; i < s_pCases->size(); ++i)
        {
            const CPageCase& c = (*s_pCases)[i];
            if (c.m_strName.rfind(strPrefix, 0) != 0)
                continue;
            ++nCases;
            const auto it = s_pResults->find(std::to_string(i));
            if (it == s_pResults->end())
            {
                ADD_FAILURE() << c.m_strName << ": the judge gave no result";
                continue;
            }
            EXPECT_TRUE(it->second == "PASS") << c.m_strName << ": " << it->second;
        }
        EXPECT_GT(nCases, 0u) << strPrefix;
    }

    inline static std::map<std::string, std::string>* s_pResults = nullptr;
    inline static std::vector<CPageCase>* s_pCases = nullptr;
    inline static std::string s_strFatal;
};

TEST_F(BrowserJudge, EverySamplePageIsStillRewrittenAndEveryEditIsSound)
{
    ExpectJudged("sample ");
}

TEST_F(BrowserJudge, MarkupInsideValuesCommentsAndRawTextIsNoBodyEnd)
{
    ExpectJudged("premium body end");
    ExpectJudged("basic body end");
    ExpectJudged("basic page end");
    ExpectJudged("premium page end");
    ExpectJudged("premium <head>");
}

TEST_F(BrowserJudge, TagsInsideAttributeValuesAreNoAttachments)
{
    ExpectJudged("premium attachment span");
    ExpectJudged("basic attachment span");
}

TEST_F(BrowserJudge, CutOffPagesKeepTheMenuMarkup)
{
    ExpectJudged("basic page cut off");
    ExpectJudged("premium page cut off");
}

TEST_F(BrowserJudge, StatefulAndAsciiUnsafeSetsRunNoScript)
{
    ExpectJudged("premium ISO-2022-JP");
    ExpectJudged("basic ISO-2022-JP");
    ExpectJudged("premium UTF-7");
    ExpectJudged("basic UTF-7");
    ExpectJudged("basic HZ");
    ExpectJudged("UTF-16");
}

TEST_F(BrowserJudge, HandlerCopiesRunNoScriptWhateverSetTheBrowserPicks)
{
    ExpectJudged("handler copy");
}

TEST_F(BrowserJudge, HostileNamesReachTheHandlersAsTheBrowserReadsThem)
{
    ExpectJudged("basic hostile names");
}
} // namespace
