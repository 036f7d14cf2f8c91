// Markup that a mail's sender writes inside attribute values, through the host's tool and the loaded worker:
// the worker sees the tags the browser sees. A "</body>", "</html>" or attachment span written inside a
// title or an alt is text for a browser; the menu still goes in at the real body end, nothing lands inside
// the value, and the page is rewritten exactly as it is without the sender's markup.
#include "contract/TokenScan.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const std::string SOURCE = DLSW_SOURCE_DIR;

// The page the host sent after the worker's rewrite of strPage.
std::string Sent(const std::string& strPage, const char* pszRequest)
{
    CTempDir dir("dlsw-browser-tags");
    const fs::path page = dir.Path() / "page.html";
    const fs::path sent = dir.Path() / "sent.html";
    std::ofstream(page, std::ios::binary) << strPage;
    int nExit = -1;
    const std::string strReport =
        RunCommand(std::string("'") + DLSW_HOST_TOOL + "' --json --user 'EXAMPLE\\alice' --body '" +
                       page.string() + "' --out '" + sent.string() + "' '" + SOURCE + "/samples/requests/" +
                       pszRequest + "' 2>/dev/null",
                   nExit);
    EXPECT_EQ(nExit, 0) << strReport;
    return ReadFileText(sent);
}

std::string Sample(const char* pszPage)
{
    return ReadFileText(SOURCE + "/samples/pages/" + pszPage);
}

// The text with strWhat put in before the first strBefore.
std::string PutBefore(std::string strText, const std::string& strBefore, const std::string& strWhat)
{
    const size_t nPos = strText.find(strBefore);
    EXPECT_NE(nPos, std::string::npos) << strBefore;
    return nPos == std::string::npos ? strText : strText.insert(nPos, strWhat);
}

std::string RemoveFirst(std::string strText, const std::string& strWhat)
{
    const size_t nPos = strText.find(strWhat);
    return nPos == std::string::npos ? strText : strText.erase(nPos, strWhat.size());
}

TEST(BrowserTagsEndToEnd, MarkupInsideAttributeValuesStaysText)
{
    struct SPage
    {
        const char* pszPage;
        const char* pszRequest;
    };
    const SPage aPages[] = {
        {"basic-read-item.html", "19-basic-read-page.http"},
        {"premium-read-item.html", "15-premium-read-page.http"},
    };
    struct SCase
    {
        const char* pszName;
        const char* pszBefore; // where the sender's markup goes
        const char* pszMarkup;
        bool bWithoutBodyEnd;
    };
    const SCase aCases[] = {
        {"1a body end in a title", "Please find",
         "<a href=\"http://example.org/\" title=\"</body><img src=x onerror=alert(1)>\">this</a>", false},
        {"1a upper-case body end", "Please find",
         "<a href=\"http://example.org/\" title=\"</BODY><img src=x onerror=alert(1)>\">this</a>", false},
        {"1a body end in an alt", "Please find", "<img alt='</body><img src=x onerror=alert(1)>' src=y>",
         false},
        {"1b html end in a title, no body end", "Please find",
         "<a href=\"http://example.org/\" title=\"a</html><img src=x onerror=alert(2)>\">this</a>", true},
        {"1c attachment span in a title", "<span id=\"spnAtmt\"",
         "<a id=\"lnkAtmt\" href=\"#\" title=\"<span id=spnAtmt _level=3 _attid=Z><img src=x "
         "onerror=alert(4)>\">x</a>",
         false},
        {"1c attachment span in an alt", "<span id=\"spnAtmt\"",
         "<img alt=\"<span id=spnAtmt _level=3 _attid=Z><img src=x onerror=alert(4)>\" src=y>", false},
    };
    for (const SPage& page : aPages)
    {
        for (const SCase& c : aCases)
        {
            SCOPED_TRACE(std::string(page.pszPage) + ": " + c.pszName);
            std::string strClean = Sample(page.pszPage);
            if (c.bWithoutBodyEnd)
                strClean = RemoveFirst(RemoveFirst(strClean, "</body>"), "</html>");
            const std::string strHostile = PutBefore(strClean, c.pszBefore, c.pszMarkup);
            const std::string strSentClean = Sent(strClean, page.pszRequest);
            const std::string strSent = Sent(strHostile, page.pszRequest);
            ASSERT_NE(strSentClean, strClean) << "the page without the sender's markup is rewritten";
            // The sender's markup goes out as it came, in one piece, and reads as the same tag.
            const size_t nAt = strSent.find(c.pszMarkup);
            ASSERT_NE(nAt, std::string::npos) << strSent;
            CTokenScan scan;
            scan.Scan(strSent.data(), 0, strSent.size());
            EXPECT_TRUE(scan.IsTokenStart(nAt));
            const std::string strMarkup = c.pszMarkup;
            std::vector<size_t> vecStarts;
            for (uint64_t n = scan.NextTokenStart(nAt + 1); n < nAt + strMarkup.size();
                 n = scan.NextTokenStart(n + 1))
                vecStarts.push_back(static_cast<size_t>(n - nAt));
            EXPECT_EQ(vecStarts, strMarkup.ends_with("</a>") ? std::vector<size_t>{strMarkup.size() - 4}
                                                             : std::vector<size_t>{})
                << "no tag starts inside the value";
            // Everything else is the rewrite of the page without it: the menu and the scripts at the real
            // body end, no handler inside the value.
            EXPECT_EQ(RemoveFirst(strSent, c.pszMarkup), strSentClean);
        }
    }
}
} // namespace
