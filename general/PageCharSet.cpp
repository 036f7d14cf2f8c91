#include "general/PageCharSet.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "platform/WinCodePage.h"
#include "platform/WinSync.h"

#include <utility>
#include <vector>

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

// The text in a code page, or false when the platform cannot convert into it.
bool ConvertTo(UINT uCodePage, const std::u16string& strText, std::string& strOut)
{
    if (strText.empty())
    {
        strOut.clear();
        return true;
    }
    const int nText = static_cast<int>(strText.size());
    const int nNeeded =
        WideCharToMultiByte(uCodePage, 0, strText.c_str(), nText, nullptr, 0, nullptr, nullptr);
    if (nNeeded <= 0)
        return false;
    std::vector<char> vecBuffer(static_cast<size_t>(nNeeded));
    const int nWritten = WideCharToMultiByte(uCodePage, 0, strText.c_str(), nText, vecBuffer.data(), nNeeded,
                                             nullptr, nullptr);
    if (nWritten <= 0)
        return false;
    strOut.assign(vecBuffer.data(), static_cast<size_t>(nWritten));
    return true;
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

bool CPageCharSet::TranslateString(const std::u16string& strText, const ci_string& csCharSet,
                                   ci_string& csOut) const
{
    if (csCharSet == "utf-8")
    {
        CGrowableBuffer buffer(UTF8_BUFFER_START);
        AppendUTF8HtmlEscaped(buffer, strText.c_str());
        const std::string strBytes = buffer.ToString();
        csOut = ci_string(strBytes.c_str());
        return true;
    }
    UINT uCodePage = 0;
    if (csCharSet == "utf-16")
        uCodePage = CP_THREAD_ACP;
    else if (!GetCodePage(csCharSet, uCodePage))
        return false;
    std::string strConverted;
    if (!ConvertTo(uCodePage, strText, strConverted))
    {
        TraceLogError(GetLastError(),
                      "[CPageCharSet::TranslateString] CharSet %s, code page %u can not be converted",
                      csCharSet.c_str(), uCodePage);
        return false;
    }
    csOut.assign(strConverted.data(), strConverted.size());
    return true;
}
