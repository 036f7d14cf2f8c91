#include "htmlparser/Attributes.h"
#include "ParserTestSupport.h"
#include "htmlparser/Element.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <gtest/gtest.h>

namespace
{
// "name=value|with quotes" for each attribute, or "-" when the tag at 0 is no NORMAL tag.
std::string Describe(CSource* pSource)
{
    CTag* pTag = CTag::getTagAt(pSource, 0);
    if (pTag == nullptr || pTag->getTagType() != CStartTagType::getNormal())
        return "-";
    CAttributes* pAttributes = static_cast<CStartTag*>(pTag)->m_pAttributes;
    std::string s;
    for (CAttribute* pAttribute : pAttributes->getList())
    {
        if (!s.empty())
            s += " ";
        s += pAttribute->m_sName;
        if (pAttribute->m_pValueSegment != nullptr)
            s += "=" + TagText(pAttribute->m_pValueSegment) + "|" +
                 TagText(pAttribute->m_pValueSegmentIncludingQuotes);
    }
    return s;
}
} // namespace

TEST(Attributes, ScannerTable)
{
    const struct
    {
        const char* pszText;
        const char* pszAttributes;
        const char* pszLogPart; // a piece of a line that must be logged, or ""
    } cases[] = {
        {"<a href='x' title=y disabled>", "href=x|'x' title=y|y disabled", ""},
        {"<a title='1 > 2'>", "title=1 > 2|'1 > 2'", ""},
        {"<a href='x'title='y'>", "href=x|'x' title=y|'y'",
         "Has missing whitespace after quoted attribute value at <11>."},
        {"<a href=>", "href=|", "Has missing attribute value after '=' sign at <8>."},
        {"<div a/>", "a/", "Contains a '/' character before the closing '>'"},
        {"<br a/>", "a", ""},
        {"<a $x $y>", "$x $y", "Contains attribute name with invalid first character at <3>."},
        {"<a $x $y $z>", "-", "Rejected because it contains too many errors."},
        {"<a x$$y>", "x$$y", "Contains attribute name with invalid character at <4>"},
        {"<a x$$$y>", "-", "Rejected because it contains too many errors."},
        {"<a href=x<b>", "-", "Rejected because of '<' character in unquoted attribute value at <9>."},
        {"<a <b>", "-", "Rejected because of '<' character at <3>."},
        {"<a x<b>", "-", "Rejected because of '<' character in attribute name at <4>."},
        {"<a x=<b>", "-", "Rejected because of '<' character at start of attribute value at <5>."},
        {"<a$>", "-", "Rejected because name contains invalid character at <2>."},
        {"<a title='x>", "-", "Rejected because it has no closing '>' character."},
        {"<a   x  =  \"v\"  >", "x=v|\"v\"", ""},
    };
    for (const auto& c : cases)
    {
        CTraceCapture trace;
        STestPage page(c.pszText);
        EXPECT_EQ(Describe(page.get()), c.pszAttributes) << c.pszText;
        if (*c.pszLogPart != '\0')
        {
            EXPECT_TRUE(trace.Contains(c.pszLogPart)) << c.pszText;
        }
    }
}

TEST(Attributes, ExactRejectionLineAndFindByName)
{
    CTraceCapture trace;
    STestPage page("<a $x $y $z>");
    EXPECT_EQ(CTag::getTagAt(page.get(), 0)->getTagType(), CStartTagType::getUnregistered());
    EXPECT_TRUE(trace.Has("[CAttributes::reachedMaxErrorCount] Type <StartTag> Tag name <a> Begin pos <0> "
                          "Rejected because it contains too many errors."));

    STestPage page2("<a href='x'>");
    auto* pTag = static_cast<CStartTag*>(CTag::getTagAt(page2.get(), 0));
    ASSERT_NE(pTag, nullptr);
    EXPECT_NE(pTag->m_pAttributes->findByName("HREF"), nullptr);
    EXPECT_EQ(pTag->m_pAttributes->findByName("hre"), nullptr);
}

TEST(Attributes, CommentBodyIsParsedOnEveryCall)
{
    STestPage page("<!-- a=1 b -->");
    CTag* pTag = CTag::getTagAt(page.get(), 0);
    ASSERT_NE(pTag, nullptr);
    CAttributes* p1 = pTag->getAttributes();
    CAttributes* p2 = pTag->getAttributes();
    ASSERT_NE(p1, nullptr);
    EXPECT_NE(p1, p2);
    ASSERT_EQ(p1->size(), 2u);
    EXPECT_EQ(p1->getList()[0]->m_sName, "a");
    EXPECT_EQ(p1->getList()[1]->m_sName, "b");
}

// A found tag keeps only where its list ends; the list itself is read when first asked for. That reading
// must give what the tag's finding saw, log nothing the finding had not logged already, and be done once.
TEST(Attributes, ListReadWhenAskedMatchesTheFindingAndLogsOnce)
{
    const char* const kLine =
        "[CAttributes::construct] Type <StartTag> Tag name <a> Begin pos <0> Has missing "
        "whitespace after quoted attribute value at <11>.";
    CTraceCapture trace;
    STestPage page("<a href='x'title='1 > 2' $z>text");
    auto* pTag = static_cast<CStartTag*>(CTag::getTagAt(page.get(), 0));
    ASSERT_NE(pTag, nullptr);
    EXPECT_EQ(TagText(pTag), "<a href='x'title='1 > 2' $z>");
    EXPECT_EQ(trace.Count(kLine), 1u);

    CAttributes* pList = pTag->m_pAttributes;
    ASSERT_NE(pList, nullptr);
    EXPECT_EQ(pList->size(), 3u);
    EXPECT_EQ(pList->m_nBegin, 2u);
    EXPECT_EQ(pList->m_nEnd, 27u);
    EXPECT_EQ(pTag->getAttributes(), pList);
    ASSERT_NE(pTag->getElement(), nullptr);
    EXPECT_EQ(pTag->getElement()->getAttributes(), pList);
    EXPECT_EQ(trace.Count(kLine), 1u);
}
