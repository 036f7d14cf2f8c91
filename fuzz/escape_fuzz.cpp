// Feeds arbitrary values to the escaping module: whatever the value, the output may not hold a byte that
// ends its place (a quote, an angle bracket, a line break), and reading the output back as a script
// literal, an attribute value or a URL component gives the value again, with only ill-formed UTF-8
// replaced. The first byte picks the encoding (bit 0), the escape (bits 1-2: script literal, attribute value,
// URL component) and the URL's kept set (bits 3-4).
#include "common/StringHelpers.h"
#include "forms/PageEscape.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace
{
const char* const kKeeps[] = {"", "/", "/:@", "/;,"};
constexpr const char* REPLACEMENT = "\xEF\xBF\xBD";

void Check(bool bHolds)
{
    if (!bHolds)
        __builtin_trap();
}

unsigned HexAt(const std::string& s, size_t nPos, size_t nDigits)
{
    Check(nPos + nDigits <= s.size());
    unsigned nValue = 0;
    for (size_t n = 0; n < nDigits; ++n)
    {
        const int nDigit = HexDigitValue(s[nPos + n]);
        Check(nDigit >= 0);
        nValue = nValue * 16 + static_cast<unsigned>(nDigit);
    }
    return nValue;
}

void AppendUtf8(std::string& sOut, unsigned nCode)
{
    if (nCode < 0x80)
        sOut += static_cast<char>(nCode);
    else if (nCode < 0x800)
    {
        sOut += static_cast<char>(0xC0 | (nCode >> 6));
        sOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
    else
    {
        sOut += static_cast<char>(0xE0 | (nCode >> 12));
        sOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        sOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

// The length of the code point at nPos when its bytes are well-formed UTF-8, decoded by value rather
// than by the lead-byte ranges the module checks, so the two are not one mistake twice.
size_t WellFormedLength(const std::string& s, size_t nPos)
{
    const auto c = static_cast<unsigned char>(s[nPos]);
    size_t nLen = 0;
    unsigned nCode = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0)
        nLen = 2, nCode = c & 0x1Fu;
    else if ((c & 0xF0) == 0xE0)
        nLen = 3, nCode = c & 0x0Fu;
    else if ((c & 0xF8) == 0xF0)
        nLen = 4, nCode = c & 0x07u;
    else
        return 0;
    if (nPos + nLen > s.size())
        return 0;
    for (size_t n = 1; n < nLen; ++n)
    {
        const auto b = static_cast<unsigned char>(s[nPos + n]);
        if ((b & 0xC0) != 0x80)
            return 0;
        nCode = (nCode << 6) | (b & 0x3Fu);
    }
    static const unsigned kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (nCode < kMinimum[nLen] || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
        return 0;
    return nLen;
}

// The value as a UTF-8 page shows it: every byte that starts no well-formed sequence becomes U+FFFD.
std::string AsUtf8Page(const std::string& sValue)
{
    std::string sOut;
    for (size_t nPos = 0; nPos < sValue.size();)
    {
        const size_t nLen = WellFormedLength(sValue, nPos);
        if (nLen == 0)
        {
            sOut += REPLACEMENT;
            ++nPos;
            continue;
        }
        sOut.append(sValue, nPos, nLen);
        nPos += nLen;
    }
    return sOut;
}

bool IsWellFormed(const std::string& s)
{
    for (size_t nPos = 0; nPos < s.size();)
    {
        const size_t nLen = WellFormedLength(s, nPos);
        if (nLen == 0)
            return false;
        nPos += nLen;
    }
    return true;
}

// A script literal read back: the escapes the module writes, and any other byte as itself.
std::string ReadScriptLiteral(const std::string& sLiteral)
{
    std::string sOut;
    for (size_t nPos = 0; nPos < sLiteral.size(); ++nPos)
    {
        const char c = sLiteral[nPos];
        if (c != '\\')
        {
            sOut += c;
            continue;
        }
        Check(nPos + 1 < sLiteral.size());
        const char cEscape = sLiteral[++nPos];
        switch (cEscape)
        {
        case '\\':
            sOut += '\\';
            break;
        case 'r':
            sOut += '\r';
            break;
        case 'n':
            sOut += '\n';
            break;
        case 't':
            sOut += '\t';
            break;
        case 'x':
            sOut += static_cast<char>(HexAt(sLiteral, nPos + 1, 2));
            nPos += 2;
            break;
        case 'u':
            AppendUtf8(sOut, HexAt(sLiteral, nPos + 1, 4));
            nPos += 4;
            break;
        default:
            Check(false);
        }
    }
    return sOut;
}

std::string ReadAttributeValue(const std::string& sAttribute)
{
    static const struct
    {
        const char* pszReference;
        char c;
    } kReferences[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&lt;", '<'},
                       {"&gt;", '>'},  {"&#13;", '\r'}, {"&#10;", '\n'}};
    std::string sOut;
    for (size_t nPos = 0; nPos < sAttribute.size(); ++nPos)
    {
        if (sAttribute[nPos] != '&')
        {
            sOut += sAttribute[nPos];
            continue;
        }
        bool bKnown = false;
        for (const auto& reference : kReferences)
        {
            const size_t nLen = std::strlen(reference.pszReference);
            if (sAttribute.compare(nPos, nLen, reference.pszReference) == 0)
            {
                sOut += reference.c;
                nPos += nLen - 1;
                bKnown = true;
                break;
            }
        }
        Check(bKnown);
    }
    return sOut;
}

std::string ReadUrlComponent(const std::string& sComponent)
{
    std::string sOut;
    for (size_t nPos = 0; nPos < sComponent.size(); ++nPos)
    {
        if (sComponent[nPos] != '%')
        {
            sOut += sComponent[nPos];
            continue;
        }
        sOut += static_cast<char>(HexAt(sComponent, nPos + 1, 2));
        nPos += 2;
    }
    return sOut;
}

bool HoldsAnyOf(const std::string& s, const char* pszBytes, size_t nBytes)
{
    return s.find_first_of(std::string(pszBytes, nBytes)) != std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const unsigned nMode = pData[0];
    const std::string sValue(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    const CPageEscape::Encoding eEncoding =
        (nMode & 1) != 0 ? CPageEscape::Encoding::Bytes : CPageEscape::Encoding::Utf8;
    const bool bUtf8 = eEncoding == CPageEscape::Encoding::Utf8;

    switch (((nMode >> 1) & 3) % 3)
    {
    case 0:
    {
        const std::string sOut = CPageEscape::JSString(sValue, eEncoding);
        // Nothing that ends a literal, a script block or a handler attribute, nor a control character.
        for (const char c : sOut)
        {
            const auto b = static_cast<unsigned char>(c);
            Check(b >= 0x20 && b != 0x7F && std::strchr("\"'<>&`=", c) == nullptr);
        }
        Check(sOut.size() <= 6 * sValue.size());
        const std::string sBack = ReadScriptLiteral(sOut);
        if (bUtf8)
        {
            Check(IsWellFormed(sOut));
            Check(sOut.find("\xE2\x80\xA8") == std::string::npos &&
                  sOut.find("\xE2\x80\xA9") == std::string::npos);
            Check(sBack == AsUtf8Page(sValue));
        }
        else
            Check(sBack == sValue);
        break;
    }
    case 1:
    {
        const std::string sOut = CPageEscape::HtmlAttribute(sValue, eEncoding);
        Check(!HoldsAnyOf(sOut, "\"'<>\r\n\0", 7));
        Check(sOut.size() <= 6 * sValue.size());
        std::string sExpected;
        for (const char c : sValue)
        {
            if (c != '\0')
                sExpected += c;
            else if (bUtf8)
                sExpected += REPLACEMENT;
        }
        const std::string sBack = ReadAttributeValue(sOut);
        if (bUtf8)
        {
            Check(IsWellFormed(sOut));
            Check(sBack == AsUtf8Page(sExpected));
        }
        else
            Check(sBack == sExpected);
        break;
    }
    default:
    {
        const char* pszKeep = kKeeps[(nMode >> 3) & 3];
        const std::string sOut = CPageEscape::UrlComponent(sValue, pszKeep);
        for (const char c : sOut)
        {
            const bool bUnreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                     (c >= '0' && c <= '9') || std::strchr("-_.~%", c) != nullptr;
            Check(bUnreserved || (c != '\0' && std::strchr(pszKeep, c) != nullptr));
        }
        Check(sOut.size() <= 3 * sValue.size());
        Check(ReadUrlComponent(sOut) == sValue);
        break;
    }
    }
    return 0;
}
