#include "general/DirectoryText.h"

namespace
{
constexpr char32_t REPLACEMENT = 0xFFFD;
}

std::wstring WideFromUtf16(const char16_t* psz, size_t cch)
{
    std::wstring wstr;
    if (psz == nullptr)
        return wstr;
    wstr.reserve(cch);
    for (size_t i = 0; i < cch; ++i)
    {
        const char16_t c = psz[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < cch && psz[i + 1] >= 0xDC00 && psz[i + 1] <= 0xDFFF)
        {
            const char32_t cp =
                0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (psz[i + 1] - 0xDC00u);
            wstr += static_cast<wchar_t>(cp);
            ++i;
        }
        else if (c >= 0xD800 && c <= 0xDFFF)
            wstr += static_cast<wchar_t>(REPLACEMENT);
        else
            wstr += static_cast<wchar_t>(c);
    }
    return wstr;
}

std::wstring WideFromBstr(BSTR bstr)
{
    return WideFromUtf16(bstr, SysStringLen(bstr));
}

std::u16string Utf16FromWide(const std::wstring& wstr)
{
    std::u16string out;
    out.reserve(wstr.size());
    for (const wchar_t wc : wstr)
    {
        auto cp = static_cast<char32_t>(wc);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = REPLACEMENT;
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
        else
            out += static_cast<char16_t>(cp);
    }
    return out;
}

std::wstring WideFromAnsi(const std::string& str)
{
    const std::u16string w = AnsiToWide(str.data(), str.size());
    return WideFromUtf16(w.data(), w.size());
}

std::string AnsiFromWide(const std::wstring& wstr)
{
    const std::u16string w = Utf16FromWide(wstr);
    return BstrToAnsi(w.data(), w.size());
}

std::string EscapeLdapFilterValue(const std::string& strValue)
{
    std::string out;
    out.reserve(strValue.size());
    for (const char c : strValue)
    {
        switch (c)
        {
        case '*':
            out += "\\2a";
            break;
        case '(':
            out += "\\28";
            break;
        case ')':
            out += "\\29";
            break;
        case '\\':
            out += "\\5c";
            break;
        case '\0':
            out += "\\00";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string EscapeDNValue(const std::string& strValue)
{
    std::string out;
    out.reserve(strValue.size());
    for (size_t i = 0; i < strValue.size(); ++i)
    {
        const char c = strValue[i];
        const bool bEdgeBlank = c == ' ' && (i == 0 || i + 1 == strValue.size());
        if (c == '\0')
            out += "\\00";
        else if (c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' ||
                 c == '=' || c == '/' || bEdgeBlank || (c == '#' && i == 0))
        {
            out += '\\';
            out += c;
        }
        else
            out += c;
    }
    return out;
}
