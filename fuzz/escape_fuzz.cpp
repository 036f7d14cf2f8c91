// Feeds arbitrary values to the escaping module: whatever the value and the page's character set, the
// output is printable ASCII that holds nothing able to end its place, and the output decoded as a browser
// decodes it at that place gives back the value as the browser reads it in that set. The first byte
// picks the set (bits 0-1: UTF-8, Shift_JIS, Big5, windows-1252), the place (bits 2-4: script literal,
// script literal inside a javascript: URL, attribute value, HTML text, URL component; 5 to 7 read as
// 0 to 2) and the URL's kept set (bits 5-6).
#include "common/StringHelpers.h"
#include "forms/PageEscape.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace
{
const char* const kKeeps[] = {"", "/", "/:@", "/;,"};

// The page's set as the page names it, and as ICU names what browsers read it as.
struct CSet
{
    const char* m_pszLabel;
    const char* m_pszIcuName;
};
const CSet kSets[] = {{"utf-8", "UTF-8"},
                      {"Shift_JIS", "windows-31j"},
                      {"big5", "ibm-1375_P100-2008"},
                      {"us-ascii", "windows-1252"}};

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

// A browser shows U+FFFD for a sequence that is no character, where ICU writes U+001A in some sets.
void Replacement(const void*, UConverterToUnicodeArgs* pArgs, const char*, int32_t,
                 UConverterCallbackReason eReason, UErrorCode* pStatus)
{
    if (eReason <= UCNV_IRREGULAR)
    {
        static const UChar s_cReplacement = 0xFFFD;
        *pStatus = U_ZERO_ERROR;
        ucnv_cbToUWriteUChars(pArgs, &s_cReplacement, 1, 0, pStatus);
    }
}

// What a browser reads of the value's bytes: ICU's converter of the set the browser uses, with U+FFFD for
// whatever is no character of it, and as UTF-16 units, as script strings hold it.
struct CloseConverter
{
    void operator()(UConverter* p) const { ucnv_close(p); }
};
using ConverterPtr = std::unique_ptr<UConverter, CloseConverter>;

ConverterPtr OpenBrowserConverter(const char* pszIcuName)
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr pConverter(ucnv_open(pszIcuName, &status));
    ucnv_setToUCallBack(pConverter.get(), &Replacement, nullptr, nullptr, nullptr, &status);
    Check(U_SUCCESS(status));
    return pConverter;
}

std::u16string IcuText(UConverter* pConverter, std::string_view sv)
{
    UErrorCode status = U_ZERO_ERROR;
    std::vector<UChar> vecUnits(sv.size() * 2 + 2);
    ucnv_reset(pConverter);
    const int32_t nUnits = ucnv_toUChars(pConverter, vecUnits.data(), static_cast<int32_t>(vecUnits.size()),
                                         sv.data(), static_cast<int32_t>(sv.size()), &status);
    Check(U_SUCCESS(status));
    return std::u16string(reinterpret_cast<const char16_t*>(vecUnits.data()), static_cast<size_t>(nUnits));
}

// The Encoding Standard's decoders of the two double-byte sets, with ICU only for what one pair maps to:
// which bytes make a pair, what is no character, and which byte is read again after a failed pair.
std::u16string DoubleByteText(UConverter* pConverter, const std::string& sValue, bool bBig5)
{
    std::u16string sOut;
    for (size_t i = 0; i < sValue.size();)
    {
        const auto b = static_cast<unsigned char>(sValue[i]);
        if (b < 0x80 || (!bBig5 && b == 0x80))
        {
            sOut += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        if (!bBig5 && b >= 0xA1 && b <= 0xDF)
        {
            sOut += static_cast<char16_t>(0xFF61 + (b - 0xA1));
            ++i;
            continue;
        }
        const bool bLead =
            bBig5 ? (b >= 0x81 && b <= 0xFE) : ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
        if (!bLead || i + 1 >= sValue.size())
        {
            sOut += u'\uFFFD';
            ++i;
            continue;
        }
        const auto t = static_cast<unsigned char>(sValue[i + 1]);
        const bool bTrail = bBig5 ? ((t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE))
                                  : ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC));
        if (bTrail && (!bBig5 || b >= 0x87))
        {
            const std::u16string sPair = IcuText(pConverter, std::string_view(sValue).substr(i, 2));
            // Browsers' Big5 has no private-use character; their Shift_JIS has those of its user area.
            const bool bPrivate =
                bBig5 && !sPair.empty() &&
                ((sPair[0] >= 0xE000 && sPair[0] <= 0xF8FF) || (sPair[0] >= 0xDB80 && sPair[0] <= 0xDBFF));
            if (!sPair.empty() && !bPrivate && sPair.find(u'\uFFFD') == std::u16string::npos)
            {
                sOut += sPair;
                i += 2;
                continue;
            }
        }
        sOut += u'\uFFFD';
        i += t < 0x80 ? 1 : 2;
    }
    return sOut;
}

std::u16string BrowserText(const char* pszIcuName, const std::string& sValue)
{
    const ConverterPtr pConverter = OpenBrowserConverter(pszIcuName);
    if (std::strcmp(pszIcuName, "ibm-1375_P100-2008") == 0 || std::strcmp(pszIcuName, "windows-31j") == 0)
        return DoubleByteText(pConverter.get(), sValue, std::strcmp(pszIcuName, "ibm-1375_P100-2008") == 0);
    return IcuText(pConverter.get(), sValue);
}

void AppendCodePoint(std::u16string& sOut, uint32_t nCode)
{
    if (nCode < 0x10000)
        sOut += static_cast<char16_t>(nCode);
    else
    {
        sOut += static_cast<char16_t>(0xD800 + ((nCode - 0x10000) >> 10));
        sOut += static_cast<char16_t>(0xDC00 + ((nCode - 0x10000) & 0x3FF));
    }
}

// A C1 control whose numeric reference a browser reads as a windows-1252 character: all but five.
bool IsRemappedC1(uint32_t nCode)
{
    return nCode >= 0x80 && nCode <= 0x9F && nCode != 0x81 && nCode != 0x8D && nCode != 0x8F &&
           nCode != 0x90 && nCode != 0x9D;
}

// A script literal as the script engine reads it: only the escapes the module writes, any other byte as
// itself.
std::u16string ReadScriptLiteral(const std::string& sLiteral)
{
    std::u16string sOut;
    for (size_t nPos = 0; nPos < sLiteral.size(); ++nPos)
    {
        const char c = sLiteral[nPos];
        if (c != '\\')
        {
            sOut += static_cast<char16_t>(c);
            continue;
        }
        Check(nPos + 1 < sLiteral.size());
        switch (sLiteral[++nPos])
        {
        case '\\':
            sOut += u'\\';
            break;
        case 'r':
            sOut += u'\r';
            break;
        case 'n':
            sOut += u'\n';
            break;
        case 't':
            sOut += u'\t';
            break;
        case 'x':
            sOut += static_cast<char16_t>(HexAt(sLiteral, nPos + 1, 2));
            nPos += 2;
            break;
        case 'u':
            sOut += static_cast<char16_t>(HexAt(sLiteral, nPos + 1, 4));
            nPos += 4;
            break;
        default:
            Check(false);
        }
    }
    return sOut;
}

// A javascript: URL before it runs: its percent escapes decoded (the module writes none, so the bytes
// stay ASCII and the UTF-8 reading after it changes nothing).
std::string PercentDecoded(const std::string& sURL)
{
    std::string sOut;
    for (size_t nPos = 0; nPos < sURL.size(); ++nPos)
    {
        if (sURL[nPos] == '%' && nPos + 2 < sURL.size() && HexDigitValue(sURL[nPos + 1]) >= 0 &&
            HexDigitValue(sURL[nPos + 2]) >= 0)
        {
            sOut += static_cast<char>(HexAt(sURL, nPos + 1, 2));
            nPos += 2;
        }
        else
            sOut += sURL[nPos];
    }
    return sOut;
}

// An attribute value or text as the browser reads it: the named references the module writes and
// decimal references, those of 0x80 to 0x9F as windows-1252 characters.
std::u16string ReadHtml(const std::string& sHtml)
{
    static const struct
    {
        const char* pszReference;
        char16_t c;
    } kNamed[] = {{"&amp;", u'&'}, {"&quot;", u'"'}, {"&lt;", u'<'}, {"&gt;", u'>'}};
    std::u16string sOut;
    for (size_t nPos = 0; nPos < sHtml.size(); ++nPos)
    {
        if (sHtml[nPos] != '&')
        {
            sOut += static_cast<char16_t>(sHtml[nPos]);
            continue;
        }
        bool bKnown = false;
        for (const auto& reference : kNamed)
        {
            const size_t nLen = std::strlen(reference.pszReference);
            if (sHtml.compare(nPos, nLen, reference.pszReference) == 0)
            {
                sOut += reference.c;
                nPos += nLen - 1;
                bKnown = true;
                break;
            }
        }
        if (bKnown)
            continue;
        Check(nPos + 1 < sHtml.size() && sHtml[nPos + 1] == '#');
        const size_t nEnd = sHtml.find(';', nPos);
        Check(nEnd != std::string::npos && nEnd > nPos + 2 && nEnd - nPos <= 10);
        uint32_t nCode = 0;
        for (size_t n = nPos + 2; n < nEnd; ++n)
        {
            Check(sHtml[n] >= '0' && sHtml[n] <= '9');
            nCode = nCode * 10 + static_cast<uint32_t>(sHtml[n] - '0');
        }
        // The module writes neither NUL nor a C1 control that a browser reads as another character.
        Check(nCode != 0 && !IsRemappedC1(nCode) && nCode <= 0x10FFFF);
        AppendCodePoint(sOut, nCode);
        nPos = nEnd;
    }
    return sOut;
}

// What HTML can carry of a text: NUL and the C1 controls whose references read as other characters become
// U+FFFD.
std::u16string HtmlCarried(std::u16string sText)
{
    for (char16_t& c : sText)
    {
        if (c == 0 || IsRemappedC1(c))
            c = 0xFFFD;
    }
    return sText;
}

void CheckPrintableAscii(const std::string& sOut, const char* pszNever)
{
    for (const char c : sOut)
    {
        const auto b = static_cast<unsigned char>(c);
        Check(b >= 0x20 && b < 0x7F && std::strchr(pszNever, c) == nullptr);
    }
}
} // namespace

// Each run of characters beyond ASCII as one U+FFFD. ICU's tables of the double-byte sets and the
// browsers' still differ on how many characters a broken pair's bytes beyond ASCII make; what must hold
// exactly is that every ASCII character is where the browser reads one.
std::u16string AsciiSkeleton(const std::u16string& sText)
{
    std::u16string sOut;
    for (const char16_t c : sText)
    {
        if (c < 0x80)
            sOut += c;
        else if (sOut.empty() || sOut.back() != u'\uFFFD')
            sOut += u'\uFFFD';
    }
    return sOut;
}

// Whether the escape reads as the browser's text: exactly, or in a double-byte set as to its ASCII.
bool ReadsAs(const std::u16string& sRead, const std::u16string& sBrowser, bool bDoubleByte)
{
    return bDoubleByte ? AsciiSkeleton(sRead) == AsciiSkeleton(sBrowser) : sRead == sBrowser;
}
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const unsigned nMode = pData[0];
    const std::string sValue(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    const CSet& set = kSets[nMode & 3];
    const CPageEscape escape(set.m_pszLabel);
    const std::u16string sText = BrowserText(set.m_pszIcuName, sValue);
    const bool bDoubleByte = (nMode & 3) == 1 || (nMode & 3) == 2;

    switch (((nMode >> 2) & 7) % 5)
    {
    case 0:
    {
        const std::string sOut = escape.JSString(sValue);
        // Nothing that ends a literal, a script block or a handler attribute.
        CheckPrintableAscii(sOut, "\"'<>&`=");
        Check(sOut.size() <= 12 * sValue.size());
        Check(ReadsAs(ReadScriptLiteral(sOut), sText, bDoubleByte));
        break;
    }
    case 1:
    {
        const std::string sOut = escape.JavaScriptUrlString(sValue);
        // Nor, inside a javascript: URL, a "%" that percent-decoding would turn into something else.
        CheckPrintableAscii(sOut, "\"'<>&`=%");
        Check(ReadsAs(ReadScriptLiteral(PercentDecoded(sOut)), sText, bDoubleByte));
        break;
    }
    case 2:
    {
        const std::string sOut = escape.HtmlAttribute(sValue);
        CheckPrintableAscii(sOut, "\"'<>");
        Check(ReadsAs(ReadHtml(sOut), HtmlCarried(sText), bDoubleByte));
        break;
    }
    case 3:
    {
        const std::string sOut = escape.HtmlText(sValue);
        CheckPrintableAscii(sOut, "<>");
        Check(ReadsAs(ReadHtml(sOut), HtmlCarried(sText), bDoubleByte));
        break;
    }
    default:
    {
        const char* pszKeep = kKeeps[(nMode >> 5) & 3];
        const std::string sOut = CPageEscape::UrlComponent(sValue, pszKeep);
        for (const char c : sOut)
        {
            const bool bUnreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                     (c >= '0' && c <= '9') || std::strchr("-_.~%", c) != nullptr;
            Check(bUnreserved || (c != '\0' && std::strchr(pszKeep, c) != nullptr));
        }
        Check(sOut.size() <= 3 * sValue.size());
        // A URL carries the value's bytes, so the server reads the characters the page held.
        Check(PercentDecoded(sOut) == sValue);
        break;
    }
    }
    return 0;
}
