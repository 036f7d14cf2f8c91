#include "forms/PageEscape.h"

#include "forms/HtmlText.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

namespace
{
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// Names browsers read as another, wider set than the one they name: a page labelled so shows what the
// wider set says of its bytes, and so must the escaper read it.
struct CBrowserName
{
    const char* m_pszLabel;
    const char* m_pszSet;
};

constexpr CBrowserName BROWSER_NAMES[] = {
    {"us-ascii", "windows-1252"},
    {"ascii", "windows-1252"},
    {"ansi_x3.4-1968", "windows-1252"},
    {"iso-8859-1", "windows-1252"},
    {"iso8859-1", "windows-1252"},
    {"iso_8859-1", "windows-1252"},
    {"latin1", "windows-1252"},
    {"l1", "windows-1252"},
    {"cp819", "windows-1252"},
    {"ibm819", "windows-1252"},
    {"csisolatin1", "windows-1252"},
    {"iso-ir-100", "windows-1252"},
    {"x-cp1252", "windows-1252"},
    {"cp1252", "windows-1252"},
    {"iso-8859-9", "windows-1254"},
    {"iso8859-9", "windows-1254"},
    {"iso_8859-9", "windows-1254"},
    {"latin5", "windows-1254"},
    {"l5", "windows-1254"},
    {"iso-8859-11", "windows-874"},
    {"tis-620", "windows-874"},
    {"euc-kr", "windows-949"},
    {"ks_c_5601-1987", "windows-949"},
    {"korean", "windows-949"},
    {"cseuckr", "windows-949"},
    {"gb2312", "gbk"},
    {"csgb2312", "gbk"},
    {"chinese", "gbk"},
    {"x-gbk", "gbk"},
    {"iso-ir-58", "gbk"},
    {"shift_jis", "windows-31j"},
    {"sjis", "windows-31j"},
    {"ms_kanji", "windows-31j"},
    {"x-sjis", "windows-31j"},
    {"csshiftjis", "windows-31j"},
    {"ms932", "windows-31j"},
};

std::string Lower(const std::string& sText)
{
    std::string sOut;
    sOut.reserve(sText.size());
    for (const char c : sText)
        sOut += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    return sOut;
}

// The set the browser reads a page of that name in, as ICU names it.
std::string BrowserSet(const std::string& sCharSet)
{
    const std::string sLower = Lower(sCharSet);
    for (const CBrowserName& name : BROWSER_NAMES)
    {
        if (sLower == name.m_pszLabel)
            return name.m_pszSet;
    }
    return sLower;
}

bool IsUtf8Name(const std::string& sLower)
{
    return sLower.empty() || sLower == "utf-8" || sLower == "utf8" || sLower == "unicode-1-1-utf-8";
}

// Every sequence that is no character becomes U+FFFD, as a browser shows it; ICU's own substitute for an
// unassigned one in some sets is U+001A.
void ReplaceWithFFFD(const void* /*pContext*/, UConverterToUnicodeArgs* pArgs, const char* /*pszUnits*/,
                     int32_t /*nUnits*/, UConverterCallbackReason eReason, UErrorCode* pStatus)
{
    if (eReason > UCNV_IRREGULAR)
        return;
    const UChar cReplacement = 0xFFFD;
    *pStatus = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(pArgs, &cReplacement, 1, 0, pStatus);
}

UConverter* OpenConverter(const std::string& sSet)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* pConverter = ucnv_open(sSet.c_str(), &status);
    if (U_SUCCESS(status))
        ucnv_setToUCallBack(pConverter, &ReplaceWithFFFD, nullptr, nullptr, nullptr, &status);
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

CPageEscape::CPageEscape(const std::string& sCharSet) : m_sCharSet(BrowserSet(sCharSet))
{
    m_bUtf8 = IsUtf8Name(m_sCharSet);
    if (!m_bUtf8)
        m_pConverter.reset(OpenConverter(m_sCharSet));
    if (m_pConverter != nullptr)
    {
        // A set whose ASCII bytes may stand for something else (a stateful one such as ISO-2022-JP, whose
        // escape sequences shift plain bytes into double-byte characters) is always read through ICU.
        std::string sAscii;
        for (int n = 1; n < 0x80; ++n)
            sAscii += static_cast<char>(n);
        const std::u32string sRead = Decode(sAscii);
        m_bAsciiCompatible = ucnv_getType(m_pConverter.get()) != UCNV_ISO_2022 &&
                             ucnv_getType(m_pConverter.get()) != UCNV_HZ &&
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
    if (sValue.empty())
        return sOut;
    std::vector<UChar> vecUnits(sValue.size() * 2 + 2);
    UErrorCode status = U_ZERO_ERROR;
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
        return sOut;
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
