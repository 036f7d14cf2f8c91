#include "ParserTestSupport.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <gtest/gtest.h>

namespace
{
std::string Parse(const std::string& sText)
{
    STestPage page(sText);
    const std::vector<CTag*>& tags = page->fullSequentialParse();
    std::string s;
    for (CTag* pTag : tags)
    {
        if (!s.empty())
            s += " ";
        s += TagText(pTag);
    }
    return s;
}
} // namespace

TEST(FullParse, RulesTable)
{
    const struct
    {
        const char* pszText;
        const char* pszTags;
    } cases[] = {
        {"<a title='<b>'>x</a>", "<a title='<b>'> </a>"},
        {"<a title='<% s %>'>x</a>", "<a title='<% s %>'> <% s %> </a>"},
        {"<!-- <b> --><i>", "<!-- <b> --> <i>"},
        // A doctype ends at its first '>', and nothing inside it starts a tag.
        {"<!doctype x <b> y><i>", "<!doctype x <b> <i>"},
        {"< x <b> ><i>", "<b> <i>"},
        {"<![cdata[<b>]]><i>", "<![cdata[<b>]]> <i>"},
        {"<?xml version='1.0'?><r/>", "<?xml version='1.0'?> <r/>"},
        {"text only", ""},
        // An unclosed comment holds the rest of the page, as for a browser.
        {"<!-- unclosed <b>", ""},
        {"<b><!-- >", "<b>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.pszText), c.pszTags) << c.pszText;
}

TEST(FullParse, ListsFlagsAndSecondCall)
{
    STestPage page("<p>a</p><!--c--><x y>");
    EXPECT_TRUE(page->getAllStartTags().empty());
    CTag* pBefore = page->getTagAt(8);
    ASSERT_NE(pBefore, nullptr);
    EXPECT_EQ(pBefore->getAllTagsIndex(), -1);
    const std::vector<CTag*>& tags = page->fullSequentialParse();
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_TRUE(page->m_bAllTagsSet);
    EXPECT_TRUE(page->m_bAllStartTagsSet);
    for (size_t i = 0; i < tags.size(); ++i)
        EXPECT_EQ(tags[i]->getAllTagsIndex(), static_cast<int64_t>(i));
    // The start tags of the parse's list, in its order.
    const std::vector<CStartTag*>& startTags = page->getAllStartTags();
    ASSERT_EQ(startTags.size(), 3u);
    EXPECT_EQ(startTags[0], tags[0]);
    EXPECT_EQ(startTags[1], tags[2]);
    EXPECT_EQ(startTags[2], tags[3]);
    EXPECT_EQ(&page->fullSequentialParse(), &tags);
    EXPECT_EQ(page->fullSequentialParse().size(), 4u);
    EXPECT_EQ(page->m_nFullParsePos, NPOS);
    EXPECT_TRUE(page->m_bUseTagCache);
    EXPECT_TRUE(page->m_bUseSearchCache);

    STestPage empty("");
    EXPECT_TRUE(empty->fullSequentialParse().empty());
    EXPECT_TRUE(empty->m_bAllTagsSet);
    EXPECT_TRUE(empty->m_bAllStartTagsSet);
}

TEST(FullParse, HostileInputsParseWholeWithoutCrash)
{
    auto repeat = [](const std::string& s, size_t n)
    {
        std::string out;
        out.reserve(s.size() * n + 1);
        for (size_t i = 0; i < n; ++i)
            out += s;
        return out;
    };
    const struct
    {
        std::string sText;
        size_t nRegistered;
        size_t nAll;
    } cases[] = {
        // The first comment opening holds the rest; "</ " opens one bogus comment up to the one ">"; a '<'
        // that
        // a '<' follows is text.
        {repeat("<!-- >", 10000), 0, 1},
        {repeat("<%", 200000), 0, 0},
        {repeat("</ ", 50000) + ">", 0, 1},
        {repeat("<", 200000) + ">", 0, 0},
        {repeat("<!doctype \"[", 20000), 0, 0},
        {repeat("<!x \"", 20000), 0, 0},
        {repeat("<![cdata[", 20000) + repeat("<?", 20000), 0, 0},
    };
    for (const auto& c : cases)
    {
        STestPage page(c.sText);
        size_t nAll = 0;
        CTag* pTag = nullptr;
        // Every tag the parse finds, unregistered ones included, the way the parse itself walks.
        page->m_bUseTagCache = false;
        page->m_bUseSearchCache = false;
        page->m_nFullParsePos = page->m_nBegin;
        for (pTag = CTag::parseAllFindNextTag(page.get(), 0); pTag != nullptr;
             pTag = CTag::parseAllFindNextTag(page.get(), pTag->m_nBegin + 1))
            ++nAll;
        EXPECT_EQ(nAll, c.nAll) << c.sText.substr(0, 12);
        STestPage fresh(c.sText);
        EXPECT_EQ(fresh->fullSequentialParse().size(), c.nRegistered) << c.sText.substr(0, 12);
        // On-demand searches over the same text stay linear too.
        EXPECT_EQ(fresh->findPreviousStartTag(fresh->m_nEnd), nullptr);
        STestPage onDemand(c.sText);
        EXPECT_EQ(onDemand->findNextStartTag(0), nullptr);
        EXPECT_EQ(onDemand->findPreviousStartTag(onDemand->m_nEnd), nullptr);
    }
}
