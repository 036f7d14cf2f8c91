#include "forms/PageEscape.h"

#include "forms/HtmlText.h"
#include "general/EncodingLabels.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

namespace
{
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

std::string Lower(const std::string& sText)
{
    std::string sOut;
    sOut.reserve(sText.size());
    for (const char c : sText)
        sOut += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    return sOut;
}

// The set the browser reads a page of that name in, as ICU names it: a label browsers know gives the
// converter that reads its encoding nearest to them ("iso-8859-1" and "us-ascii" windows-1252, "gb2312"
// GBK), with no converter for an encoding ICU lacks; any other name is ICU's own.
std::string BrowserSet(const std::string& sCharSet, bool& bLabel, bool& bConverter)
{
    const CEncoding* pEncoding = CEncodingLabels::Find(sCharSet);
    bLabel = pEncoding != nullptr;
    bConverter = true;
    if (pEncoding == nullptr)
        return Lower(sCharSet);
    if (pEncoding == &CEncodingLabels::Utf8())
        return "utf-8";
    bConverter = *pEncoding->m_pszIcuName != '\0';
    return bConverter ? pEncoding->m_pszIcuName : pEncoding->m_pszName;
}

bool IsUtf8Name(const std::string& sLower)
{
    return sLower.empty() || sLower == "utf-8" || sLower == "utf8" || sLower == "unicode-1-1-utf-8";
}

// Every sequence that is no character becomes U+FFFD, as a browser shows it; ICU's own substitute for an
// unassigned one in some sets is U+001A.
// Marks the Shift_JIS converter for ReplaceWithFFFD: browsers read its byte 0x80 alone as U+0080, where
// ICU has no character.
const char s_cShiftJis = 0;

void ReplaceWithFFFD(const void* pContext, UConverterToUnicodeArgs* pArgs, const char* pszUnits,
                     int32_t nUnits, UConverterCallbackReason eReason, UErrorCode* pStatus)
{
    if (eReason > UCNV_IRREGULAR)
        return;
    *pStatus = U_ZERO_ERROR;
    if (pContext == &s_cShiftJis && nUnits == 1 && static_cast<unsigned char>(pszUnits[0]) == 0x80)
    {
        const UChar c = 0x80;
        ucnv_cbToUWriteUChars(pArgs, &c, 1, 0, pStatus);
        return;
    }
    // A browser reads a lead byte whose pair is no character as U+FFFD and reads an ASCII byte after it
    // again, as itself; ICU takes the pair as one (Shift_JIS 85 5C, EUC-KR 83 5C). Kept together, a
    // backslash or a quote would vanish into the error and the next character would be read otherwise.
    std::u16string sOut(1, u'\uFFFD');
    bool bAscii = false;
    for (int32_t i = 1; i < nUnits; ++i)
    {
        const auto c = static_cast<unsigned char>(pszUnits[i]);
        if (c < 0x80)
        {
            sOut += static_cast<char16_t>(c);
            bAscii = true;
        }
        else if (bAscii)
            sOut += u'\uFFFD';
    }
    ucnv_cbToUWriteUChars(pArgs, reinterpret_cast<const UChar*>(sOut.data()),
                          static_cast<int32_t>(sOut.size()), 0, pStatus);
}

UConverter* OpenConverter(const std::string& sSet)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* pConverter = ucnv_open(sSet.c_str(), &status);
    if (U_SUCCESS(status))
    {
        const char* pszName = ucnv_getName(pConverter, &status);
        const bool bShiftJis = U_SUCCESS(status) && std::strcmp(pszName, "ibm-943_P15A-2003") == 0;
        ucnv_setToUCallBack(pConverter, &ReplaceWithFFFD, bShiftJis ? &s_cShiftJis : nullptr, nullptr,
                            nullptr, &status);
    }
    // A character the set cannot hold is an error, never a stand-in that would read back as U+FFFD.
    if (U_SUCCESS(status))
        ucnv_setFromUCallBack(pConverter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status))
    {
        if (pConverter != nullptr)
            ucnv_close(pConverter);
        return nullptr;
    }
    return pConverter;
}

// UTF-8 as browsers decode it: each maximal part of a sequence that cannot become a character is one
// U+FFFD, and the byte that broke a sequence starts the next one.
std::u32string DecodeUtf8(std::string_view sValue)
{
    std::u32string sOut;
    sOut.reserve(sValue.size());
    char32_t cPoint = 0;
    int nNeeded = 0;
    int nSeen = 0;
    unsigned char cLower = 0x80;
    unsigned char cUpper = 0xBF;
    for (size_t i = 0; i < sValue.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(sValue[i]);
        if (nNeeded == 0)
        {
            if (c < 0x80)
                sOut += c;
            else if (c >= 0xC2 && c <= 0xDF)
            {
                nNeeded = 1;
                cPoint = c & 0x1F;
            }
            else if (c >= 0xE0 && c <= 0xEF)
            {
                cLower = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
                cUpper = c == 0xED ? 0x9F : 0xBF; // no surrogates
                nNeeded = 2;
                cPoint = c & 0x0F;
            }
            else if (c >= 0xF0 && c <= 0xF4)
            {
                cLower = c == 0xF0 ? 0x90 : 0x80;
                cUpper = c == 0xF4 ? 0x8F : 0xBF;
                nNeeded = 3;
                cPoint = c & 0x07;
            }
            else
                sOut += REPLACEMENT_CHARACTER;
            continue;
        }
        if (c < cLower || c > cUpper)
        {
            sOut += REPLACEMENT_CHARACTER;
            nNeeded = nSeen = 0;
            cLower = 0x80;
            cUpper = 0xBF;
            --i;
            continue;
        }
        cLower = 0x80;
        cUpper = 0xBF;
        cPoint = (cPoint << 6) | (c & 0x3F);
        if (++nSeen == nNeeded)
        {
            sOut += cPoint;
            nNeeded = nSeen = 0;
        }
    }
    if (nNeeded != 0)
        sOut += REPLACEMENT_CHARACTER;
    return sOut;
}

void AppendFormatted(std::string& sOut, const char* pszFormat, unsigned nValue)
{
    char szBuffer[16];
    const int nLength = std::snprintf(szBuffer, sizeof(szBuffer), pszFormat, nValue);
    sOut.append(szBuffer, static_cast<size_t>(nLength));
}

void AppendScriptCharacter(std::string& sOut, char32_t c, bool bInUrl);
void AppendHtmlCharacter(std::string& sOut, char32_t c, bool bAttribute);

// The characters of a text escaped for a context: code points, or bytes of plain ASCII.
template <typename Text> std::string EscapeEach(CPageEscape::Context eContext, const Text& sValue)
{
    using Context = CPageEscape::Context;
    std::string sOut;
    sOut.reserve(sValue.size() + sValue.size() / 4 + 8);
    for (const auto cUnit : sValue)
    {
        const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<decltype(cUnit)>>(cUnit));
        switch (eContext)
        {
        case Context::ScriptString:
            AppendScriptCharacter(sOut, c, false);
            break;
        case Context::JavaScriptUrlString:
            AppendScriptCharacter(sOut, c, true);
            break;
        case Context::HtmlAttribute:
            AppendHtmlCharacter(sOut, c, true);
            break;
        default: // HTML text; a URL component never comes here
            AppendHtmlCharacter(sOut, c, false);
            break;
        }
    }
    return sOut;
}

void AppendScriptCharacter(std::string& sOut, char32_t c, bool bInUrl)
{
    switch (c)
    {
    case '\\':
        sOut += "\\\\";
        return;
    case '\r':
        sOut += "\\r";
        return;
    case '\n':
        sOut += "\\n";
        return;
    case '\t':
        sOut += "\\t";
        return;
    // Quotes end the literal or the attribute around it, angle brackets end the script block, "&" starts a
    // character reference in a handler, "=" and "`" end unquoted attributes and template literals.
    case '"':
    case '\'':
    case '<':
    case '>':
    case '&':
    case '=':
    case '`':
        AppendFormatted(sOut, "\\x%02X", static_cast<unsigned>(c));
        return;
    // A javascript: URL is percent-decoded before it runs.
    case '%':
        if (bInUrl)
        {
            sOut += "\\x25";
            return;
        }
        break;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F)
        AppendFormatted(sOut, "\\x%02X", static_cast<unsigned>(c));
    else if (c < 0x80)
        sOut += static_cast<char>(c);
    else if (c < 0x10000)
        AppendFormatted(sOut, "\\u%04X", static_cast<unsigned>(c));
    else
    {
        const char32_t cOffset = c - 0x10000;
        AppendFormatted(sOut, "\\u%04X", static_cast<unsigned>(0xD800 + (cOffset >> 10)));
        AppendFormatted(sOut, "\\u%04X", static_cast<unsigned>(0xDC00 + (cOffset & 0x3FF)));
    }
}

void AppendHtmlCharacter(std::string& sOut, char32_t c, bool bAttribute)
{
    switch (c)
    {
    case '&':
        sOut += "&amp;";
        return;
    case '<':
        sOut += "&lt;";
        return;
    case '>':
        sOut += "&gt;";
        return;
    case '"':
        sOut += bAttribute ? "&quot;" : "\"";
        return;
    case '\'':
        sOut += bAttribute ? "&#39;" : "'";
        return;
    default:
        break;
    }
    if (c >= 0x20 && c < 0x7F)
        sOut += static_cast<char>(c);
    // HTML can carry neither NUL nor, as a reference, most C1 controls (a browser reads &#128; as the
    // windows-1252 character of that byte): those become U+FFFD rather than another character.
    else if (!CHtmlText::HasReference(c))
        sOut += "&#65533;";
    else
        AppendFormatted(sOut, "&#%u;", static_cast<unsigned>(c));
}
} // namespace

void CPageEscape::CloseConverter::operator()(UConverter* pConverter) const
{
    ucnv_close(pConverter);
}

CPageEscape::CPageEscape(const std::string& sCharSet)
{
    bool bLabel = false;
    bool bConverter = true;
    m_sCharSet = BrowserSet(sCharSet, bLabel, bConverter);
    m_bUtf8 = bLabel ? m_sCharSet == "utf-8" : IsUtf8Name(m_sCharSet);
    if (!m_bUtf8 && bConverter)
        m_pConverter.reset(OpenConverter(m_sCharSet));
    m_bAsciiCompatible = m_bUtf8;
    if (m_pConverter != nullptr)
    {
        UErrorCode status = U_ZERO_ERROR;
        const char* pszName = ucnv_getName(m_pConverter.get(), &status);
        m_bBig5 = U_SUCCESS(status) && pszName != nullptr && std::strcmp(pszName, "ibm-1375_P100-2008") == 0;
        // A set is edited only when every ASCII byte is that character wherever it stands: never in a
        // stateful set (ISO-2022-*, HZ, UTF-7, EBCDIC with shifts), whose escape sequences turn plain bytes
        // into other characters, nor in one of several bytes per character (UTF-16, UTF-32).
        // IBM's tables swap a few controls (0x1A, 0x1C, 0x7F), which no edit writes and the escaper escapes
        // whatever they read as; every other ASCII byte must be itself.
        std::string sAscii = "\t\n\r";
        for (int n = 0x20; n < 0x7F; ++n)
            sAscii += static_cast<char>(n);
        const std::u32string sRead = Decode(sAscii);
        const UConverterType eType = ucnv_getType(m_pConverter.get());
        m_bStateless = eType == UCNV_SBCS || eType == UCNV_MBCS || eType == UCNV_LATIN_1 ||
                       eType == UCNV_UTF8 || eType == UCNV_US_ASCII;
        m_bAsciiCompatible = m_bStateless && ucnv_getMinCharSize(m_pConverter.get()) == 1 &&
                             sRead == std::u32string(sAscii.begin(), sAscii.end());
    }
}

CPageEscape::~CPageEscape() = default;

const CPageEscape& CPageEscape::Utf8()
{
    static const CPageEscape s_utf8("utf-8");
    return s_utf8;
}

std::u32string CPageEscape::Decode(std::string_view sValue) const
{
    if (m_bUtf8)
        return DecodeUtf8(sValue);
    std::u32string sOut;
    sOut.reserve(sValue.size());
    if (m_pConverter == nullptr)
    {
        // A set nobody here can read: its ASCII is still ASCII in every set a page may be in, and any other
        // byte is a character of unknown meaning. U+FFFD says so; reading it as some Latin-1 letter would
        // show a name the browser does not show.
        for (const char c : sValue)
            sOut += static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : REPLACEMENT_CHARACTER;
        return sOut;
    }
    if (!m_bBig5)
    {
        DecodeRun(sValue, sOut);
        return sOut;
    }
    // Big5 is read pair by pair as browsers read it, where ICU reads otherwise: browsers know no character
    // with a lead byte below 0x87 nor any private-use one (ICU has private-use characters for both), and a
    // lead byte takes the byte after it along whenever that byte is not ASCII, even when it is no trail
    // byte (ICU leaves such a byte to start the next pair). A pair that is no character is U+FFFD, and an
    // ASCII byte after the lead is read again as itself.
    size_t nRun = 0;
    for (size_t i = 0; i < sValue.size();)
    {
        const auto c = static_cast<unsigned char>(sValue[i]);
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        DecodeRun(sValue.substr(nRun, i - nRun), sOut);
        const auto t = i + 1 < sValue.size() ? static_cast<unsigned char>(sValue[i + 1]) : 0;
        const bool bTrail = (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
        char32_t cRead = REPLACEMENT_CHARACTER;
        if (c >= 0x87 && c != 0xFF && bTrail)
        {
            std::u32string sPair;
            DecodeRun(sValue.substr(i, 2), sPair);
            const bool bPrivate = !sPair.empty() && ((sPair[0] >= 0xE000 && sPair[0] <= 0xF8FF) ||
                                                     (sPair[0] >= 0xF0000 && sPair[0] <= 0x10FFFF));
            if (!sPair.empty() && !bPrivate && sPair.find(REPLACEMENT_CHARACTER) == std::u32string::npos)
            {
                sOut += sPair;
                i += 2;
                nRun = i;
                continue;
            }
        }
        sOut += cRead;
        ++i;
        if (c != 0x80 && c != 0xFF && i < sValue.size() && t >= 0x80)
            ++i;
        nRun = i;
    }
    if (nRun < sValue.size())
        DecodeRun(sValue.substr(nRun), sOut);
    return sOut;
}

void CPageEscape::DecodeRun(std::string_view sValue, std::u32string& sOut) const
{
    if (!m_bAsciiCompatible)
    {
        DecodeIcuRun(sValue, sOut);
        return;
    }
    // IBM's tables read the control bytes 0x1A, 0x1C and 0x7F as other controls; browsers read every ASCII
    // byte as itself, and in the sets edited here none of these is ever the second byte of a pair.
    for (size_t nPos = 0;;)
    {
        const size_t nControl = sValue.find_first_of("\x1A\x1C\x7F", nPos);
        if (nControl == std::string_view::npos)
        {
            DecodeIcuRun(sValue.substr(nPos), sOut);
            return;
        }
        DecodeIcuRun(sValue.substr(nPos, nControl - nPos), sOut);
        sOut += static_cast<char32_t>(static_cast<unsigned char>(sValue[nControl]));
        nPos = nControl + 1;
    }
}

void CPageEscape::DecodeIcuRun(std::string_view sValue, std::u32string& sOut) const
{
    if (sValue.empty())
        return;
    std::vector<UChar> vecUnits(sValue.size() * 2 + 2);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(m_pConverter.get());
    int32_t nUnits = ucnv_toUChars(m_pConverter.get(), vecUnits.data(), static_cast<int32_t>(vecUnits.size()),
                                   sValue.data(), static_cast<int32_t>(sValue.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR)
    {
        vecUnits.resize(static_cast<size_t>(nUnits) + 1);
        status = U_ZERO_ERROR;
        nUnits = ucnv_toUChars(m_pConverter.get(), vecUnits.data(), static_cast<int32_t>(vecUnits.size()),
                               sValue.data(), static_cast<int32_t>(sValue.size()), &status);
    }
    if (U_FAILURE(status))
    {
        for (const char c : sValue)
            sOut += static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c) : REPLACEMENT_CHARACTER;
        return;
    }
    for (int32_t i = 0; i < nUnits; ++i)
    {
        const char32_t cUnit = vecUnits[static_cast<size_t>(i)];
        if (cUnit >= 0xD800 && cUnit <= 0xDBFF && i + 1 < nUnits &&
            vecUnits[static_cast<size_t>(i) + 1] >= 0xDC00 && vecUnits[static_cast<size_t>(i) + 1] <= 0xDFFF)
        {
            sOut += 0x10000 + ((cUnit - 0xD800) << 10) + (vecUnits[static_cast<size_t>(i) + 1] - 0xDC00u);
            ++i;
        }
        else if (cUnit >= 0xD800 && cUnit <= 0xDFFF)
            sOut += REPLACEMENT_CHARACTER;
        else
            sOut += cUnit;
    }
}

std::string CPageEscape::Encode(const std::u32string& sValue) const
{
    std::string sOut;
    sOut.reserve(sValue.size());
    std::u32string sBack;
    for (const char32_t c : sValue)
    {
        if (c < 0x80)
        {
            sOut += static_cast<char>(c);
            continue;
        }
        if (m_bUtf8)
        {
            CHtmlText::AppendUtf8(sOut, c);
            continue;
        }
        // A character goes in as its bytes only when they read back as that character alone: whoever takes
        // the bytes reads them in this set again.
        bool bHeld = false;
        if (m_pConverter != nullptr && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF))
        {
            UChar aUnits[2];
            int32_t nUnits = 1;
            if (c >= 0x10000)
            {
                aUnits[0] = static_cast<UChar>(0xD800 + ((c - 0x10000) >> 10));
                aUnits[1] = static_cast<UChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
                nUnits = 2;
            }
            else
                aUnits[0] = static_cast<UChar>(c);
            char szBytes[16];
            UErrorCode status = U_ZERO_ERROR;
            ucnv_resetFromUnicode(m_pConverter.get());
            const int32_t nBytes =
                ucnv_fromUChars(m_pConverter.get(), szBytes, sizeof(szBytes), aUnits, nUnits, &status);
            if (U_SUCCESS(status) && nBytes > 0 && nBytes < static_cast<int32_t>(sizeof(szBytes)))
            {
                const std::string_view svBytes(szBytes, static_cast<size_t>(nBytes));
                sBack.clear();
                DecodeRun(svBytes, sBack);
                bHeld = sBack.size() == 1 && sBack[0] == c;
                if (bHeld)
                    sOut.append(svBytes);
            }
        }
        if (!bHeld)
            AppendFormatted(sOut, "&#%u;", static_cast<unsigned>(c));
    }
    return sOut;
}

std::string CPageEscape::Escape(Context eContext, const std::u32string& sValue) const
{
    if (eContext == Context::UrlComponent)
    {
        // Characters already read go into a URL as the UTF-8 bytes a browser sends for them in a path.
        std::string sUtf8;
        for (const char32_t c : sValue)
            CHtmlText::AppendUtf8(sUtf8, c);
        return UrlComponent(sUtf8);
    }
    return EscapeEach(eContext, sValue);
}

bool CPageEscape::IsPlainAscii(std::string_view sValue) const
{
    if (!m_bAsciiCompatible)
        return false;
    for (const char c : sValue)
    {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::string CPageEscape::Escape(Context eContext, std::string_view sValue) const
{
    if (eContext == Context::UrlComponent)
        return UrlComponent(sValue);
    // Most values are plain ASCII, whose bytes are their characters in every set of that kind.
    if (IsPlainAscii(sValue))
        return EscapeEach(eContext, sValue);
    return Escape(eContext, Decode(sValue));
}

std::string CPageEscape::EscapeMarkup(Context eContext, std::string_view sMarkup) const
{
    if (eContext == Context::UrlComponent)
        return UrlComponent(CHtmlText::DecodeCharacterReferences(std::string(sMarkup), *this));
    if (sMarkup.find('&') == std::string_view::npos)
        return Escape(eContext, sMarkup);
    return Escape(eContext, CHtmlText::DecodeCharacterReferences(Decode(sMarkup)));
}

std::string CPageEscape::UrlComponent(std::string_view sValue, const char* pszKeep)
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
            AppendFormatted(sOut, "%%%02X", c);
    }
    return sOut;
}
