#include "forms/PageEscape.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr const char* REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

void AppendHex(std::string& sOut, const char* pszFormat, unsigned nValue)
{
    char szBuffer[16];
    std::snprintf(szBuffer, sizeof(szBuffer), pszFormat, nValue);
    sOut += szBuffer;
}
} // namespace

size_t CPageEscape::Utf8SequenceLength(const std::string& sText, size_t nPos)
{
    const auto Byte = [&](size_t n) { return static_cast<unsigned char>(sText[n]); };
    const unsigned char c = Byte(nPos);
    if (c < 0x80)
        return 1;
    size_t nLen = 0;
    unsigned char cMin = 0x80;
    unsigned char cMax = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        nLen = 2;
    else if (c >= 0xE0 && c <= 0xEF)
    {
        nLen = 3;
        cMin = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        cMax = c == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    else if (c >= 0xF0 && c <= 0xF4)
    {
        nLen = 4;
        cMin = c == 0xF0 ? 0x90 : 0x80;
        cMax = c == 0xF4 ? 0x8F : 0xBF;
    }
    if (nLen == 0 || nPos + nLen > sText.size())
        return 0;
    if (Byte(nPos + 1) < cMin || Byte(nPos + 1) > cMax)
        return 0;
    for (size_t n = 2; n < nLen; ++n)
    {
        if (Byte(nPos + n) < 0x80 || Byte(nPos + n) > 0xBF)
            return 0;
    }
    return nLen;
}

CPageEscape::Encoding CPageEscape::EncodingOf(const std::string& sCharSet)
{
    std::string sLower;
    for (char c : sCharSet)
    {
        if (c != '-' && c != '_' && c != ' ')
            sLower += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    }
    return (sLower.empty() || sLower == "utf8") ? Encoding::Utf8 : Encoding::Bytes;
}

std::string CPageEscape::JSString(const std::string& sValue, Encoding eEncoding)
{
    std::string sOut;
    sOut.reserve(sValue.size() + sValue.size() / 4 + 8);
    for (size_t nPos = 0; nPos < sValue.size(); ++nPos)
    {
        const auto c = static_cast<unsigned char>(sValue[nPos]);
        switch (c)
        {
        case '\\':
            sOut += "\\\\";
            continue;
        case '\r':
            sOut += "\\r";
            continue;
        case '\n':
            sOut += "\\n";
            continue;
        case '\t':
            sOut += "\\t";
            continue;
        case '"':
        case '\'':
        case '<':
        case '>':
        case '&':
        case '=':
        case '`':
            AppendHex(sOut, "\\x%02X", c);
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F)
        {
            AppendHex(sOut, "\\x%02X", c);
            continue;
        }
        if (c < 0x80 || eEncoding == Encoding::Bytes)
        {
            sOut += static_cast<char>(c);
            continue;
        }
        const size_t nLen = Utf8SequenceLength(sValue, nPos);
        if (nLen == 0)
        {
            sOut += "\\uFFFD";
            continue;
        }
        // U+2028 and U+2029 end a line inside a script.
        if (nLen == 3 && c == 0xE2 && static_cast<unsigned char>(sValue[nPos + 1]) == 0x80 &&
            (static_cast<unsigned char>(sValue[nPos + 2]) == 0xA8 ||
             static_cast<unsigned char>(sValue[nPos + 2]) == 0xA9))
            AppendHex(sOut, "\\u%04X",
                      static_cast<unsigned char>(sValue[nPos + 2]) == 0xA8 ? 0x2028u : 0x2029u);
        else
            sOut.append(sValue, nPos, nLen);
        nPos += nLen - 1;
    }
    return sOut;
}

std::string CPageEscape::HtmlAttribute(const std::string& sValue, Encoding eEncoding)
{
    std::string sOut;
    sOut.reserve(sValue.size() + sValue.size() / 4 + 8);
    for (size_t nPos = 0; nPos < sValue.size(); ++nPos)
    {
        const auto c = static_cast<unsigned char>(sValue[nPos]);
        switch (c)
        {
        case '&':
            sOut += "&amp;";
            continue;
        case '"':
            sOut += "&quot;";
            continue;
        case '\'':
            sOut += "&#39;";
            continue;
        case '<':
            sOut += "&lt;";
            continue;
        case '>':
            sOut += "&gt;";
            continue;
        case '\r':
            sOut += "&#13;";
            continue;
        case '\n':
            sOut += "&#10;";
            continue;
        case '\0':
            if (eEncoding == Encoding::Utf8)
                sOut += REPLACEMENT_CHARACTER;
            continue;
        default:
            break;
        }
        if (c < 0x80 || eEncoding == Encoding::Bytes)
        {
            sOut += static_cast<char>(c);
            continue;
        }
        const size_t nLen = Utf8SequenceLength(sValue, nPos);
        if (nLen == 0)
        {
            sOut += REPLACEMENT_CHARACTER;
            continue;
        }
        sOut.append(sValue, nPos, nLen);
        nPos += nLen - 1;
    }
    return sOut;
}

std::string CPageEscape::UrlComponent(const std::string& sValue, const char* pszKeep)
{
    std::string sOut;
    sOut.reserve(sValue.size() * 3);
    for (const char ch : sValue)
    {
        const auto c = static_cast<unsigned char>(ch);
        const bool bUnreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                 c == '-' || c == '_' || c == '.' || c == '~';
        if (bUnreserved || (c != 0 && pszKeep != nullptr && std::strchr(pszKeep, ch) != nullptr))
            sOut += ch;
        else
            AppendHex(sOut, "%%%02X", c);
    }
    return sOut;
}
