#include "ParserTestSupport.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace
{
#ifndef DEEP_NESTING
#define DEEP_NESTING 100000
#endif
// The n-th start tag (from 0) named csName.
CStartTag* NthStartTag(CSource* pSource, const char* pszName, int n)
{
    CStartTag* pTag = pSource->findNextStartTag(0, ToCi(pszName));
    for (int i = 0; i < n && pTag != nullptr; ++i)
        pTag = pSource->findNextStartTag(pTag->m_nEnd, ToCi(pszName));
    return pTag;
}

// "none", "empty@<pos>" or "<end tag text>@<pos>".
std::string EndOf(CStartTag* pTag)
{
    if (pTag == nullptr)
        return "no start tag";
    CElement* pElement = pTag->getElement();
    if (pElement == nullptr)
        return "no element";
    if (pElement->getEndTag() != nullptr)
        return TagText(pElement->getEndTag()) + "@" + std::to_string(pElement->getEndTag()->m_nBegin);
    if (pElement->m_nEnd != pTag->m_nEnd)
        return "empty@" + std::to_string(pElement->m_nEnd);
    return "none";
}
} // namespace

TEST(EndTagPairing, RulesTable)
{
    const struct
    {
        const char* pszPage;
        const char* pszName;
        int n;
        const char* pszEnd;
        const char* pszLog; // piece of a logged line, or ""
    } cases[] = {
        {"<p>a<p>b", "p", 0, "empty@4", ""},
        {"<p>a<p>b", "p", 1, "empty@8", ""},
        {"<ul><li>a<ul><li>b</ul><li>c</ul>", "li", 0, "empty@23", ""},
        {"<ul><li>a<ul><li>b</ul><li>c</ul>", "li", 1, "empty@18", ""},
        {"<table><tr><td>x</table>", "td", 0, "empty@16", ""},
        {"<table><tr><td>x</table>", "tr", 0, "empty@16", ""},
        {"<head><title>t</title><body>", "head", 0, "empty@22", ""},
        {"<p>a</div>", "p", 0, "empty@4", ""},
        {"<p>a</span>b", "p", 0, "empty@12", ""},
        {"<div><div></div></div>", "div", 0, "</div>@16", ""},
        {"<div><div></div></div>", "div", 1, "</div>@10", ""},
        {"<a>x<a>y</a>", "a", 0, "empty@4",
         "missing required end tag - invalid nested start tag encountered before and tag."},
        {"<a>x<a>y</a>", "a", 1, "</a>@8", ""},
        {"<br><img src=x>", "br", 0, "none", ""},
        {"<br><img src=x>", "img", 0, "none", ""},
        {"<x/>text</x>", "x", 0, "none", ""},
        {"<x><x/></x>", "x", 0, "</x>@7", ""},
        {"<div/>t</div>", "div", 0, "</div>@7", ""},
        {"<div><div/></div>", "div", 1, "</div>@11", ""},
        {"<div><div/></div>", "div", 0, "none", "StartTag <div> at <0> missing required end tag."},
        {"<span>x", "span", 0, "none",
         "[CStartTag::findEndTagInternal] StartTag <span> at <0> missing required end tag."},
        {"<DIV>x</div>", "div", 0, "</div>@6", ""},
        {"<dl><dt>a<dd>b</dl>", "dt", 0, "empty@9", ""},
        {"<dl><dt>a<dd>b</dl>", "dd", 0, "empty@14", ""},
        {"<select><option>1<option>2</select>", "option", 0, "empty@17", ""},
        {"<li>a</li>", "li", 0, "</li>@5", ""},
    };
    for (const auto& c : cases)
    {
        CTraceCapture trace;
        STestPage page(c.pszPage);
        EXPECT_EQ(EndOf(NthStartTag(page.get(), c.pszName, c.n)), c.pszEnd)
            << c.pszPage << " " << c.pszName << c.n;
        if (*c.pszLog != '\0')
        {
            EXPECT_TRUE(trace.Contains(c.pszLog)) << c.pszPage;
        }
    }
}

TEST(EndTagPairing, TagsWithoutEndTagsLogNothing)
{
    CTraceCapture trace;
    STestPage page("<!-- c --><!doctype html><% s %><br>");
    for (Position p : {0u, 10u, 25u, 32u})
    {
        auto* pTag = static_cast<CStartTag*>(page->getTagAt(p));
        ASSERT_NE(pTag, nullptr);
        CElement* pElement = pTag->getElement();
        ASSERT_NE(pElement, nullptr);
        EXPECT_EQ(pElement->getEndTag(), nullptr);
        EXPECT_EQ(pElement->m_nEnd, pTag->m_nEnd);
    }
    EXPECT_FALSE(trace.Contains("missing required end tag"));
}

TEST(EndTagPairing, EndTagElementAndStrayEndTags)
{
    STestPage page("</b><div><div></div></div>");
    auto* pStray = static_cast<CEndTag*>(page->getTagAt(0));
    ASSERT_NE(pStray, nullptr);
    EXPECT_EQ(pStray->getElement(), nullptr);
    EXPECT_TRUE(pStray->m_bElementSet);
    EXPECT_EQ(pStray->getElement(), nullptr);
    auto* pInnerEnd = static_cast<CEndTag*>(page->getTagAt(14));
    CElement* pElement = pInnerEnd->getElement();
    ASSERT_NE(pElement, nullptr);
    EXPECT_EQ(pElement->getStartTag()->m_nBegin, 9u);
    auto* pOuterEnd = static_cast<CEndTag*>(page->getTagAt(20));
    ASSERT_NE(pOuterEnd->getElement(), nullptr);
    EXPECT_EQ(pOuterEnd->getElement()->getStartTag()->m_nBegin, 4u);
}

TEST(EndTagPairing, DeepNestingNeedsNoDeepStack)
{
    const size_t nDepth = DEEP_NESTING;
    std::string sPage;
    for (size_t i = 0; i < nDepth; ++i)
        sPage += "<div>";
    for (size_t i = 0; i < nDepth; ++i)
        sPage += "</div>";
    STestPage page(sPage);
    CElement* pOuter = page->getTagAt(0) ? static_cast<CStartTag*>(page->getTagAt(0))->getElement() : nullptr;
    ASSERT_NE(pOuter, nullptr);
    EXPECT_EQ(pOuter->m_nEnd, sPage.size());
    const CElementList& top = page->getChildElements();
    ASSERT_EQ(top.size(), 1u);
    CElement* pElement = top[0];
    size_t nLevels = 1;
    while (!pElement->getChildElements().empty())
    {
        pElement = pElement->getChildElements()[0];
        ++nLevels;
    }
    EXPECT_EQ(nLevels, nDepth);
    EXPECT_EQ(pElement->m_nDepth, static_cast<int>(nDepth - 1));
    EXPECT_EQ(page->getEnclosingElement(5 * nDepth - 1), pElement);
}

// Skipped elements nested far deeper than the thread's stack may go are paired, and each as when it is asked
// on its own.
TEST(EndTagPairing, DeeplyNestedSkippedElementsNeedNoDeepStack)
{
    std::string sPage;
    for (int i = 0; i < DEEP_NESTING; ++i)
        sPage += "<html>";
    STestPage page(sPage);
    auto* pTag = static_cast<CStartTag*>(page->getTagAt(0));
    ASSERT_NE(pTag, nullptr);
    CElement* pElement = pTag->getElement();
    ASSERT_NE(pElement, nullptr);
    EXPECT_EQ(pElement->m_nEnd, sPage.size());
    const Position nInner = 6 * static_cast<Position>(DEEP_NESTING / 2);
    STestPage alone(sPage);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(page->getTagAt(nInner))),
              EndOf(static_cast<CStartTag*>(alone->getTagAt(nInner))));
}

TEST(EndTagPairing, ResultsDoNotDependOnTheOrderOfQuestions)
{
    // Balancing remembers what nested tags gave; asking inner tags first or outer tags first must agree.
    std::mt19937 rng(11);
    static const char* const kPieces[] = {
        "<div>", "</div>", "<div/>", "<x>",  "</x>",   "<x/>",           "t",
        "<p>",   "<li>",   "<a>",    "</a>", "<html>", "<!-- <div> -->", "<div title='</div>'>"};
    for (int round = 0; round < 400; ++round)
    {
        const std::string sPage = PiecesPage(rng, kPieces, 24);
        const auto [a, b] = PairedBothWays(sPage, EndOf);
        ASSERT_EQ(a, b) << sPage;
    }
}

TEST(EndTagPairing, NestedTagWhoseCandidateLiesInsideItIsBalancedAgain)
{
    // The "</div>" inside the quoted value is no end tag, as for a browser, whichever tag is asked first.
    const std::string sPage = "<div><div title='</div>'></div></div>";
    STestPage innerFirst(sPage);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(innerFirst->getTagAt(5))), "</div>@25");
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(innerFirst->getTagAt(0))), "</div>@31");
    STestPage outerFirst(sPage);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(outerFirst->getTagAt(0))), "</div>@31");
}

TEST(EndTagPairing, ManyStrayEndTagsAfterManyStartTags)
{
    std::string sPage;
    for (int i = 0; i < 5000; ++i)
        sPage += "<i>";
    for (int i = 0; i < 5000; ++i)
        sPage += "</b>";
    sPage += "</i>";
    STestPage page(sPage);
    size_t nWithElement = 0;
    for (Position p = 15000; p + 4 < sPage.size(); p += 4)
        nWithElement += static_cast<CEndTag*>(page->getTagAt(p))->getElement() != nullptr ? 1u : 0u;
    EXPECT_EQ(nWithElement, 0u);
    auto* pLast = static_cast<CEndTag*>(page->getTagAt(sPage.size() - 4));
    ASSERT_NE(pLast->getElement(), nullptr);
    EXPECT_EQ(pLast->getElement()->m_nBegin, 3u * 4999u) << "the innermost i pairs with the one i end tag";
}

// Where a same-name tag's search stopped is remembered for the view of the text it was found in: a full
// parse sees other tags (here the <body> that an opening comment in a quoted value hid from the on-demand
// lookups), and a search after it must not jump to a stop found before it.
TEST(EndTagPairing, OptionalEndStopFoundBeforeAFullParseIsNotReusedAfterIt)
{
    //                     0         1         2         3
    //                     0123456789012345678901234567890123456
    const std::string sText = "<head>a<head>b<x title='<!--'><body>c-->";
    STestPage parsedFirst(sText);
    parsedFirst->fullSequentialParse();
    const std::string sWant = EndOf(static_cast<CStartTag*>(parsedFirst->getTagAt(0)));
    EXPECT_EQ(sWant, "empty@30");

    STestPage page(sText);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(page->getTagAt(7))), "empty@30")
        << "the comment opening in the quoted value hides nothing";
    page->fullSequentialParse();
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(page->getTagAt(0))), sWant);
}

TEST(EndTagPairing, ImpliedEndsStayWithTheirElements)
{
    // Where the page writes no end tag, each element keeps where it ends, whatever is paired after it.
    STestPage page("<ul><li>a<li>bb</ul><p>x<p>yy<div>z</div>");
    std::vector<std::pair<CElement*, Position>> seen;
    for (int n = 0; n < 2; ++n)
        for (const char* pszName : {"li", "p"})
        {
            CElement* pElement = NthStartTag(page.get(), pszName, n)->getElement();
            ASSERT_NE(pElement, nullptr);
            EXPECT_EQ(pElement->getEndTag(), nullptr);
            seen.emplace_back(pElement, pElement->m_nEnd);
        }
    EXPECT_EQ(EndOf(NthStartTag(page.get(), "li", 0)), "empty@9");
    EXPECT_EQ(EndOf(NthStartTag(page.get(), "li", 1)), "empty@15");
    EXPECT_EQ(EndOf(NthStartTag(page.get(), "p", 0)), "empty@24");
    EXPECT_EQ(EndOf(NthStartTag(page.get(), "p", 1)), "empty@29");
    for (const auto& [pElement, nEnd] : seen)
        EXPECT_EQ(pElement->m_nEnd, nEnd);
}

namespace
{
// How each start tag of the page ends, asked in a shuffled order, with the named optional-end searches on
// or off (then every search walks every tag), with or without the tag cache; before a full parse, after
// it, and (bParseFirst) only after it.
std::vector<std::string> OptionalEnds(const std::string& sPage, bool bNamed, bool bCached, bool bParseFirst,
                                      uint32_t nSeed)
{
    STestPage page(sPage);
    page->m_bNamedOptionalEndSearch = bNamed;
    page->m_bUseTagCache = bCached;
    std::vector<Position> starts;
    {
        STestPage scan(sPage);
        for (CStartTag* p = scan->findNextStartTag(0); p != nullptr; p = scan->findNextStartTag(p->m_nEnd))
            starts.push_back(p->m_nBegin);
    }
    std::mt19937 rng(nSeed);
    std::shuffle(starts.begin(), starts.end(), rng);
    std::vector<std::string> ends;
    auto askAll = [&]
    {
        for (Position nPos : starts)
        {
            CTag* pTag = page->getTagAt(nPos);
            ends.push_back(std::to_string(nPos) + ": " +
                           (pTag != nullptr && pTag->isStartTag() ? EndOf(static_cast<CStartTag*>(pTag))
                                                                  : "no start tag"));
        }
    };
    if (!bParseFirst)
        askAll();
    page->fullSequentialParse();
    askAll();
    return ends;
}

std::string Repeated(const char* pszUnit, size_t nUnits)
{
    std::string s;
    for (size_t i = 0; i < nUnits; ++i)
        s += pszUnit;
    return s;
}

uint64_t WorkOfPairing(const std::string& sPage, bool bNamed)
{
    STestPage page(sPage);
    page->m_bNamedOptionalEndSearch = bNamed;
    // The page's indexes are built once for all searches (a few steps per byte): only the pairing counts.
    page->findNextStartTag(0, ToCi("x"));
    page->findNextEndTag(0, ToCi("x"));
    const uint64_t nBefore = page->getWork();
    auto* pFirst = static_cast<CStartTag*>(page->getTagAt(0));
    EXPECT_NE(pFirst->getElement(), nullptr);
    EXPECT_EQ(pFirst->getElement()->m_nEnd, sPage.size());
    return page->getWork() - nBefore;
}
} // namespace

// Rules that name few tags look for each of them through the name index instead of walking every tag: the
// elements must end where the walk ends them, with quoted look-alike tags and comments in the way, nested
// and repeated elements whose searches reuse each other's, with the tag cache or without, before or after a
// full parse.
TEST(EndTagPairing, NamedOptionalEndSearchesEndElementsWhereTheWalkDoes)
{
    static const char* const kPieces[] = {"<html>",
                                          "</html>",
                                          "<body>",
                                          "</body>",
                                          "<head>",
                                          "</head>",
                                          "<li>",
                                          "</li>",
                                          "<LI>",
                                          "<li/>",
                                          "</li >",
                                          "<ul>",
                                          "</ul>",
                                          "<ol>",
                                          "</ol>",
                                          "<dd>",
                                          "</dd>",
                                          "<dt>",
                                          "<dl>",
                                          "</dl>",
                                          "<option>",
                                          "</option>",
                                          "<optgroup>",
                                          "<select>",
                                          "</select>",
                                          "<table>",
                                          "</table>",
                                          "<tbody>",
                                          "<thead>",
                                          "</tbody>",
                                          "<tr>",
                                          "</tr>",
                                          "<td>",
                                          "</td>",
                                          "<p>",
                                          "</p>",
                                          "t",
                                          "<frameset>",
                                          "<!--",
                                          "-->",
                                          "<!-- <li> -->",
                                          "<a title='</li>'>",
                                          "<a title='<li>'>",
                                          "<b title='</html>'>",
                                          "<a title='<!--'>",
                                          "<body title='<head>'>",
                                          "<head title='</head>'>",
                                          "<html title='<html>'>",
                                          "<li title='</ul>'>",
                                          "<dd title='<dt>'>"};
    std::mt19937 rng(31);
    for (uint32_t round = 0; round < 500; ++round)
    {
        const std::string sPage = PiecesPage(rng, kPieces, round % 10 == 0 ? 120 : 30);
        const bool bParseFirst = round % 4 == 3;
        for (bool bCached : {true, false})
        {
            const std::vector<std::string> walked = OptionalEnds(sPage, false, bCached, bParseFirst, round);
            const std::vector<std::string> named = OptionalEnds(sPage, true, bCached, bParseFirst, round);
            ASSERT_EQ(named, walked) << (bCached ? "cached" : "uncached")
                                     << (bParseFirst ? ", parsed first: " : ": ") << sPage;
        }
    }
}

// The first html start tag of "<html><div>" repeated steps over every nested html element, and the first
// body start tag of "<body><div>" repeated meets every later body start tag: their searches look at the tags
// of those names alone, not at the divs between them, and the work grows with the page.
TEST(EndTagPairing, OptionalEndPairingWorkIsLinearAndSkipsTheOtherTags)
{
    for (const char* pszUnit : {"<html><div>", "<body><div>"})
    {
        const std::string sSmall = Repeated(pszUnit, 2000);
        const std::string sLarge = Repeated(pszUnit, 8000);
        const uint64_t nSmall = WorkOfPairing(sSmall, true);
        const uint64_t nLarge = WorkOfPairing(sLarge, true);
        EXPECT_LE(nLarge, 5 * nSmall) << pszUnit << ": work grows faster than the page";
        EXPECT_LE(nLarge, 6 * sLarge.size()) << pszUnit;
        EXPECT_LT(nLarge, WorkOfPairing(sLarge, false)) << pszUnit << ": the named search walks the divs too";
    }
}

// Where nothing the rule stops at lies ahead (no "</html>" after nested html start tags), the search ends at
// the source's end without pairing the elements it would step over. With one end tag at the page's end the
// search steps over every nested element: the innermost ends at that tag, and so, stepped over, do the rest.
TEST(EndTagPairing, AnOptionalEndWithNothingToStopAtAheadIsTheSourcesEnd)
{
    for (const bool bClosed : {false, true})
    {
        STestPage page(Repeated("<html><div>", 4000) + (bClosed ? "</html>" : ""));
        CStartTag* pFirst = page->findNextStartTag(0);
        CStartTag* pLast = page->findNextStartTag(page->m_nEnd - (bClosed ? 18 : 11), ci_string("html"));
        ASSERT_NE(pFirst, nullptr);
        ASSERT_NE(pLast, nullptr);
        // The name index is built once, for the whole page, by the first search by name.
        page->findNextEndTag(0, ci_string("html"));
        const uint64_t nBefore = page->getWork();
        CElement* pElement = pFirst->getElement();
        ASSERT_NE(pElement, nullptr);
        const uint64_t nWork = page->getWork() - nBefore;
        EXPECT_EQ(pElement->getEnd(), page->m_nEnd) << bClosed;
        EXPECT_EQ(pElement->getEndTag(), nullptr) << bClosed;
        if (bClosed)
        {
            ASSERT_NE(pLast->getElement(), nullptr);
            EXPECT_EQ(TagText(pLast->getElement()), "<html><div></html>");
        }
        else
            EXPECT_LT(nWork, 1000u) << "the nested elements were paired";
    }
}

// With the log on every search walks every tag, so each tag built or refused on the way still writes its
// line.
TEST(EndTagPairing, OptionalEndSearchesLogTheSameLinesWithNamedSearchesOnOrOff)
{
    const std::string sPage = "<html><div><li><ul><x y='<'><li></ul><li><a title='</li>'></li><html></html>";
    std::vector<std::vector<std::string>> lines;
    for (bool bNamed : {true, false})
    {
        CTraceCapture trace;
        STestPage page(sPage);
        page->m_bNamedOptionalEndSearch = bNamed;
        for (CStartTag* p = page->findNextStartTag(0); p != nullptr; p = page->findNextStartTag(p->m_nEnd))
            p->getElement();
        lines.push_back(CTraceCapture::Lines());
    }
    EXPECT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[0], lines[1]);
}
