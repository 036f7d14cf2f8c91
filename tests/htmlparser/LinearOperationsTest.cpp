// The searches by name, the element around a position and the element of an end tag remember what they
// found so that crafted pages cost linear work: their answers must stay those of the plain definitions, in
// any order of questions and before or after a full parse; and on the crafted shapes the parser's steps must
// grow with the page, not with its square.
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TextSearch.h"
#include "tests/htmlparser/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{
const char* const kPieces[] = {
    "<div>",     "</div>",   "<DIV id=a>", "</Div>", "<div/>",     "<span>",       "</span>",
    "<spanx>",   "</spanx>", "t",          " ",      "'",          "\"",           "<!--",
    "-->",       "<p>",      "<li>",       "<ul>",   "</ul>",      "<html>",       "<a>",
    "</a>",      "</div >",  "</ div>",    "<%",     "%>",         "<div title='", "</div title=x>",
    "<x:y>",     "</x:y>",   "<",          ">",      "<b name=n>", "</b>",         "<a title='<!--'>",
    "<![cdata[", "]]>"};

std::string RandomPage(std::mt19937& rng)
{
    return PiecesPage(rng, kPieces, 30);
}

std::string Describe(const CSegment* pSegment)
{
    if (pSegment == nullptr)
        return "none";
    std::ostringstream s;
    s << "[" << pSegment->m_nBegin << "," << pSegment->m_nEnd << ")";
    return s.str();
}

// A named search by its definition: the nearest place holding the pattern whose tag fits.
template <class TFits>
CTag* PlainSearch(CSource* pSource, const std::string& sText, Position nPos, const std::string& sPattern,
                  bool bPrevious, TFits fits)
{
    auto holds = [&](Position p)
    { return MatchesNoCaseAt(sText, p, sPattern) && fits(CTag::getTagAt(pSource, p)); };
    if (!bPrevious)
    {
        for (Position p = nPos; p < sText.size(); ++p)
            if (holds(p))
                return CTag::getTagAt(pSource, p);
        return nullptr;
    }
    for (Position p = std::min<Position>(nPos, sText.size() - 1) + 1; p-- > 0;)
        if (holds(p))
            return CTag::getTagAt(pSource, p);
    return nullptr;
}

// A registered start tag of exactly the name, or an end tag of the normal type.
CTag* PlainStartTag(CSource* pSource, const std::string& sText, Position nPos, const std::string& sName,
                    bool bPrevious)
{
    return PlainSearch(pSource, sText, nPos, "<" + sName, bPrevious,
                       [&](const CTag* pTag)
                       {
                           return pTag != nullptr && pTag->isStartTag() && !pTag->isUnregistered() &&
                                  pTag->getName().size() <= sName.size();
                       });
}

CTag* PlainEndTag(CSource* pSource, const std::string& sText, Position nPos, const std::string& sName,
                  bool bPrevious)
{
    return PlainSearch(pSource, sText, nPos, "</" + sName + ">", bPrevious,
                       [](const CTag* pTag)
                       {
                           return pTag != nullptr && !pTag->isStartTag() &&
                                  static_cast<const CEndTag*>(pTag)->getEndTagType() ==
                                      CEndTagType::getNormal();
                       });
}

TEST(LinearOperations, NamedSearchesAnswerAsTheirDefinitionInAnyOrder)
{
    std::mt19937 rng(19);
    const char* const kNames[] = {"div", "DIV", "span", "spanx", "x:y", "b", "a", "p", "li"};
    for (int round = 0; round < 400; ++round)
    {
        // Now and then a page of thousands of tags, where the index orders its places another way.
        const std::string sPage = round % 50 == 0 ? PiecesPage(rng, kPieces, 3000) : RandomPage(rng);
        STestPage page(sPage);
        // Some questions before a full parse, the rest after it: what the places held before must not
        // decide the answers after.
        const int nParseAt = round % 3 == 0 ? -1 : static_cast<int>(rng() % 80);
        for (int question = 0; question < 80; ++question)
        {
            if (question == nParseAt)
                page->fullSequentialParse();
            const std::string sName = kNames[rng() % (sizeof(kNames) / sizeof(kNames[0]))];
            const Position p = rng() % (sPage.size() + 1);
            const bool bPrevious = rng() % 2 == 0;
            const bool bEnd = rng() % 2 == 0;
            std::string sGot;
            std::string sWant;
            if (bEnd)
            {
                sGot = Describe(bPrevious ? page->findPreviousEndTag(p, ToCi(sName))
                                          : page->findNextEndTag(p, ToCi(sName)));
                sWant = Describe(PlainEndTag(page.get(), sPage, p, sName, bPrevious));
            }
            else
            {
                sGot = Describe(CStartTag::findPreviousOrNext(page.get(), p, ToCi(sName), true, bPrevious));
                sWant = Describe(PlainStartTag(page.get(), sPage, p, sName, bPrevious));
            }
            ASSERT_EQ(sWant, sGot) << (bEnd ? "end" : "start") << " tag " << sName << " from " << p
                                   << (bPrevious ? " backward" : " forward") << " page '" << sPage << "'";
        }
    }
}

// The element around a position by its definition: the nearest start tag at or before it whose element
// reaches past it, asking every earlier start tag in turn.
CElement* PlainEnclosing(CSource* pSource, Position nPos)
{
    for (CStartTag* pTag = pSource->findPreviousStartTag(nPos); pTag != nullptr;)
    {
        CElement* pElement = pTag->getElement();
        if (pElement != nullptr && pElement->m_nEnd > nPos)
            return pElement;
        if (pTag->m_nBegin == 0)
            return nullptr;
        pTag = pSource->findPreviousStartTag(pTag->m_nBegin - 1);
    }
    return nullptr;
}

TEST(LinearOperations, EnclosingElementsAndEndTagElementsAnswerAsAPlainWalk)
{
    std::mt19937 rng(23);
    for (int round = 0; round < 600; ++round)
    {
        const std::string sPage = RandomPage(rng);
        // No full parse, one first, or one halfway through the questions (then both sources have paired
        // the same start tags before it, and only the elements around positions are compared).
        const int nMode = round % 3;
        STestPage page(sPage);
        STestPage reference(sPage);
        if (nMode == 1)
        {
            page->fullSequentialParse();
            reference->fullSequentialParse();
        }
        // Every start tag of the reference paired first: an end tag's element is the one element that
        // claims it, when exactly one does.
        std::vector<CElement*> elements;
        if (nMode != 2)
        {
            for (CStartTag* p = reference->findNextStartTag(0); p != nullptr;
                 p = reference->findNextStartTag(p->m_nBegin + 1))
                elements.push_back(p->getElement());
        }
        std::vector<Position> positions(sPage.size() + 1);
        for (Position p = 0; p < positions.size(); ++p)
            positions[p] = p;
        std::shuffle(positions.begin(), positions.end(), rng);
        for (size_t i = 0; i < positions.size(); ++i)
        {
            const Position p = positions[i];
            if (nMode == 2 && i == positions.size() / 2)
            {
                page->fullSequentialParse();
                reference->fullSequentialParse();
            }
            ASSERT_EQ(Describe(PlainEnclosing(reference.get(), p)), Describe(page->getEnclosingElement(p)))
                << "at " << p << " page '" << sPage << "' mode " << nMode;
            CTag* pTag = page->getTagAt(p);
            if (nMode == 2 || pTag == nullptr || pTag->isStartTag())
                continue;
            CTag* pReferenceTag = reference->getTagAt(p);
            ASSERT_NE(pReferenceTag, nullptr);
            std::vector<CElement*> claims;
            for (CElement* pElement : elements)
                if (pElement != nullptr && pElement->m_pEndTag == pReferenceTag)
                    claims.push_back(pElement);
            if (claims.size() > 1)
                continue;
            ASSERT_EQ(Describe(claims.empty() ? nullptr : claims[0]), Describe(pTag->getElement()))
                << "end tag at " << p << " page '" << sPage << "' mode " << nMode;
        }
    }
}

// Balancing start tags of one name against its end tags by the plain recursive rule, for names without an
// optional-end-tag rule that may nest: the end tag closing pTag and the next start tag of the name after it.
std::pair<CEndTag*, CStartTag*> PlainBalance(CSource* pSource, CStartTag* pTag, CEndTag* pCandidate,
                                             bool bSkipEmpty)
{
    auto nextStart = [&](Position p)
    {
        CStartTag* pNext = pSource->findNextStartTag(p, pTag->getName());
        while (bSkipEmpty && pNext != nullptr && pNext->isEmptyElementTag())
            pNext = pSource->findNextStartTag(pNext->m_nEnd, pTag->getName());
        return pNext;
    };
    CStartTag* pNested = nextStart(pTag->m_nEnd);
    CEndTag* pEnd = pCandidate;
    if (pEnd == nullptr)
        return {nullptr, nullptr};
    while (pNested != nullptr && pNested->m_nBegin <= pEnd->m_nBegin)
    {
        const auto [pNestedEnd, pAfter] = PlainBalance(pSource, pNested, pEnd, bSkipEmpty);
        if (pNestedEnd == nullptr)
            return {nullptr, nullptr};
        pEnd = pSource->findNextEndTag(pNestedEnd->m_nEnd, pTag->getName());
        pNested = pAfter;
        if (pEnd == nullptr)
            return {nullptr, nullptr};
    }
    return {pEnd, pNested};
}

TEST(LinearOperations, BalancingAnswersAsThePlainRecursionInAnyOrder)
{
    std::mt19937 rng(29);
    static const char* const kBalancePieces[] = {"<div>",
                                                 "</div>",
                                                 "<div/>",
                                                 "<x:y>",
                                                 "</x:y>",
                                                 "<x:y/>",
                                                 "t",
                                                 "<div title='</div>'>",
                                                 "<x:y a='</x:y></x:y>'>",
                                                 "<div title='",
                                                 "'>",
                                                 "</div></div>",
                                                 "<!--",
                                                 "-->"};
    for (int round = 0; round < 600; ++round)
    {
        const std::string sPage = PiecesPage(rng, kBalancePieces, 30);
        STestPage page(sPage);
        STestPage reference(sPage);
        if (round % 2 == 1)
        {
            page->fullSequentialParse();
            reference->fullSequentialParse();
        }
        std::vector<CStartTag*> starts;
        for (CStartTag* p = reference->findNextStartTag(0); p != nullptr;
             p = reference->findNextStartTag(p->m_nBegin + 1))
            if (!p->isUnregistered())
                starts.push_back(p);
        std::vector<size_t> order(starts.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t i : order)
        {
            CStartTag* pReferenceTag = starts[i];
            const bool bSkipEmpty = pReferenceTag->getName() != ToCi("div");
            std::string sWant;
            if (bSkipEmpty && pReferenceTag->isEmptyElementTag())
                sWant = "none";
            else
            {
                CEndTag* pCandidate =
                    reference->findNextEndTag(pReferenceTag->m_nEnd, pReferenceTag->getName());
                sWant = Describe(PlainBalance(reference.get(), pReferenceTag, pCandidate, bSkipEmpty).first);
            }
            CTag* pTag = page->getTagAt(pReferenceTag->m_nBegin);
            ASSERT_TRUE(pTag != nullptr && pTag->isStartTag());
            CElement* pElement = pTag->getElement();
            ASSERT_NE(pElement, nullptr);
            const std::string sGot = Describe(pElement->getEndTag());
            ASSERT_EQ(sWant, sGot) << "start tag at " << pReferenceTag->m_nBegin << " page '" << sPage << "'"
                                   << (round % 2 == 1 ? " parsed" : "");
        }
    }
}

// Elements that step over nested elements of their own kind, nested beyond the pairing's depth bound: the
// searches that go through the deepest ones share where they stop, and the answers stay those of asking
// every element on its own, from the inside out.
TEST(LinearOperations, SkippedElementsNestedBeyondTheBoundAnswerInAnyOrder)
{
    for (const char* pszUnit : {"<html><div>", "<body><html>x", "<html>x</html><html>"})
    {
        SCOPED_TRACE(pszUnit);
        std::string sPage;
        for (int i = 0; i < 700; ++i)
            sPage += pszUnit;
        const auto [a, b] =
            PairedBothWays(sPage, [](CStartTag* pTag) { return Describe(pTag->getElement()); });
        EXPECT_EQ(a, b);
    }
}

// The parser's steps on a page of a crafted shape, for the operations the rewriters use.
uint64_t StepsOn(const std::string& sPage, int nOperation)
{
    STestPage page(sPage);
    const Position n = sPage.size();
    switch (nOperation)
    {
    case 0:
        page->fullSequentialParse();
        break;
    case 1:
        page->fullSequentialParse();
        [[fallthrough]];
    case 2:
    {
        std::vector<CElement*> stack(page->getChildElements().begin(), page->getChildElements().end());
        while (!stack.empty())
        {
            CElement* p = stack.back();
            stack.pop_back();
            if (p->childElementsSet())
                continue;
            for (CElement* pChild : p->getChildElements())
                stack.push_back(pChild);
        }
        break;
    }
    default:
        for (Position i = 0; i < 200; ++i)
        {
            const Position p = n * i / 200;
            page->getEnclosingElement(p);
            page->findPreviousStartTag(n - 1 - p);
            if (CStartTag* pTag = page->findNextStartTag(n - 1 - p))
                pTag->getElement();
            if (CEndTag* pEnd = page->findNextEndTag(n - 1 - p, ToCi("div")))
                pEnd->getElement();
            page->getTagAt(p);
        }
        page->getElementById("absent");
        break;
    }
    return page->getWork();
}

TEST(LinearOperations, StepsGrowLinearlyOnCraftedShapes)
{
    struct SShape
    {
        const char* pszUnit;
        const char* pszTail;
    };
    const SShape shapes[] = {
        {"<div><span>", ""},
        {"<", ">"},
        {"<%", ""},
        {nullptr, ""},
        {"</ ", ">"},
        {"</div title=x", ">"},
        {"<!-- >", ""},
        {"<div title='</div>'>x", ""},
        {"<span title='</span></span>'>x", ""},
        {"<span>t", ""},
        {"<p><li><td>x", ""},
        {"<html><div>", ""},
        {"<body><html>x", ""},
    };
    for (const SShape& shape : shapes)
    {
        auto build = [&](size_t nBytes)
        {
            std::string s;
            for (size_t i = 0; s.size() < nBytes; ++i)
                s += shape.pszUnit != nullptr ? std::string(shape.pszUnit) : "<x" + std::to_string(i) + ">";
            return s + shape.pszTail;
        };
        const std::string sSmall = build(16 * 1024);
        const std::string sLarge = build(64 * 1024);
        for (int nOperation = 0; nOperation < 4; ++nOperation)
        {
            const uint64_t nSmall = StepsOn(sSmall, nOperation);
            const uint64_t nLarge = StepsOn(sLarge, nOperation);
            EXPECT_LE(nLarge, 5 * nSmall)
                << (shape.pszUnit ? shape.pszUnit : "distinct names") << " operation " << nOperation << ": "
                << nSmall << " then " << nLarge << " steps";
            EXPECT_LE(nLarge, 100 * sLarge.size())
                << (shape.pszUnit ? shape.pszUnit : "distinct names") << " operation " << nOperation;
        }
    }
}
} // namespace
