// Small text helpers every subsystem shares: number texts, delimited lists, markers, replacement, URL
// unescaping, radix parsing, Base64, the link hash and the UTF-8 appender that feeds localized strings
// into pages.
#pragma once

#include "common/CiString.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

std::string IntToString(int32_t nValue);
std::wstring IntToWString(int32_t nValue);
std::wstring ULongToWString(uint32_t nValue);
std::wstring LongToWString(int32_t nValue);

// The text after the first start marker found at or after nPos, up to the next end marker or the end of
// the text; empty when no start marker follows. Both searches ignore case.
ci_string GetNextToken(const ci_string& csText, const ci_string& csStart, const ci_string& csEnd,
                       size_t nPos);
void GetNextToken(ci_string& csToken, const ci_string& csText, const ci_string& csStart,
                  const ci_string& csEnd, size_t nPos);

// Adds every non-empty part of a delimited list to the set ("exe;;bat" gives exe and bat). False only for
// an empty list.
bool SplitToCiStringSet(const ci_string& csList, const ci_string& csSeparator, std::set<ci_string>& setOut);

// Appends the parts of a delimited list in order. An empty part before the first separator is skipped; a
// later empty part ends the split when bStopAtEmpty is set, else it is appended as an empty entry. False
// only for an empty list.
bool SplitToCiStringVector(const ci_string& csList, const ci_string& csSeparator,
                           std::vector<ci_string>& vecOut, bool bStopAtEmpty);

// Replaces every occurrence of csWhat from nStart on; a replacement is never searched again. 0 when the
// string or csWhat is empty, else 1.
int ReplaceAll(ci_string& csText, const ci_string& csWhat, const ci_string& csWith, size_t nStart = 0);

// Percent-decodes a URL text ("+" stays); a "%" without two characters after it ends the text.
std::string UrlUnescape(const std::string& sText);

// Parses nLength characters from nStart (npos: to the end) in the radix (2..36), with an optional leading
// "-" when bAllowSign. False for a bad radix, a range beyond the text, a character that is no digit, a
// sign without digits, or a value that does not fit the output. nValue is 0 first.
bool ParseIntRadix(const std::string& sText, int32_t& nValue, int nRadix, size_t nStart, size_t nLength,
                   bool bAllowSign);
// As above into an unsigned value; a negative number gives its two's complement.
bool ParseIntRadix(const std::string& sText, uint32_t& nValue, int nRadix, size_t nStart, size_t nLength,
                   bool bAllowSign);

// Replaces the text by its standard Base64 encoding ("=" padding, no line breaks). False when the
// encoding would not fit in 2^31 bytes.
bool Base64EncodeInPlace(std::string& sText);

// h = h * 33 + c over the text's bytes taken as signed 8-bit values, in unsigned 32-bit arithmetic, as
// decimal text ("0" for an empty or null text).
std::string HashToDecimalString(const char* pszText);

// The value of a hexadecimal digit of either case, or -1.
int HexDigitValue(char ch);

// Removes every leading and trailing character of pszChars from the text, in place.
std::string& TrimChars(std::string& sText, const char* pszChars);
ci_string& TrimChars(ci_string& csText, const char* pszChars);

// A growable byte buffer without a terminating NUL.
class CGrowableBuffer
{
public:
    CGrowableBuffer() = default;
    explicit CGrowableBuffer(size_t nCapacity);

    const BYTE* Data() const { return m_pData.get(); }
    size_t Length() const { return m_nLength; }
    size_t Capacity() const { return m_nCapacity; }
    std::string ToString() const { return std::string(reinterpret_cast<const char*>(Data()), m_nLength); }
    void Clear() { m_nLength = 0; }

    // Grows to max(2 x capacity, needed) when the bytes do not fit.
    void Append(const void* pBytes, size_t nBytes);

private:
    void Reserve(size_t nNeeded);

    std::unique_ptr<BYTE[]> m_pData;
    size_t m_nCapacity = 0;
    size_t m_nLength = 0;
};

// Appends NUL-terminated UTF-16 text as UTF-8, escaping only the double quote, less-than and greater-than
// ("&quot;", "&lt;", "&gt;"). A surrogate pair becomes one four-byte sequence; a lone surrogate becomes
// U+FFFD.
CGrowableBuffer& AppendUTF8HtmlEscaped(CGrowableBuffer& buffer, const char16_t* pszText);
