#include "platform/WinCodePage.h"

#include "platform/WinSync.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

namespace
{
constexpr UINT ANSI_CODE_PAGE = 1252;

struct CodePageName
{
    UINT m_uCodePage;
    const char* m_pszName;
};

// Code pages whose ICU name is not one of the generic forms tried below.
constexpr CodePageName CODE_PAGE_NAMES[] = {
    {932, "windows-31j"},      {936, "windows-936"},
    {949, "windows-949"},      {950, "windows-950"},
    {1200, "UTF-16LE"},        {1201, "UTF-16BE"},
    {10000, "macintosh"},      {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"}, {10029, "x-mac-centraleurroman"},
    {10081, "x-mac-turkish"},  {20127, "US-ASCII"},
    {20866, "KOI8-R"},         {21866, "KOI8-U"},
    {50220, "ISO-2022-JP"},    {50221, "ISO-2022-JP-1"},
    {51932, "EUC-JP"},         {52936, "HZ-GB-2312"},
    {54936, "GB18030"},        {65000, "UTF-7"},
    {65001, "UTF-8"},
};

struct CConverterDelete
{
    void operator()(UConverter* p) const { ucnv_close(p); }
};
using ConverterPtr = std::unique_ptr<UConverter, CConverterDelete>;

UINT ResolveCodePage(UINT uCodePage)
{
    return uCodePage == CP_ACP || uCodePage == CP_THREAD_ACP || uCodePage == CP_OEMCP ? ANSI_CODE_PAGE
                                                                                      : uCodePage;
}

ConverterPtr OpenConverter(UINT uCodePage)
{
    uCodePage = ResolveCodePage(uCodePage);
    for (const CodePageName& entry : CODE_PAGE_NAMES)
    {
        if (entry.m_uCodePage == uCodePage)
        {
            UErrorCode status = U_ZERO_ERROR;
            ConverterPtr spConverter(ucnv_open(entry.m_pszName, &status));
            return U_SUCCESS(status) ? std::move(spConverter) : nullptr;
        }
    }
    char szName[32];
    std::snprintf(szName, sizeof(szName), "%s", "");
    if (uCodePage >= 28591 && uCodePage <= 28606)
        std::snprintf(szName, sizeof(szName), "ISO-8859-%u", uCodePage - 28590);
    else if ((uCodePage >= 1250 && uCodePage <= 1258) || uCodePage == 874)
        std::snprintf(szName, sizeof(szName), "windows-%u", uCodePage);
    else if (uCodePage >= 37 && uCodePage <= 1149)
        std::snprintf(szName, sizeof(szName), "ibm-%u", uCodePage);
    if (szName[0] == '\0')
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr spConverter(ucnv_open(szName, &status));
    return U_SUCCESS(status) ? std::move(spConverter) : nullptr;
}

// The longest name looked up; ICU's own names are far shorter.
constexpr size_t MAX_CHARSET_NAME = 64;

bool IsCharSetNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '+';
}

ConverterPtr OpenNamedConverter(std::string_view svName)
{
    if (svName.empty() || svName.size() > MAX_CHARSET_NAME)
        return nullptr;
    for (const char c : svName)
    {
        if (!IsCharSetNameCharacter(c))
            return nullptr;
    }
    // The alias table only: ucnv_open itself would also take a name as a converter file's path.
    const std::string strName(svName);
    UErrorCode status = U_ZERO_ERROR;
    const char* pszCanonical = ucnv_getAlias(strName.c_str(), 0, &status);
    if (U_FAILURE(status) || pszCanonical == nullptr)
        return nullptr;
    status = U_ZERO_ERROR;
    ConverterPtr spConverter(ucnv_open(pszCanonical, &status));
    return U_SUCCESS(status) ? std::move(spConverter) : nullptr;
}

constexpr UINT CODE_PAGE_HZ = 52936;

// Whether HZ text ends in its GB mode: the converter leaves it only when ASCII follows, so text that ends in
// Chinese would leave the page that receives it in that mode.
bool EndsInHzGbMode(const char* pszText, int32_t nLength)
{
    bool bGb = false;
    for (int32_t i = 0; i + 1 < nLength; ++i)
    {
        if (pszText[i] != '~')
            continue;
        if (pszText[i + 1] == '{')
            bGb = true;
        else if (pszText[i + 1] == '}')
            bGb = false;
        ++i;
    }
    return bGb;
}

struct CFromUContext
{
    bool m_bUsedDefault = false;
};

void FromUnicodeCallback(const void* pContext, UConverterFromUnicodeArgs* pArgs, const UChar* pCodeUnits,
                         int32_t nLength, UChar32 codePoint, UConverterCallbackReason reason,
                         UErrorCode* pStatus)
{
    if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR)
        static_cast<CFromUContext*>(const_cast<void*>(pContext))->m_bUsedDefault = true;
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, pArgs, pCodeUnits, nLength, codePoint, reason, pStatus);
}

// Answers an ICU conversion as the Windows calls do: the size needed when asked for it (an empty buffer),
// the size written when it fit, and 0 with the last error when the buffer was short or the text could not
// be converted.
int AnswerConversion(UErrorCode status, int32_t nNeeded, int nBuffer)
{
    if (status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING || U_SUCCESS(status))
    {
        if (nBuffer != 0 && nNeeded > nBuffer)
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        return nNeeded;
    }
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
}
} // namespace

UINT GetACP()
{
    return ANSI_CODE_PAGE;
}

BOOL IsValidCodePage(UINT uCodePage)
{
    return OpenConverter(uCodePage) != nullptr ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT CodePage, DWORD /*dwFlags*/, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar)
{
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ConverterPtr spConverter = OpenConverter(CodePage);
    if (!spConverter)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int32_t nSource = cbMultiByte < 0 ? static_cast<int32_t>(std::strlen(lpMultiByteStr) + 1)
                                            : static_cast<int32_t>(cbMultiByte);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t nNeeded =
        ucnv_toUChars(spConverter.get(), cchWideChar == 0 ? nullptr : reinterpret_cast<UChar*>(lpWideCharStr),
                      cchWideChar, lpMultiByteStr, nSource, &status);
    return AnswerConversion(status, nNeeded, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD /*dwFlags*/, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = FALSE;
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ConverterPtr spConverter = OpenConverter(CodePage);
    if (!spConverter)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UErrorCode status = U_ZERO_ERROR;
    const char* pszDefault = lpDefaultChar != nullptr && *lpDefaultChar != '\0' ? lpDefaultChar : "?";
    ucnv_setSubstChars(spConverter.get(), pszDefault, 1, &status);
    status = U_ZERO_ERROR;
    CFromUContext context;
    ucnv_setFromUCallBack(spConverter.get(), &FromUnicodeCallback, &context, nullptr, nullptr, &status);
    int32_t nSource = 0;
    if (cchWideChar < 0)
    {
        while (lpWideCharStr[nSource] != 0)
            ++nSource;
        ++nSource;
    }
    else
        nSource = cchWideChar;
    status = U_ZERO_ERROR;
    // HZ is converted whole first, to learn whether it must be closed with "~}".
    std::string strHz;
    int32_t nNeeded = 0;
    if (ResolveCodePage(CodePage) == CODE_PAGE_HZ)
    {
        const int32_t nHz = ucnv_fromUChars(spConverter.get(), nullptr, 0,
                                            reinterpret_cast<const UChar*>(lpWideCharStr), nSource, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR)
        {
            status = U_ZERO_ERROR;
            strHz.resize(static_cast<size_t>(nHz) + 1);
            ucnv_fromUChars(spConverter.get(), strHz.data(), nHz + 1,
                            reinterpret_cast<const UChar*>(lpWideCharStr), nSource, &status);
            strHz.resize(static_cast<size_t>(nHz));
            if (EndsInHzGbMode(strHz.data(), nHz))
                strHz += "~}";
        }
        nNeeded = static_cast<int32_t>(strHz.size());
        if (U_SUCCESS(status) && cbMultiByte >= nNeeded)
            std::memcpy(lpMultiByteStr, strHz.data(), strHz.size());
    }
    else
        nNeeded = ucnv_fromUChars(spConverter.get(), cbMultiByte == 0 ? nullptr : lpMultiByteStr, cbMultiByte,
                                  reinterpret_cast<const UChar*>(lpWideCharStr), nSource, &status);
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = context.m_bUsedDefault ? TRUE : FALSE;
    return AnswerConversion(status, nNeeded, cbMultiByte);
}

struct CCharSetConverter::CImpl
{
    ConverterPtr m_spConverter;
};

CCharSetConverter::CCharSetConverter(std::unique_ptr<CImpl> spImpl) : m_spImpl(std::move(spImpl))
{
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(m_spImpl->m_spConverter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(m_spImpl->m_spConverter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
}

CCharSetConverter::~CCharSetConverter() = default;

std::unique_ptr<CCharSetConverter> CCharSetConverter::ForCodePage(UINT uCodePage)
{
    ConverterPtr spConverter = OpenConverter(uCodePage);
    if (!spConverter)
        return nullptr;
    return std::unique_ptr<CCharSetConverter>(
        new CCharSetConverter(std::make_unique<CImpl>(CImpl{std::move(spConverter)})));
}

std::unique_ptr<CCharSetConverter> CCharSetConverter::ForName(std::string_view svName)
{
    ConverterPtr spConverter = OpenNamedConverter(svName);
    if (!spConverter)
        return nullptr;
    return std::unique_ptr<CCharSetConverter>(
        new CCharSetConverter(std::make_unique<CImpl>(CImpl{std::move(spConverter)})));
}

const char* CCharSetConverter::GetName() const
{
    UErrorCode status = U_ZERO_ERROR;
    const char* pszName = ucnv_getName(m_spImpl->m_spConverter.get(), &status);
    return U_SUCCESS(status) && pszName != nullptr ? pszName : "";
}

bool CCharSetConverter::Encode(std::u16string_view svText, std::string& strOut)
{
    strOut.clear();
    if (svText.empty())
        return true;
    UConverter* pConverter = m_spImpl->m_spConverter.get();
    const auto* pSource = reinterpret_cast<const UChar*>(svText.data());
    const auto nSource = static_cast<int32_t>(svText.size());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t nNeeded = ucnv_fromUChars(pConverter, nullptr, 0, pSource, nSource, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return false;
    strOut.resize(static_cast<size_t>(nNeeded) + 1);
    status = U_ZERO_ERROR;
    ucnv_fromUChars(pConverter, strOut.data(), nNeeded + 1, pSource, nSource, &status);
    if (U_FAILURE(status))
    {
        strOut.clear();
        return false;
    }
    strOut.resize(static_cast<size_t>(nNeeded));
    if (std::strcmp(GetName(), "HZ") == 0 && EndsInHzGbMode(strOut.data(), nNeeded))
        strOut += "~}";
    return true;
}

bool CCharSetConverter::Decode(std::string_view svBytes, std::u16string& strOut)
{
    strOut.clear();
    if (svBytes.empty())
        return true;
    UConverter* pConverter = m_spImpl->m_spConverter.get();
    const auto nSource = static_cast<int32_t>(svBytes.size());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t nNeeded = ucnv_toUChars(pConverter, nullptr, 0, svBytes.data(), nSource, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return false;
    strOut.resize(static_cast<size_t>(nNeeded) + 1);
    status = U_ZERO_ERROR;
    ucnv_toUChars(pConverter, reinterpret_cast<UChar*>(strOut.data()), nNeeded + 1, svBytes.data(), nSource,
                  &status);
    if (U_FAILURE(status))
    {
        strOut.clear();
        return false;
    }
    strOut.resize(static_cast<size_t>(nNeeded));
    return true;
}
