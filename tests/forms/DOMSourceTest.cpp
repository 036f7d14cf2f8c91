#include "forms/DOMSource.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace
{
// The bytes of an element of the page.
std::string TextOf(const CTestPage& page, const CDOMElement& element)
{
    return page.Body().substr(element.getBeginPos(), element.getEndPos() - element.getBeginPos());
}

TEST(DOMSource, BeginsAtTheHtmlDataAndFallsBackToTheDataWithoutIt)
{
    CTestPage page("xx<html><body>b</body></html>");
    page.SetWord(4, page.Data() + 2);
    EXPECT_EQ(CDOMSource(page.Words()).getBeginPos(), 2u);
    page.SetWord(4, nullptr); // a fragment: the HTML is the data
    CDOMSource dom(page.Words());
    EXPECT_EQ(dom.getBeginPos(), 0u);
    EXPECT_EQ(TextOf(page, dom.getBody()), "<body>b</body>");
}

TEST(DOMSource, WithoutASourceEveryOperationThrowsNamingItself)
{
    CTraceCapture capture;
    CTestPage page("<html><body></body></html>");
    page.SetWord(4, page.Data() - 1); // before the data: no source
    CDOMSource dom(page.Words());
    EXPECT_FALSE(dom.hasSource());
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDOMSource::CDOMSource] CSource::CREATE_NEW_INST() failed. nBegin <-1> nEnd <26>."));
    CBufferInstructionList list;
    std::string s;
    const std::pair<const char*, std::function<void()>> aCalls[] = {
        {"getHtml", [&] { dom.getHtml(); }},
        {"getHead", [&] { dom.getHead(); }},
        {"getBody", [&] { dom.getBody(); }},
        {"getBeginPos", [&] { dom.getBeginPos(); }},
        {"getElementById", [&] { dom.getElementById("x"); }},
        {"getEnclosingElement", [&] { dom.getEnclosingElement(0); }},
        {"scanForString", [&] { dom.scanForString("x", 0, NPOS); }},
        {"substringData", [&] { dom.substringData(0, 1, s); }},
        {"getPlainText", [&] { dom.getPlainText(0, 1, s); }},
        {"insertData", [&] { dom.insertData(0, "x", &list); }},
        {"deleteData", [&] { dom.deleteData(0, 1, &list); }},
    };
    for (const auto& call : aCalls)
    {
        try
        {
            call.second();
            ADD_FAILURE() << call.first << " did not throw";
        }
        catch (const CDOMParserUndefinedObjectException& e)
        {
            EXPECT_EQ(e.m_sMessage, std::string("Undefined DOM object.[CDOMSource::") + call.first +
                                        "() : m_spSource is 0]");
            EXPECT_EQ(e.m_nPos, -1);
        }
    }
    EXPECT_TRUE(list.IsEmpty());
}

struct ElementCase
{
    const char* m_pszName;
    const char* m_pszPage;
    bool m_bHostWords;
    const char* m_pszHtml; // the element's text, or "" for none
    const char* m_pszHead;
    const char* m_pszBody;
};

TEST(DOMSource, HtmlHeadAndBodyFromTheHostOrFoundOnFirstUse)
{
    const ElementCase aCases[] = {
        {"host words", "<html><head><title>t</title></head><body>b</body></html>", true,
         "<html><head><title>t</title></head><body>b</body></html>", "<head><title>t</title></head>",
         "<body>b</body>"},
        {"searched", "<html><head><title>t</title></head><body>b</body></html>", false,
         "<html><head><title>t</title></head><body>b</body></html>", "<head><title>t</title></head>",
         "<body>b</body>"},
        {"no html end tag: html ends at the page's end", "<html><head></head><body>b</body>", false,
         "<html><head></head><body>b</body>", "<head></head>", "<body>b</body>"},
        {"two body end tags: the last one ends the body", "<html><body>a</body>b</body></html>", false,
         "<html><body>a</body>b</body></html>", "", "<body>a</body>b</body>"},
        {"two body end tags from the host's words", "<html><body>a</body>b</body></html>", true,
         "<html><body>a</body>b</body></html>", "", "<body>a</body>"},
        {"no head, no body, no html", "<div>x</div>", false, "", "", ""},
        {"fragment with words but no tags", "<div>x</div>", true, "", "", ""},
        {"upper-case tags", "<HTML><HEAD></HEAD><BODY>b</BODY></HTML>", false,
         "<HTML><HEAD></HEAD><BODY>b</BODY></HTML>", "<HEAD></HEAD>", "<BODY>b</BODY>"},
        // Words that point where no tag starts for a browser are not used; nor does a search stop there.
        {"host's body end inside an attribute value",
         "<html><body><a title=\"</body><img src=x>\">a</a>b</body></html>", true,
         "<html><body><a title=\"</body><img src=x>\">a</a>b</body></html>", "",
         "<body><a title=\"</body><img src=x>\">a</a>b</body>"},
        {"searched body end inside an attribute value", "<html><body>b<img alt='</BODY>'></html>", false,
         "<html><body>b<img alt='</BODY>'></html>", "", "<body>b<img alt='</BODY>'>"},
        {"host's tags inside a comment and a script",
         "<!-- <html><head> --><script>x='<body>'</script><html><head></head><body>b</body></html>", true,
         "<html><head></head><body>b</body></html>", "<head></head>", "<body>b</body>"},
        {"html end inside a title, no body end", "<html><body><a title=\"</html>\">a</a>b", false,
         "<html><body><a title=\"</html>\">a</a>b", "", "<body><a title=\"</html>\">a</a>b"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTestPage page(c.m_pszPage, c.m_bHostWords);
        CDOMSource dom(page.Words());
        const auto Check = [&](CDOMElement& element, const char* pszExpected)
        {
            if (*pszExpected == '\0')
                EXPECT_TRUE(element.isEmpty());
            else
                EXPECT_EQ(TextOf(page, element), pszExpected);
        };
        Check(dom.getBody(), c.m_pszBody);
        Check(dom.getHead(), c.m_pszHead);
        Check(dom.getHtml(), c.m_pszHtml);
        // Asked again, the same element comes back.
        Check(dom.getHead(), c.m_pszHead);
        EXPECT_EQ(&dom.getHead(), &dom.getHead());
    }
}

TEST(DOMSource, AHostWordWhereNoTagStartsIsTraced)
{
    CTraceCapture capture;
    CTestPage page("<html><body><a title=\"</body>\">a</a>b</body></html>");
    CDOMSource dom(page.Words());
    EXPECT_EQ(TextOf(page, dom.getBody()), "<body><a title=\"</body>\">a</a>b</body>");
    EXPECT_TRUE(CTraceCapture::Has("[CDOMSource::CDOMSource] Word <21> at <22> is not where a tag </body> "
                                   "starts, the page's own is looked for instead."));
}

TEST(DOMSource, HeadEndsBeforeTheBodyOnceTheBodyIsKnown)
{
    // An unclosed HEAD whose "</head>" appears only inside the body.
    CTestPage page("<html><head><title>t</title><body>x</head>y</body></html>", false);
    CDOMSource withBody(page.Words());
    withBody.getBody();
    EXPECT_TRUE(withBody.getHead().isEmpty() ||
                withBody.getHead().getEndPos() <= withBody.getBody().getBeginPos());
    CDOMSource headFirst(page.Words());
    EXPECT_EQ(TextOf(page, headFirst.getHead()), "<head><title>t</title><body>x</head>");
}

TEST(DOMSource, ScanWindowIsClippedToTheSource)
{
    CTestPage page("..<p>abcABC</p>");
    page.SetWord(4, page.Data() + 2);
    CDOMSource dom(page.Words());
    const struct
    {
        Position nPos;
        Position nLength;
        Position nExpected;
    } aCases[] = {
        {0, NPOS, 5},        // below the begin: searched from the begin
        {6, NPOS, 8},        // case folded
        {6, 4, NPOS},        // the match would end outside the window
        {6, 5, 8},           //
        {8, 1000, 8},        // beyond the end: to the end
        {16, NPOS, NPOS},    // at the end
        {1000, NPOS, NPOS},  // beyond it
        {NPOS - 1, 5, NPOS}, // a window that wraps around
    };
    for (const auto& c : aCases)
        EXPECT_EQ(dom.scanForString("abc", c.nPos, c.nLength), c.nExpected) << c.nPos << "+" << c.nLength;
}

TEST(DOMSource, InsertAndDeleteStayInsideTheSource)
{
    CTestPage page("<p>abc</p>");
    CDOMSource dom(page.Words());
    CBufferInstructionList list;
    EXPECT_EQ(dom.insertData(10, "!", &list), 0); // at the end itself
    EXPECT_EQ(dom.deleteData(3, 7, &list), 0);    // up to the end
    EXPECT_THROW(dom.insertData(11, "!", &list), CDOMParserIllegalArgumentException);
    try
    {
        dom.deleteData(4, 7, &list);
        ADD_FAILURE() << "no throw";
    }
    catch (const CDOMParserIllegalArgumentException& e)
    {
        EXPECT_EQ(e.m_sMessage, "Illegal argument.[CDOMSource::deleteData() : invalid nPos value]");
        EXPECT_EQ(e.m_nPos, 4);
    }
    EXPECT_EQ(page.Listed(list), (std::vector<std::string>{"delete 3 7", "insert 10 !"}));
    EXPECT_EQ(page.Applied(list), "<p>!");
    // A refused instruction is a code, not a throw.
    CTraceCapture capture;
    EXPECT_EQ(dom.insertData(0, "x", nullptr), 13);
    EXPECT_TRUE(CTraceCapture::Has("[InsertHtmlStringAtPosition] invalid data."));
}

TEST(DOMSource, PlainTextDropsEveryKindOfTag)
{
    CTestPage page("<div>a<B>c</B><!-- x -->d&amp; <?php e ?>\r\nf</div>");
    CDOMSource dom(page.Words());
    std::string s;
    dom.getPlainText(5, page.Body().size() - 6, s);
    EXPECT_EQ(s, "acd&amp; \r\nf");
    dom.getPlainText(5, 5, s);
    EXPECT_EQ(s, "");
    CTraceCapture capture;
    dom.getPlainText(5, 4, s);
    EXPECT_EQ(s, "");
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDOMSource::getPlainText] CSegment::CREATE_NEW_INST() failed. nBegin <5> nEnd <4>."));
}

TEST(DOMSource, ElementByIdAndEnclosingElement)
{
    CTestPage page("<html><body><div id=a><span id=B>x</span></div></body></html>");
    CDOMSource dom(page.Words());
    EXPECT_EQ(TextOf(page, dom.getElementById("B")), "<span id=B>x</span>");
    EXPECT_TRUE(dom.getElementById("b").isEmpty()); // ids compare with case
    EXPECT_EQ(TextOf(page, dom.getEnclosingElement(page.Body().find('x'))), "<span id=B>x</span>");
    std::string s;
    dom.substringData(page.Body().find('x'), 1000, s);
    EXPECT_EQ(s, "x</span></div></body></html>");
}
} // namespace
