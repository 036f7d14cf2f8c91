#include "htmlparser/TagCache.h"
#include "ParserTestSupport.h"
#include "common/StaticMemory.h"
#include "htmlparser/Element.h"
#include "htmlparser/KnownPositions.h"
#include "htmlparser/StretchSet.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagStore.h"
#include "htmlparser/TagType.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
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
                // A tag of no registered type may stand as a bare mark in the all-tags sub-cache; one at a
                // lone opening may stand unmarked, since searches pass over those.
                const bool bBare =
                    pType == nullptr && pExpected->isUnregistered() && pCached->getCache().isBare(p);
                const bool bLone = pType == nullptr && !CTagType::mayBeginRegisteredTag(pCached, p);
                if (bLone)
                    ASSERT_GE(1u, recorded.count(p) + (bBare ? 1u : 0u)) << "page '" << sPage << "'";
                else
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

TEST(TagCache, SearchesPassOverDeadOpeningsThatLaterLookupsStillFind)
{
    // Searches step over openings where no registered tag can begin (a lone "<" or "</", a "<%" with no "%>"
    // after it, ...) without looking them up, unless each is to be traced: asked for afterwards, each is the
    // tag it would have been, with or without the log, before or after a full parse.
    std::mt19937 rng(5);
    static const char* const kPieces[] = {"<",   "</",     "< ",   "</ ", "<<", ">",
                                          "x",   "<a>",    "</a>", "<%",  "%>", "<!-- ",
                                          "-->", "</a b>", "<!a",  "<?",  "?>", "<!element"};
    for (const bool bTraced : {false, true})
    {
        std::unique_ptr<CTraceCapture> pTrace(bTraced ? new CTraceCapture() : nullptr);
        for (int round = 0; round < 200; ++round)
        {
            const std::string sPage = PiecesPage(rng, kPieces, 16);
            STestPage cached(sPage);
            STestPage reference(sPage);
            reference->m_bUseTagCache = false;
            reference->m_bUseSearchCache = false;
            const Position n = sPage.size();
            for (Position p = 0; p <= n; ++p)
            {
                ASSERT_EQ(Describe(cached->findPreviousStartTag(p)),
                          Describe(reference->findPreviousStartTag(p)));
                ASSERT_EQ(Describe(cached->findNextStartTag(p)), Describe(reference->findNextStartTag(p)));
            }
            CheckCacheAgainst(cached.get(), reference.get(), sPage);
            // After a full parse the cache answers as the parse saw the page (inside another tag there is
            // none), so the same parse of a source that was searched first is the reference then.
            const bool bParse = (round % 2) == 1;
            STestPage parsedOnly(sPage);
            if (bParse)
            {
                cached->fullSequentialParse();
                parsedOnly->fullSequentialParse();
            }
            CSource* pExpected = bParse ? parsedOnly.get() : reference.get();
            for (Position p = 0; p < n; ++p)
                ASSERT_EQ(Describe(CTag::getTagAt(cached.get(), p)), Describe(CTag::getTagAt(pExpected, p)))
                    << "at " << p << (bParse ? " after a full parse" : "") << " page '" << sPage << "'";
        }
    }
}

TEST(TagCache, OpeningsAreTheSameTagsWithTheLogOnOrOff)
{
    // With the log off, an opening where every registered type would refuse is handed to the unregistered
    // types at once; with it on, each type is tried and writes its line. Both give the same tags.
    std::mt19937 rng(9);
    static const char* const kPieces[] = {"<",      "</",  "<%",        "%>",  "<!-- ",    "-->",
                                          "</a b>", "<!a", "<?",        "?>",  "<a>",      "</a>",
                                          ">",      "x",   "<![cdata[", "]]>", "<!element"};
    for (int round = 0; round < 300; ++round)
    {
        const std::string sPage = PiecesPage(rng, kPieces, 16);
        const Position n = sPage.size();
        auto describeAll = [&](bool bParse)
        {
            STestPage page(sPage);
            std::string sTags;
            if (bParse)
                for (const CTag* pTag : page->fullSequentialParse())
                    sTags += Describe(pTag) + " ";
            sTags += "|";
            for (Position p = 0; p < n; ++p)
                sTags += Describe(CTag::getTagAt(page.get(), p)) + " ";
            return sTags;
        };
        for (const bool bParse : {false, true})
        {
            const std::string sOff = describeAll(bParse);
            std::string sOn;
            {
                CTraceCapture trace;
                sOn = describeAll(bParse);
            }
            ASSERT_EQ(sOff, sOn) << (bParse ? "after a full parse, " : "") << "page '" << sPage << "'";
        }
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
    EXPECT_EQ(page->getTagAt(42), nullptr) << "a '<' inside a quoted value starts no tag";
    CTag* pLink = page->getTagAt(32);
    ASSERT_NE(pLink, nullptr);
    const std::vector<CTag*>& tags = page->fullSequentialParse();
    EXPECT_EQ(tags.front(), pDiv->getStartTag());
    EXPECT_EQ(pDiv->getStartTag()->getElement(), pDiv);
    EXPECT_EQ(page->getTagAt(0), pDiv->getStartTag());
    EXPECT_EQ(page->getTagAt(42), nullptr) << "after the parse the cache answers as the parse saw the text";
    EXPECT_EQ(page->getTagAt(32), pLink);
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

// The store against an ordered map, filled in ascending, descending and random order, with and without a
// bulk-assigned part, at sizes around the buffer and level boundaries.
TEST(TagStore, AnswersAsAnOrderedMapInAnyInsertionOrder)
{
    std::string sText;
    for (int i = 0; i < 1500; ++i)
        sText += "<a>";
    STestPage page(sText);
    std::vector<CTag*> tags;
    for (Position p = 0; p < sText.size(); p += 3)
        tags.push_back(CTag::getTagAtUncached(page.get(), p));
    std::mt19937 rng(11);
    for (size_t nSize : {0u, 1u, 31u, 32u, 33u, 95u, 96u, 97u, 1000u, 1500u})
    {
        for (int order = 0; order < 4; ++order)
        {
            std::vector<CTag*> chosen(tags.begin(), tags.end());
            std::shuffle(chosen.begin(), chosen.end(), rng);
            chosen.resize(nSize);
            CTagStore store;
            store.setText(0, sText.size());
            std::map<Position, CTag*> model;
            size_t nFirst = 0;
            if (order == 3)
            {
                // Half assigned at once, the rest inserted.
                nFirst = nSize / 2;
                std::vector<CTag*> bulk(chosen.begin(), chosen.begin() + static_cast<ptrdiff_t>(nFirst));
                std::sort(bulk.begin(), bulk.end(),
                          [](CTag* a, CTag* b) { return a->m_nBegin < b->m_nBegin; });
                for (CTag* pTag : bulk)
                    model[pTag->m_nBegin] = pTag;
                store.assign(std::move(bulk));
            }
            else if (order != 2)
                std::sort(chosen.begin(), chosen.end(),
                          [order](CTag* a, CTag* b)
                          { return order == 0 ? a->m_nBegin < b->m_nBegin : a->m_nBegin > b->m_nBegin; });
            for (size_t i = nFirst; i < chosen.size(); ++i)
            {
                store.insert(chosen[i]);
                model[chosen[i]->m_nBegin] = chosen[i];
            }
            ASSERT_EQ(store.size(), model.size());
            std::vector<CTag*> want;
            for (const auto& entry : model)
                want.push_back(entry.second);
            ASSERT_EQ(store.all(), want) << "size " << nSize << " order " << order;
            for (int q = 0; q < 300; ++q)
            {
                const Position a = rng() % (sText.size() + 2);
                const Position b = rng() % (sText.size() + 2);
                auto found = model.find(a);
                ASSERT_EQ(store.find(a), found == model.end() ? nullptr : found->second) << "at " << a;
                const Position nLow = std::min(a, b);
                const Position nHigh = std::max(a, b);
                auto itUp = model.upper_bound(nHigh);
                CTag* pHighest = (itUp != model.begin() && std::prev(itUp)->first >= nLow)
                                     ? std::prev(itUp)->second
                                     : nullptr;
                auto itLow = model.lower_bound(nLow);
                CTag* pLowest = (itLow != model.end() && itLow->first <= nHigh) ? itLow->second : nullptr;
                ASSERT_EQ(store.nearest(nLow, nHigh, true), pHighest) << "[" << nLow << "," << nHigh << "]";
                ASSERT_EQ(store.nearest(nLow, nHigh, false), pLowest) << "[" << nLow << "," << nHigh << "]";
            }
        }
    }
}

// The bit sets against the stretch set they replace, on texts around the sizes where a summary level is
// added, with a begin other than zero.
TEST(KnownPositions, AnswersAsTheStretchSet)
{
    std::mt19937 rng(5);
    for (Position nLength : {1u, 63u, 64u, 65u, 4095u, 4097u, 270000u})
    {
        const Position nBegin = 7;
        const Position nEnd = nBegin + nLength;
        CKnownPositions known;
        CStretchSet reference;
        EXPECT_TRUE(known.empty());
        for (int round = 0; round < 60; ++round)
        {
            const Position a = nBegin + rng() % nLength;
            const Position nMax = std::min<Position>(nEnd - a, round % 3 == 0 ? nLength : 70);
            const Position b = a + 1 + rng() % nMax;
            known.add(a, b, nBegin, nEnd);
            reference.add(a, b);
            ASSERT_EQ(known.all(), reference.all()) << "length " << nLength << " round " << round;
            for (int q = 0; q < 40; ++q)
            {
                Position p = nBegin + rng() % nLength;
                if (q % 4 == 0)
                {
                    // Right at or beside a stretch's edge.
                    const auto stretches = reference.all();
                    const auto& stretch = stretches[rng() % stretches.size()];
                    p = (q % 8 == 0 ? stretch.first : stretch.second) - (rng() % 2);
                    p = std::clamp(p, nBegin, nEnd - 1);
                }
                ASSERT_EQ(known.find(p), reference.find(p)) << "at " << p << " length " << nLength;
                ASSERT_EQ(known.contains(p), reference.contains(p)) << "at " << p;
                ASSERT_EQ(known.endBelow(p), reference.endBelow(p)) << "at " << p;
                ASSERT_EQ(known.beginAbove(p), reference.beginAbove(p)) << "at " << p;
            }
        }
        known.clear();
        EXPECT_TRUE(known.empty());
        EXPECT_FALSE(known.contains(nBegin));
    }
}

// A tag of no registered type that a search passes over is written to the log once and kept as a mark; it
// becomes an object, the one the uncached lookup describes, only when asked for, and the full parse takes
// the mark over without building or logging it again.
TEST(TagCache, TagsOfNoRegisteredTypeStayBareUntilAskedFor)
{
    STestPage reference("x</ y></ z>");
    reference->m_bUseTagCache = false;
    const std::string sWant1 = Describe(CTag::getTagAt(reference.get(), 1));
    const std::string sWant5 = Describe(CTag::getTagAt(reference.get(), 6));
    CTraceCapture trace;
    //                01234567890
    STestPage page("x</ y></ z>");
    const std::string sLine1 =
        "[CEndTagTypeUnregistered::constructTagAt] Encountered possible EndTag < y> at <1> whose "
        "content does not match a registered EndTagType.";
    const std::string sLine5 =
        "[CEndTagTypeUnregistered::constructTagAt] Encountered possible EndTag < z> at <6> whose "
        "content does not match a registered EndTagType.";
    EXPECT_EQ(page->findPreviousStartTag(10), nullptr);
    EXPECT_TRUE(page->getCache().isBare(1));
    EXPECT_TRUE(page->getCache().isBare(6));
    EXPECT_TRUE(page->getCache().recordedTags().empty());
    EXPECT_EQ(trace.Count(sLine1), 1u);
    EXPECT_EQ(trace.Count(sLine5), 1u);

    page->fullSequentialParse();
    EXPECT_EQ(trace.Count(sLine1), 1u) << "the parse takes the earlier finding over";
    EXPECT_EQ(trace.Count(sLine5), 1u);
    EXPECT_TRUE(page->getCache().isBare(1));
    std::string sWhy;
    EXPECT_TRUE(page->getCache().checkInvariants(sWhy)) << sWhy;

    CTag* pTag = page->getTagAt(6);
    ASSERT_NE(pTag, nullptr);
    EXPECT_EQ(Describe(pTag), sWant5);
    EXPECT_TRUE(pTag->isUnregistered());
    EXPECT_EQ(page->getTagAt(6), pTag);
    EXPECT_FALSE(page->getCache().isBare(6));
    EXPECT_EQ(trace.Count(sLine5), 1u) << "made without a second line";
    EXPECT_TRUE(page->getCache().checkInvariants(sWhy)) << sWhy;

    // Found by the parse alone: the same.
    STestPage parsed("x</ y></ z>");
    parsed->fullSequentialParse();
    EXPECT_TRUE(parsed->getCache().recordedTags().empty());
    EXPECT_EQ(Describe(parsed->getTagAt(1)), sWant1);
}
