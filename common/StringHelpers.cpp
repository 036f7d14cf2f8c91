#include "common/StringHelpers.h"

#include <cstring>
#include <limits>
#include <sstream>

std::string IntToString(int32_t nValue)
{
    std::ostringstream stream;
    stream << nValue;
    return stream.str();
}

std::wstring IntToWString(int32_t nValue)
{
    std::wostringstream stream;
    stream << nValue;
    return stream.str();
}

std::wstring ULongToWString(uint32_t nValue)
{
    std::wostringstream stream;
    stream << nValue;
    return stream.str();
}

std::wstring LongToWString(int32_t nValue)
{
    std::wostringstream stream;
    stream << nValue;
    return stream.str();
}

ci_string GetNextToken(const ci_string& csText, const ci_string& csStart, const ci_string& csEnd, size_t nPos)
{
    if (nPos > csText.size())
        return ci_string();
    const size_t nStart = csText.find(csStart, nPos);
    if (nStart == ci_string::npos)
        return ci_string();
    const size_t nFrom = nStart + csStart.size();
    const size_t nEnd = csText.find(csEnd, nFrom);
    if (nEnd == ci_string::npos)
        return csText.substr(nFrom);
    return csText.substr(nFrom, nEnd - nFrom);
}

void GetNextToken(ci_string& csToken, const ci_string& csText, const ci_string& csStart,
                  const ci_string& csEnd, size_t nPos)
{
    csToken = GetNextToken(csText, csStart, csEnd, nPos);
}

namespace
{
// Every part of the list, empty ones included; an empty separator leaves the list whole.
std::vector<ci_string> SplitParts(const ci_string& csList, const ci_string& csSeparator)
{
    std::vector<ci_string> parts;
    if (csSeparator.empty())
    {
        parts.push_back(csList);
        return parts;
    }
    size_t nPos = 0;
    for (;;)
    {
        const size_t nNext = csList.find(csSeparator, nPos);
        if (nNext == ci_string::npos)
        {
            parts.push_back(csList.substr(nPos));
            break;
        }
        parts.push_back(csList.substr(nPos, nNext - nPos));
        nPos = nNext + csSeparator.size();
    }
    return parts;
}
} // namespace

bool SplitToCiStringSet(const ci_string& csList, const ci_string& csSeparator, std::set<ci_string>& setOut)
{
    if (csList.empty())
        return false;
    for (ci_string& csPart : SplitParts(csList, csSeparator))
    {
        if (!csPart.empty())
            setOut.insert(std::move(csPart));
    }
    return true;
}

bool SplitToCiStringVector(const ci_string& csList, const ci_string& csSeparator,
                           std::vector<ci_string>& vecOut, bool bStopAtEmpty)
{
    if (csList.empty())
        return false;
    std::vector<ci_string> parts = SplitParts(csList, csSeparator);
    for (size_t i = 0; i < parts.size(); ++i)
    {
        if (parts[i].empty())
        {
            if (i == 0)
                continue;
            if (bStopAtEmpty)
                break;
        }
        vecOut.push_back(std::move(parts[i]));
    }
    return true;
}

int ReplaceAll(ci_string& csText, const ci_string& csWhat, const ci_string& csWith, size_t nStart)
{
    if (csText.empty() || csWhat.empty())
        return 0;
    size_t nPos = csText.find(csWhat, nStart);
    while (nPos != ci_string::npos)
    {
        csText.replace(nPos, csWhat.size(), csWith);
        nPos = csText.find(csWhat, nPos + csWith.size());
    }
    return 1;
}

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

std::string UrlUnescape(const std::string& sText)
{
    if (sText.empty())
        return sText;
    std::string sResult;
    sResult.reserve(sText.size());
    for (size_t i = 0; i < sText.size(); ++i)
    {
        if (sText[i] != '%')
        {
            sResult.push_back(sText[i]);
            continue;
        }
        // A "%" without two characters after it ends the text.
        if (sText.size() - i < 3)
            break;
        const int nHigh = HexDigitValue(sText[i + 1]);
        const int nLow = HexDigitValue(sText[i + 2]);
        if (nHigh < 0 || nLow < 0)
        {
            // Not an escape: the "%" stays as it is.
            sResult.push_back('%');
            continue;
        }
        sResult.push_back(static_cast<char>(16 * nHigh + nLow));
        i += 2;
    }
    return sResult;
}

namespace
{
// The magnitude of the digits in [nFrom, nTo), or false on a bad digit or a magnitude above ullLimit.
// ullValue holds the digits read so far when it answers false.
bool ParseMagnitude(const std::string& sText, size_t nFrom, size_t nTo, int nRadix, uint64_t ullLimit,
                    uint64_t& ullValue)
{
    ullValue = 0;
    for (size_t i = nFrom; i < nTo; ++i)
    {
        const char ch = sText[i];
        int nDigit = -1;
        if (ch >= '0' && ch <= '9' && ch < '0' + nRadix)
            nDigit = ch - '0';
        else if (ch >= 'a' && ch < 'a' + nRadix - 10)
            nDigit = ch - 'a' + 10;
        else if (ch >= 'A' && ch < 'A' + nRadix - 10)
            nDigit = ch - 'A' + 10;
        if (nDigit < 0)
            return false;
        const uint64_t ullNext = ullValue * static_cast<uint64_t>(nRadix) + static_cast<uint64_t>(nDigit);
        if (ullNext > ullLimit)
            return false;
        ullValue = ullNext;
    }
    return true;
}

// The shared steps of both ParseIntRadix forms: the range, the sign and the digits. bEmpty is set for a
// range that holds nothing (true with 0).
bool ParseRange(const std::string& sText, int nRadix, size_t nStart, size_t nLength, bool bAllowSign,
                bool& bEmpty, bool& bNegative, size_t& nFrom, size_t& nTo)
{
    bEmpty = false;
    bNegative = false;
    if (nRadix < 2 || nRadix > 36)
        return false;
    if (nLength == std::string::npos)
    {
        if (nStart >= sText.size())
        {
            bEmpty = true;
            return true;
        }
        nLength = sText.size() - nStart;
    }
    if (nLength == 0)
    {
        bEmpty = true;
        return true;
    }
    if (nStart > sText.size() || nLength > sText.size() - nStart)
        return false;
    nFrom = nStart;
    nTo = nStart + nLength;
    if (bAllowSign && sText[nFrom] == '-')
    {
        bNegative = true;
        ++nFrom;
        // A sign alone is no number.
        if (nFrom == nTo)
            return false;
    }
    return true;
}

// Both widths in one: a negative value may reach -2^31, a positive one the type's maximum, and the
// result wraps to 32 bits as the value's two's complement.
template <class T>
bool ParseIntRadixAs(const std::string& sText, T& nValue, int nRadix, size_t nStart, size_t nLength,
                     bool bAllowSign)
{
    static_assert(sizeof(T) == sizeof(uint32_t));
    nValue = 0;
    bool bEmpty = false;
    bool bNegative = false;
    size_t nFrom = 0;
    size_t nTo = 0;
    if (!ParseRange(sText, nRadix, nStart, nLength, bAllowSign, bEmpty, bNegative, nFrom, nTo))
        return false;
    if (bEmpty)
        return true;
    const uint64_t ullLimit =
        bNegative ? 0x80000000ull : static_cast<uint64_t>(std::numeric_limits<T>::max());
    uint64_t ullMagnitude = 0;
    const bool bOk = ParseMagnitude(sText, nFrom, nTo, nRadix, ullLimit, ullMagnitude);
    const auto nBits = static_cast<uint32_t>(ullMagnitude);
    nValue = static_cast<T>(bNegative ? 0u - nBits : nBits);
    return bOk;
}
} // namespace

bool ParseIntRadix(const std::string& sText, int32_t& nValue, int nRadix, size_t nStart, size_t nLength,
                   bool bAllowSign)
{
    return ParseIntRadixAs(sText, nValue, nRadix, nStart, nLength, bAllowSign);
}

bool ParseIntRadix(const std::string& sText, uint32_t& nValue, int nRadix, size_t nStart, size_t nLength,
                   bool bAllowSign)
{
    return ParseIntRadixAs(sText, nValue, nRadix, nStart, nLength, bAllowSign);
}

bool Base64EncodeInPlace(std::string& sText)
{
    static const char s_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const size_t nIn = sText.size();
    const uint64_t ullOut = (static_cast<uint64_t>(nIn) + 2) / 3 * 4;
    if (ullOut >= 0x80000000ull)
        return false;
    std::string sOut;
    sOut.reserve(static_cast<size_t>(ullOut));
    const auto* p = reinterpret_cast<const unsigned char*>(sText.data());
    size_t i = 0;
    for (; i + 3 <= nIn; i += 3)
    {
        const uint32_t n =
            (static_cast<uint32_t>(p[i]) << 16) | (static_cast<uint32_t>(p[i + 1]) << 8) | p[i + 2];
        sOut.push_back(s_alphabet[(n >> 18) & 0x3F]);
        sOut.push_back(s_alphabet[(n >> 12) & 0x3F]);
        sOut.push_back(s_alphabet[(n >> 6) & 0x3F]);
        sOut.push_back(s_alphabet[n & 0x3F]);
    }
    if (i < nIn)
    {
        uint32_t n = static_cast<uint32_t>(p[i]) << 16;
        if (i + 1 < nIn)
            n |= static_cast<uint32_t>(p[i + 1]) << 8;
        sOut.push_back(s_alphabet[(n >> 18) & 0x3F]);
        sOut.push_back(s_alphabet[(n >> 12) & 0x3F]);
        sOut.push_back(i + 1 < nIn ? s_alphabet[(n >> 6) & 0x3F] : '=');
        sOut.push_back('=');
    }
    sText = std::move(sOut);
    return true;
}

std::string HashToDecimalString(const char* pszText)
{
    uint32_t h = 0;
    if (pszText != nullptr)
    {
        for (const char* p = pszText; *p != 0; ++p)
        {
            // The byte counts as signed: above 0x7F it is negative, added modulo 2^32.
            const int32_t c = static_cast<int8_t>(*p);
            h = h * 33u + static_cast<uint32_t>(c);
        }
    }
    return std::to_string(h);
}

namespace
{
template <class TString> TString& TrimCharsOf(TString& sText, const char* pszChars)
{
    if (pszChars == nullptr || *pszChars == 0)
        return sText;
    const size_t nLen = std::strlen(pszChars);
    auto inSet = [&](char ch) { return std::memchr(pszChars, ch, nLen) != nullptr; };
    size_t nEnd = sText.size();
    while (nEnd > 0 && inSet(sText[nEnd - 1]))
        --nEnd;
    size_t nBegin = 0;
    while (nBegin < nEnd && inSet(sText[nBegin]))
        ++nBegin;
    sText.erase(nEnd);
    sText.erase(0, nBegin);
    return sText;
}
} // namespace

std::string& TrimChars(std::string& sText, const char* pszChars)
{
    return TrimCharsOf(sText, pszChars);
}

ci_string& TrimChars(ci_string& csText, const char* pszChars)
{
    return TrimCharsOf(csText, pszChars);
}

CGrowableBuffer::CGrowableBuffer(size_t nCapacity)
{
    Reserve(nCapacity);
}

void CGrowableBuffer::Reserve(size_t nNeeded)
{
    if (nNeeded <= m_nCapacity)
        return;
    size_t nNew = m_nCapacity * 2;
    if (nNew < nNeeded)
        nNew = nNeeded;
    std::unique_ptr<BYTE[]> pNew(new BYTE[nNew]);
    if (m_nLength != 0)
        std::memcpy(pNew.get(), m_pData.get(), m_nLength);
    m_pData = std::move(pNew);
    m_nCapacity = nNew;
}

void CGrowableBuffer::Append(const void* pBytes, size_t nBytes)
{
    if (nBytes == 0)
        return;
    Reserve(m_nLength + nBytes);
    std::memcpy(m_pData.get() + m_nLength, pBytes, nBytes);
    m_nLength += nBytes;
}

CGrowableBuffer& AppendUTF8HtmlEscaped(CGrowableBuffer& buffer, const char16_t* pszText)
{
    if (pszText == nullptr)
        return buffer;
    for (const char16_t* p = pszText; *p != 0; ++p)
    {
        const char16_t ch = *p;
        if (ch == u'"')
        {
            buffer.Append("&quot;", 6);
            continue;
        }
        if (ch == u'<')
        {
            buffer.Append("&lt;", 4);
            continue;
        }
        if (ch == u'>')
        {
            buffer.Append("&gt;", 4);
            continue;
        }
        uint32_t nCode = ch;
        if (ch >= 0xD800 && ch <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF)
        {
            nCode = 0x10000u + ((static_cast<uint32_t>(ch) - 0xD800u) << 10) +
                    (static_cast<uint32_t>(p[1]) - 0xDC00u);
            ++p;
        }
        else if (ch >= 0xD800 && ch <= 0xDFFF)
        {
            nCode = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        BYTE bytes[4];
        size_t nBytes = 0;
        if (nCode < 0x80)
        {
            bytes[nBytes++] = static_cast<BYTE>(nCode);
        }
        else if (nCode < 0x800)
        {
            bytes[nBytes++] = static_cast<BYTE>(0xC0 | (nCode >> 6));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | (nCode & 0x3F));
        }
        else if (nCode < 0x10000)
        {
            bytes[nBytes++] = static_cast<BYTE>(0xE0 | (nCode >> 12));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | ((nCode >> 6) & 0x3F));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | (nCode & 0x3F));
        }
        else
        {
            bytes[nBytes++] = static_cast<BYTE>(0xF0 | (nCode >> 18));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | ((nCode >> 12) & 0x3F));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | ((nCode >> 6) & 0x3F));
            bytes[nBytes++] = static_cast<BYTE>(0x80 | (nCode & 0x3F));
        }
        buffer.Append(bytes, nBytes);
    }
    return buffer;
}
