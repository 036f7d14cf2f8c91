#include "contract/TokenScan.h"
#include "htmlparser/Position.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// The start of the construct [nBegin, nEnd) of the text ends inside, as the scan finds it.
Position FindOpenConstruct(const char* pText, Position nBegin, Position nEnd)
{
    CTokenScan scan;
    scan.Scan(pText, nBegin, nEnd);
    return scan.GetOpenConstructBegin();
}

// Where a browser would take markup added at the end of a cut-off text: "|" marks the answer in each text,
// and a text without one ends in plain text.
TEST(OpenConstruct, TheConstructACutOffTextEndsIn)
{
    const char* apszCases[] = {
        "<p>plain text",
        "<p>a < b and 1<2",
        "<p>|<",
        "<p>|<span id=\"x",
        "<p>|<span title='a>b' id=x",
        "<p>|<span id=x",
        "<p>|<span id=",
        "<p>|<span",
        "<p>|</span",
        "<p>|</",
        "<p>|<!-- note <b>x</b>",
        "<p>|<!-",
        "<p><!-- done --> text",
        "<p><!--> text",
        "<p><!-- a --!> text",
        "<p>|<!DOCTYPE html",
        "<p>|<?xml x",
        "<p><span title=\"a>b\" id=x>text",
        "<p>a=\"b c",
        "<p>|<script>var s = \"<b>\";",
        "<p>|<script>x</scrip",
        "<p>|<script>x</script",
        "<p>|<SCRIPT>x</script foo=\">\"",
        "<p><script>x</SCRIPT > text",
        "<p><script>x</scripts></script> text",
        "<p>|<style>a{}",
        "<p>|<textarea><b>",
        "<p>|<title>t",
        "<p>|<plaintext></plaintext>text",
        "<p><br/>text",
        "<p>|<script>x</scripts>y",
        "<p>text ending in -->",
        "<p><!--->text",
        "<p>|<script>var s=\"<!--<script>\";</script><p>menu",
        "<p><script>var s=\"<!--<script>\";</script></script><p>menu",
        "<p>|<svg><![CDATA[ a > b",
        "<p>|<svg><g><svg><![CDATA[ a > b",
        "<p><svg><![CDATA[ a > b ]]></svg>text",
        "<p><![CDATA[ a > b",
    };
    for (const char* pszCase : apszCases)
    {
        std::string strText = pszCase;
        const size_t nMark = strText.find('|');
        if (nMark != std::string::npos)
            strText.erase(nMark, 1);
        EXPECT_EQ(FindOpenConstruct(strText.data(), 0, strText.size()),
                  nMark == std::string::npos ? NPOS : nMark)
            << pszCase;
    }
}

TEST(OpenConstruct, OnlyTheGivenStretchCounts)
{
    const std::string strText = "<b id=x>text<i id=";
    EXPECT_EQ(FindOpenConstruct(strText.data(), 0, 12), NPOS);
    EXPECT_EQ(FindOpenConstruct(strText.data(), 12, strText.size()), 12u);
    EXPECT_EQ(FindOpenConstruct(strText.data(), 3, 12), NPOS);
    EXPECT_EQ(FindOpenConstruct(nullptr, 0, 0), NPOS);
}
} // namespace
