#include "htmlparser/Element.h"
#include "ParserTestSupport.h"
#include "htmlparser/Tag.h"

#include <gtest/gtest.h>

namespace
{
template <class TElements> std::vector<std::string> Names(const TElements& elements)
{
    std::vector<std::string> names;
    for (CElement* pElement : elements)
        names.push_back(FromCi(pElement->getName()) + "@" + std::to_string(pElement->m_nBegin));
    return names;
}
// The start tags of a page that have elements, in text order.
std::vector<CElement*> ElementsInTextOrder(CSource* pSource)
{
    std::vector<CElement*> elements;
    for (CStartTag* pTag = pSource->findNextStartTag(0); pTag != nullptr;
         pTag = pSource->findNextStartTag(pTag->m_nBegin + 1))
    {
        if (CElement* pElement = pTag->getElement())
            elements.push_back(pElement);
    }
    return elements;
}
} // namespace

TEST(Element, ChildrenParentsAndDepths)
{
    CTraceCapture trace;
    STestPage page("<div><p>a<p>b</div>");
    const CElementList& top = page->getChildElements();
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

// A tag keeps its list in its source's table; the list lives as long as the source, at the same place.
TEST(Element, ATagsChildListGoesWithItsSource)
{
    STestPage page("<div title='x'><i>y</i></div>");
    CTag* pTag = CTag::getTagAt(page.get(), 0);
    ASSERT_NE(pTag, nullptr);
    const CElementList& children = pTag->getChildElements();
    EXPECT_EQ(&pTag->getChildElements(), &children);
    CElement* pDiv = pTag->getElement();
    ASSERT_NE(pDiv, nullptr);
    ASSERT_EQ(pDiv->getChildElements().size(), 1u);
    EXPECT_EQ(FromCi(pDiv->getChildElements()[0]->getName()), "i");
}

// One walk from the top lays out each element's list while the lists of the elements around it are still
// being filled; asked one by one, innermost first, each element lists its own content alone.
TEST(Element, ListsBuiltInOneWalkMatchListsAskedOneByOne)
{
    for (const char* pszPage : {
             "<div><p><b>x</b><i>y</i></p><span></span><p>z<br></div><ul><li>a<li>b<li>c</ul>",
             "<b><i></b></i><u><s><q></q></s>t</u><em></em>",
             "<table><tr><td>1<td>2<tr><td>3</table><% x %><div><div><div></div></div><hr></div>",
             "<html><div><html><div><html><div>",
         })
    {
        SCOPED_TRACE(pszPage);
        STestPage walked(pszPage);
        STestPage asked(pszPage);
        walked->getChildElements();
        const std::vector<CElement*> inner = ElementsInTextOrder(asked.get());
        for (auto it = inner.rbegin(); it != inner.rend(); ++it)
            (*it)->getChildElements();
        EXPECT_EQ(Names(walked->getChildElements()), Names(asked->getChildElements()));
        const std::vector<CElement*> outer = ElementsInTextOrder(walked.get());
        ASSERT_EQ(outer.size(), inner.size());
        for (size_t i = 0; i < outer.size(); ++i)
        {
            SCOPED_TRACE(TagText(outer[i]));
            EXPECT_EQ(Names(outer[i]->getChildElements()), Names(inner[i]->getChildElements()));
            // Every list without children is the one shared list, whichever way it was computed.
            if (outer[i]->getChildElements().empty())
            {
                EXPECT_EQ(&outer[i]->getChildElements(), &CElementList::emptyList());
                EXPECT_EQ(&inner[i]->getChildElements(), &CElementList::emptyList());
            }
        }
    }
}

// A plain segment lists the elements inside it without becoming their parent; their own lists are computed
// with them, each element the parent of its children.
TEST(Element, APlainSegmentListsElementsWithoutAdoptingThem)
{
    STestPage page("<div><i>a</i><b><u>b</u></b></div>");
    CSegment* pSegment = CSegment::CREATE_NEW_INST(page.get(), 5, 28);
    ASSERT_NE(pSegment, nullptr);
    const CElementList& children = pSegment->getChildElements();
    ASSERT_EQ(Names(children), (std::vector<std::string>{"i@5", "b@13"}));
    EXPECT_EQ(&pSegment->getChildElements(), &children);
    EXPECT_FALSE(children[0]->m_bParentSet);
    EXPECT_FALSE(children.back()->m_bParentSet);
    ASSERT_TRUE(children.back()->childElementsSet());
    ASSERT_EQ(Names(children.back()->getChildElements()), (std::vector<std::string>{"u@16"}));
    EXPECT_EQ(children.back()->getChildElements().front()->getParentElement(), children.back());
    EXPECT_EQ(std::vector<CElement*>(children.begin(), children.end()),
              (std::vector<CElement*>{children.data()[0], children.data()[1]}));
    CSegment* pText = CSegment::CREATE_NEW_INST(page.get(), 8, 9);
    ASSERT_NE(pText, nullptr);
    EXPECT_EQ(&pText->getChildElements(), &CElementList::emptyList());
    // The source's walk comes later and sets the parents.
    ASSERT_EQ(page->getChildElements().size(), 1u);
    EXPECT_EQ(children[0]->getParentElement(), page->getChildElements()[0]);
}
