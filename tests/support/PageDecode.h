// A page as the browser reads it: its bytes decoded in the character set its response declares, given back
// as UTF-8 for the checks that parse it. The browser reads some labels as a larger set (us-ascii and
// iso-8859-1 as windows-1252, gb2312 as GBK, euc-kr as windows-949); so does this. Link ICU.
#pragma once

#include <string>
#include <unicode/ucnv.h>
#include <utility>

namespace page_decode
{
// ICU's name of the set a browser decodes a page of that label in.
inline std::string BrowserCharSet(const std::string& strLabel)
{
    std::string strLower;
    for (const char c : strLabel)
        strLower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static const std::pair<const char*, const char*> s_aWider[] = {
        {"us-ascii", "windows-1252"}, {"iso-8859-1", "windows-1252"}, {"gb2312", "windows-936"},
        {"euc-kr", "windows-949"},    {"shift_jis", "windows-31j"},   {"big5", "ibm-1375_P100-2008"},
    };
    for (const auto& [pszLabel, pszSet] : s_aWider)
    {
        if (strLower == pszLabel)
            return pszSet;
    }
    return strLabel;
}

// The page's bytes read in the set a browser takes for that label, as UTF-8; bytes that are no character
// of it become U+FFFD, as in a browser. False when ICU knows no such set.
inline bool DecodeToUtf8(const std::string& strBytes, const std::string& strLabel, std::string& strUtf8)
{
    const std::string strSet = BrowserCharSet(strLabel);
    strUtf8.assign(strBytes.size() * 3 + 16, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t nLength =
        ucnv_convert("UTF-8", strSet.c_str(), strUtf8.data(), static_cast<int32_t>(strUtf8.size()),
                     strBytes.data(), static_cast<int32_t>(strBytes.size()), &status);
    if (U_FAILURE(status))
        return false;
    strUtf8.resize(static_cast<size_t>(nLength));
    return true;
}
} // namespace page_decode
