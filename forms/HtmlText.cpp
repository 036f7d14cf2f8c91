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

void AppendUtf8(std::string& sOut, uint32_t u)
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
} // namespace

std::string CHtmlText::DecodeCharacterReferences(const std::string& sText, CPageEscape::Encoding eEncoding)
{
    std::string sOut;
    sOut.reserve(sText.size());
    size_t nPos = 0;
    while (nPos < sText.size())
    {
        const size_t nAmp = sText.find('&', nPos);
        if (nAmp == std::string::npos)
        {
            sOut.append(sText, nPos, std::string::npos);
            break;
        }
        sOut.append(sText, nPos, nAmp - nPos);
        const size_t nSemi = sText.find(';', nAmp + 1);
        uint32_t u = 0;
        if (nSemi != std::string::npos && nSemi - nAmp - 1 <= MAX_REFERENCE_LENGTH &&
            ReferenceValue(sText.substr(nAmp + 1, nSemi - nAmp - 1), u) &&
            (eEncoding == CPageEscape::Encoding::Utf8 || u < 0x80))
        {
            AppendUtf8(sOut, u);
            nPos = nSemi + 1;
        }
        else
        {
            sOut += '&';
            nPos = nAmp + 1;
        }
    }
    return sOut;
}
