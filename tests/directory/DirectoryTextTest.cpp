#include "general/DirectoryText.h"

#include <gtest/gtest.h>

TEST(DirectoryText, FilterValuesKeepTheirCharactersAsValues)
{
    struct CCase
    {
        std::string m_strIn;
        const char* m_pszOut;
    };
    const CCase rgCases[] = {
        {"ann", "ann"},
        {"*", "\\2a"},
        {"a(b)c", "a\\28b\\29c"},
        {"back\\slash", "back\\5cslash"},
        {std::string("nul\0x", 5), "nul\\00x"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
    };
    for (const CCase& c : rgCases)
        EXPECT_EQ(EscapeLdapFilterValue(c.m_strIn), c.m_pszOut);
}

TEST(DirectoryText, DNValuesKeepTheirCharactersAsValues)
{
    struct CCase
    {
        std::string m_strIn;
        const char* m_pszOut;
    };
    const CCase rgCases[] = {
        {"mail01", "mail01"},
        {"a,b+c", "a\\,b\\+c"},
        {"x=\"y\";<z>", "x\\=\\\"y\\\"\\;\\<z\\>"},
        {"#lead", "\\#lead"},
        {"mid#dle", "mid#dle"},
        {" edge ", "\\ edge\\ "},
        {"in side", "in side"},
        {"a/b", "a\\/b"},
        {"back\\slash", "back\\\\slash"},
        {std::string("n\0l", 3), "n\\00l"},
    };
    for (const CCase& c : rgCases)
        EXPECT_EQ(EscapeDNValue(c.m_strIn), c.m_pszOut);
}

TEST(DirectoryText, WideTextRoundTripsThroughUtf16)
{
    const std::wstring wstr = L"Gr\u00fc\u00dfe \U0001F600";
    const std::u16string u16 = Utf16FromWide(wstr);
    EXPECT_EQ(u16, u"Gr\u00fc\u00dfe \U0001F600");
    EXPECT_EQ(WideFromUtf16(u16.data(), u16.size()), wstr);
    EXPECT_EQ(AnsiFromWide(wstr), "Gr\xc3\xbc\xc3\x9f"
                                  "e \xf0\x9f\x98\x80");
    EXPECT_EQ(WideFromAnsi(AnsiFromWide(wstr)), wstr);
    // A lone surrogate cannot pass as text.
    const char16_t rgLone[] = {u'a', 0xD800, u'b'};
    EXPECT_EQ(WideFromUtf16(rgLone, 3), L"a\uFFFDb");
}
