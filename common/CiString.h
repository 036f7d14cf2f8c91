// Narrow strings that compare without regard to case, through upper case.
#pragma once

#include <array>
#include <cstring>
#include <string>

// The worker never sets a locale, so upper case is the C locale's: ASCII letters only. A table keeps the
// compares of every header, URL and tag name free of a library call per character.
inline constexpr std::array<char, 256> kCiUpper = []
{
    std::array<char, 256> table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<char>(i >= 'a' && i <= 'z' ? i - ('a' - 'A') : i);
    return table;
}();

struct ci_char_traits : public std::char_traits<char>
{
    static char Upper(char c) { return kCiUpper[static_cast<unsigned char>(c)]; }
    static bool eq(char a, char b) { return Upper(a) == Upper(b); }
    static bool ne(char a, char b) { return Upper(a) != Upper(b); }
    static bool lt(char a, char b)
    {
        return static_cast<unsigned char>(Upper(a)) < static_cast<unsigned char>(Upper(b));
    }
    static int compare(const char* s1, const char* s2, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
        {
            const auto c1 = static_cast<unsigned char>(Upper(s1[i]));
            const auto c2 = static_cast<unsigned char>(Upper(s2[i]));
            if (c1 != c2)
                return c1 < c2 ? -1 : 1;
        }
        return 0;
    }
    static const char* find(const char* s, size_t n, char a)
    {
        const char cu = Upper(a);
        for (size_t i = 0; i < n; ++i)
        {
            if (Upper(s[i]) == cu)
                return s + i;
        }
        return nullptr;
    }
};

using ci_string = std::basic_string<char, ci_char_traits>;

inline ci_string ToCi(const std::string& s)
{
    return ci_string(s.data(), s.size());
}

inline std::string FromCi(const ci_string& s)
{
    return std::string(s.data(), s.size());
}
