#include "forms/HtmlText.h"

#include <cstdint>
#include <cstring>

namespace
{
// Long enough for "&#x10FFFF;" and every name decoded here.
constexpr size_t MAX_REFERENCE_LENGTH = 12;

struct NamedReference
{
    const char* pszName;
    uint32_t uCodePoint;
};

constexpr NamedReference NAMED_REFERENCES[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0},
};

// What a reference of 0x80 to 0x9F stands for; 0 where it stands for the control itself.
constexpr uint16_t C1_REFERENCES[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The code point of the reference between "&" and ";" (exclusive), or false.
bool ReferenceValue(const std::string& sRef, uint32_t& u)
{
    if (sRef.size() >= 2 && sRef[0] == '#')
    {
        const bool bHex = sRef[1] == 'x' || sRef[1] == 'X';
        const size_t nFirst = bHex ? 2 : 1;
        if (nFirst >= sRef.size())
            return false;
        u = 0;
        for (size_t i = nFirst; i < sRef.size(); ++i)
        {
            const char c = sRef[i];
            uint32_t d = 0;
            if (c >= '0' && c <= '9')
                d = static_cast<uint32_t>(c - '0');
            else if (bHex && c >= 'a' && c <= 'f')
                d = static_cast<uint32_t>(c - 'a' + 10);
            else if (bHex && c >= 'A' && c <= 'F')
                d = static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
            u = u * (bHex ? 16u : 10u) + d;
            if (u > 0x10FFFF)
                return false;
        }
        // Browsers read the references of the C1 controls as the windows-1252 characters of those bytes.
        if (u >= 0x80 && u <= 0x9F && C1_REFERENCES[u - 0x80] != 0)
            u = C1_REFERENCES[u - 0x80];
        // NUL and surrogates are no characters a page can mean.
        return u != 0 && (u < 0xD800 || u > 0xDFFF);
    }
    for (const NamedReference& ref : NAMED_REFERENCES)
    {
        if (sRef == ref.pszName)
        {
            u = ref.uCodePoint;
            return true;
        }
    }
    return false;
}

// Text of either kind: its characters are bytes of a page or code points, and each reference read becomes
// what AppendCharacter makes of it (false: the reference stays as it stands).
template <typename String, typename Append>
String DecodeReferences(const String& sText, Append AppendCharacter)
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
        const size_t nSemi = sText.find(Char(';'), nAmp + 1);
        uint32_t u = 0;
        bool bDecoded = false;
        if (nSemi != String::npos && nSemi - nAmp - 1 <= MAX_REFERENCE_LENGTH)
        {
            std::string sRef;
            for (size_t i = nAmp + 1; i < nSemi; ++i)
                sRef += static_cast<uint32_t>(sText[i]) < 0x80 ? static_cast<char>(sText[i]) : '\x7F';
            bDecoded = ReferenceValue(sRef, u) && AppendCharacter(sOut, u);
        }
        if (bDecoded)
            nPos = nSemi + 1;
        else
        {
            sOut += Char('&');
            nPos = nAmp + 1;
        }
    }
    return sOut;
}
} // namespace

std::string CHtmlText::DecodeCharacterReferences(const std::string& sText, const CPageEscape& escape)
{
    const bool bUtf8 = escape.IsUtf8();
    return DecodeReferences(sText,
                            [bUtf8](std::string& sOut, uint32_t u)
                            {
                                if (!bUtf8 && u >= 0x80)
                                    return false;
                                AppendUtf8(sOut, u);
                                return true;
                            });
}

std::u32string CHtmlText::DecodeCharacterReferences(const std::u32string& sText)
{
    return DecodeReferences(sText,
                            [](std::u32string& sOut, uint32_t u)
                            {
                                sOut += static_cast<char32_t>(u);
                                return true;
                            });
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
