#include "ParserTestSupport.h"
#include "common/StaticMemory.h"
#include "htmlparser/Attributes.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TagTypeRegister.h"

#include <gtest/gtest.h>

TEST(Source, SegmentsMustLieInsideTheSource)
{
    CTraceCapture trace;
    STestPage page("xxxx<b>text</b>", 4);
    EXPECT_FALSE(CSegment::checkConstructorArgs(page.get(), 2, 6));
    EXPECT_TRUE(
        trace.Has("[CSegment::checkConstructorArgs] pSource doesn't enclose this segment. nBegin <2>, "
                  "nEnd <6> "));
    EXPECT_FALSE(CSegment::checkConstructorArgs(page.get(), 6, 5));
    EXPECT_TRUE(trace.Has("[CSegment::checkConstructorArgs] invalid nBegin <6>, nEnd <5> values"));
    EXPECT_FALSE(CSegment::checkConstructorArgs(nullptr, 4, 5));
    EXPECT_TRUE(trace.Has("[CSegment::checkConstructorArgs] pSource is 0."));
    EXPECT_TRUE(CSegment::checkConstructorArgs(page.get(), 4, 15));
    // Positions count from the buffer's first byte, not from the source's begin.
    CTag* pTag = page->getTagAt(4);
    ASSERT_NE(pTag, nullptr);
    EXPECT_EQ(pTag->m_nEnd, 7u);
    EXPECT_EQ(page->getTagAt(0), nullptr);
}

TEST(Source, APageEndingBeyondTheParsersReachIsReadAsEmpty)
{
    CTraceCapture trace;
    // Nothing of a refused page is read, so a short buffer can stand for it.
    const char szText[] = "<b>text</b>";
    CSource source(szText, 0, MAX_SOURCE_POSITION + 2);
    EXPECT_EQ(source.getBegin(), 0u);
    EXPECT_EQ(source.getEnd(), 0u);
    EXPECT_EQ(source.getTagAt(0), nullptr);
    EXPECT_TRUE(source.getChildElements().empty());
    EXPECT_TRUE(source.fullSequentialParse().empty());
    EXPECT_TRUE(
        trace.Has("[CSource::CSource] The page ends at <4294967296>, beyond the <4294967294> bytes the "
                  "parser reads: it is read as empty."));

    // The last position a page may end at is kept as it is; NPOS stays NPOS in the objects' narrow fields.
    EXPECT_EQ(static_cast<Position>(CStoredPosition(MAX_SOURCE_POSITION)), MAX_SOURCE_POSITION);
    EXPECT_EQ(static_cast<Position>(CStoredPosition(NPOS)), NPOS);
    EXPECT_EQ(static_cast<Position>(CStoredPosition()), NPOS);
}

TEST(Source, SubstringAndNameEnd)
{
    CTraceCapture trace;
    STestPage page("abc a:b.c-d_e=1 9");
    EXPECT_EQ(page->substring(16, 100), "9");
    EXPECT_EQ(page->substring(17, 1), "");
    EXPECT_TRUE(trace.Has("[CSource::substring] Invalid nPos <17> value. nBegin <0> nEnd <17>. "));
    EXPECT_EQ(page->getNameEnd(4), 13u);
    EXPECT_EQ(page->getNameEnd(16), NPOS);
    EXPECT_EQ(page->getNameEnd(17), NPOS);
    STestPage tail("<ab");
    EXPECT_EQ(tail->getNameEnd(1), 3u) << "a name may run to the source's end";
}

TEST(Source, CompareAndValidNames)
{
    STestPage page("<b>x</b>");
    CTag* p1 = CTag::getTagAtUncached(page.get(), 0);
    CTag* p2 = CTag::getTagAtUncached(page.get(), 0);
    ASSERT_NE(p1, nullptr);
    EXPECT_NE(p1, p2);
    EXPECT_EQ(p1->compare(*p2), 0);
    EXPECT_EQ(p1->compare(*page->getTagAt(4)), 1);
    EXPECT_TRUE(CTag::isValidName("ns:a.b-c_d"));
    EXPECT_TRUE(CTag::isValidName("_x"));
    EXPECT_FALSE(CTag::isValidName(""));
    EXPECT_FALSE(CTag::isValidName("1a"));
    EXPECT_FALSE(CTag::isValidName("a b"));
}

TEST(Source, BackwardStringSearch)
{
    //             0123456789012
    STestPage page("abcXabcXabc", 0);
    EXPECT_EQ(page->findStringBackward("ABC", 100, NPOS), 8u);
    EXPECT_EQ(page->findStringBackward("abc", 7, NPOS), 4u);
    EXPECT_EQ(page->findStringBackward("abc", 7, 4), NPOS) << "matches must start above the limit";
    EXPECT_EQ(page->findStringBackward("abc", 7, 3), 4u);
    EXPECT_EQ(page->findStringBackward("abc", 3, 3), NPOS);
    STestPage inner("abcXabcXabc", 2);
    EXPECT_EQ(inner->findStringBackward("abc", 3, NPOS), NPOS) << "never below the begin";
    EXPECT_EQ(inner->findStringBackward("abc", 1, NPOS), NPOS);
}

TEST(Source, TagSearches)
{
    //             0         1         2         3
    //             0123456789012345678901234567890123456
    STestPage page("<b>x<!--c--><i>y</i><!DOCTYPE z><a>");
    CStartTagType* pComment = Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(3);
    CStartTagType* pDoctype = Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance()->get(6);
    CTag* pLast = CTag::findPreviousOrNextTag(page.get(), 1000, true);
    ASSERT_NE(pLast, nullptr);
    EXPECT_EQ(TagText(pLast), "<a>") << "a backward search from beyond the end starts at the last byte";
    EXPECT_EQ(CTag::findPreviousOrNextTagUncached(page.get(), 0, pComment, false, 4), nullptr);
    EXPECT_EQ(CTag::findPreviousOrNextTagUncached(page.get(), 0, pComment, false, 7), nullptr)
        << "the delimiter must end before the limit";
    CTag* pFound = CTag::findPreviousOrNextTagUncached(page.get(), 0, pComment, false, NPOS);
    ASSERT_NE(pFound, nullptr);
    EXPECT_EQ(pFound->m_nBegin, 4u);
    EXPECT_EQ(CTag::findPreviousOrNextTag(page.get(), 0, pDoctype, false), nullptr)
        << "a capital delimiter is a candidate but its tag has another type";
    CTag* pEnclosing = page->findEnclosingTag(6, pComment);
    ASSERT_NE(pEnclosing, nullptr);
    EXPECT_EQ(pEnclosing->m_nBegin, 4u);
    ASSERT_NE(page->findEnclosingTag(13), nullptr);
    EXPECT_EQ(page->findEnclosingTag(13)->compare(*page->getTagAt(12)), 0);
    EXPECT_EQ(page->findEnclosingTag(15), nullptr);
    std::vector<CTag*> tags;
    page->findAllTags(nullptr, tags);
    EXPECT_EQ(tags.size(), 5u) << "the unregistered capital doctype is passed over";
}

TEST(Source, NamedStartAndEndTagSearches)
{
    CTraceCapture trace;
    STestPage page("<abbr><a x><ns:item></TD></td ><a>");
    CStartTag* pA = page->findNextStartTag(0, ToCi("a"));
    ASSERT_NE(pA, nullptr);
    EXPECT_EQ(pA->m_nBegin, 6u) << "a search for a does not return abbr";
    CStartTag* pNs = page->findNextStartTag(0, ToCi("ns:"));
    ASSERT_NE(pNs, nullptr);
    EXPECT_EQ(FromCi(pNs->getName()), "ns:item");
    EXPECT_EQ(page->findNextStartTag(0, ToCi("/a")), nullptr);
    EXPECT_TRUE(
        trace.Has("[CStartTag::findPreviousOrNext] csSearchName argument \"/a\" must not start with '/' "
                  "character."));
    CEndTag* pTd = page->findNextEndTag(0, ToCi("td"));
    ASSERT_NE(pTd, nullptr);
    EXPECT_EQ(pTd->m_nBegin, 20u);
    EXPECT_EQ(page->findNextEndTag(21, ToCi("td")), nullptr) << "</td > is not a NORMAL end tag";
    ASSERT_NE(page->findPreviousEndTag(1000, ToCi("td")), nullptr);
    EXPECT_EQ(page->findPreviousEndTag(1000, ToCi("td"))->compare(*pTd), 0);
    CStartTag* pPrev = CStartTag::findPreviousOrNext(page.get(), 1000, ToCi("a"), true, true);
    ASSERT_NE(pPrev, nullptr);
    EXPECT_EQ(pPrev->m_nBegin, 31u);
    EXPECT_EQ(CStartTag::findPreviousOrNext(page.get(), 5, ToCi("a"), true, true), nullptr)
        << "the backward search stops at the begin";
}

TEST(Source, FindNextByAttributeValue)
{
    CTraceCapture trace;
    STestPage page("<p>Main</p><div id=\"main\">a</div><span id='Main'>b</span>");
    CStartTag* pExact = page->findNextStartTag(0, "id", "Main", true);
    ASSERT_NE(pExact, nullptr);
    EXPECT_EQ(FromCi(pExact->getName()), "span");
    EXPECT_TRUE(
        trace.Has("[CStartTag::findNext] StartTag <div> at <11> with attribute <id=\"main\"> ignored during "
                  "search because its case does not match search value."));
    CStartTag* pAny = page->findNextStartTag(0, "id", "Main", false);
    ASSERT_NE(pAny, nullptr);
    EXPECT_EQ(FromCi(pAny->getName()), "div");
    EXPECT_EQ(page->findNextStartTag(0, "id", "none", false), nullptr);
}

TEST(Source, NamedBackwardSearchNeverWrapsBelowTheBegin)
{
    // The only match of "<a" is a longer name one byte after the begin: the search must end there.
    STestPage page("x<ab>");
    EXPECT_EQ(CStartTag::findPreviousOrNext(page.get(), 4, ToCi("a"), true, true), nullptr);
    STestPage inner("yyx<ab>", 2);
    EXPECT_EQ(CStartTag::findPreviousOrNext(inner.get(), 6, ToCi("a"), true, true), nullptr);
}

// Segments keep no source of their own: each finds it from where its source laid it out. Two sources growing
// side by side, over many chunks of their memory, with segments of every kind and a child list too long for a
// chunk, must each find only their own.
TEST(Source, EverySegmentFindsItsOwnSourceAcrossItsMemory)
{
    std::string sUnit = "<div id='d' title='</div>'><p>x<!-- c --><br/></p></div><%s%></ ";
    std::string sFirst;
    std::string sSecond;
    for (int i = 0; i < 3000; ++i)
    {
        sFirst += sUnit;
        sSecond += "<span>" + std::to_string(i) + "</span>";
    }
    STestPage first(sFirst);
    STestPage second(sSecond);
    std::vector<CSegment*> segments[2];
    for (int nStep = 0; nStep < 2000; ++nStep)
    {
        for (int nSide = 0; nSide < 2; ++nSide)
        {
            CSource* pSource = nSide == 0 ? first.get() : second.get();
            const Position nPos = static_cast<Position>(nStep) * (pSource->m_nEnd / 2000);
            if (CStartTag* pStart = pSource->findNextStartTag(nPos))
                segments[nSide].push_back(pStart);
            if (CTag* pTag = pSource->getTagAt(nPos))
                segments[nSide].push_back(pTag);
            if (CElement* pElement = pSource->getEnclosingElement(nPos))
            {
                segments[nSide].push_back(pElement);
                segments[nSide].push_back(pElement->getAttributes());
            }
        }
    }
    for (int nSide = 0; nSide < 2; ++nSide)
    {
        CSource* pSource = nSide == 0 ? first.get() : second.get();
        for (CElement* pElement : pSource->getChildElements())
            segments[nSide].push_back(pElement);
        for (CTag* pTag : pSource->fullSequentialParse())
            segments[nSide].push_back(pTag);
        segments[nSide].push_back(CSegment::CREATE_NEW_INST(pSource, 1, 5));
        EXPECT_GT(segments[nSide].size(), 5000u);
        for (CSegment* pSegment : segments[nSide])
        {
            if (pSegment != nullptr)
            {
                ASSERT_EQ(pSource, pSegment->getSource()) << TagText(pSegment);
            }
        }
        EXPECT_EQ(pSource, static_cast<CSegment*>(pSource)->getSource());
    }
}
