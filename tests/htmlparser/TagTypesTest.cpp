#include "ParserTestSupport.h"
#include "common/StaticMemory.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"
#include "htmlparser/TagTypeRegister.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
std::string Offered(const std::string& sText)
{
    STestPage page(sText);
    CProspectiveTagTypeIterator it(page.get(), 0);
    std::string s;
    while (!it.isExhausted())
    {
        if (!s.empty())
            s += ", ";
        s += it.getNextTagType()->getDescription();
    }
    return s;
}
} // namespace

TEST(TagTypeRegister, OffersLongestDelimiterFirstAndLastRegisteredFirst)
{
    const struct
    {
        const char* pszText;
        const char* pszOffered;
    } cases[] = {
        {"</", "/normal, /unregistered, normal, unregistered"},
        {"<!--", "comment, markup declaration, normal, unregistered"},
        {"<!doctype", "document type declaration, markup declaration, normal, unregistered"},
        {"<!DOCTYPE", "markup declaration, normal, unregistered"},
        {"<![cdata[", "CDATA section, markup declaration, normal, unregistered"},
        {"<?xml", "XML declaration, XML processing instruction, normal, unregistered"},
        {"<%", "common server tag, normal, unregistered"},
        {"<", "normal, unregistered"},
        {"x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Offered(c.pszText), c.pszOffered) << c.pszText;
}

TEST(TagTypes, TableOfTypes)
{
    const CStartTagTypeSingletonData* pStart =
        Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance();
    const struct
    {
        const char* pszDescription;
        const char* pszStart;
        const char* pszEnd;
        bool bServer, bAttributes, bName, bSkipCheck;
    } rows[] = {
        {"unregistered", "<", ">", false, false, false, true},
        {"normal", "<", ">", false, true, true, true},
        {"comment", "<!--", "-->", false, false, false, true},
        {"XML declaration", "<?xml", "?>", false, true, false, false},
        {"XML processing instruction", "<?", "?>", false, false, true, true},
        {"document type declaration", "<!doctype", ">", false, false, false, false},
        {"markup declaration", "<!", ">", false, false, true, true},
        {"CDATA section", "<![cdata[", "]]>", false, false, false, true},
        {"common server tag", "<%", "%>", true, false, false, true},
    };
    for (size_t i = 0; i < 9; ++i)
    {
        CStartTagType* pType = pStart->get(i + 1);
        EXPECT_EQ(pType->getDescription(), rows[i].pszDescription);
        EXPECT_EQ(pType->getStartDelimiter(), rows[i].pszStart);
        EXPECT_EQ(pType->getEndDelimiter(), rows[i].pszEnd);
        EXPECT_EQ(pType->m_bIsServerTag, rows[i].bServer);
        EXPECT_EQ(pType->m_bHasAttributes, rows[i].bAttributes);
        EXPECT_EQ(pType->m_bIsNameRequired, rows[i].bName);
        if (i > 0)
        {
            EXPECT_EQ(static_cast<CStartTagTypeGenericImplementation*>(pType)->m_bSkipFollowingCharCheck,
                      rows[i].bSkipCheck)
                << rows[i].pszDescription;
        }
        EXPECT_EQ(pType->m_pCorrespondingEndTagType, i == 1 ? CEndTagType::getNormal() : nullptr);
    }
    EXPECT_EQ(CEndTagType::getNormal()->getDescription(), "/normal");
    EXPECT_EQ(CEndTagType::getUnregistered()->getDescription(), "/unregistered");
    EXPECT_EQ(CEndTagType::getNormal()->getCorrespondingStartTagType(), CStartTagType::getNormal());
}

TEST(TagTypes, ConstructionAtPosition)
{
    const struct
    {
        const char* pszText;
        const char* pszType; // "" when no tag
        const char* pszName;
        const char* pszTagText;
    } cases[] = {
        {"<?xml version='1.0'?>", "XML declaration", "?xml", "<?xml version='1.0'?>"},
        {"<?xml-stylesheet href='a'?>", "XML processing instruction", "?xml-stylesheet",
         "<?xml-stylesheet href='a'?>"},
        {"<!DOCTYPE x [<!ENTITY a \">\"> ]> tail>", "unregistered", "", "<!DOCTYPE x [<!ENTITY a \">"},
        {"<!doctype x [<!ENTITY a \">\"> ]> tail>", "document type declaration", "!doctype",
         "<!doctype x [<!ENTITY a \">\"> ]>"},
        {"<!doctypex>", "unregistered", "", "<!doctypex>"},
        {"<!ELEMENT br EMPTY>", "markup declaration", "!ELEMENT", "<!ELEMENT br EMPTY>"},
        {"<!FOO bar>", "unregistered", "", "<!FOO bar>"},
        {"<!-- a > b -->", "comment", "!--", "<!-- a > b -->"},
        {"<![cdata[ <b> ]]>", "CDATA section", "![cdata[", "<![cdata[ <b> ]]>"},
        {"<![CDATA[ x ]]>", "unregistered", "", "<![CDATA[ x ]]>"},
        {"<% x %>", "common server tag", "%", "<% x %>"},
        {"</p>", "/normal", "p", "</p>"},
        {"</p >", "/unregistered", "p ", "</p >"},
        {"</ p>", "/unregistered", " p", "</ p>"},
        {"</ a href=x>", "/unregistered", " a href=x", "</ a href=x>"},
        {"<br/>", "normal", "br", "<br/>"},
        // Names that are no element name as the list writes it, up to and beyond the length read from the
        // page when asked rather than kept.
        {"<X1>", "normal", "X1", "<X1>"},
        {"<DIV class=a>", "normal", "DIV", "<DIV class=a>"},
        {"</Foo>", "/normal", "Foo", "</Foo>"},
        {"<x-y_z.q a=1>", "normal", "x-y_z.q", "<x-y_z.q a=1>"},
        {"<abcdefghijklmno>", "normal", "abcdefghijklmno", "<abcdefghijklmno>"},
        {"<abcdefghijklmnop>", "normal", "abcdefghijklmnop", "<abcdefghijklmnop>"},
        {"<div/>", "normal", "div", "<div/>"},
        {"<a", "", "", ""},
        {"</div", "", "", ""},
        {"<a/", "", "", ""},
        {"<", "", "", ""},
    };
    for (const auto& c : cases)
    {
        STestPage page(c.pszText);
        CTag* pTag = CTag::getTagAt(page.get(), 0);
        if (*c.pszType == '\0')
        {
            EXPECT_EQ(pTag, nullptr) << c.pszText;
            continue;
        }
        ASSERT_NE(pTag, nullptr) << c.pszText;
        EXPECT_EQ(pTag->getTagType()->getDescription(), c.pszType) << c.pszText;
        // Asked before and after the tag is asked for its name.
        EXPECT_EQ(FromCi(pTag->copyName()), c.pszName) << c.pszText;
        EXPECT_EQ(pTag->nameLength(), std::strlen(c.pszName)) << c.pszText;
        EXPECT_EQ(FromCi(pTag->getName()), c.pszName) << c.pszText;
        EXPECT_EQ(FromCi(pTag->copyName()), c.pszName) << c.pszText;
        EXPECT_EQ(pTag->nameLength(), std::strlen(c.pszName)) << c.pszText;
        EXPECT_EQ(TagText(pTag), c.pszTagText) << c.pszText;
    }
}

TEST(TagTypes, MarkupDeclarationsOtherThanTheKeywordsAreRefusedWithTheirLine)
{
    CTraceCapture trace;
    // Without a closing delimiter: the refusal says so, for a keyword as for any other name.
    for (const char* pszText : {"<!FOO bar", "<!ELEMENT br"})
    {
        STestPage page(pszText);
        EXPECT_EQ(CTag::getTagAt(page.get(), 0), nullptr) << pszText;
    }
    EXPECT_TRUE(trace.Has("[CStartTagTypeGenericImplementation::constructTagAt] StartTag <!FOO> at <0> not "
                          "recognized as type <markup declaration> because it has no closing delimiter."));
    EXPECT_TRUE(
        trace.Has("[CStartTagTypeGenericImplementation::constructTagAt] StartTag <!ELEMENT> at <0> not "
                  "recognized as type <markup declaration> because it has no closing delimiter."));
    // With one, a name that is no keyword is an unregistered tag; a page of them is one tag each.
    STestPage flood("<!a><!a><!a>");
    for (Position nPos : {0u, 4u, 8u})
    {
        const CTag* pTag = CTag::getTagAt(flood.get(), nPos);
        ASSERT_NE(pTag, nullptr) << nPos;
        EXPECT_EQ(pTag->getTagType()->getDescription(), "unregistered");
        EXPECT_EQ(pTag->m_nEnd, nPos + 4);
    }
}

TEST(TagTypes, ValidityInsideCommentsAndCdata)
{
    //                0123456789012345678901234567890
    STestPage page("<!-- <b> <% s %> --><b><![cdata[<i>]]>");
    EXPECT_EQ(CTag::getTagAt(page.get(), 5), nullptr) << "strictly inside a comment";
    CTag* pServer = CTag::getTagAt(page.get(), 9);
    ASSERT_NE(pServer, nullptr) << "a server tag may start anywhere";
    EXPECT_EQ(pServer->getTagType()->getDescription(), "common server tag");
    ASSERT_NE(CTag::getTagAt(page.get(), 20), nullptr) << "right at the comment's end";
    EXPECT_EQ(CTag::getTagAt(page.get(), 32), nullptr) << "inside a CDATA section";
}

TEST(TagTypes, UnregisteredTagTextsAreBoundedInLogsAndNames)
{
    CTraceCapture trace;
    const std::string sLong(5000, 'x');
    STestPage page("</ " + sLong + ">");
    CTag* pTag = CTag::getTagAt(page.get(), 0);
    ASSERT_NE(pTag, nullptr);
    EXPECT_TRUE(pTag->isUnregistered());
    EXPECT_EQ(pTag->getName().size(), MAX_LOGGED_TEXT);
    STestPage page2("< " + sLong + ">");
    EXPECT_EQ(CTag::getTagAt(page2.get(), 0), nullptr) << "a '<' and a space start no tag for a browser";
    for (const std::string& sLine : trace.Lines())
        EXPECT_LT(sLine.size(), 600u);
}

// Such a tag reads its name from the page only when asked: what it logs when found and what it answers
// later are the same text.
TEST(TagTypes, UnregisteredEndTagNameReadWhenAskedIsTheLoggedText)
{
    CTraceCapture trace;
    STestPage page("x</ p></ q>");
    const std::vector<CTag*>& tags = page.get()->fullSequentialParse();
    EXPECT_TRUE(tags.empty());
    EXPECT_TRUE(trace.Has("[CEndTagTypeUnregistered::constructTagAt] Encountered possible EndTag < q> at <6> "
                          "whose content does not match a registered EndTagType."));
    CTag* pTag = CTag::getTagAt(page.get(), 6);
    ASSERT_NE(pTag, nullptr);
    const ci_string& csName = pTag->getName();
    EXPECT_EQ(FromCi(csName), " q");
    EXPECT_EQ(&pTag->getName(), &csName);
    EXPECT_EQ(FromCi(CTag::getTagAt(page.get(), 1)->getName()), " p");
}

// Names a source holds for its tags are found by number: every tag keeps its own name however many the source
// comes to hold, and a name once given stays where it was.
TEST(TagTypes, HeldNamesStayTheTagsOwnAsTheSourceHoldsMore)
{
    auto nameOf = [](size_t i) { return "Long-Tag-Name-Number-" + std::to_string(i); };
    std::string sText;
    std::vector<Position> begins;
    for (size_t i = 0; i < 3000; ++i)
    {
        begins.push_back(sText.size());
        sText += "<" + nameOf(i) + (i % 2 == 0 ? ">x" : " a=1>x") + "</" + nameOf(i) + ">";
    }
    STestPage page(sText);
    CTag* pFirst = CTag::getTagAt(page.get(), 0);
    ASSERT_NE(pFirst, nullptr);
    const ci_string& csFirst = pFirst->getName();
    for (size_t i = begins.size(); i-- > 0;)
    {
        CTag* pTag = CTag::getTagAt(page.get(), begins[i]);
        ASSERT_NE(pTag, nullptr) << i;
        EXPECT_EQ(FromCi(pTag->getName()), nameOf(i)) << i;
        CTag* pEnd = CTag::getTagAt(page.get(), pTag->m_nEnd + 1);
        ASSERT_NE(pEnd, nullptr) << i;
        EXPECT_EQ(FromCi(pEnd->getName()), nameOf(i)) << i;
    }
    EXPECT_EQ(&pFirst->getName(), &csFirst);
    EXPECT_EQ(FromCi(csFirst), nameOf(0));
}
