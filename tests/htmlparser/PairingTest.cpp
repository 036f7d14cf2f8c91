#include "ParserTestSupport.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"

#include <gtest/gtest.h>

#include <random>

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
    // On demand the "</div>" inside the quoted value is an end tag; it lies inside the nested start tag, so
    // what the nested tag gave when asked on its own does not apply inside the outer tag's balance.
    const std::string sPage = "<div><div title='</div>'></div></div>";
    STestPage innerFirst(sPage);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(innerFirst->getTagAt(5))), "</div>@25");
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(innerFirst->getTagAt(0))), "</div>@25");
    STestPage outerFirst(sPage);
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(outerFirst->getTagAt(0))), "</div>@25");
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
    EXPECT_EQ(EndOf(static_cast<CStartTag*>(page->getTagAt(7))), "empty@40")
        << "on demand the comment opening hides <body>";
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
