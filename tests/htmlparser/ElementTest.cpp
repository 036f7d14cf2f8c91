#include "htmlparser/Element.h"
#include "ParserTestSupport.h"
#include "htmlparser/Tag.h"

#include <gtest/gtest.h>

namespace
{
std::vector<std::string> Names(const std::vector<CElement*>& elements)
{
    std::vector<std::string> names;
    for (CElement* pElement : elements)
        names.push_back(FromCi(pElement->getName()) + "@" + std::to_string(pElement->m_nBegin));
    return names;
}
} // namespace

TEST(Element, ChildrenParentsAndDepths)
{
    CTraceCapture trace;
    STestPage page("<div><p>a<p>b</div>");
    const std::vector<CElement*>& top = page->getChildElements();
    EXPECT_TRUE(trace.Contains("[CSource::getChildElements] NOTE: Calling CSource.fullSequentialParse()"));
    ASSERT_EQ(top.size(), 1u);
    CElement* pDiv = top[0];
    EXPECT_EQ(pDiv->m_nDepth, 0);
    EXPECT_TRUE(pDiv->m_bParentSet);
    EXPECT_EQ(pDiv->getParentElement(), nullptr);
    EXPECT_EQ(Names(pDiv->getChildElements()), (std::vector<std::string>{"p@5", "p@9"}));
    for (CElement* pP : pDiv->getChildElements())
    {
        EXPECT_EQ(pP->getParentElement(), pDiv);
        EXPECT_EQ(pP->m_nDepth, 1);
    }
}

TEST(Element, ContentlessServerTagsAndOverlaps)
{
    CTraceCapture trace;
    STestPage page("<div><br/><% x %><span id=s>t</span></div><b><i></b></i>");
    auto* pDiv = static_cast<CStartTag*>(page->getTagAt(0))->getElement();
    EXPECT_EQ(Names(pDiv->getChildElements()), (std::vector<std::string>{"br@5", "span@17"}));
    EXPECT_TRUE(pDiv->getChildElements()[0]->getChildElements().empty());
    CStartTag* pBTag = page->findNextStartTag(0, ToCi("b"));
    ASSERT_NE(pBTag, nullptr);
    CElement* pB = pBTag->getElement();
    EXPECT_EQ(Names(pB->getChildElements()), (std::vector<std::string>{"i@45"}));
    EXPECT_TRUE(
        trace.Contains("[CElement::getChildElements] ChildElement <i> (ends at <56>) extends beyond end of "
                       "parent <b> (ending at <52>)."));
    std::vector<CElement*> empty;
    EXPECT_TRUE(page->getChildElements().size() >= 2u);
    CSegment* pEmpty = CSegment::CREATE_NEW_INST(page.get(), 3, 3);
    ASSERT_NE(pEmpty, nullptr);
    EXPECT_TRUE(pEmpty->getChildElements().empty());
    EXPECT_TRUE(pEmpty->childElementsSet());
}

TEST(Element, Searches)
{
    CTraceCapture trace;
    STestPage page("<div id=a><div id=b name=n><div id=c></div></div><% id=X %><i id=X name=m></i></div>");
    CElement* pOuter = page->getElementById("a");
    ASSERT_NE(pOuter, nullptr);
    std::vector<CElement*> divs;
    pOuter->findAllChildOrNestedChildElementsByName(ToCi("div"), divs);
    EXPECT_EQ(Names(divs), (std::vector<std::string>{"div@10", "div@27"}));
    std::vector<CStartTag*> tags;
    pOuter->findAllChildOrNestedChildStartTagsByName(ToCi("DIV"), tags);
    EXPECT_EQ(tags.size(), 2u);
    EXPECT_EQ(pOuter->getFirstChildOrNestedChildElementById("x"), nullptr) << "ids compare with case";
    CElement* pI = pOuter->getFirstChildOrNestedChildElementById("X");
    ASSERT_NE(pI, nullptr);
    EXPECT_EQ(FromCi(pI->getName()), "i");
    EXPECT_EQ(pOuter->findFirstChildOrNestedChildElementByName(ToCi("i")), pI);
    CElement* pNamed = pOuter->findFirstChildOrNestedChildElementByNameAttribute("n");
    ASSERT_NE(pNamed, nullptr);
    EXPECT_EQ(pNamed->m_nBegin, 10u);
    EXPECT_EQ(pOuter->findFirstChildOrNestedChildStartTagByNameAttribute("m"), pI->getStartTag());
    EXPECT_EQ(pOuter->findFirstChildOrNestedChildStartTagByName(ToCi("table")), nullptr);
}

TEST(Element, EnclosingElementStopsAtTheBegin)
{
    STestPage page("<b>x</b>yy<i>z</i>");
    CElement* pI = page->getEnclosingElement(14);
    ASSERT_NE(pI, nullptr);
    EXPECT_EQ(FromCi(pI->getName()), "i");
    EXPECT_EQ(page->getEnclosingElement(8), nullptr) << "between elements, the walk ends at the begin";
    EXPECT_EQ(page->getEnclosingElement(1)->m_nBegin, 0u);
    STestPage inner("<b>x</b>yy<i>z", 3);
    EXPECT_EQ(inner->getEnclosingElement(9), nullptr);
}

TEST(Element, ChildWalkAfterFullParseIsTheSame)
{
    const std::string sPage =
        "<html><head><title>t</title></head><body><table><tr><td>1<td>2</table><ul><li>a<li>b"
        "</ul></body></html>";
    STestPage lazy(sPage);
    STestPage parsed(sPage);
    parsed->fullSequentialParse();
    std::vector<std::string> a, b;
    std::vector<CElement*> stack(lazy->getChildElements().begin(), lazy->getChildElements().end());
    while (!stack.empty())
    {
        CElement* p = stack.back();
        stack.pop_back();
        a.push_back(TagText(p) + std::to_string(p->m_nDepth));
        for (CElement* c : p->getChildElements())
            stack.push_back(c);
    }
    stack.assign(parsed->getChildElements().begin(), parsed->getChildElements().end());
    while (!stack.empty())
    {
        CElement* p = stack.back();
        stack.pop_back();
        b.push_back(TagText(p) + std::to_string(p->m_nDepth));
        for (CElement* c : p->getChildElements())
            stack.push_back(c);
    }
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 11u);
}

// Tags are released with their source without a destructor run, unless one comes to hold a child list:
// that list must go with the source too (the leak checker of the sanitizer build sees it otherwise).
TEST(Element, ATagsChildListGoesWithItsSource)
{
    STestPage page("<div title='x'><i>y</i></div>");
    CTag* pTag = CTag::getTagAt(page.get(), 0);
    ASSERT_NE(pTag, nullptr);
    const std::vector<CElement*>& children = pTag->getChildElements();
    EXPECT_EQ(&pTag->getChildElements(), &children);
    CElement* pDiv = pTag->getElement();
    ASSERT_NE(pDiv, nullptr);
    ASSERT_EQ(pDiv->getChildElements().size(), 1u);
    EXPECT_EQ(FromCi(pDiv->getChildElements()[0]->getName()), "i");
}
