#include "platform/Com.h"

#include <climits>
#include <cstdlib>

namespace
{
// Block layout: a 32-bit byte length, the characters, a terminating NUL character.
constexpr size_t BSTR_HEADER = sizeof(uint32_t);
constexpr UINT BSTR_MAX_CHARS = 0x3FFFFFF0u;

uint32_t* HeaderOf(BSTR bstr)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - BSTR_HEADER);
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000)
    {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80)
        out.push_back(static_cast<char>(cp));
    else if (cp < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
} // namespace

BSTR SysAllocStringLen(LPCOLESTR pch, UINT cch)
{
    if (cch > BSTR_MAX_CHARS)
        return nullptr;
    const size_t cb = BSTR_HEADER + (static_cast<size_t>(cch) + 1) * sizeof(OLECHAR);
    void* pBlock = std::malloc(cb);
    if (pBlock == nullptr)
        return nullptr;
    *static_cast<uint32_t*>(pBlock) = static_cast<uint32_t>(cch * sizeof(OLECHAR));
    BSTR bstr = reinterpret_cast<BSTR>(static_cast<char*>(pBlock) + BSTR_HEADER);
    if (pch != nullptr)
        std::memcpy(bstr, pch, cch * sizeof(OLECHAR));
    else
        std::memset(bstr, 0, cch * sizeof(OLECHAR));
    bstr[cch] = 0;
    return bstr;
}

BSTR SysAllocString(LPCOLESTR psz)
{
    if (psz == nullptr)
        return nullptr;
    size_t n = 0;
    while (psz[n] != 0)
        ++n;
    if (n > BSTR_MAX_CHARS)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(n));
}

void SysFreeString(BSTR bstr)
{
    if (bstr != nullptr)
        std::free(HeaderOf(bstr));
}

UINT SysStringLen(BSTR bstr)
{
    return bstr == nullptr ? 0 : static_cast<UINT>(*HeaderOf(bstr) / sizeof(OLECHAR));
}

std::u16string AnsiToWide(const char* psz, size_t cb)
{
    std::u16string out;
    if (psz == nullptr)
        return out;
    out.reserve(cb);
    const auto* p = reinterpret_cast<const unsigned char*>(psz);
    size_t i = 0;
    while (i < cb)
    {
        const unsigned char c = p[i];
        char32_t cp = 0;
        size_t nMore = 0;
        char32_t cpMin = 0;
        if (c < 0x80)
        {
            out.push_back(c);
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
        {
            cp = c & 0x1F;
            nMore = 1;
            cpMin = 0x80;
        }
        else if ((c & 0xF0) == 0xE0)
        {
            cp = c & 0x0F;
            nMore = 2;
            cpMin = 0x800;
        }
        else if ((c & 0xF8) == 0xF0)
        {
            cp = c & 0x07;
            nMore = 3;
            cpMin = 0x10000;
        }
        else
        {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= nMore && i + j < cb && (p[i + j] & 0xC0) == 0x80; ++j)
            cp = (cp << 6) | (p[i + j] & 0x3F);
        if (j <= nMore || cp < cpMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        {
            out.push_back(0xFFFD);
            i += j; // skip the lead byte and the continuation bytes that were read
            continue;
        }
        AppendUtf16(out, cp);
        i += j;
    }
    return out;
}

BSTR AnsiToBstr(const char* psz, size_t cb)
{
    if (psz == nullptr)
        return nullptr;
    const std::u16string w = AnsiToWide(psz, cb);
    if (w.size() > BSTR_MAX_CHARS)
        return nullptr;
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string BstrToAnsi(const OLECHAR* pwsz, size_t cch)
{
    std::string out;
    if (pwsz == nullptr)
        return out;
    out.reserve(cch);
    for (size_t i = 0; i < cch; ++i)
    {
        const char16_t c = pwsz[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < cch && pwsz[i + 1] >= 0xDC00 && pwsz[i + 1] <= 0xDFFF)
        {
            const char32_t cp =
                0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (pwsz[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        }
        else if (c >= 0xD800 && c <= 0xDFFF)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, c);
    }
    return out;
}

int _wtoi(const OLECHAR* pwsz)
{
    if (pwsz == nullptr)
        return 0;
    const OLECHAR* p = pwsz;
    while (*p == u' ' || (*p >= u'\t' && *p <= u'\r'))
        ++p;
    bool bNegative = false;
    if (*p == u'+' || *p == u'-')
    {
        bNegative = *p == u'-';
        ++p;
    }
    long long llValue = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p)
    {
        llValue = llValue * 10 + (*p - u'0');
        if (llValue > static_cast<long long>(INT_MAX) + 1)
            llValue = static_cast<long long>(INT_MAX) + 1; // saturate; keep reading the digits
    }
    if (bNegative)
        return static_cast<int>(-llValue);
    return llValue > INT_MAX ? INT_MAX : static_cast<int>(llValue);
}
