#include "htmlparser/HTMLElementName.h"
#include "htmlparser/HTMLElements.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{
uint64_t Ind(const char* pszName)
{
    return CHTMLElementName::getNameIndex(pszName);
}

std::set<std::string> Members(const CHTMLElementSet& set)
{
    std::set<std::string> names;
    for (uint64_t i = 0; i < 91; ++i)
    {
        if (set.contains(i))
            names.insert(*CHTMLElementName::getName(i));
    }
    return names;
}

size_t Count(const CHTMLElementSet& set)
{
    return Members(set).size();
}
} // namespace

TEST(HTMLElementName, IndexLookupIgnoresCaseAndNeedsEqualLength)
{
    EXPECT_EQ(Ind("TaBLe"), 78u);
    EXPECT_EQ(Ind("h1"), 34u);
    EXPECT_EQ(Ind("var"), 90u);
    EXPECT_EQ(Ind("a"), 0u);
    for (const char* pszOther : {"tables", "tabl", "h7", ""})
        EXPECT_EQ(Ind(pszOther), NO_NAME_INDEX) << pszOther;
    EXPECT_EQ(*CHTMLElementName::getName(0), "a");
    EXPECT_EQ(*CHTMLElementName::getName(90), "var");
    EXPECT_EQ(CHTMLElementName::getName(91), nullptr);
    EXPECT_EQ(CHTMLElementName::getName(NO_NAME_INDEX), nullptr);
    EXPECT_EQ(*g_pcsHtmlElementName, "html");
    EXPECT_EQ(*g_pcsHeadElementName, "head");
    EXPECT_EQ(*g_pcsBodyElementName, "body");
    // Every listed name maps back to its own position.
    for (uint64_t i = 0; i < 91; ++i)
        EXPECT_EQ(Ind(CHTMLElementName::getName(i)->c_str()), i);
}

TEST(HTMLElements, SetSizesAndMembers)
{
    const CHTMLElementsSingletonData* pData = CHTMLElements::getData();
    EXPECT_EQ(Count(pData->m_EndTagRequired), 63u);
    EXPECT_EQ(Count(pData->m_HasEndTag), 78u);
    EXPECT_EQ(Count(pData->m_EndTagOptional), 15u);
    EXPECT_EQ(Count(pData->m_EndTagForbidden), 13u);
    EXPECT_EQ(Count(pData->m_NonNestable), 15u);
    EXPECT_EQ(Count(pData->m_BlockElements), 24u);
    for (const char* pszIn : {"a", "table", "ol", "ul"})
        EXPECT_TRUE(CHTMLElements::getEndTagRequired().contains(Ind(pszIn))) << pszIn;
    for (const char* pszOut : {"p", "br"})
        EXPECT_FALSE(CHTMLElements::getEndTagRequired().contains(Ind(pszOut))) << pszOut;
    EXPECT_FALSE(CHTMLElements::canHaveEndTag(Ind("br")));
    EXPECT_FALSE(CHTMLElements::canHaveEndTag(Ind("img")));
    EXPECT_FALSE(CHTMLElements::canHaveEndTag(NO_NAME_INDEX));
    EXPECT_TRUE(CHTMLElements::canHaveEndTag(Ind("div")));
    EXPECT_TRUE(CHTMLElements::canHaveEndTag(Ind("p")));
    EXPECT_TRUE(CHTMLElements::canHaveEndTag(Ind("html")));
}

TEST(HTMLElements, OptionalEndTagRules)
{
    struct SRule
    {
        const char* pszElement;
        std::set<std::string> closingStart, closingEnd, skipped;
    };
    const std::set<std::string> pStart = {
        "address",  "blockquote", "center", "dd", "dir", "div",   "dl", "dt",      "fieldset", "form",
        "h1",       "h2",         "h3",     "h4", "h5",  "h6",    "hr", "isindex", "li",       "menu",
        "noframes", "noscript",   "ol",     "p",  "pre", "table", "td", "th",      "ul"};
    std::set<std::string> pEnd = {
        "p",    "h1",      "h2",  "h3",    "h4",       "h5",      "h6",       "ul",       "ol",
        "dir",  "menu",    "pre", "dl",    "div",      "center",  "noscript", "noframes", "blockquote",
        "form", "isindex", "hr",  "table", "fieldset", "address", "dd",       "dt",       "body",
        "html", "tbody",   "td",  "tfoot", "th",       "thead",   "tr",       "caption",  "legend"};
    const SRule rules[] = {
        {"body", {}, {"body", "html"}, {"html"}},
        {"colgroup", {"colgroup", "tbody", "tfoot", "thead", "tr"}, {"colgroup", "table"}, {"table"}},
        {"dd", {"dd", "dt"}, {"dd", "dl"}, {"dl"}},
        {"dt", {"dd", "dt"}, {"dl", "dt"}, {"dl"}},
        {"head", {"body", "frameset"}, {"head", "html"}, {}},
        {"html", {}, {"html"}, {"html"}},
        {"li", {"li"}, {"li", "ol", "ul"}, {"ol", "ul"}},
        {"option", {"optgroup", "option"}, {"option", "select"}, {}},
        {"p", pStart, pEnd, {}},
        {"tbody", {"tbody", "tfoot", "thead"}, {"table", "tbody"}, {"table"}},
        {"td",
         {"tbody", "td", "tfoot", "th", "thead", "tr"},
         {"table", "tbody", "td", "tfoot", "thead", "tr"},
         {"table"}},
        {"tfoot", {"tbody", "tfoot", "thead"}, {"table", "tfoot"}, {"table"}},
        {"th",
         {"tbody", "td", "tfoot", "th", "thead", "tr"},
         {"table", "tbody", "tfoot", "th", "thead", "tr"},
         {"table"}},
        {"thead", {"tbody", "tfoot", "thead"}, {"table", "thead"}, {"table"}},
        {"tr", {"tbody", "tfoot", "thead", "tr"}, {"table", "tbody", "tfoot", "thead", "tr"}, {"table"}},
    };
    EXPECT_EQ(pStart.size(), 29u);
    EXPECT_EQ(pEnd.size(), 36u);
    for (const SRule& rule : rules)
    {
        const OptionalEndTagRule* pRule = CHTMLElements::getOptionalEndTagRule(Ind(rule.pszElement));
        ASSERT_NE(pRule, nullptr) << rule.pszElement;
        EXPECT_EQ(Members(pRule->m_ClosingStartTags), rule.closingStart) << rule.pszElement;
        EXPECT_EQ(Members(pRule->m_ClosingEndTags), rule.closingEnd) << rule.pszElement;
        EXPECT_EQ(Members(pRule->m_SkippedElements), rule.skipped) << rule.pszElement;
    }
    for (const char* pszNone : {"div", "table"})
        EXPECT_EQ(CHTMLElements::getOptionalEndTagRule(Ind(pszNone)), nullptr) << pszNone;
    EXPECT_EQ(CHTMLElements::getOptionalEndTagRule(NO_NAME_INDEX), nullptr);
}

TEST(HTMLElementSet, GrowsAsSpecifiedAndIgnoresNone)
{
    CHTMLElementSet set;
    EXPECT_FALSE(set.contains(127));
    EXPECT_EQ(set.getWordCount(), 4u);
    set.add(200);
    EXPECT_EQ(set.getWordCount(), 8u);
    set.add(300);
    EXPECT_EQ(set.getWordCount(), 10u);
    EXPECT_TRUE(set.contains(300));
    set.add(NO_NAME_INDEX);
    EXPECT_EQ(set.getWordCount(), 10u) << "adding -1 is ignored";
    EXPECT_FALSE(set.contains(NO_NAME_INDEX));
    CHTMLElementSet other(5);
    other.unite(set);
    EXPECT_TRUE(other.contains(5));
    EXPECT_TRUE(other.contains(300));
    other.subtract(set);
    EXPECT_FALSE(other.contains(300));
    EXPECT_TRUE(other.contains(5));
}
