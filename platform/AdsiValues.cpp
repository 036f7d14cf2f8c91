#include "platform/AdsiLdap.h"
#include "platform/ComSupport.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace adsi
{
namespace
{
class CDNWithString final : public IADsDNWithString
{
public:
    CDNWithString(const std::u16string& sText, const std::u16string& sDN) : m_sText(sText), m_sDN(sDN) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IUnknown::iid || riid == IADsDNWithString::iid)
        {
            *ppv = static_cast<IADsDNWithString*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override
    {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT get_StringValue(BSTR* pbstr) override { return Out(m_sText, pbstr); }
    HRESULT put_StringValue(BSTR bstr) override
    {
        m_sText.assign(bstr == nullptr ? u"" : bstr, SysStringLen(bstr));
        return S_OK;
    }
    HRESULT get_DNString(BSTR* pbstr) override { return Out(m_sDN, pbstr); }
    HRESULT put_DNString(BSTR bstr) override
    {
        m_sDN.assign(bstr == nullptr ? u"" : bstr, SysStringLen(bstr));
        return S_OK;
    }

private:
    ~CDNWithString() override = default;

    static HRESULT Out(const std::u16string& s, BSTR* pbstr)
    {
        if (pbstr == nullptr)
            return E_POINTER;
        *pbstr = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return *pbstr == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    std::atomic<ULONG> m_nRefs{1};
    std::u16string m_sText;
    std::u16string m_sDN;
};

bool ParseInt64(const std::string& s, int64_t& nValue)
{
    if (s.empty())
        return false;
    errno = 0;
    char* pEnd = nullptr;
    nValue = std::strtoll(s.c_str(), &pEnd, 10);
    return errno == 0 && pEnd != nullptr && *pEnd == '\0';
}

// The directory's integers are 32 bits; a value outside is not converted rather than cut.
bool ParseInt32(const std::string& s, int32_t& nValue)
{
    int64_t n = 0;
    if (!ParseInt64(s, n) || n < INT32_MIN || n > INT32_MAX)
        return false;
    nValue = static_cast<int32_t>(n);
    return true;
}

bool ParseDigits(const std::string& s, size_t nPos, size_t nCount, WORD& wOut)
{
    if (nPos + nCount > s.size())
        return false;
    unsigned n = 0;
    for (size_t i = nPos; i < nPos + nCount; ++i)
    {
        if (s[i] < '0' || s[i] > '9')
            return false;
        n = n * 10 + static_cast<unsigned>(s[i] - '0');
    }
    wOut = static_cast<WORD>(n);
    return true;
}

// Generalized time "YYYYMMDDHHMMSS[.f]Z" as a UTC system time.
bool ParseGeneralizedTime(const std::string& s, SYSTEMTIME& st)
{
    st = SYSTEMTIME{};
    if (!ParseDigits(s, 0, 4, st.wYear) || !ParseDigits(s, 4, 2, st.wMonth) ||
        !ParseDigits(s, 6, 2, st.wDay) || !ParseDigits(s, 8, 2, st.wHour))
        return false;
    ParseDigits(s, 10, 2, st.wMinute);
    ParseDigits(s, 12, 2, st.wSecond);
    const size_t nDot = s.find_first_of(".,");
    if (nDot != std::string::npos)
    {
        size_t nEnd = nDot + 1;
        while (nEnd < s.size() && nEnd < nDot + 4 && s[nEnd] >= '0' && s[nEnd] <= '9')
            ++nEnd;
        std::string sFrac = s.substr(nDot + 1, nEnd - nDot - 1);
        sFrac.resize(3, '0');
        ParseDigits(sFrac, 0, 3, st.wMilliseconds);
    }
    return st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 && st.wDay <= 31 && st.wHour < 24 &&
           st.wMinute < 60 && st.wSecond < 61;
}

HRESULT MakeBstrVariant(const std::string& s, VARIANT& out)
{
    out.vt = VT_BSTR;
    out.bstrVal = AnsiToBstr(s.data(), s.size());
    if (out.bstrVal == nullptr)
    {
        out.vt = VT_EMPTY;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
} // namespace

bool ParseDNWithString(const std::string& sValue, std::string& sText, std::string& sDN)
{
    // The count is of the text's characters in the form the value was stored (bytes here, as the
    // value arrives in UTF-8).
    if (sValue.size() < 4 || sValue[0] != 'S' || sValue[1] != ':')
        return false;
    size_t nPos = 2;
    size_t nCount = 0;
    const size_t nDigitsStart = nPos;
    while (nPos < sValue.size() && sValue[nPos] >= '0' && sValue[nPos] <= '9' && nPos - nDigitsStart < 9)
        nCount = nCount * 10 + static_cast<size_t>(sValue[nPos++] - '0');
    if (nPos == nDigitsStart || nPos >= sValue.size() || sValue[nPos] != ':')
        return false;
    ++nPos;
    if (nCount > sValue.size() - nPos)
        return false;
    sText = sValue.substr(nPos, nCount);
    nPos += nCount;
    if (nPos >= sValue.size() || sValue[nPos] != ':')
        return false;
    sDN = sValue.substr(nPos + 1);
    return true;
}

IADsDNWithString* CreateDNWithString(const std::u16string& sText, const std::u16string& sDN)
{
    return new CDNWithString(sText, sDN);
}

HRESULT ConvertToAdsValue(ADSTYPE type, const berval& value, CColumnStorage& storage, ADSVALUE& out)
{
    std::memset(&out, 0, sizeof(out));
    out.dwType = type;
    const std::string s(value.bv_val, value.bv_len);
    switch (type)
    {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
        out.CaseIgnoreString = storage.AddText(Utf8ToWide(s));
        return S_OK;
    case ADSTYPE_BOOLEAN:
        if (s != "TRUE" && s != "FALSE")
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.Boolean = s == "TRUE" ? TRUE : FALSE;
        return S_OK;
    case ADSTYPE_INTEGER:
    {
        int32_t n = 0;
        if (!ParseInt32(s, n))
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.Integer = static_cast<DWORD>(n);
        return S_OK;
    }
    case ADSTYPE_LARGE_INTEGER:
    {
        int64_t n = 0;
        if (!ParseInt64(s, n))
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.LargeInteger.QuadPart = n;
        return S_OK;
    }
    case ADSTYPE_UTC_TIME:
        return ParseGeneralizedTime(s, out.UTCTime) ? S_OK : E_ADS_CANT_CONVERT_DATATYPE;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    {
        auto p = std::make_unique<BYTE[]>(value.bv_len == 0 ? 1 : value.bv_len);
        std::memcpy(p.get(), value.bv_val, value.bv_len);
        out.OctetString.dwLength = static_cast<DWORD>(value.bv_len);
        out.OctetString.lpValue = p.get();
        storage.m_vecBytes.push_back(std::move(p));
        return S_OK;
    }
    case ADSTYPE_DN_WITH_STRING:
    {
        std::string sText;
        std::string sDN;
        if (!ParseDNWithString(s, sText, sDN))
            return E_ADS_CANT_CONVERT_DATATYPE;
        auto p = std::make_unique<ADS_DN_WITH_STRING>();
        p->pszStringValue = storage.AddText(Utf8ToWide(sText));
        p->pszDNString = storage.AddText(Utf8ToWide(sDN));
        out.pDNWithString = p.get();
        storage.m_vecDNWithStrings.push_back(std::move(p));
        return S_OK;
    }
    default:
        out.dwType = ADSTYPE_CASE_IGNORE_STRING;
        out.CaseIgnoreString = storage.AddText(Utf8ToWide(s));
        return S_OK;
    }
}

HRESULT ConvertToVariant(ADSTYPE type, const berval& value, VARIANT& out)
{
    VariantInit(&out);
    const std::string s(value.bv_val, value.bv_len);
    switch (type)
    {
    case ADSTYPE_BOOLEAN:
        if (s != "TRUE" && s != "FALSE")
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.vt = VT_BOOL;
        out.boolVal = s == "TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case ADSTYPE_INTEGER:
    {
        int32_t n = 0;
        if (!ParseInt32(s, n))
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.vt = VT_I4;
        out.lVal = n;
        return S_OK;
    }
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
        return E_ADS_CANT_CONVERT_DATATYPE; // binary values are read through the search interface only
    case ADSTYPE_DN_WITH_STRING:
    {
        std::string sText;
        std::string sDN;
        if (!ParseDNWithString(s, sText, sDN))
            return E_ADS_CANT_CONVERT_DATATYPE;
        out.vt = VT_UNKNOWN;
        out.punkVal = CreateDNWithString(Utf8ToWide(sText), Utf8ToWide(sDN));
        return S_OK;
    }
    default:
        // Texts, and times and large integers as the server writes them.
        return MakeBstrVariant(s, out);
    }
}
} // namespace adsi
