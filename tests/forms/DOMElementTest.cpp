#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace
{
struct EditCase
{
    const char* m_pszName;
    const char* m_pszPage; // the element edited has id "t"
    std::function<int(const CDOMElement&, CBufferInstructionList*)> m_edit;
    const char* m_pszAfter;
};

TEST(DOMElement, EditsComeOutAsTheHostAppliesThem)
{
    const EditCase aCases[] = {
        {"set an unquoted attribute", "<div id=t class=a id2=b>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.setAttribute("class", "x", p); },
         "<div id=t class=\"x\" id2=b>x</div>"},
        {"set an attribute found without regard to case", "<div id=t class='a'>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.setAttribute("CLASS", "x", p); },
         "<div id=t CLASS=\"x\">x</div>"},
        {"add a missing attribute", "<div id=t>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.setAttribute("title", "v", p); },
         "<div id=t title=\"v\">x</div>"},
        {"add to an empty-element tag", "<p><br id=t/></p>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.setAttribute("a", "1", p); },
         "<p><br id=t/ a=\"1\"></p>"},
        {"set the same missing attribute twice adds it twice", "<div id=t>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p)
         { return e.setAttribute("a", "1", p) + e.setAttribute("a", "2", p); },
         "<div id=t a=\"1\" a=\"2\">x</div>"},
        {"remove an attribute, keeping the blank before it", "<div id=t class=\"a b\" x=1>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.removeAttribute("CLASS", p); },
         "<div id=t  x=1>x</div>"},
        {"append before the end tag", "<div id=t>x</div>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.appendContentData("<i>y</i>", p); },
         "<div id=t>x<i>y</i></div>"},
        {"append at the end of an element without end tag", "<ul><li id=t>a<li>b</ul>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.appendContentData("+", p); },
         "<ul><li id=t>a+<li>b</ul>"},
        {"remove the whole element", "<p>a<span id=t>x</span>b</p>",
         [](const CDOMElement& e, CBufferInstructionList* p) { return e.remove(p); }, "<p>ab</p>"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTestPage page(c.m_pszPage);
        CDOMSource dom(page.Words());
        CBufferInstructionList list;
        const CDOMElement element = dom.getElementById("t");
        ASSERT_FALSE(element.isEmpty());
        EXPECT_EQ(c.m_edit(element, &list), 0);
        EXPECT_EQ(page.Applied(list), c.m_pszAfter);
    }
}

TEST(DOMElement, SetAttributeReplacesInPlaceWithOneDeleteAndOneInsert)
{
    CTestPage page("<div class=a id=b>x</div>");
    CDOMSource dom(page.Words());
    CBufferInstructionList list;
    EXPECT_EQ(dom.getEnclosingElement(10).setAttribute("class", "x", &list), 0);
    EXPECT_EQ(page.Listed(list), (std::vector<std::string>{"insert 5 class=\"x\"", "delete 5 7"}));
    // A missing attribute is no edit at all.
    CBufferInstructionList none;
    EXPECT_EQ(dom.getEnclosingElement(10).removeAttribute("title", &none), 0);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(DOMElement, SearchesBelowTheElement)
{
    CTestPage page("<html><body><div id=d><p name=n>a</p><span id=s class=c>b</span><span>c</span></div>"
                   "<span>outside</span></body></html>");
    CDOMSource dom(page.Words());
    const CDOMElement div = dom.getElementById("d");
    EXPECT_EQ(div.tagName(), "div");
    EXPECT_EQ(div.getElementsByTagName("SPAN").length(), 2u);
    EXPECT_EQ(div.getStartTagsByTagName("span").length(), 2u);
    EXPECT_EQ(div.getFirstElementByName("n").getBeginPos(), page.Body().find("<p"));
    EXPECT_EQ(div.getFirstStartTagByName("n").getBeginPos(), page.Body().find("<p"));
    EXPECT_EQ(div.getStartTagById("s").getAttribute("class").getValue(), "c");
    EXPECT_EQ(div.getFirstElementByTagName("span").getBeginPos(), page.Body().find("<span"));
    EXPECT_EQ(div.getFirstStartTagByTagName("span").getBeginPos(), page.Body().find("<span"));
    EXPECT_TRUE(div.getElementById("nothing").isEmpty());
    EXPECT_TRUE(div.getFirstStartTagByTagName("table").isEmpty());
    EXPECT_EQ(div.getElementsByTagName("table").length(), 0u);
    // Past the end: an empty handle that still shares the page, and throws when used.
    const CDOMElementVector spans = div.getElementsByTagName("span");
    const CDOMElement past = spans.item(spans.length());
    EXPECT_TRUE(past.isEmpty());
    try
    {
        past.getBeginPos();
        ADD_FAILURE() << "no throw";
    }
    catch (const CDOMParserUndefinedObjectException& e)
    {
        EXPECT_EQ(e.m_sMessage, "Undefined DOM object.[CDOMElement::getBeginPos() : m_pElement is 0]");
    }
    EXPECT_TRUE(div.getStartTagsByTagName("span").item(7).isEmpty());
}

TEST(DOMElement, ParentsAndSiblings)
{
    CTestPage page("<div id=a>1</div><div id=b><p id=p1>x</p><p id=p2>y</p></div><div id=c></div>");
    CDOMSource dom(page.Words());
    CDOMElement p1 = dom.getElementById("p1");
    EXPECT_EQ(p1.parentNode().getBeginPos(), page.Body().find("<div id=b"));
    CDOMElement p2 = p1.nextSibling();
    EXPECT_EQ(p2.getBeginPos(), page.Body().find("<p id=p2"));
    EXPECT_EQ(p2.getSiblingIndex(), 1u);
    EXPECT_TRUE(p2.nextSibling().isEmpty()); // the last child
    // Top-level elements have no parent; their siblings are the page's top-level elements.
    CDOMElement a = dom.getElementById("a");
    EXPECT_TRUE(a.parentNode().isEmpty());
    CDOMElement b = a.nextSibling();
    EXPECT_EQ(b.getBeginPos(), page.Body().find("<div id=b"));
    EXPECT_EQ(b.nextSibling().getBeginPos(), page.Body().find("<div id=c"));
}

TEST(DOMElement, TextSearchesStayInsideTheElement)
{
    CTestPage page("<p>ab<b id=t>x</b>AB<i id=e></i></p>ab");
    CDOMSource dom(page.Words());
    const CDOMElement b = dom.getElementById("t");
    EXPECT_EQ(b.scanForString("<B"), page.Body().find("<b"));
    EXPECT_EQ(b.scanContentForString("X"), page.Body().find('x'));
    EXPECT_EQ(b.scanContentForString("ab"), NPOS);
    EXPECT_EQ(dom.getElementById("e").scanContentForString(""), NPOS); // empty content
}

TEST(DOMStartTag, AttributesAsWrittenInThePage)
{
    CTestPage page("<a id=t HREF=\"x.htm\" empty=\"\" bare data-v='q' >l</a>");
    CDOMSource dom(page.Words());
    const CDOMStartTag tag = dom.getElementById("t").getStartTag();
    std::string strHtml;
    tag.getHTML(strHtml);
    EXPECT_EQ(strHtml, "<a id=t HREF=\"x.htm\" empty=\"\" bare data-v='q' >");
    EXPECT_EQ(tag.getLength(), strHtml.size());
    EXPECT_EQ(tag.getAttribute("href").getValue(), "x.htm");
    EXPECT_TRUE(tag.getAttribute("hre").isEmpty());
    const CDOMAttribute empty = tag.getAttribute("empty");
    EXPECT_TRUE(empty.hasValue());
    EXPECT_EQ(empty.getValue(), "");
    EXPECT_EQ(empty.getValueBeginPos(), empty.getValueEndPos());
    const CDOMAttribute bare = tag.getAttribute("bare");
    EXPECT_FALSE(bare.hasValue());
    EXPECT_EQ(bare.getValue(), "");
    EXPECT_EQ(bare.getValueBeginPos(), NPOS);
    EXPECT_EQ(bare.getValueEndPos(), NPOS);
}

// A value copied into another tag reads as it read in its own: the page's bytes as they stand, in quotes
// that no byte of the value can end.
TEST(DOMStartTag, AValueQuotedForACopy)
{
    CTestPage page("<a id=t d=\"x'&amp;\\'\" s='x\"&#39;\\\"' u=a\"b'c&quot; e=\"\" bare q=\"\x83\\\">l</a>");
    CDOMSource dom(page.Words());
    const CDOMStartTag tag = dom.getElementById("t").getStartTag();
    const struct
    {
        const char* m_pszName;
        char m_cQuote;
        const char* m_pszCopy;
    } aCases[] = {
        {"d", '"', "\"x'&amp;\\'\""},
        {"s", '\'', "'x\"&#39;\\\"'"},
        {"u", 0, "\"a&quot;b'c&quot;\""},
        {"e", '"', "\"\""},
        {"bare", 0, ""},
        {"q", '"', "\"\x83\\\""},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        const CDOMAttribute attribute = tag.getAttribute(c.m_pszName);
        EXPECT_EQ(attribute.getQuote(), c.m_cQuote);
        EXPECT_EQ(attribute.getQuotedValue(), c.m_pszCopy);
    }
}

TEST(DOMStartTag, InsertValueDataInsideQuotesOrTurnsABareNameIntoAValue)
{
    struct
    {
        const char* m_pszAttribute;
        Position m_nOffset;
        const char* m_pszAfter; // or null when it throws
    } aCases[] = {
        {"href", 0, "<a id=t href=\"+x.htm\" bare>l</a>"},
        {"href", 5, "<a id=t href=\"x.htm+\" bare>l</a>"},
        {"href", 6, nullptr},
        {"bare", 0, "<a id=t href=\"x.htm\" bare=\"+\" >l</a>"},
        {"bare", 1, nullptr},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszAttribute) + "+" + std::to_string(c.m_nOffset));
        CTestPage page("<a id=t href=\"x.htm\" bare>l</a>");
        CDOMSource dom(page.Words());
        CBufferInstructionList list;
        const CDOMAttribute attribute = dom.getElementById("t").getAttribute(c.m_pszAttribute);
        if (c.m_pszAfter == nullptr)
        {
            EXPECT_THROW(attribute.insertValueData(c.m_nOffset, "+", &list),
                         CDOMParserIllegalArgumentException);
            EXPECT_TRUE(list.IsEmpty());
            continue;
        }
        EXPECT_EQ(attribute.insertValueData(c.m_nOffset, "+", &list), 0);
        EXPECT_EQ(page.Applied(list), c.m_pszAfter);
    }
}

TEST(DOMStartTag, InsertsBeforeAndAfterTheTag)
{
    CTestPage page("<p><img id=t src=a></p>");
    CDOMSource dom(page.Words());
    CBufferInstructionList list;
    const CDOMStartTag tag = dom.getElementById("t").getStartTag();
    EXPECT_EQ(tag.insertDataBefore("[", &list), 0);
    EXPECT_EQ(tag.insertDataAfter("]", &list), 0);
    EXPECT_EQ(tag.setAttribute("src", "b", &list), 0);
    EXPECT_EQ(page.Applied(list), "<p>[<img id=t src=\"b\">]</p>");
    EXPECT_THROW(CDOMStartTag().getBeginPos(), CDOMParserUndefinedObjectException);
    EXPECT_THROW(CDOMAttribute().getValue(), CDOMParserUndefinedObjectException);
}

TEST(StringToNumber, DigitsOfTheBase)
{
    struct
    {
        const char* m_pszText;
        int32_t m_nBase;
        Position m_nPos;
        Position m_nLength;
        bool m_bAllowMinus;
        bool m_bResult;
        int32_t m_nValue;
    } aCases[] = {
        {"", 10, 0, NPOS, false, true, 0},          {"12a", 10, 0, NPOS, false, false, 12},
        {"ff", 16, 0, NPOS, false, true, 255},      {"FF", 16, 0, NPOS, false, true, 255},
        {"-5", 10, 0, NPOS, false, false, 0},       {"-5", 10, 0, NPOS, true, true, -5},
        {"z", 36, 0, NPOS, false, true, 35},        {"12", 1, 0, NPOS, false, false, 0},
        {"12", 37, 0, NPOS, false, false, 0},       {"123", 10, 1, 1, false, true, 2},
        {"123", 10, 5, NPOS, false, true, 0},       {"123", 10, 2, 2, false, false, 0},
        {" 1", 10, 0, NPOS, false, false, 0},       {"4294967296", 10, 0, NPOS, false, true, 0}, // wraps
        {"\xC3\xA9", 36, 0, NPOS, false, false, 0},
    };
    for (const auto& c : aCases)
    {
        int32_t nValue = 99;
        EXPECT_EQ(StringToNumber(c.m_pszText, nValue, c.m_nBase, c.m_nPos, c.m_nLength, c.m_bAllowMinus),
                  c.m_bResult)
            << c.m_pszText << " base " << c.m_nBase;
        EXPECT_EQ(nValue, c.m_nValue) << c.m_pszText;
    }
}
} // namespace
