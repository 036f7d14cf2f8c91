#include "common/StringHelpers.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
std::vector<std::string> ToStrings(const std::vector<ci_string>& vec)
{
    std::vector<std::string> out;
    for (const ci_string& cs : vec)
        out.push_back(FromCi(cs));
    return out;
}
} // namespace

TEST(StringHelpers, NumberTexts)
{
    EXPECT_EQ(IntToString(0), "0");
    EXPECT_EQ(IntToString(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(IntToWString(-42), L"-42");
    EXPECT_EQ(ULongToWString(4294967295u), L"4294967295");
    EXPECT_EQ(LongToWString(123), L"123");
}

TEST(StringHelpers, CiStringIgnoresCaseInCompareFindAndSets)
{
    EXPECT_EQ(ci_string("SWSettings.XML"), ci_string("swsettings.xml"));
    EXPECT_LT(ci_string("abc"), ci_string("ABD"));
    EXPECT_LT(ci_string("ab"), ci_string("ABC"));
    EXPECT_EQ(ci_string("Hello World").find("WORLD"), 6u);
    std::set<ci_string> set{"Exe", "EXE", "bat"};
    EXPECT_EQ(set.size(), 2u);
}

TEST(StringHelpers, GetNextToken)
{
    struct Case
    {
        const char* m_pszText;
        const char* m_pszStart;
        const char* m_pszEnd;
        size_t m_nPos;
        const char* m_pszExpected;
    };
    const Case cases[] = {
        {"a=1&b=2&c=3", "&B=", "&", 0, "2"}, // case-insensitive start marker
        {"a=1&b=2&c=3", "&c=", "&", 0, "3"}, // up to the end when no end marker follows
        {"a=1&b=2&c=3", "&a=", "&", 0, ""},  // no start marker
        {"x;y;z", ";", ";", 2, "z"},         // search starts at the position
        {"x;y;z", ";", ";", 99, ""},         // position past the end
        {"<!-- OwaPage = a -->", "OWAPAGE = ", " -->", 0, "a"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(FromCi(GetNextToken(c.m_pszText, c.m_pszStart, c.m_pszEnd, c.m_nPos)), c.m_pszExpected)
            << c.m_pszText << " from " << c.m_nPos;
        ci_string csOut = "stale";
        GetNextToken(csOut, c.m_pszText, c.m_pszStart, c.m_pszEnd, c.m_nPos);
        EXPECT_EQ(FromCi(csOut), c.m_pszExpected);
    }
}

TEST(StringHelpers, SplitToCiStringSetSkipsEmptyPartsAndGoesOn)
{
    struct Case
    {
        const char* m_pszList;
        std::set<ci_string> m_expected;
    };
    const Case cases[] = {
        {"A;a;b", {"A", "b"}}, {";x", {"x"}},          {"x;;y", {"x", "y"}}, {"exe;;bat", {"exe", "bat"}},
        {"x;", {"x"}},         {"single", {"single"}}, {";;", {}},
    };
    for (const Case& c : cases)
    {
        std::set<ci_string> set;
        EXPECT_TRUE(SplitToCiStringSet(c.m_pszList, ";", set)) << c.m_pszList;
        EXPECT_EQ(set, c.m_expected) << c.m_pszList;
    }
    std::set<ci_string> set;
    EXPECT_FALSE(SplitToCiStringSet("", ";", set));
    EXPECT_TRUE(set.empty());
    // A separator of several characters, matched without regard to case.
    EXPECT_TRUE(SplitToCiStringSet("aXYbxyc", "xy", set));
    EXPECT_EQ(set, (std::set<ci_string>{"a", "b", "c"}));
}

TEST(StringHelpers, SplitToCiStringVectorKeepsOrderAndAddsNoPhantomEntry)
{
    struct Case
    {
        const char* m_pszList;
        bool m_bStop;
        std::vector<std::string> m_expected;
    };
    const Case cases[] = {
        {"x;;y", false, {"x", "", "y"}},
        {"x;;y", true, {"x"}},
        {"b;a;b", false, {"b", "a", "b"}},
        {";x", false, {"x"}},
        {"x;", false, {"x", ""}},
        {"x;", true, {"x"}},
        {"fr-CA,fr;q=0.9,en", true, {"fr-CA,fr", "q=0.9,en"}},
    };
    for (const Case& c : cases)
    {
        std::vector<ci_string> vec;
        EXPECT_TRUE(SplitToCiStringVector(c.m_pszList, ";", vec, c.m_bStop)) << c.m_pszList;
        EXPECT_EQ(ToStrings(vec), c.m_expected) << c.m_pszList << " stop " << c.m_bStop;
    }
    std::vector<ci_string> vec{"kept"};
    EXPECT_FALSE(SplitToCiStringVector("", ";", vec, false));
    EXPECT_TRUE(SplitToCiStringVector("a", ";", vec, false));
    EXPECT_EQ(ToStrings(vec), (std::vector<std::string>{"kept", "a"})); // appended to
}

TEST(StringHelpers, ReplaceAll)
{
    ci_string cs = "abab";
    EXPECT_EQ(ReplaceAll(cs, "ab", "abab"), 1);
    EXPECT_EQ(FromCi(cs), "abababab");

    cs = "Path\\To\\FILE";
    EXPECT_EQ(ReplaceAll(cs, "\\", "/"), 1);
    EXPECT_EQ(FromCi(cs), "Path/To/FILE");

    cs = "X.DLL and x.dll";
    EXPECT_EQ(ReplaceAll(cs, ".dll", ".log"), 1);
    EXPECT_EQ(FromCi(cs), "X.log and x.log");

    cs = "aaa";
    EXPECT_EQ(ReplaceAll(cs, "a", "", 1), 1);
    EXPECT_EQ(FromCi(cs), "a");

    cs = "";
    EXPECT_EQ(ReplaceAll(cs, "a", "b"), 0);
    cs = "abc";
    EXPECT_EQ(ReplaceAll(cs, "", "b"), 0);
    EXPECT_EQ(FromCi(cs), "abc");
}

TEST(StringHelpers, UrlUnescape)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a%41%4", "aA"}, {"", ""},         {"a+b%20c", "a+b c"}, {"%e2%82%AC", "\xE2\x82\xAC"},
        {"100%", "100"},  {"%zz1", "%zz1"}, {"%2", ""},           {"%00x", std::string("\0x", 2)},
    };
    for (const auto& [sIn, sOut] : cases)
        EXPECT_EQ(UrlUnescape(sIn), sOut) << sIn;
}

TEST(StringHelpers, ParseIntRadix)
{
    const size_t npos = std::string::npos;
    struct Case
    {
        const char* m_pszText;
        int m_nRadix;
        size_t m_nStart;
        size_t m_nLength;
        bool m_bSign;
        bool m_bResult;
        int32_t m_nValue;
    };
    const Case cases[] = {
        {"-1f", 16, 0, npos, true, true, -31},
        {"19", 8, 0, npos, false, false, 1}, // the partial value stays
        {"zZ", 36, 0, npos, false, true, 35 * 36 + 35},
        {"101", 2, 0, npos, false, true, 5},
        {"123", 10, 3, npos, false, true, 0},  // start at the end
        {"123", 10, 9, npos, false, true, 0},  // start past the end
        {"123", 10, 1, 0, false, true, 0},     // empty range
        {"123", 10, 1, 5, false, false, 0},    // range past the end
        {"12345", 10, 1, 3, false, true, 234}, // a range inside the text
        {"-5", 10, 0, npos, false, false, 0},  // no sign allowed
        {"-", 10, 0, npos, true, false, 0},    // a sign alone
        {"10", 1, 0, npos, false, false, 0},
        {"10", 37, 0, npos, false, false, 0},
        {"2147483647", 10, 0, npos, true, true, 2147483647},
        {"-2147483648", 10, 0, npos, true, true, std::numeric_limits<int32_t>::min()},
        {"2147483648", 10, 0, npos, true, false, 214748364},
        {"99999999999999999999", 10, 0, npos, false, false, 999999999},
        {"FFFFFFFF", 16, 0, npos, false, false, 0x0FFFFFFF},
    };
    for (const Case& c : cases)
    {
        int32_t nValue = 77;
        EXPECT_EQ(ParseIntRadix(c.m_pszText, nValue, c.m_nRadix, c.m_nStart, c.m_nLength, c.m_bSign),
                  c.m_bResult)
            << c.m_pszText << " radix " << c.m_nRadix;
        EXPECT_EQ(nValue, c.m_nValue) << c.m_pszText;
    }
}

TEST(StringHelpers, ParseIntRadixUnsigned)
{
    uint32_t nValue = 5;
    EXPECT_TRUE(ParseIntRadix("FFFFFFFF", nValue, 16, 0, std::string::npos, false));
    EXPECT_EQ(nValue, 0xFFFFFFFFu);
    EXPECT_FALSE(ParseIntRadix("100000000", nValue, 16, 0, std::string::npos, false));
    EXPECT_TRUE(ParseIntRadix("-1", nValue, 10, 0, std::string::npos, true));
    EXPECT_EQ(nValue, 0xFFFFFFFFu);
    EXPECT_TRUE(ParseIntRadix("", nValue, 10, 0, std::string::npos, false));
    EXPECT_EQ(nValue, 0u);
}

TEST(StringHelpers, Base64EncodeInPlace)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xFF\xFE\x00", 3), "//4A"},
    };
    for (const auto& [sIn, sOut] : cases)
    {
        std::string s = sIn;
        EXPECT_TRUE(Base64EncodeInPlace(s));
        EXPECT_EQ(s, sOut);
    }
}

TEST(StringHelpers, HashToDecimalString)
{
    EXPECT_EQ(HashToDecimalString("abc"), "108966");
    EXPECT_EQ(HashToDecimalString(""), "0");
    EXPECT_EQ(HashToDecimalString(nullptr), "0");
    EXPECT_EQ(HashToDecimalString("a"), "97");
    // A byte above 0x7F counts as negative: 0xFF is -1, so 0 * 33 - 1 wraps to 2^32 - 1.
    EXPECT_EQ(HashToDecimalString("\xFF"), "4294967295");
    // "a" then 0x80 (-128): 97 * 33 - 128.
    EXPECT_EQ(HashToDecimalString("a\x80"), "3073");
    // Long texts wrap modulo 2^32 and never print a sign.
    const std::string sLong(1000, 'z');
    EXPECT_EQ(HashToDecimalString(sLong.c_str()).find('-'), std::string::npos);
}

TEST(StringHelpers, TrimChars)
{
    std::string s = " \r\n\tvalue \t\r\n";
    EXPECT_EQ(TrimChars(s, " \r\n\t"), "value");
    s = "\t\t";
    EXPECT_EQ(TrimChars(s, " \r\n\t"), "");
    s = "xxaxx";
    EXPECT_EQ(TrimChars(s, "x"), "a");
    ci_string cs = "  A B  ";
    EXPECT_EQ(FromCi(TrimChars(cs, " ")), "A B");
}

TEST(StringHelpers, AppendUTF8HtmlEscaped)
{
    struct Case
    {
        std::u16string m_sText;
        std::string m_sExpected;
    };
    const Case cases[] = {
        {u"a<b&\"", "a&lt;b&&quot;"},
        {u">", "&gt;"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"}, // a surrogate pair is one four-byte sequence
        {std::u16string(1, char16_t(0xD800)) + u"x", "\xEF\xBF\xBDx"},
        {std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
        {u"", ""},
    };
    for (const Case& c : cases)
    {
        CGrowableBuffer buffer;
        EXPECT_EQ(AppendUTF8HtmlEscaped(buffer, c.m_sText.c_str()).ToString(), c.m_sExpected);
    }
}

TEST(StringHelpers, GrowableBufferGrowsAndKeepsBytes)
{
    CGrowableBuffer buffer(4);
    AppendUTF8HtmlEscaped(buffer, u"abc");
    EXPECT_EQ(buffer.Capacity(), 4u);
    AppendUTF8HtmlEscaped(buffer, u"de");
    EXPECT_EQ(buffer.Capacity(), 8u); // twice the capacity
    buffer.Append("0123456789012345678", 19);
    EXPECT_EQ(buffer.Capacity(), 24u); // what is needed, when more than twice
    AppendUTF8HtmlEscaped(buffer, u"\"");
    EXPECT_EQ(buffer.Capacity(), 48u);
    EXPECT_EQ(buffer.ToString(), "abcde0123456789012345678&quot;");
}
