#include "platform/WinCodePage.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::string ToCodePage(UINT uCodePage, const std::u16string& strText, BOOL* pbUsedDefault = nullptr)
{
    const int nNeeded = WideCharToMultiByte(uCodePage, 0, strText.c_str(), static_cast<int>(strText.size()),
                                            nullptr, 0, nullptr, nullptr);
    if (nNeeded <= 0)
        return "(failed)";
    std::string strOut(static_cast<size_t>(nNeeded), '\0');
    const int nWritten = WideCharToMultiByte(uCodePage, 0, strText.c_str(), static_cast<int>(strText.size()),
                                             strOut.data(), nNeeded, nullptr, pbUsedDefault);
    return nWritten == nNeeded ? strOut : "(failed)";
}

std::u16string FromCodePage(UINT uCodePage, const std::string& strText)
{
    const int nNeeded =
        MultiByteToWideChar(uCodePage, 0, strText.data(), static_cast<int>(strText.size()), nullptr, 0);
    std::u16string strOut(static_cast<size_t>(nNeeded > 0 ? nNeeded : 0), u'\0');
    if (nNeeded > 0)
        MultiByteToWideChar(uCodePage, 0, strText.data(), static_cast<int>(strText.size()), strOut.data(),
                            nNeeded);
    return strOut;
}

TEST(CodePages, EveryPageOfThePageTableThatTheConverterHas)
{
    const struct
    {
        UINT m_uCodePage;
        std::u16string m_strText;
        std::string m_strBytes;
    } cases[] = {
        {28591, u"caf\u00e9", "caf\xe9"},
        {28592, u"\u0159", "\xf8"},
        {28596, u"\u0645", "\xe5"},
        {28597, u"\u03b1", "\xe1"},
        {1250, u"\u0159", "\xf8"},
        {1251, u"\u0416", "\xc6"},
        {1253, u"\u03b1", "\xe1"},
        {1254, u"\u011f", "\xf0"},
        {1255, u"\u05d0", "\xe0"},
        {1256, u"\u0645", "\xe3"},
        {932, u"\u3042", "\x82\xa0"},
        {936, u"\u4e2d", "\xd6\xd0"},
        {950, u"\u4e2d", "\xa4\xa4"},
        {10006, u"\u03b1", "\xe1"},
        {50220, u"\u3042", "\x1b$B$\"\x1b(B"},
        {52936, u"\u4e2d", "~{VP~}"},
        {52936, u"\u4e2dab", "~{VP~}ab"},
        {65001, u"\u00e9", "\xc3\xa9"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_uCodePage);
        EXPECT_TRUE(IsValidCodePage(c.m_uCodePage));
        EXPECT_EQ(ToCodePage(c.m_uCodePage, c.m_strText), c.m_strBytes);
        EXPECT_EQ(FromCodePage(c.m_uCodePage, c.m_strBytes), c.m_strText);
    }
}

TEST(CodePages, PagesTheConverterLacksAreRefused)
{
    for (const UINT uCodePage : {10001u, 10002u, 10004u, 10005u, 10008u, 12345u})
    {
        SCOPED_TRACE(uCodePage);
        EXPECT_FALSE(IsValidCodePage(uCodePage));
        char szOut[8];
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(uCodePage, 0, u"a", 1, szOut, sizeof(szOut), nullptr, nullptr), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

TEST(CodePages, SizesDefaultCharactersAndTerminators)
{
    BOOL bUsedDefault = TRUE;
    EXPECT_EQ(ToCodePage(1252, u"abc", &bUsedDefault), "abc");
    EXPECT_FALSE(bUsedDefault);
    EXPECT_EQ(ToCodePage(1252, u"a\u4e2db", &bUsedDefault), "a?b");
    EXPECT_TRUE(bUsedDefault);
    char szOut[8] = {};
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"x\u4e2d", 2, szOut, sizeof(szOut), "#", nullptr), 2);
    EXPECT_EQ(std::string(szOut, 2), "x#");
    // -1 takes the terminator along.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab", -1, szOut, sizeof(szOut), nullptr, nullptr), 3);
    EXPECT_EQ(std::string(szOut, 3), std::string("ab\0", 3));
    char16_t szWide[4] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, szWide, 4), 3);
    // An output too small is refused, not overrun.
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9\u00e9", 2, szOut, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", 6, szWide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    // Bytes that are not UTF-8 become U+FFFD.
    EXPECT_EQ(FromCodePage(CP_UTF8, "a\xff"), u"a\ufffd");
    EXPECT_EQ(WideCharToMultiByte(1252, 0, nullptr, 1, szOut, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetACP(), 1252u);
}
TEST(CharSetConverters, FoundByIcusNamesAndAliasesOnly)
{
    const struct
    {
        const char* m_pszName;
        const char* m_pszIcuName; // null: not found
    } cases[] = {
        {"utf-8", "UTF-8"},
        {"UTF8", "UTF-8"},
        {"latin1", "ISO-8859-1"},
        {"koi8-r", "ibm-878_P100-1996"},
        {"Shift_JIS", "ibm-943_P15A-2003"},
        {"ISO_8859-1:1987", "ISO-8859-1"},
        // Listed by ICU without the data to convert.
        {"x-mac-hebrew", nullptr},
        {"no-such-set", nullptr},
        {"", nullptr},
        // Options and file paths are never passed on.
        {"utf-8,version=1", nullptr},
        {"/usr/share/utf-8", nullptr},
        {"\"utf-8\"", nullptr},
        {"utf-8 ", nullptr},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        const auto spConverter = CCharSetConverter::ForName(c.m_pszName);
        ASSERT_EQ(spConverter != nullptr, c.m_pszIcuName != nullptr);
        if (spConverter)
        {
            EXPECT_STREQ(spConverter->GetName(), c.m_pszIcuName);
        }
    }
    EXPECT_EQ(CCharSetConverter::ForName(std::string(65, 'a')), nullptr);
    ASSERT_NE(CCharSetConverter::ForCodePage(1253), nullptr);
    EXPECT_EQ(CCharSetConverter::ForCodePage(10005), nullptr);
}

TEST(CharSetConverters, ConvertWithoutStandInCharacters)
{
    const auto spGreek = CCharSetConverter::ForCodePage(1253);
    std::string strBytes = "before";
    EXPECT_TRUE(spGreek->Encode(u"\u03b1\u03b2", strBytes));
    EXPECT_EQ(strBytes, "\xe1\xe2");
    EXPECT_FALSE(spGreek->Encode(u"\u03b1\u4e2d", strBytes));
    std::u16string strText;
    EXPECT_TRUE(spGreek->Decode("\xe1\xe2", strText));
    EXPECT_EQ(strText, u"\u03b1\u03b2");
    const auto spUtf8 = CCharSetConverter::ForName("utf-8");
    EXPECT_FALSE(spUtf8->Decode("a\xff", strText));
    EXPECT_TRUE(spGreek->Encode(u"", strBytes));
    EXPECT_EQ(strBytes, "");

    // A shifting set ends in its first state, every time.
    const auto spHz = CCharSetConverter::ForName("hz-gb-2312");
    ASSERT_NE(spHz, nullptr);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_TRUE(spHz->Encode(u"\u4e2d", strBytes));
        EXPECT_EQ(strBytes, "~{VP~}");
    }
    const auto spJis = CCharSetConverter::ForName("iso-2022-jp");
    ASSERT_NE(spJis, nullptr);
    EXPECT_TRUE(spJis->Encode(u"\u3042", strBytes));
    EXPECT_EQ(strBytes, "\x1b$B$\"\x1b(B");
    EXPECT_TRUE(spJis->Decode(strBytes, strText));
    EXPECT_EQ(strText, u"\u3042");
}
} // namespace
