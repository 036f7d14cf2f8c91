#include "common/TraceText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace
{
bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// Eight bytes at a time: most lines hold none, and are passed over at a small part of what formatting them
// cost. Each test is exact for the word as a whole (a borrow may only mark the wrong byte of a word that
// holds one).
bool HasControl(const char* pText, size_t nLength)
{
    constexpr uint64_t ONES = 0x0101010101010101ull;
    constexpr uint64_t HIGHS = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= nLength; i += sizeof(uint64_t))
    {
        uint64_t w = 0;
        std::memcpy(&w, pText + i, sizeof(w));
        const uint64_t ullBelowBlank = (w - 0x20 * ONES) & ~w & HIGHS;
        const uint64_t ullDelete = ((w ^ (0x7F * ONES)) - ONES) & ~(w ^ (0x7F * ONES)) & HIGHS;
        if ((ullBelowBlank | ullDelete) != 0)
            return true;
    }
    for (; i < nLength; ++i)
    {
        if (IsControl(static_cast<unsigned char>(pText[i])))
            return true;
    }
    return false;
}

// One conversion of a format as its text gives it, the starred width and precision taken from the
// arguments.
struct CConversion
{
    std::string m_strFlags;
    int m_nWidth = -1;
    int m_nPrecision = -1;
    std::string m_strLength;
    char m_cKind = '\0';

    std::string Directive() const
    {
        std::string strDirective = "%" + m_strFlags;
        if (m_nWidth >= 0)
            strDirective += std::to_string(m_nWidth);
        if (m_nPrecision >= 0)
            strDirective += "." + std::to_string(m_nPrecision);
        return strDirective + m_strLength + m_cKind;
    }
    bool LeftAligned() const { return m_strFlags.find('-') != std::string::npos; }
};

template <typename T> void AppendFormatted(std::string& strOut, const CConversion& conversion, T value)
{
    const std::string strDirective = conversion.Directive();
    char szSmall[64];
    const int nLength = std::snprintf(szSmall, sizeof(szSmall), strDirective.c_str(), value);
    if (nLength < 0)
        return;
    if (static_cast<size_t>(nLength) < sizeof(szSmall))
    {
        strOut.append(szSmall, static_cast<size_t>(nLength));
        return;
    }
    std::string strLarge(static_cast<size_t>(nLength) + 1, '\0');
    std::snprintf(strLarge.data(), strLarge.size(), strDirective.c_str(), value);
    strOut.append(strLarge.data(), static_cast<size_t>(nLength));
}

// A text conversion's result: the escaped text, padded to the width.
void AppendText(std::string& strOut, const CConversion& conversion, std::string_view svText)
{
    const std::string strText = EscapeControlCharacters(svText);
    const size_t nWidth = conversion.m_nWidth > 0 ? static_cast<size_t>(conversion.m_nWidth) : 0;
    const size_t nPad = nWidth > strText.size() ? nWidth - strText.size() : 0;
    if (!conversion.LeftAligned())
        strOut.append(nPad, ' ');
    strOut += strText;
    if (conversion.LeftAligned())
        strOut.append(nPad, ' ');
}

int ReadNumber(const char*& p)
{
    int n = 0;
    while (*p >= '0' && *p <= '9')
        n = std::min(n * 10 + (*p++ - '0'), 1 << 20);
    return n;
}

void AppendSigned(std::string& strOut, const CConversion& conversion, va_list& args)
{
    const std::string& strLength = conversion.m_strLength;
    if (strLength == "l")
        AppendFormatted(strOut, conversion, va_arg(args, long));
    else if (strLength == "ll")
        AppendFormatted(strOut, conversion, va_arg(args, long long));
    else if (strLength == "j")
        AppendFormatted(strOut, conversion, va_arg(args, intmax_t));
    else if (strLength == "z" || strLength == "t")
        AppendFormatted(strOut, conversion, va_arg(args, ptrdiff_t));
    else
        AppendFormatted(strOut, conversion, va_arg(args, int));
}

void AppendUnsigned(std::string& strOut, const CConversion& conversion, va_list& args)
{
    const std::string& strLength = conversion.m_strLength;
    if (strLength == "l")
        AppendFormatted(strOut, conversion, va_arg(args, unsigned long));
    else if (strLength == "ll")
        AppendFormatted(strOut, conversion, va_arg(args, unsigned long long));
    else if (strLength == "j")
        AppendFormatted(strOut, conversion, va_arg(args, uintmax_t));
    else if (strLength == "z" || strLength == "t")
        AppendFormatted(strOut, conversion, va_arg(args, size_t));
    else
        AppendFormatted(strOut, conversion, va_arg(args, unsigned int));
}

// The format's text as vsnprintf would write it, with the texts of its arguments escaped.
std::string FormatEscaped(const char* pszFormat, va_list& args)
{
    std::string strOut;
    const char* p = pszFormat;
    while (*p != '\0')
    {
        if (*p != '%')
        {
            const char* pEnd = std::strchr(p, '%');
            const size_t nLength = pEnd == nullptr ? std::strlen(p) : static_cast<size_t>(pEnd - p);
            strOut.append(p, nLength);
            p += nLength;
            continue;
        }
        const char* pStart = p++;
        if (*p == '%')
        {
            strOut += '%';
            ++p;
            continue;
        }
        CConversion conversion;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr)
            conversion.m_strFlags += *p++;
        if (*p == '*')
        {
            ++p;
            conversion.m_nWidth = va_arg(args, int);
            if (conversion.m_nWidth < 0)
            {
                conversion.m_strFlags += '-';
                conversion.m_nWidth = conversion.m_nWidth == INT32_MIN ? 1 << 20 : -conversion.m_nWidth;
            }
        }
        else if (*p >= '0' && *p <= '9')
            conversion.m_nWidth = ReadNumber(p);
        if (*p == '.')
        {
            ++p;
            if (*p == '*')
            {
                ++p;
                conversion.m_nPrecision = std::max(va_arg(args, int), -1);
            }
            else
                conversion.m_nPrecision = ReadNumber(p);
        }
        while (*p != '\0' && std::strchr("hljztL", *p) != nullptr)
            conversion.m_strLength += *p++;
        conversion.m_cKind = *p;
        if (*p == '\0')
        {
            strOut += pStart; // a format cut short stands as written
            break;
        }
        ++p;
        switch (conversion.m_cKind)
        {
        case 'd':
        case 'i':
            AppendSigned(strOut, conversion, args);
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            AppendUnsigned(strOut, conversion, args);
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (conversion.m_strLength == "L")
                AppendFormatted(strOut, conversion, va_arg(args, long double));
            else
                AppendFormatted(strOut, conversion, va_arg(args, double));
            break;
        case 'p':
            AppendFormatted(strOut, conversion, va_arg(args, void*));
            break;
        case 'c':
        {
            const char c = static_cast<char>(va_arg(args, int));
            AppendText(strOut, conversion, std::string_view(&c, 1));
            break;
        }
        case 's':
        {
            if (conversion.m_strLength == "l")
            {
                // A wide text is turned into bytes first; its escape follows the same rule.
                std::string strWide;
                CConversion plain = conversion;
                plain.m_nWidth = -1;
                AppendFormatted(strWide, plain, va_arg(args, const wchar_t*));
                conversion.m_nPrecision = -1;
                AppendText(strOut, conversion, strWide);
                break;
            }
            const char* pszText = va_arg(args, const char*);
            if (pszText == nullptr)
                pszText = "(null)";
            const size_t nLength = conversion.m_nPrecision >= 0
                                       ? strnlen(pszText, static_cast<size_t>(conversion.m_nPrecision))
                                       : std::strlen(pszText);
            AppendText(strOut, conversion, std::string_view(pszText, nLength));
            break;
        }
        case 'n':
            (void)va_arg(args, void*); // nothing is written back through a trace's arguments
            break;
        default:
            strOut.append(pStart, static_cast<size_t>(p - pStart)); // not a conversion: as written
            break;
        }
    }
    return strOut;
}
} // namespace

std::string EscapeControlCharacters(std::string_view svText)
{
    static const char s_szHex[] = "0123456789ABCDEF";
    std::string strOut;
    strOut.reserve(svText.size());
    for (char ch : svText)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r')
            strOut += "\\r";
        else if (c == '\n')
            strOut += "\\n";
        else if (IsControl(c))
        {
            strOut += "\\x";
            strOut += s_szHex[c >> 4];
            strOut += s_szHex[c & 0x0F];
        }
        else
            strOut += ch;
    }
    return strOut;
}

int FormatTraceText(char* pszBuffer, size_t nSize, const char* pszFormat, va_list args)
{
    // Most lines hold no control character at all: written once, they stand.
    va_list plain;
    va_copy(plain, args);
    const int nLength = std::vsnprintf(pszBuffer, nSize, pszFormat, plain);
    va_end(plain);
    if (nLength < 0 || nSize == 0 ||
        !HasControl(pszBuffer, std::min(static_cast<size_t>(nLength), nSize - 1)))
        return nLength;
    va_list escaped;
    va_copy(escaped, args);
    const std::string strText = FormatEscaped(pszFormat, escaped);
    va_end(escaped);
    const size_t nCopied = std::min(strText.size(), nSize - 1);
    std::memcpy(pszBuffer, strText.data(), nCopied);
    pszBuffer[nCopied] = '\0';
    return static_cast<int>(std::min<size_t>(strText.size(), INT32_MAX));
}
