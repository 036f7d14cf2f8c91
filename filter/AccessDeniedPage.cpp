#include "filter/AuthCompleteHelper.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "request/BaseNotifications.h"
#include "request/DLSWContext.h"
#include "request/GeneralSettingsAccess.h"

namespace
{
constexpr const char* PAGE_HEAD =
    "<HTML><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
    "<HEAD><TITLE>Dorvel</TITLE></HEAD>\n<BODY><P align=center><b>";
constexpr const char* PAGE_PRODUCT = "Kestrune Dorvel";
constexpr const char* PAGE_BEFORE_TEXT = "</b><br></P><P align=center><FONT FACE=\"Verdana\" SIZE=\"2\"><b>";
constexpr const char* PAGE_TAIL = "</b></P></BODY></HTML>";
constexpr const char* DEFAULT_LANGUAGE = "en";
} // namespace

std::string CAuthCompleteHelper::BuildAccessDeniedResponse(const std::string& strDenialText)
{
    std::string strPage;
    strPage.reserve(256 + strDenialText.size());
    strPage.append(PAGE_HEAD)
        .append(PAGE_PRODUCT)
        .append(PAGE_BEFORE_TEXT)
        .append(strDenialText)
        .append(PAGE_TAIL);
    std::string strResponse;
    strResponse.reserve(strPage.size() + 128);
    strResponse.append("HTTP/1.0 401 OK\r\nContent-Length: ")
        .append(std::to_string(strPage.size()))
        .append("\r\n")
        .append("Content-Type: text/html\r\n\r\n")
        .append(strPage);
    return strResponse;
}

DWORD CAuthCompleteHelper::SendAccessDeniedResponse(CDLLContext* pContext)
{
    TraceLog("[CAuthCompleteHelper::SendAccessDeniedResponse] started.");
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr)
    {
        TraceLog("[CAuthCompleteHelper::SendAccessDeniedResponse] pContext is NULL or invalid");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        // A refusal goes out even before the user's language is known: then in English.
        std::string strLanguage = DEFAULT_LANGUAGE;
        if (pContext->m_pMyOwnContext != nullptr)
            strLanguage = pContext->m_pMyOwnContext->m_strLanguage;
        else
            TraceLog("[CAuthCompleteHelper::SendAccessDeniedResponse] No language for this request. Go with "
                     "<%s>.",
                     DEFAULT_LANGUAGE);
        WORD wLangID = ENGLISH_LANGID;
        if (!DetectResourceLanguage(strLanguage, wLangID))
        {
            TraceLog("[CAuthCompleteHelper::SendAccessDeniedResponse] CResource::DetectLanguage failed!");
            wLangID = ENGLISH_LANGID;
        }
        std::string strText = ACCESS_DENIED_DEFAULT_TEXT;
        if (!GetUTF8Resource(ACCESS_DENIED_TEXT_RESOURCE_ID, strText, wLangID))
            TraceLog(
                "[CAuthCompleteHelper::SendAccessDeniedResponse] CDLGeneralSetting::GetUTF8ResourceString() "
                "failed.");
        const std::string strResponse = BuildAccessDeniedResponse(strText);
        dwRet = CBaseNotifications::SendResponse(pContext, strResponse.c_str(), "401 Access Denied",
                                                 static_cast<DWORD>(strResponse.size()));
        if (dwRet != ERROR_SUCCESS)
            TraceLog(
                "[CAuthCompleteHelper::SendAccessDeniedResponse] CBaseNotifications::SendResponse() failed.");
    }
    TraceLog("[CAuthCompleteHelper::SendAccessDeniedResponse] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}
