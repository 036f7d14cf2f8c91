#include "forms/HtmlCharacterReferences.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace
{
constexpr uint32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;

void AppendUtf8(std::string& sOut, uint32_t nCode)
{
    if (nCode < 0x80)
        sOut += static_cast<char>(nCode);
    else if (nCode < 0x800)
    {
        sOut += static_cast<char>(0xC0 | (nCode >> 6));
        sOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
    else if (nCode < 0x10000)
    {
        sOut += static_cast<char>(0xE0 | (nCode >> 12));
        sOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        sOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
    else
    {
        sOut += static_cast<char>(0xF0 | (nCode >> 18));
        sOut += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        sOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        sOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

int DigitValue(char c, bool bHex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (bHex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (bHex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The reference at nPos ("&" there): its length and code point, or 0 when it is none.
size_t NumericReference(const std::string& sText, size_t nPos, uint32_t& nCode)
{
    size_t n = nPos + 2; // past "&#"
    const bool bHex = n < sText.size() && (sText[n] == 'x' || sText[n] == 'X');
    if (bHex)
        ++n;
    const size_t nDigits = n;
    uint32_t nValue = 0;
    bool bTooLarge = false;
    for (int nDigit = 0; n < sText.size() && (nDigit = DigitValue(sText[n], bHex)) >= 0; ++n)
    {
        // Digits past the largest code point only make the value invalid; they are still consumed.
        if (!bTooLarge)
        {
            nValue = nValue * (bHex ? 16u : 10u) + static_cast<uint32_t>(nDigit);
            bTooLarge = nValue > MAX_CODE_POINT;
        }
    }
    if (n == nDigits)
        return 0;
    if (n < sText.size() && sText[n] == ';')
        ++n;
    nCode =
        (bTooLarge || nValue == 0 || (nValue >= 0xD800 && nValue <= 0xDFFF)) ? REPLACEMENT_CHARACTER : nValue;
    return n - nPos;
}
} // namespace

std::string DecodeHtmlCharacterReferences(const std::string& sText)
{
    static const struct
    {
        const char* m_pszName;
        uint32_t m_nCode;
    } s_aNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    std::string sOut;
    sOut.reserve(sText.size());
    for (size_t nPos = 0; nPos < sText.size(); ++nPos)
    {
        if (sText[nPos] != '&')
        {
            sOut += sText[nPos];
            continue;
        }
        uint32_t nCode = 0;
        size_t nLength = 0;
        if (nPos + 1 < sText.size() && sText[nPos + 1] == '#')
            nLength = NumericReference(sText, nPos, nCode);
        else
        {
            for (const auto& named : s_aNamed)
            {
                const size_t nName = std::strlen(named.m_pszName);
                if (sText.compare(nPos + 1, nName, named.m_pszName) == 0)
                {
                    const size_t nAfter = nPos + 1 + nName;
                    const char cAfter = nAfter < sText.size() ? sText[nAfter] : '\0';
                    // In an attribute a name without its ";" that runs on into more name is text.
                    if (cAfter != ';' && (std::isalnum(static_cast<unsigned char>(cAfter)) || cAfter == '='))
                        break;
                    nCode = named.m_nCode;
                    nLength = 1 + nName + (cAfter == ';' ? 1 : 0);
                    break;
                }
            }
        }
        if (nLength == 0)
        {
            sOut += '&';
            continue;
        }
        AppendUtf8(sOut, nCode);
        nPos += nLength - 1;
    }
    return sOut;
}
