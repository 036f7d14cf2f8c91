#include "contract/TokenScan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The text without its marks, and where each mark stood in it.
std::string Unmark(const char* pszMarked, char cMark, std::vector<uint64_t>& marks)
{
    std::string strText;
    for (const char* p = pszMarked; *p != 0; ++p)
    {
        if (*p == cMark)
            marks.push_back(strText.size());
        else
            strText += *p;
    }
    return strText;
}

// Every '<' of a text after which a '^' stands starts a token; no other does.
TEST(TokenScan, TokensStartWhereTheTokenizerStartsThem)
{
    const char* apszCases[] = {
        "^<p>a < b <3 ^</p>",
        // Markup inside attribute values, of every quoting, and between attributes.
        "^<a title=\"</body><img src=x>\">t^</a>",
        "^<a title='</BODY><span id=spnAtmt>'>t^</a>",
        "^<a title=<b>x^</a>",
        "^<a <b x>y",
        "^<img alt=\"<span id=a>\" src=x>",
        // Comments, their short forms, bogus comments, doctypes.
        "^<!-- <b> -->x^<i>",
        "^<!--->^<b>",
        "^<!-->^<b>",
        "^<!---->^<b>",
        "^<!-- a --!>^<b>",
        "^<!--!> <b> -->^<i>",
        "^<!---!> <b> -->^<i>",
        "^<!x <b>>^<i>",
        "^<?x <b>^<i>",
        "^</ x <b>^<i>",
        "^</>^<i>",
        "^<!DOCTYPE html>^<p>",
        // Raw text and RCDATA.
        "^<script>a<b>c^</script>^<p>",
        "^<SCRIPT>if (a<b) x='</p>';^</script >^<p>",
        "^<script>x</scripts>y^</script>",
        "^<style>p>a{}^</style>^<b>",
        "^<textarea><b>^</textarea>^<b>",
        "^<title><b>^</TITLE>^<b>",
        "^<xmp><b>^</xmp>",
        "^<iframe><b>^</iframe>",
        "^<noembed><b>^</noembed>",
        "^<noframes><b>^</noframes>",
        "^<noscript><b>^</noscript>",
        "^<title a=\">\"><b>^</title b=\"<i>\">^<b>",
        // Script in its escaped and double-escaped states.
        "^<script><!--<b>-->^</script>^<p>",
        "^<script><!-- x ^</script>^<p>",
        "^<script><!--<script>x</script>y-->^</script>^<p>",
        "^<script><!--<script>x</script>^</script>^<p>",
        "^<script><!--<scripts>x^</script>^<p>",
        // Foreign content: CDATA there, a bogus comment in HTML.
        "^<svg>^<![CDATA[ <b> ]]>^</svg>^<p>",
        "^<![CDATA[ a > b ]]>^<p>",
        "^<svg>^<style>^<b>^</style>",
        "^<svg>^<title>^<b>^</title>^</svg>",
        "^<math>^<mi>^<style><b>^</style>^</mi>^</math>",
        "^<svg>^<p>^<![CDATA[ x>",
    };
    for (const char* pszCase : apszCases)
    {
        std::vector<uint64_t> marks;
        const std::string strText = Unmark(pszCase, '^', marks);
        CTokenScan scan;
        scan.Scan(strText.data(), 0, strText.size());
        std::vector<uint64_t> starts;
        for (uint64_t n = scan.NextTokenStart(0); n != CTokenScan::NONE; n = scan.NextTokenStart(n + 1))
            starts.push_back(n);
        EXPECT_EQ(starts, marks) << pszCase;
    }
}

// Markup put at a '|' is read as markup of its own (or is not, in the second table).
TEST(TokenScan, MarkupStaysMarkupOnlyBetweenTokens)
{
    const char* apszBetween[] = {
        "|<p>|a| |b|</p>|",
        "<script>x</script>|",
        "<!-- x -->|<!--->|",
        "<textarea>a</textarea>|",
        "<svg><![CDATA[x]]>|</svg>",
        "|a < b|",
        "<a title=\"</body>\">|x</a>|",
    };
    const char* apszInside[] = {
        "<a title=\"|x|\">",
        "<a| |title=x|>",
        "<a title='</body>|'>",
        "<script>|x|</script>",
        "<script><!--<script>|</script>|</script>",
        "<title>|</title>",
        "<textarea>a|</textarea>",
        "<!--|-->",
        "<!|x>",
        "<svg><![CDATA[|]]>",
        "<p|>",
        "<plaintext>|x|",
        "<p>x<|",
        "<p>x<!-|",
    };
    for (const bool bBetween : {true, false})
    {
        for (const char* pszCase :
             bBetween ? std::vector<const char*>(std::begin(apszBetween), std::end(apszBetween))
                      : std::vector<const char*>(std::begin(apszInside), std::end(apszInside)))
        {
            std::vector<uint64_t> marks;
            const std::string strText = Unmark(pszCase, '|', marks);
            CTokenScan scan;
            scan.Scan(strText.data(), 0, strText.size());
            for (const uint64_t nMark : marks)
                EXPECT_EQ(scan.IsBetweenTokens(nMark), bBetween) << pszCase << " at " << nMark;
        }
    }
}

TEST(TokenScan, NearestTokensAndPlacesBetweenThem)
{
    const std::string strText = "<p title=\"<b>\">x<i>";
    CTokenScan scan;
    scan.Scan(strText.data(), 0, strText.size());
    EXPECT_EQ(scan.PreviousTokenStart(12), 0u);
    EXPECT_EQ(scan.PreviousTokenStart(strText.size()), 16u);
    EXPECT_EQ(scan.NextTokenStart(1), 16u);
    EXPECT_EQ(scan.NextTokenStart(17), CTokenScan::NONE);
    EXPECT_EQ(scan.PreviousBetweenTokens(11), 0u);
    EXPECT_EQ(scan.NextBetweenTokens(11), 15u);
    EXPECT_EQ(scan.GetOpenConstructBegin(), CTokenScan::NONE);
    // A range that starts inside the text counts from its own begin.
    scan.Scan(strText.data(), 11, strText.size());
    EXPECT_EQ(scan.NextTokenStart(0), 16u);
    EXPECT_FALSE(scan.IsTokenStart(0));
    scan.Scan(nullptr, 0, 10);
    EXPECT_EQ(scan.NextTokenStart(0), CTokenScan::NONE);
    EXPECT_TRUE(scan.IsBetweenTokens(0));
}

// The tokenizer's state inside a tag, where attribute edits are told from edits inside a value.
TEST(TokenScan, StatesInsideATag)
{
    using E = CTokenScan::ETagState;
    const std::string strText = "<a href=\"x>\" title='y' z=w/>t";
    struct SCase
    {
        uint64_t nPos;
        E eState;
    };
    const SCase aCases[] = {
        {0, E::NOT_IN_TAG},
        {2, E::TAG_NAME},
        {3, E::BEFORE_ATTRIBUTE_NAME},
        {5, E::ATTRIBUTE_NAME},
        {8, E::BEFORE_ATTRIBUTE_VALUE},
        {9, E::ATTRIBUTE_VALUE_DOUBLE_QUOTED},
        {11, E::ATTRIBUTE_VALUE_DOUBLE_QUOTED},
        {12, E::AFTER_ATTRIBUTE_VALUE_QUOTED},
        {13, E::BEFORE_ATTRIBUTE_NAME},
        {20, E::ATTRIBUTE_VALUE_SINGLE_QUOTED},
        {25, E::BEFORE_ATTRIBUTE_VALUE},
        {26, E::ATTRIBUTE_VALUE_UNQUOTED},
        {27, E::ATTRIBUTE_VALUE_UNQUOTED},
        {28, E::NOT_IN_TAG},
        {29, E::NOT_IN_TAG},
    };
    for (const SCase& c : aCases)
        EXPECT_EQ(CTokenScan::TagStateAt(strText.data(), 0, strText.size(), c.nPos), c.eState) << c.nPos;
    EXPECT_EQ(CTokenScan::TagStateAt(strText.data(), 1, strText.size(), 3), E::NOT_IN_TAG);
}

// The scan takes each tag in its written order, for speed, and TagStateAt walks the tokenizer's states one by
// one: on every tag built from the bytes that steer those states, both end it at the same byte, or neither.
TEST(TokenScan, TheScanEndsEveryTagWhereTheStatesEndIt)
{
    const char acBytes[] = {'a', 'b', '=', '"', '\'', ' ', '\t', '/', '>', '<', '-'};
    uint32_t uSeed = 12345;
    const auto Next = [&uSeed](uint32_t uBelow)
    {
        uSeed = uSeed * 1103515245u + 12345u;
        return (uSeed >> 16) % uBelow;
    };
    for (int nCase = 0; nCase < 20000; ++nCase)
    {
        std::string strText = nCase % 2 == 0 ? "<x" : "</x";
        const uint32_t nLength = Next(14);
        for (uint32_t i = 0; i < nLength; ++i)
            strText += acBytes[Next(sizeof(acBytes))];
        // Where the states leave the tag: the first position after its '>', looked for past the name's
        // first letter.
        uint64_t nStatesEnd = CTokenScan::NONE;
        for (uint64_t n = strText.find('x') + 1; n <= strText.size(); ++n)
        {
            if (CTokenScan::TagStateAt(strText.data(), 0, strText.size(), n) ==
                CTokenScan::ETagState::NOT_IN_TAG)
            {
                nStatesEnd = n;
                break;
            }
        }
        CTokenScan scan;
        scan.Scan(strText.data(), 0, strText.size());
        if (nStatesEnd == CTokenScan::NONE)
        {
            EXPECT_EQ(scan.GetOpenConstructBegin(), 0u) << strText;
            continue;
        }
        EXPECT_TRUE(scan.IsTokenStart(0)) << strText;
        EXPECT_NE(scan.GetOpenConstructBegin(), 0u) << strText;
        EXPECT_EQ(scan.NextBetweenTokens(1), nStatesEnd) << strText;
    }
}
} // namespace
