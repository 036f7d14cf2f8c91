// Values as a directory server sends them, through every conversion the directory layer makes, and names
// through the escapes that put them into filters and paths.
#include "general/DirectoryText.h"
#include "platform/AdsiLdap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
// An escaped value holds its special characters only behind a backslash.
void CheckFilterValue(const std::string& strEscaped)
{
    for (const char c : strEscaped)
    {
        if (c == '*' || c == '(' || c == ')' || c == '\0')
            std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    std::string strValue(reinterpret_cast<const char*>(pData), nSize);
    berval bv{static_cast<ber_len_t>(strValue.size()), strValue.data()};
    for (const ADSTYPE type :
         {ADSTYPE_CASE_IGNORE_STRING, ADSTYPE_BOOLEAN, ADSTYPE_INTEGER, ADSTYPE_LARGE_INTEGER,
          ADSTYPE_UTC_TIME, ADSTYPE_OCTET_STRING, ADSTYPE_DN_WITH_STRING})
    {
        adsi::CColumnStorage storage;
        ADSVALUE value;
        adsi::ConvertToAdsValue(type, bv, storage, value);
        VARIANT v;
        if (SUCCEEDED(adsi::ConvertToVariant(type, bv, v)))
            VariantClear(&v);
    }
    std::string strText;
    std::string strDN;
    if (adsi::ParseDNWithString(strValue, strText, strDN) &&
        strText.size() + strDN.size() + 5 > strValue.size())
        std::abort();
    CheckFilterValue(EscapeLdapFilterValue(strValue));
    EscapeDNValue(strValue);
    return 0;
}
