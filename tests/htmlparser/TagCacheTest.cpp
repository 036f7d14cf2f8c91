#include "htmlparser/TagCache.h"
#include "ParserTestSupport.h"
#include "common/StaticMemory.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

namespace
{
std::string Describe(const CTag* pTag)
{
    if (pTag == nullptr)
        return "none";
    std::ostringstream s;
    s << pTag->getTagType()->getDescription() << "[" << pTag->m_nBegin << "," << pTag->m_nEnd << ")";
    return s.str();
}

std::string RandomPage(std::mt19937& rng)
{
    static const char* const kPieces[] = {"<a>",         "</a>",       "<!--",  "-->",   "<![cdata[", "]]>",
                                          "<%",          "%>",         "<",     ">",     "x",         " ",
                                          "<b c='<d>'>", "<!doctype ", "<?x",   "?>",    "\"",        "[",
                                          "]",           "<p>",        "</p >", "<br/>", "<!e x>"};
    return PiecesPage(rng, kPieces, 14);
}

// Checks what the cache claims against the uncached answers of the reference source: every recorded tag is
// the tag there, and every position of a known stretch holds a recorded tag or none of the sub-cache's kind.
void CheckCacheAgainst(CSource* pCached, CSource* pReference, const std::string& sPage)
{
    std::string sWhy;
    ASSERT_TRUE(pCached->getCache().checkInvariants(sWhy)) << sWhy << " page '" << sPage << "'";
    for (size_t i = 0; i < pCached->getCache().subCacheCount(); ++i)
    {
        const CSubCache& subCache = pCached->getCache().subCache(i);
        CTagType* pType = subCache.getTagType();
        auto ofKind = [pType](const CTag* pTag)
        { return pTag != nullptr && (pType == nullptr || pTag->getTagType() == pType); };
        std::map<Position, CTag*> recorded;
        for (CTag* pTag : subCache.recordedTags())
        {
            ASSERT_EQ(Describe(pTag), Describe(CTag::getTagAtUncached(pReference, pTag->m_nBegin)))
                << "page '" << sPage << "'";
            recorded[pTag->m_nBegin] = pTag;
        }
        for (const auto& [nBegin, nEnd] : subCache.knownStretches())
        {
            for (Position p = nBegin; p < nEnd; ++p)
            {
                const CTag* pExpected = CTag::getTagAtUncached(pReference, p);
                if (!ofKind(pExpected))
                {
                    EXPECT_FALSE(pType == nullptr && pCached->getCache().isBare(p))
                        << "bare mark where no tag stands at " << p << " page '" << sPage << "'";
                    continue;
                }
                // A tag of no registered type may stand as a bare mark in the all-tags sub-cache.
                const bool bBare =
                    pType == nullptr && pExpected->isUnregistered() && pCached->getCache().isBare(p);
                ASSERT_EQ(1u, recorded.count(p) + (bBare ? 1u : 0u))
                    << "known stretch holds an unrecorded tag at " << p << " page '" << sPage << "'";
            }
        }
    }
}
} // namespace

TEST(TagCache, CachedAnswersEqualUncachedScansInRandomOrders)
{
    const CStartTagTypeSingletonData* pTypes =
        Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance();
    CTagType* queryTypes[] = {nullptr, pTypes->get(3), pTypes->get(8), pTypes->get(2),
                              CEndTagType::getNormal()};
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round)
    {
        const std::string sPage = RandomPage(rng);
        STestPage cached(sPage);
        STestPage reference(sPage);
        reference->m_bUseTagCache = false;
        reference->m_bUseSearchCache = false;
        const Position n = sPage.size();
        std::vector<int> queries;
        for (Position p = 0; p <= n + 1; ++p)
            for (int kind = 0; kind < 12; ++kind)
                queries.push_back(static_cast<int>(p * 16 + static_cast<Position>(kind)));
        std::shuffle(queries.begin(), queries.end(), rng);
        for (int q : queries)
        {
            const Position p = static_cast<Position>(q / 16);
            const int kind = q % 16;
            std::string sGot, sWant;
            if (kind == 0)
            {
                sGot = Describe(CTag::getTagAt(cached.get(), p));
                sWant = Describe(CTag::getTagAt(reference.get(), p));
            }
            else if (kind <= 10)
            {
                CTagType* pType = queryTypes[(kind - 1) / 2];
                const bool bPrevious = (kind % 2) == 1;
                sGot = Describe(CTag::findPreviousOrNextTag(cached.get(), p, pType, bPrevious));
                sWant = Describe(CTag::findPreviousOrNextTag(reference.get(), p, pType, bPrevious));
            }
            else
            {
                sGot = Describe(cached->findPreviousStartTag(p));
                sWant = Describe(reference->findPreviousStartTag(p));
            }
            ASSERT_EQ(sGot, sWant) << "query kind " << kind << " at " << p << " page '" << sPage << "'";
            std::string sWhy;
            ASSERT_TRUE(cached->getCache().checkInvariants(sWhy)) << sWhy << " page '" << sPage << "'";
        }
        CheckCacheAgainst(cached.get(), reference.get(), sPage);
    }
}

TEST(TagCache, RepeatedLookupsReturnTheSameObject)
{
    STestPage page("<b>x<!--c--><i>y</i>");
    CTag* pTag = page->getTagAt(12);
    EXPECT_EQ(page->getTagAt(12), pTag);
    EXPECT_EQ(page->findEnclosingTag(13), pTag);
    EXPECT_EQ(CTag::findPreviousOrNextTag(page.get(), 11, false), pTag);
}

TEST(TagCache, NestedRecordingDuringABackwardSearchIsMemorySafe)
{
    // The first search records entries that the second one walks past while its own lookups add entries.
    STestPage page("a< b>");
    EXPECT_EQ(page->findPreviousStartTag(0), nullptr);
    CStartTag* pTag = page->findPreviousStartTag(3);
    EXPECT_EQ(pTag, nullptr);
    std::string sWhy;
    EXPECT_TRUE(page->getCache().checkInvariants(sWhy)) << sWhy;
}

TEST(TagCache, FullParseKeepsTagsFoundBeforeIt)
{
    STestPage page("<div id=a><p>x</div><!-- <b> --><a title='<i>'>y</a>");
    CElement* pDiv = page->getElementById("a");
    ASSERT_NE(pDiv, nullptr);
    CTag* pInside = page->getTagAt(42);
    ASSERT_NE(pInside, nullptr) << "on demand, a '<' inside a quoted value starts a tag";
    const std::vector<CTag*>& tags = page->fullSequentialParse();
    EXPECT_EQ(tags.front(), pDiv->getStartTag());
    EXPECT_EQ(pDiv->getStartTag()->getElement(), pDiv);
    EXPECT_EQ(page->getTagAt(0), pDiv->getStartTag());
    EXPECT_EQ(page->getTagAt(42), nullptr) << "after the parse the cache answers as the parse saw the text";
    std::string sWhy;
    EXPECT_TRUE(page->getCache().checkInvariants(sWhy)) << sWhy;
    for (size_t i = 0; i < tags.size(); ++i)
        EXPECT_EQ(page->getTagAt(tags[i]->m_nBegin), tags[i]);
}

TEST(TagCache, BulkLoadAnswersWithoutScanning)
{
    STestPage page("<a><!--c--></a>");
    page->fullSequentialParse();
    const CSubCache& all = page->getCache().allTags();
    EXPECT_EQ(all.recordedTags().size(), 3u);
    const std::vector<std::pair<Position, Position>> whole{{0, 15}};
    EXPECT_EQ(all.knownStretches(), whole);
    EXPECT_EQ(page->getCache().subCache(1).recordedTags().size(), 1u)
        << "the comment sub-cache holds the comment";
    STestPage empty("");
    empty->fullSequentialParse();
    EXPECT_TRUE(empty->getCache().allTags().recordedTags().empty());
}

TEST(TagCache, TypedForwardSearchFindsADelimiterThatOverlapsARecordedPosition)
{
    CStartTagType* pComment = Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(3);
    STestPage page("x<!--c-->y");
    EXPECT_EQ(CTag::findPreviousOrNextTag(page.get(), 3, pComment, false), nullptr);
    CTag* pTag = CTag::findPreviousOrNextTag(page.get(), 0, pComment, false);
    ASSERT_NE(pTag, nullptr);
    EXPECT_EQ(pTag->m_nBegin, 1u);
}
