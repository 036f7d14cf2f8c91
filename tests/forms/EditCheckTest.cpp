#include "forms/EditCheck.h"
#include "contract/BufferInstruction.h"
#include "forms/BufferEdits.h"
#include "forms/DOMSource.h"
#include "htmlparser/Source.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// One edit of a page: "|" marks where it lands (a delete runs from the first mark to the second).
struct SEditCase
{
    const char* pszMarked;
    const char* pszInsert; // null: a delete
    bool bLands;
};

TEST(EditCheck, EditsLandBetweenTokensOrAtAttributeBoundaries)
{
    const SEditCase aCases[] = {
        // Markup between tokens, and nowhere else.
        {"<p>a|</p>", "<div>menu</div>", true},
        {"<p>a</p>|", "<div>menu</div>", true},
        {"<a title=\"</body>|<img src=x>\">a</a></body>", "<div>menu</div>", false},
        {"<a title='</BODY>|'>a</a>", "<div>menu</div>", false},
        {"<script>if (a<b)| x();</script>", "<div>menu</div>", false},
        {"<title>t|</title>", "<div>menu</div>", false},
        {"<!-- </body>| -->", "<div>menu</div>", false},
        {"<script><!--<script>|</script></script>", "<div>menu</div>", false},
        {"<svg><![CDATA[ a |> b ]]></svg>", "<div>menu</div>", false},
        // Attributes at an attribute boundary of a real tag.
        {"<span id=spnAtmt|>x</span>", " oncontextmenu=\"return false;\"", true},
        {"<span id=\"spnAtmt\"|>x</span>", " oncontextmenu=\"return false;\"", true},
        {"<span |id=spnAtmt>x</span>", "oncontextmenu=\"return false;\" ", true},
        {"<span id=spnAtmt|>x</span>", "oncontextmenu=\"return false;\"", false},
        {"<span id=spnAtmt|>x</span>", " a=\"b\">", false},
        {"<span |id=spnAtmt>x</span>", "a=b", false},
        {"<span |id=spnAtmt>x</span>", "a=b ", true},
        {"<a href=\"x\"/|>x</a>", " oncontextmenu=\"x\"", true},
        {"<a title=\"<span id=spnAtmt|>\">x</a>", " oncontextmenu=\"return false;\"", false},
        {"<a title=\"<span id=spnAtmt _level=3>|\">x</a>", " oncontextmenu=\"x\"", false},
        // Inside a real value, with nothing that ends it.
        {"<script src=\"|a.js\"></script>", "/prefix/", true},
        {"<script src=\"|a.js\"></script>", "x\" onload=\"alert(1)", false},
        {"<script src='|a.js'></script>", "x\"y", true},
        {"<script src=|a.js></script>", "x y", false},
        // Script into a script's text, where it cannot end the script.
        {"<script>var o = new Object();|o.sId = 1;</script>", "o.h=\"1\";", true},
        {"<script>var o = new Object();|o.sId = 1;</script>", "o.h=\"</script>\";", false},
        {"<script>var o = 1; <!|<script>x</script>y</script>", "--", false},
        {"<style>p {}|</style>", "p {}", false},
        {"<script>var o = 1;|", "o.h=1;", false},
        // Deletes: whole tokens, or whole attributes of one real tag.
        {"<p>|<a id=lnkAtmt>x</a>|</p>", nullptr, true},
        {"<p>|<title>x</title>|</p>", nullptr, true},
        {"<p>|<title>x|</title></p>", nullptr, false},
        {"<a |title=\"x\"| id=y>x</a>", nullptr, true},
        {"<a |title=\"x>\" id=|y>x</a>", nullptr, false},
        {"<a title=\"|<b>x</b>|\">x</a>", nullptr, false},
    };
    for (const SEditCase& c : aCases)
    {
        std::string strPage;
        std::vector<Position> marks;
        for (const char* p = c.pszMarked; *p != 0; ++p)
        {
            if (*p == '|')
                marks.push_back(strPage.size());
            else
                strPage += *p;
        }
        ASSERT_FALSE(marks.empty()) << c.pszMarked;
        CSource source(strPage.data(), 0, strPage.size());
        CBufferInstructionList list;
        if (c.pszInsert != nullptr)
            ASSERT_EQ(InsertHtmlStringAtPosition(AddressOf(&source, marks[0]), c.pszInsert, &list), 0u);
        else
            ASSERT_EQ(DeleteHtmlStringAtPosition(AddressOf(&source, marks[0]),
                                                 static_cast<DWORD>(marks[1] - marks[0]), &list),
                      0u);
        std::string strReason;
        EXPECT_EQ(CEditCheck::Check(source, list, strReason), c.bLands) << c.pszMarked << " " << strReason;
        if (!c.bLands)
        {
            EXPECT_EQ(strReason, std::string(c.pszInsert != nullptr ? "the insert" : "the delete") + " at <" +
                                     std::to_string(marks[0]) +
                                     "> is not between tokens as a browser reads the page");
        }
    }
}

TEST(EditCheck, EditsOutsideThePageNeverLand)
{
    const std::string strPage = "<p>a</p>";
    CSource source(strPage.data(), 0, strPage.size());
    CBufferInstructionList list;
    ASSERT_EQ(InsertHtmlStringAtPosition(AddressOf(&source, strPage.size() + 1), "<b>", &list), 0u);
    std::string strReason;
    EXPECT_FALSE(CEditCheck::Check(source, list, strReason));
    EXPECT_EQ(strReason, "an edit lies outside the page");
    CBufferInstructionList empty;
    EXPECT_TRUE(CEditCheck::Check(source, empty, strReason));
}
} // namespace
