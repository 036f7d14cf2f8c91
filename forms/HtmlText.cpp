#include "forms/HtmlText.h"

#include "forms/HtmlEntities.h"

#include <cstdint>
#include <cstring>

namespace
{
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// What a reference of 0x80 to 0x9F stands for; 0 where it stands for the control itself.
constexpr uint16_t C1_REFERENCES[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

template <typename Char> bool IsAsciiAlnum(Char c)
{
    const auto u = static_cast<uint32_t>(c);
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

template <typename Char> int DigitValue(Char c, bool bHex)
{
    const auto u = static_cast<uint32_t>(c);
    if (u >= '0' && u <= '9')
        return static_cast<int>(u - '0');
    if (bHex && u >= 'a' && u <= 'f')
        return static_cast<int>(u - 'a' + 10);
    if (bHex && u >= 'A' && u <= 'F')
        return static_cast<int>(u - 'A' + 10);
    return -1;
}

// The character a numeric reference's value stands for, as the tokenizer reads it: NUL, surrogates and
// anything beyond Unicode are U+FFFD, and 0x80 to 0x9F the windows-1252 characters of those bytes.
char32_t NumericReferenceCharacter(uint32_t u)
{
    if (u == 0 || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return REPLACEMENT_CHARACTER;
    if (u >= 0x80 && u <= 0x9F && C1_REFERENCES[u - 0x80] != 0)
        return C1_REFERENCES[u - 0x80];
    return u;
}

// The reference at sText[nAmp] ("&"...) read as the HTML tokenizer reads it in an attribute value or in
// text: its characters (one or two) and the length it takes; false when the "&" starts none and stands
// for itself.
template <typename String>
bool ReadReference(const String& sText, size_t nAmp, bool bAttribute, char32_t (&aChars)[2], size_t& nChars,
                   size_t& nLength)
{
    const size_t nStart = nAmp + 1;
    if (nStart >= sText.size())
        return false;
    if (static_cast<uint32_t>(sText[nStart]) == '#')
    {
        size_t nPos = nStart + 1;
        const bool bHex = nPos < sText.size() && (static_cast<uint32_t>(sText[nPos]) == 'x' ||
                                                  static_cast<uint32_t>(sText[nPos]) == 'X');
        if (bHex)
            ++nPos;
        const size_t nDigits = nPos;
        uint32_t u = 0;
        for (int d = 0; nPos < sText.size() && (d = DigitValue(sText[nPos], bHex)) >= 0; ++nPos)
            u = u > 0x10FFFF ? u : u * (bHex ? 16u : 10u) + static_cast<uint32_t>(d);
        if (nPos == nDigits)
            return false;
        if (nPos < sText.size() && static_cast<uint32_t>(sText[nPos]) == ';')
            ++nPos;
        aChars[0] = NumericReferenceCharacter(u);
        nChars = 1;
        nLength = nPos - nAmp;
        return true;
    }
    // The longest name the text starts with, among names of letters and digits and their ";".
    std::string sName;
    for (size_t nPos = nStart; nPos < sText.size() && sName.size() < CHtmlEntities::MAX_NAME; ++nPos)
    {
        const auto c = sText[nPos];
        if (IsAsciiAlnum(c))
            sName += static_cast<char>(c);
        else
        {
            if (static_cast<uint32_t>(c) == ';')
                sName += ';';
            break;
        }
    }
    if (sName.empty() || sName[0] == ';')
        return false;
    const CHtmlEntity* pEntity = CHtmlEntities::LongestPrefix(sName);
    if (pEntity == nullptr)
        return false;
    const size_t nName = std::strlen(pEntity->m_pszName);
    // In an attribute value a legacy name without its ";" followed by "=" or a letter or digit is text, so
    // that a URL's "&copy=1" stays as written.
    if (bAttribute && pEntity->m_pszName[nName - 1] != ';' && nStart + nName < sText.size())
    {
        const auto cNext = sText[nStart + nName];
        if (static_cast<uint32_t>(cNext) == '=' || IsAsciiAlnum(cNext))
            return false;
    }
    aChars[0] = pEntity->m_cFirst;
    aChars[1] = pEntity->m_cSecond;
    nChars = pEntity->m_cSecond != 0 ? 2 : 1;
    nLength = 1 + nName;
    return true;
}

// Text of either kind: its characters are bytes of a UTF-8 page or code points, and each reference read
// becomes what AppendCharacter makes of it.
template <typename String, typename Append>
String DecodeReferences(const String& sText, bool bAttribute, Append AppendCharacter)
{
    using Char = typename String::value_type;
    String sOut;
    sOut.reserve(sText.size());
    size_t nPos = 0;
    while (nPos < sText.size())
    {
        const size_t nAmp = sText.find(Char('&'), nPos);
        if (nAmp == String::npos)
        {
            sOut.append(sText, nPos, String::npos);
            break;
        }
        sOut.append(sText, nPos, nAmp - nPos);
        char32_t aChars[2] = {0, 0};
        size_t nChars = 0;
        size_t nLength = 0;
        if (ReadReference(sText, nAmp, bAttribute, aChars, nChars, nLength))
        {
            for (size_t i = 0; i < nChars; ++i)
                AppendCharacter(sOut, aChars[i]);
            nPos = nAmp + nLength;
        }
        else
        {
            sOut += Char('&');
            nPos = nAmp + 1;
        }
    }
    return sOut;
}
} // namespace

std::string CHtmlText::DecodeCharacterReferences(const std::string& sText, const CPageEscape& escape,
                                                 bool bAttribute)
{
    if (sText.find('&') == std::string::npos)
        return sText;
    if (escape.IsUtf8())
        return DecodeReferences(sText, bAttribute,
                                [](std::string& sOut, char32_t u) { AppendUtf8(sOut, u); });
    // The page's bytes are read as characters first, as the browser reads them, so that a reference never
    // joins the bytes around it into another character; the characters then go back into the page's
    // bytes, each one the set cannot hold as its reference.
    return escape.Encode(DecodeCharacterReferences(escape.Decode(sText), bAttribute));
}

std::u32string CHtmlText::DecodeCharacterReferences(const std::u32string& sText, bool bAttribute)
{
    return DecodeReferences(sText, bAttribute, [](std::u32string& sOut, char32_t u) { sOut += u; });
}

void CHtmlText::AppendUtf8(std::string& sOut, char32_t u)
{
    if (u < 0x80)
        sOut += static_cast<char>(u);
    else if (u < 0x800)
    {
        sOut += static_cast<char>(0xC0 | (u >> 6));
        sOut += static_cast<char>(0x80 | (u & 0x3F));
    }
    else if (u < 0x10000)
    {
        sOut += static_cast<char>(0xE0 | (u >> 12));
        sOut += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        sOut += static_cast<char>(0x80 | (u & 0x3F));
    }
    else
    {
        sOut += static_cast<char>(0xF0 | (u >> 18));
        sOut += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        sOut += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        sOut += static_cast<char>(0x80 | (u & 0x3F));
    }
}

bool CHtmlText::HasReference(char32_t u)
{
    if (u == 0 || (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF)
        return false;
    return u < 0x80 || u > 0x9F || C1_REFERENCES[u - 0x80] == 0;
}
