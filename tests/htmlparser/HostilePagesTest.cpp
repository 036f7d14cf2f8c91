// Crafted pages whose walks used to cost the square of their size: each runs here at a size where that
// would take minutes, and its answers are checked against what the same page gives at a small size or
// against the uncached search.
#include "htmlparser/DelimiterIndex.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TextSearch.h"
#include "tests/htmlparser/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{
std::string Repeat(const std::string& sUnit, size_t nTimes)
{
    std::string s;
    s.reserve(sUnit.size() * nTimes);
    for (size_t i = 0; i < nTimes; ++i)
        s += sUnit;
    return s;
}

// The searches for names and values remember what they scanned: whatever order and bounds the questions
// come in, the answers are those of a plain scan.
TEST(ScannedTextSearch, AnswersAsAPlainScanInAnyOrderOfQuestions)
{
    std::mt19937 rng(11);
    const char alphabet[] = {'a', 'A', 'b', '<', '/', '>'};
    const char* patterns[] = {"a", "ab", "aba", "<a", "</a>", "AA", "b<", "aaa"};
    for (int nRound = 0; nRound < 400; ++nRound)
    {
        std::string sText;
        const size_t nLength = 1 + rng() % 60;
        for (size_t i = 0; i < nLength; ++i)
            sText += alphabet[rng() % sizeof(alphabet)];
        const Position nBegin = rng() % 4 == 0 ? rng() % nLength : 0;
        CDelimiterIndex index(sText.data(), nBegin, sText.size());
        for (int nQuestion = 0; nQuestion < 60; ++nQuestion)
        {
            const std::string sPattern = patterns[rng() % (sizeof(patterns) / sizeof(*patterns))];
            const Position nPos = rng() % (nLength + 2);
            if (rng() % 2 == 0)
            {
                const Position nLimit = rng() % 3 == 0 ? NPOS : rng() % (nLength + 2);
                Position nExpected = NPOS;
                for (Position p = std::max(nPos, nBegin); p <= std::min<Position>(nLimit, sText.size()); ++p)
                {
                    if (MatchesNoCaseAt(sText, p, sPattern))
                    {
                        nExpected = p;
                        break;
                    }
                }
                ASSERT_EQ(nExpected, index.findNextText(sPattern.c_str(), nPos, nLimit))
                    << sText << " begin " << nBegin << " next " << sPattern << " from " << nPos << " to "
                    << nLimit;
            }
            else
            {
                Position nExpected = NPOS;
                if (nPos >= nBegin)
                {
                    for (Position p = nPos + 1; p-- > nBegin;)
                    {
                        if (MatchesNoCaseAt(sText, p, sPattern))
                        {
                            nExpected = p;
                            break;
                        }
                    }
                }
                ASSERT_EQ(nExpected, index.findPreviousText(sPattern.c_str(), nPos))
                    << sText << " begin " << nBegin << " previous " << sPattern << " from " << nPos;
            }
        }
    }
}

// Every element of its own name: each name used to cost a scan of the whole page.
TEST(HostilePages, ManyDistinctNamesWalkInLinearTime)
{
    constexpr size_t nNames = 64000;
    std::string sText;
    std::vector<Position> ends;
    for (size_t i = 0; i < nNames; ++i)
    {
        sText += "<t" + std::to_string(i) + ">x</t" + std::to_string(i) + ">";
        ends.push_back(sText.size());
    }
    STestPage page(sText);
    const CElementList& elements = page->getChildElements();
    ASSERT_EQ(nNames, elements.size());
    for (size_t i = 0; i < nNames; ++i)
    {
        ASSERT_EQ(ends[i], elements[i]->m_nEnd) << i;
        ASSERT_EQ("t" + std::to_string(i), FromCi(elements[i]->getName()));
        ASSERT_TRUE(elements[i]->getChildElements().empty());
    }
    // Backward from each end tag to its start tag, by name.
    for (size_t i = 0; i < nNames; i += 997)
    {
        CEndTag* pEnd = page->findPreviousEndTag(ends[i] - 1, ToCi("t" + std::to_string(i)));
        ASSERT_NE(nullptr, pEnd);
        EXPECT_EQ(elements[i], pEnd->getElement());
    }
}

// The cache compacted all its entries after every lookup that found a gap.
TEST(HostilePages, TagAtEveryPositionMatchesTheUncachedSearch)
{
    for (const char* pszUnit : {"<b>", "<!-- >"})
    {
        SCOPED_TRACE(pszUnit);
        const std::string sText = Repeat(pszUnit, 200000);
        STestPage page(sText);
        STestPage reference(sText);
        const size_t nUnit = std::string(pszUnit).size();
        for (Position p = 0; p < sText.size(); ++p)
        {
            CTag* pTag = CTag::getTagAt(page.get(), p);
            CTag* pExpected = CTag::getTagAtUncached(reference.get(), p);
            ASSERT_EQ(pExpected == nullptr, pTag == nullptr) << p;
            if (pTag == nullptr)
                continue;
            ASSERT_EQ(pExpected->m_nBegin, pTag->m_nBegin);
            ASSERT_EQ(pExpected->m_nEnd, pTag->m_nEnd);
            ASSERT_EQ(pExpected->isStartTag(), pTag->isStartTag());
            ASSERT_EQ(0u, p % nUnit) << p;
        }
    }
}

// Optional end tags of one name with no closer: every one's element runs to the page end, each holding the
// next (as the same page shows at a small size).
TEST(HostilePages, RepeatedHeadOrBodyWithoutClosers)
{
    for (const char* pszUnit : {"<head>x", "<body>x"})
    {
        SCOPED_TRACE(pszUnit);
        constexpr size_t nTimes = 100000;
        const std::string sText = Repeat(pszUnit, nTimes);
        STestPage page(sText);
        const CElementList& top = page->getChildElements();
        ASSERT_EQ(1u, top.size());
        const size_t nUnit = std::string(pszUnit).size();
        CElement* pElement = top[0];
        for (size_t i = 0; i < nTimes; ++i)
        {
            ASSERT_NE(nullptr, pElement) << i;
            ASSERT_EQ(i * nUnit, pElement->m_nBegin);
            ASSERT_EQ(sText.size(), pElement->m_nEnd);
            const CElementList& children = pElement->getChildElements();
            ASSERT_EQ(i + 1 < nTimes ? 1u : 0u, children.size()) << i;
            pElement = children.empty() ? nullptr : children[0];
        }
    }
}

// The same answers whichever of the tags is asked first: from the last one backwards, each search meets
// the ones after it already settled. (Kept small: the cache inserts the entries such a walk adds below its
// others one by one.)
TEST(HostilePages, RepeatedHeadAskedFromTheEnd)
{
    constexpr size_t nTimes = 2000;
    const std::string sText = Repeat("<head>x", nTimes);
    STestPage page(sText);
    std::vector<CTag*> tags;
    for (size_t i = 0; i < nTimes; ++i)
        tags.push_back(CTag::getTagAt(page.get(), i * 7));
    for (size_t i = nTimes; i-- > 0;)
    {
        CTag* pTag = tags[i];
        ASSERT_NE(nullptr, pTag);
        ASSERT_TRUE(pTag->isStartTag());
        CElement* pElement = pTag->getElement();
        ASSERT_NE(nullptr, pElement);
        ASSERT_EQ(sText.size(), pElement->m_nEnd);
    }
}

// A closer ends the whole run at once, and a same-name tag hiding a closer in its quoted value is not
// taken as settled by the tags around it (their searches see the closer there, its own does not).
TEST(HostilePages, RepeatedHeadStopsAtItsCloser)
{
    struct SCase
    {
        const char* pszText;
        std::vector<std::pair<Position, Position>> elements; // begin, end of each head element
    };
    const SCase cases[] = {
        {"<head>x<head>x<body>x", {{0, 14}, {7, 14}}},
        {"<head>x<head>x</head>y", {{0, 21}, {7, 21}}},
        {"<head>x<head title='<body>'>x<head>x<body>", {{0, 36}, {7, 36}, {29, 36}}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszText);
        for (bool bBackward : {false, true})
        {
            STestPage page(c.pszText);
            std::vector<std::pair<Position, Position>> got(c.elements.size());
            for (size_t k = 0; k < c.elements.size(); ++k)
            {
                const size_t i = bBackward ? c.elements.size() - 1 - k : k;
                CTag* pTag = CTag::getTagAt(page.get(), c.elements[i].first);
                ASSERT_NE(nullptr, pTag);
                CElement* pElement = pTag->getElement();
                ASSERT_NE(nullptr, pElement);
                got[i] = {pElement->m_nBegin, pElement->m_nEnd};
            }
            EXPECT_EQ(c.elements, got) << (bBackward ? "backward" : "forward");
        }
    }
}
} // namespace
