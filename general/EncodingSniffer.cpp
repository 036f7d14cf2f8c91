#include "general/EncodingSniffer.h"

#include <cstring>
#include <map>

namespace
{
bool IsHttpBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Blanks as the <meta> prescan counts them (no vertical tab, but a form feed).
bool IsPrescanBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsTokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool IsToken(std::string_view sv)
{
    if (sv.empty())
        return false;
    for (const char c : sv)
    {
        if (!IsTokenCharacter(c))
            return false;
    }
    return true;
}

bool IsQuotedStringText(std::string_view sv)
{
    for (const char c : sv)
    {
        const auto u = static_cast<unsigned char>(c);
        if (u != '\t' && (u < 0x20 || u == 0x7F))
            return false;
    }
    return true;
}

void TrimHttpBlanks(std::string_view& sv)
{
    while (!sv.empty() && IsHttpBlank(sv.front()))
        sv.remove_prefix(1);
    while (!sv.empty() && IsHttpBlank(sv.back()))
        sv.remove_suffix(1);
}

bool StartsWithNoCase(std::string_view sv, std::string_view svPrefix)
{
    if (sv.size() < svPrefix.size())
        return false;
    for (size_t i = 0; i < svPrefix.size(); ++i)
    {
        if (AsciiLower(sv[i]) != svPrefix[i])
            return false;
    }
    return true;
}

// An HTTP quoted string from the opening quote at nPos, its backslashes taken off; nPos ends after it.
std::string QuotedString(std::string_view sv, size_t& nPos)
{
    std::string sValue;
    ++nPos;
    while (nPos < sv.size())
    {
        const char c = sv[nPos++];
        if (c == '"')
            break;
        if (c == '\\')
        {
            if (nPos >= sv.size())
            {
                sValue += '\\';
                break;
            }
            sValue += sv[nPos++];
            continue;
        }
        sValue += c;
    }
    return sValue;
}

// One attribute of the prescan: names and values in lower case, values unquoted and never decoded.
struct CPrescanAttribute
{
    std::string m_sName;
    std::string m_sValue;
};

// Reads the attribute at nPos as the prescan's "get an attribute" does. False when the tag ends there
// (nPos then at its ">") or the bytes end first.
bool GetAttribute(std::string_view sv, size_t& nPos, CPrescanAttribute& attribute)
{
    while (nPos < sv.size() && (IsPrescanBlank(sv[nPos]) || sv[nPos] == '/'))
        ++nPos;
    if (nPos >= sv.size() || sv[nPos] == '>')
        return false;
    attribute.m_sName.clear();
    attribute.m_sValue.clear();
    for (;; ++nPos)
    {
        if (nPos >= sv.size())
            return false;
        const char c = sv[nPos];
        if (c == '=' && !attribute.m_sName.empty())
        {
            ++nPos;
            break;
        }
        if (IsPrescanBlank(c))
        {
            while (nPos < sv.size() && IsPrescanBlank(sv[nPos]))
                ++nPos;
            if (nPos >= sv.size())
                return false;
            if (sv[nPos] != '=')
                return true;
            ++nPos;
            break;
        }
        if (c == '/' || c == '>')
            return true;
        attribute.m_sName += AsciiLower(c);
    }
    while (nPos < sv.size() && IsPrescanBlank(sv[nPos]))
        ++nPos;
    if (nPos >= sv.size())
        return false;
    const char cFirst = sv[nPos];
    if (cFirst == '"' || cFirst == '\'')
    {
        for (++nPos; nPos < sv.size(); ++nPos)
        {
            if (sv[nPos] == cFirst)
            {
                ++nPos;
                return true;
            }
            attribute.m_sValue += sv[nPos];
        }
        return false;
    }
    if (cFirst == '>')
        return true;
    for (; nPos < sv.size(); ++nPos)
    {
        const char c = sv[nPos];
        if (IsPrescanBlank(c) || c == '>')
            return true;
        attribute.m_sValue += c;
    }
    return false;
}

// What a <meta> whose attributes start at nPos declares, as the prescan takes it: null when it declares
// nothing the prescan keeps. bEnded: the bytes ended inside the tag.
const CEncoding* MetaEncoding(std::string_view sv, size_t& nPos, bool& bEnded,
                              CEncodingSniffer::PFN_DECODE_REFERENCES pfnDecodeReferences)
{
    std::map<std::string, bool> mapSeen;
    bool bGotPragma = false;
    int nNeedPragma = -1; // -1 null, 0 false, 1 true
    const CEncoding* pCharSet = nullptr;
    bool bCharSetFailed = false;
    CPrescanAttribute attribute;
    while (GetAttribute(sv, nPos, attribute))
    {
        if (!mapSeen.emplace(attribute.m_sName, true).second)
            continue;
        // Browsers read a <meta> with their tokenizer, which reads the character references of its values.
        if (pfnDecodeReferences != nullptr)
            attribute.m_sValue = pfnDecodeReferences(attribute.m_sValue);
        for (char& c : attribute.m_sValue)
            c = AsciiLower(c);
        if (attribute.m_sName == "http-equiv")
        {
            if (attribute.m_sValue == "content-type")
                bGotPragma = true;
        }
        else if (attribute.m_sName == "content")
        {
            if (pCharSet == nullptr && !bCharSetFailed)
            {
                const CEncoding* pFound = CEncodingSniffer::FromMetaContent(attribute.m_sValue);
                if (pFound != nullptr)
                {
                    pCharSet = pFound;
                    nNeedPragma = 1;
                }
            }
        }
        else if (attribute.m_sName == "charset")
        {
            pCharSet = CEncodingLabels::Find(attribute.m_sValue);
            bCharSetFailed = pCharSet == nullptr;
            nNeedPragma = 0;
        }
    }
    if (nPos >= sv.size())
    {
        bEnded = true;
        return nullptr;
    }
    if (nNeedPragma == -1 || (nNeedPragma == 1 && !bGotPragma) || pCharSet == nullptr)
        return nullptr;
    // A page cannot declare a set whose ASCII is not ASCII: it was read up to here as ASCII.
    if (pCharSet == &CEncodingLabels::Utf16Le() || pCharSet == &CEncodingLabels::Utf16Be())
        return &CEncodingLabels::Utf8();
    if (std::strcmp(pCharSet->m_pszName, "x-user-defined") == 0)
        return &CEncodingLabels::Windows1252();
    return pCharSet;
}
} // namespace

const CEncoding* CEncodingSniffer::FromByteOrderMark(std::string_view svPage)
{
    if (svPage.size() >= 3 && svPage.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return &CEncodingLabels::Utf8();
    if (svPage.size() >= 2 && svPage.compare(0, 2, "\xFE\xFF") == 0)
        return &CEncodingLabels::Utf16Be();
    if (svPage.size() >= 2 && svPage.compare(0, 2, "\xFF\xFE") == 0)
        return &CEncodingLabels::Utf16Le();
    return nullptr;
}

bool CEncodingSniffer::ContentTypeCharSet(std::string_view sv, std::string& sValue)
{
    sValue.clear();
    const size_t nLineEnd = sv.find_first_of("\r\n");
    if (nLineEnd != std::string_view::npos)
        sv = sv.substr(0, nLineEnd);
    TrimHttpBlanks(sv);
    if (StartsWithNoCase(sv, "content-type:"))
    {
        sv.remove_prefix(13);
        TrimHttpBlanks(sv);
    }
    // type "/" subtype, each a token, or the header is no MIME type and has no parameters.
    const size_t nSlash = sv.find('/');
    if (nSlash == std::string_view::npos || !IsToken(sv.substr(0, nSlash)))
        return false;
    size_t nPos = sv.find(';', nSlash + 1);
    std::string_view svSubtype =
        sv.substr(nSlash + 1, nPos == std::string_view::npos ? sv.npos : nPos - nSlash - 1);
    TrimHttpBlanks(svSubtype);
    if (!IsToken(svSubtype))
        return false;
    bool bFound = false;
    while (nPos < sv.size())
    {
        ++nPos; // the ";"
        while (nPos < sv.size() && IsHttpBlank(sv[nPos]))
            ++nPos;
        std::string sName;
        while (nPos < sv.size() && sv[nPos] != ';' && sv[nPos] != '=')
            sName += AsciiLower(sv[nPos++]);
        if (nPos >= sv.size())
            break;
        if (sv[nPos] == ';')
            continue;
        ++nPos; // the "="
        if (nPos >= sv.size())
            break;
        std::string sParameter;
        if (sv[nPos] == '"')
        {
            sParameter = QuotedString(sv, nPos);
            while (nPos < sv.size() && sv[nPos] != ';')
                ++nPos;
        }
        else
        {
            const size_t nEnd = sv.find(';', nPos);
            std::string_view svValue =
                sv.substr(nPos, nEnd == std::string_view::npos ? sv.npos : nEnd - nPos);
            while (!svValue.empty() && IsHttpBlank(svValue.back()))
                svValue.remove_suffix(1);
            nPos = nEnd == std::string_view::npos ? sv.size() : nEnd;
            if (svValue.empty())
                continue;
            sParameter = svValue;
        }
        // The first charset parameter counts; a later one is a duplicate.
        if (!bFound && sName == "charset" && IsQuotedStringText(sParameter))
        {
            sValue = sParameter;
            bFound = true;
        }
    }
    return bFound;
}

const CEncoding* CEncodingSniffer::FromContentType(std::string_view svContentType)
{
    std::string sValue;
    if (!ContentTypeCharSet(svContentType, sValue))
        return nullptr;
    return CEncodingLabels::Find(sValue);
}

const CEncoding* CEncodingSniffer::FromMetaContent(std::string_view sv)
{
    size_t nPos = 0;
    for (;;)
    {
        size_t nFound = std::string_view::npos;
        for (size_t i = nPos; i + 7 <= sv.size(); ++i)
        {
            if (StartsWithNoCase(sv.substr(i), "charset"))
            {
                nFound = i;
                break;
            }
        }
        if (nFound == std::string_view::npos)
            return nullptr;
        nPos = nFound + 7;
        while (nPos < sv.size() && IsPrescanBlank(sv[nPos]))
            ++nPos;
        if (nPos >= sv.size())
            return nullptr;
        if (sv[nPos] == '=')
            break;
        // "charset" without its "=": the search goes on after it.
    }
    ++nPos;
    while (nPos < sv.size() && IsPrescanBlank(sv[nPos]))
        ++nPos;
    if (nPos >= sv.size())
        return nullptr;
    const char cFirst = sv[nPos];
    if (cFirst == '"' || cFirst == '\'')
    {
        const size_t nClose = sv.find(cFirst, nPos + 1);
        if (nClose == std::string_view::npos)
            return nullptr;
        return CEncodingLabels::Find(sv.substr(nPos + 1, nClose - nPos - 1));
    }
    size_t nEnd = nPos;
    while (nEnd < sv.size() && !IsPrescanBlank(sv[nEnd]) && sv[nEnd] != ';')
        ++nEnd;
    return CEncodingLabels::Find(sv.substr(nPos, nEnd - nPos));
}

const CEncoding* CEncodingSniffer::Prescan(std::string_view svPage, PFN_DECODE_REFERENCES pfnDecodeReferences)
{
    const std::string_view sv = svPage.substr(0, PRESCAN_LENGTH);
    size_t nPos = 0;
    while (nPos < sv.size())
    {
        if (sv[nPos] != '<')
        {
            ++nPos;
            continue;
        }
        const std::string_view svRest = sv.substr(nPos);
        if (svRest.compare(0, 4, "<!--") == 0)
        {
            // The comment ends at the first "-->", whose dashes may be those of its own "<!--".
            const size_t nEnd = sv.find("-->", nPos + 2);
            if (nEnd == std::string_view::npos)
                return nullptr;
            nPos = nEnd + 3;
            continue;
        }
        if (svRest.size() >= 6 && StartsWithNoCase(svRest, "<meta") &&
            (IsPrescanBlank(svRest[5]) || svRest[5] == '/'))
        {
            nPos += 6;
            bool bEnded = false;
            const CEncoding* pEncoding = MetaEncoding(sv, nPos, bEnded, pfnDecodeReferences);
            if (pEncoding != nullptr)
                return pEncoding;
            if (bEnded)
                return nullptr;
            ++nPos;
            continue;
        }
        const bool bEndTag = svRest.size() >= 3 && svRest[1] == '/' && IsAsciiLetter(svRest[2]);
        if ((svRest.size() >= 2 && IsAsciiLetter(svRest[1])) || bEndTag)
        {
            nPos += bEndTag ? 3 : 2;
            while (nPos < sv.size() && !IsPrescanBlank(sv[nPos]) && sv[nPos] != '>')
                ++nPos;
            CPrescanAttribute attribute;
            while (GetAttribute(sv, nPos, attribute))
            {
            }
            ++nPos;
            continue;
        }
        if (svRest.size() >= 2 && (svRest[1] == '!' || svRest[1] == '/' || svRest[1] == '?'))
        {
            const size_t nEnd = sv.find('>', nPos + 2);
            if (nEnd == std::string_view::npos)
                return nullptr;
            nPos = nEnd + 1;
            continue;
        }
        ++nPos;
    }
    return nullptr;
}

const CEncoding& CEncodingSniffer::Sniff(std::string_view svPage, std::string_view svContentType,
                                         Source& eSource, PFN_DECODE_REFERENCES pfnDecodeReferences)
{
    const CEncoding* pEncoding = FromByteOrderMark(svPage);
    eSource = Source::ByteOrderMark;
    if (pEncoding == nullptr)
    {
        pEncoding = FromContentType(svContentType);
        eSource = Source::ContentType;
    }
    if (pEncoding == nullptr)
    {
        pEncoding = Prescan(svPage, pfnDecodeReferences);
        eSource = Source::Meta;
    }
    if (pEncoding == nullptr)
    {
        pEncoding = &CEncodingLabels::Utf8();
        eSource = Source::Default;
    }
    return *pEncoding;
}

const char* CEncodingSniffer::SourceName(Source eSource)
{
    switch (eSource)
    {
    case Source::ByteOrderMark:
        return "byte-order mark";
    case Source::ContentType:
        return "Content-Type";
    case Source::Meta:
        return "meta";
    default:
        return "default";
    }
}
