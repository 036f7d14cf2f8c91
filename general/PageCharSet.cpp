#include "general/PageCharSet.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "general/EncodingLabels.h"
#include "platform/WinCodePage.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace
{
constexpr size_t UTF8_BUFFER_START = 256;

// The Windows code page of each character-set name a page may declare.
const std::pair<const char*, DWORD> CHARSET_CODE_PAGES[] = {
    {"iso-8859-1", 28591},  {"iso-8859-2", 28592},        {"iso-8859-9", 1254},
    {"windows-1250", 1250}, {"windows-1254", 1254},       {"iso-8859-7", 28597},
    {"windows-1253", 1253}, {"x-mac-greek", 10006},       {"windows-1255", 1255},
    {"iso-8859-8", 1255},   {"iso-8859-8-i", 1255},       {"x-mac-hebrew", 10005},
    {"iso-8859-6", 28596},  {"windows-1256", 1256},       {"x-mac-arabic", 10004},
    {"shift_jis", 932},     {"iso-2022-jp", 50220},       {"x-mac-japan", 10001},
    {"big5", 950},          {"x-mac-chinesetrad", 10002}, {"gb2312", 936},
    {"hz-gb-2312", 52936},  {"x-mac-chineseimp", 10008},  {"windows-1251", 1251},
};

// The converters of one page's character set: the writer gives the bytes (the table's code page where the
// table names one), the reader reads them back as the browser does, by the page's own name where ICU knows
// it. Either may be the same converter.
struct CPageConverters
{
    std::unique_ptr<CCharSetConverter> m_spWriter;
    std::unique_ptr<CCharSetConverter> m_spReader;

    CCharSetConverter& Reader() const { return m_spReader ? *m_spReader : *m_spWriter; }
};

void AppendCharacterReference(char32_t cCodePoint, std::string& strOut)
{
    strOut += "&#";
    strOut += std::to_string(static_cast<unsigned long>(cCodePoint));
    strOut += ';';
}

// The code point at nPos and the number of UTF-16 units it takes; a lone surrogate stands for U+FFFD.
char32_t CodePointAt(const std::u16string& strText, size_t nPos, size_t& nUnits)
{
    const char16_t c = strText[nPos];
    nUnits = 1;
    if (c >= 0xD800 && c <= 0xDBFF && nPos + 1 < strText.size() && strText[nPos + 1] >= 0xDC00 &&
        strText[nPos + 1] <= 0xDFFF)
    {
        nUnits = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (strText[nPos + 1] - 0xDC00);
    }
    return (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
}

// Whether a character's bytes keep clear of ASCII: an ASCII character is its own byte, any other is made of
// bytes of 0x80 and above only. Double-byte sets put 0x5C (a backslash) or quotes in second bytes, and
// shifting sets write ASCII bytes for other characters; such bytes would be taken for the ASCII character
// by whatever escapes the text for its place in the page.
bool KeepsClearOfAscii(char32_t cCodePoint, const std::string& strBytes)
{
    if (cCodePoint < 0x80)
        return strBytes.size() == 1 && static_cast<unsigned char>(strBytes[0]) == cCodePoint;
    for (const char c : strBytes)
    {
        if (static_cast<unsigned char>(c) < 0x80)
            return false;
    }
    return !strBytes.empty();
}

// The text in the writer's bytes, each character the page would not read back as itself, or whose bytes
// would pass for ASCII, written as a character reference instead. A character is checked alone; runs of
// good ones are converted together.
bool ConvertWithReferences(const std::u16string& strText, const CPageConverters& converters,
                           std::string& strOut)
{
    CCharSetConverter& writer = *converters.m_spWriter;
    CCharSetConverter& reader = converters.Reader();
    std::string strBytes;
    std::u16string strBack;
    size_t nRunStart = 0;
    auto FlushRun = [&](size_t nEnd)
    {
        if (nEnd == nRunStart)
            return true;
        if (!writer.Encode(std::u16string_view(strText).substr(nRunStart, nEnd - nRunStart), strBytes))
            return false;
        strOut += strBytes;
        return true;
    };
    for (size_t nPos = 0; nPos < strText.size();)
    {
        size_t nUnits = 1;
        const char32_t cCodePoint = CodePointAt(strText, nPos, nUnits);
        const std::u16string_view svChar = std::u16string_view(strText).substr(nPos, nUnits);
        const bool bHeld = cCodePoint != 0xFFFD || strText[nPos] == 0xFFFD;
        if (bHeld && writer.Encode(svChar, strBytes) && KeepsClearOfAscii(cCodePoint, strBytes) &&
            reader.Decode(strBytes, strBack) && strBack == svChar)
        {
            nPos += nUnits;
            continue;
        }
        if (!FlushRun(nPos))
            return false;
        AppendCharacterReference(cCodePoint, strOut);
        nPos += nUnits;
        nRunStart = nPos;
    }
    return FlushRun(strText.size());
}
} // namespace

void CPageCharSet::Init()
{
    for (const auto& [pszName, dwCodePage] : CHARSET_CODE_PAGES)
        m_mapCharSets.emplace(pszName, dwCodePage);
}

bool CPageCharSet::DetectCharSet(const char* pszText, DWORD dwLength, ci_string& csCharSet)
{
    csCharSet.clear();
    if (pszText == nullptr)
        return false;
    const ci_string csText(pszText, dwLength);
    const size_t nStart = csText.find("charset=");
    if (nStart != ci_string::npos)
    {
        const size_t nFrom = nStart + 8;
        const size_t nEnd = csText.find('\r', nFrom);
        csCharSet = csText.substr(nFrom, nEnd == ci_string::npos ? ci_string::npos : nEnd - nFrom);
    }
    return !csCharSet.empty();
}

bool CPageCharSet::GetCodePage(const ci_string& csCharSet, UINT& uCodePage) const
{
    auto it = m_mapCharSets.find(csCharSet);
    if (it == m_mapCharSets.end())
        return false;
    uCodePage = it->second;
    return true;
}

namespace
{
// The converters of a page's set, or none for a set that is not known. "utf-16" takes the thread's ANSI
// code page and reads it back in the same.
bool OpenPageConverters(const CPageCharSet& charSet, const ci_string& csCharSet, CPageConverters& converters)
{
    const std::string_view svName(csCharSet.data(), csCharSet.size());
    UINT uCodePage = 0;
    if (csCharSet == "utf-16")
    {
        converters.m_spWriter = CCharSetConverter::ForCodePage(CP_THREAD_ACP);
        return converters.m_spWriter != nullptr;
    }
    // A label browsers know is written and read back in the converter that reads it as they do.
    if (const CEncoding* pEncoding = CEncodingLabels::Find(svName); pEncoding != nullptr)
    {
        if (*pEncoding->m_pszIcuName == '\0')
            return false;
        converters.m_spWriter = CCharSetConverter::ForName(pEncoding->m_pszIcuName);
        return converters.m_spWriter != nullptr;
    }
    converters.m_spReader = CCharSetConverter::ForName(svName);
    if (charSet.GetCodePage(csCharSet, uCodePage))
        converters.m_spWriter = CCharSetConverter::ForCodePage(uCodePage);
    if (!converters.m_spWriter)
        converters.m_spWriter = std::move(converters.m_spReader);
    return converters.m_spWriter != nullptr;
}

ci_string EscapedUtf8(const std::u16string& strText)
{
    CGrowableBuffer buffer(UTF8_BUFFER_START);
    AppendUTF8HtmlEscaped(buffer, strText.c_str());
    const std::string strBytes = buffer.ToString();
    return ci_string(strBytes.c_str());
}
} // namespace

bool CPageCharSet::IsKnown(const ci_string& csCharSet) const
{
    CPageConverters converters;
    return csCharSet == "utf-8" || OpenPageConverters(*this, csCharSet, converters);
}

bool CPageCharSet::TranslateString(const std::u16string& strText, const ci_string& csCharSet,
                                   ci_string& csOut) const
{
    if (csCharSet == "utf-8")
    {
        csOut = EscapedUtf8(strText);
        return true;
    }
    CPageConverters converters;
    if (!OpenPageConverters(*this, csCharSet, converters))
        return false;
    // Any other name of UTF-8 ("utf8", "UTF_8") is written as "utf-8" is.
    if (std::strcmp(converters.m_spWriter->GetName(), "UTF-8") == 0)
    {
        csOut = EscapedUtf8(strText);
        return true;
    }
    std::string strConverted;
    if (!ConvertWithReferences(strText, converters, strConverted))
    {
        TraceLog("[CPageCharSet::TranslateString] CharSet %s (%s) can not be converted", csCharSet.c_str(),
                 converters.m_spWriter->GetName());
        return false;
    }
    csOut.assign(strConverted.data(), strConverted.size());
    return true;
}
