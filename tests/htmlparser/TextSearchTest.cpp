#include "htmlparser/TextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{
bool NaiveEq(const std::string& t, Position at, const std::string& pat)
{
    for (size_t i = 0; i < pat.size(); ++i)
    {
        if (FoldNoCase(static_cast<unsigned char>(t[at + i])) !=
            FoldNoCase(static_cast<unsigned char>(pat[i])))
            return false;
    }
    return true;
}

Position NaiveForward(const std::string& t, const std::string& pat, Position nStart, Position nLength)
{
    if (nLength == 0)
        return NPOS;
    if (pat.empty())
        return nStart;
    for (Position c = nStart; c + pat.size() <= nStart + nLength; ++c)
    {
        if (NaiveEq(t, c, pat))
            return c;
    }
    return NPOS;
}

Position NaiveBackward(const std::string& t, const std::string& pat, Position nPos, Position nTextEnd,
                       Position nCount)
{
    if (nCount == 0)
        return NPOS;
    if (pat.empty())
        return nPos;
    if (pat.size() > nTextEnd)
        return NPOS;
    Position nFirst = nPos + pat.size() > nTextEnd ? nTextEnd - pat.size() : nPos;
    for (Position k = 0; k < nCount && k <= nFirst; ++k)
    {
        if (NaiveEq(t, nFirst - k, pat))
            return nFirst - k;
    }
    return NPOS;
}

std::string RandomText(std::mt19937& rng, size_t n)
{
    // A small alphabet makes self-overlapping matches frequent; both cases and high bytes are included.
    static const char kAlphabet[] = {
        'a', 'A', 'b', 'B', 'c', '<', '!', '-', static_cast<char>(0xE1), static_cast<char>(0xC1)};
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 1);
    std::string s(n, ' ');
    for (char& c : s)
        c = kAlphabet[pick(rng)];
    return s;
}
} // namespace

TEST(TextSearch, AgreesWithNaiveReferenceOnRandomTexts)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 4000; ++round)
    {
        const std::string text = RandomText(rng, 1 + rng() % 40);
        const std::string pat = RandomText(rng, rng() % 10);
        const Position n = text.size();
        const Position nStart = rng() % n;
        const Position nLength = rng() % (n - nStart + 1);
        ASSERT_EQ(FindStringNoCase(text.data(), pat.c_str(), nStart, nLength),
                  NaiveForward(text, pat, nStart, nLength))
            << "text '" << text << "' pattern '" << pat << "' start " << nStart << " length " << nLength;
        const Position nPos = rng() % n;
        const Position nCount = rng() % (n + 2);
        ASSERT_EQ(FindStringNoCaseBackward(text.data(), pat.c_str(), nPos, n, nCount),
                  NaiveBackward(text, pat, nPos, n, nCount))
            << "text '" << text << "' pattern '" << pat << "' pos " << nPos << " count " << nCount;
        if (!pat.empty())
        {
            const char c = pat[0];
            Position nExpect = NPOS;
            for (Position i = nStart; i < nStart + nLength; ++i)
            {
                if (FoldNoCase(static_cast<unsigned char>(text[i])) ==
                    FoldNoCase(static_cast<unsigned char>(c)))
                {
                    nExpect = i;
                    break;
                }
            }
            ASSERT_EQ(FindCharNoCase(text.data(), c, nStart, nLength), nExpect);
            nExpect = NPOS;
            for (Position k = 0; k < nCount && k <= nPos; ++k)
            {
                if (FoldNoCase(static_cast<unsigned char>(text[nPos - k])) ==
                    FoldNoCase(static_cast<unsigned char>(c)))
                {
                    nExpect = nPos - k;
                    break;
                }
            }
            ASSERT_EQ(FindCharNoCaseBackward(text.data(), c, nPos, nCount), nExpect);
        }
        const Position nAt = rng() % (n + 1);
        const bool bExpect = nAt + pat.size() <= n && NaiveEq(text, nAt, pat);
        ASSERT_EQ(EqualsNoCaseAt(text.data(), n, nAt, pat.c_str()), bExpect);
    }
}

TEST(TextSearch, EdgeCases)
{
    const char* t = "xxxabc<DIV>aab";
    EXPECT_EQ(FindStringNoCase(t, "div", 0, 14), 7u);
    EXPECT_EQ(FindStringNoCase("aaab", "aab", 0, 4), 1u);
    EXPECT_EQ(FindStringNoCase(t, "abc<d", 0, 7), NPOS) << "a match must end inside the range";
    EXPECT_EQ(FindStringNoCase(t, "", 3, 0), NPOS);
    EXPECT_EQ(FindStringNoCase(t, "", 3, 2), 3u);
    EXPECT_EQ(FindStringNoCase("\xE1\xC1", "\xC1", 0, 2), 1u) << "high bytes match only themselves";
    EXPECT_EQ(FindStringNoCase(nullptr, "a", 0, 2), NPOS);
    EXPECT_EQ(FindStringNoCase("abcdefgXabcdefgh", "ABCDEFGH", 0, 16), 8u);
    EXPECT_EQ(FindStringNoCaseBackward("abcabc", "abc", 5, 6, 100), 3u) << "the first candidate is lowered";
    EXPECT_EQ(FindCharNoCaseBackward("a<b<c", '<', 2, 100), 1u);
    EXPECT_TRUE(EqualsNoCase("Div", "dIV"));
    EXPECT_FALSE(EqualsNoCase("Div", "Divs"));
    EXPECT_FALSE(EqualsNoCaseAt("</div", 5, 2, "div>")) << "no read past the end";
}
