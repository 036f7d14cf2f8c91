#include "filter/AuthCompleteHelper.h"

#include "common/SharedConstants.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/SecurityAccess.h"
#include "request/GeneralSettingsAccess.h"
#include "request/Util.h"

namespace
{
constexpr const char* DEFAULT_ACCEPT_LANGUAGE = "en";
} // namespace

DWORD CAuthCompleteHelper::DetectUserLanguage(CDLLContext* pContext, std::string& strLanguage, WORD& wLangID)
{
    TraceLog("[CAuthCompleteHelper::DetectUserLanguage] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull())
    {
        TraceLog("[CAuthCompleteHelper::DetectUserLanguage] invalid pointers.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        std::string strAccount;
        std::string strDomain;
        CSecurityAccess securityAccess;
        const DWORD dwTokenRet = securityAccess.GetThreadUser(strAccount, strDomain);
        TraceLogError(dwTokenRet, "GetThreadUser Domain/User %s/%s", strDomain.c_str(), strAccount.c_str());
        std::string strUser = strAccount;
        if (dwTokenRet != ERROR_SUCCESS)
            CUtil::GetServerVariable(pContext, g_sAUTH_USER, strUser);
        if (strUser.empty())
        {
            TraceLog("[CAuthCompleteHelper::DetectUserLanguage] 'AUTH_USER' server variable is empty.");
            dwRet = ERROR_ARENA_TRASHED;
        }
        else
        {
            std::string strHeader;
            const bool bHeader =
                pContext->m_spRequestInfo->GetServerVariable(g_sHTTP_ACCEPT_LANGUAGE, strHeader);
            if (!bHeader)
                TraceLog("[CAuthCompleteHelper::DetectUserLanguage] Reading <%s> header value failed. Go "
                         "with default "
                         "value (en).",
                         g_sHTTP_ACCEPT_LANGUAGE.c_str());
            const std::string strAcceptLanguage = bHeader ? strHeader : std::string(DEFAULT_ACCEPT_LANGUAGE);
            std::string strCookie;
            pContext->m_spRequestInfo->GetServerVariable(g_sHTTP_COOKIE, strCookie);
            if (!DetectUserLanguageOf(strUser, strAcceptLanguage, strLanguage, wLangID, strCookie))
                TraceLog(
                    "[CAuthCompleteHelper::DetectUserLanguage] CDLSWGeneralSettings::DetectUserLanguage() "
                    "failed. User <%s> AcceptLanguage <%s>. Go with default values.",
                    strUser.c_str(), strAcceptLanguage.c_str());
            TraceLog("[CAuthCompleteHelper::DetectUserLanguage] User <%s> user lang <%s> user lang id <%d>.",
                     strUser.c_str(), strLanguage.c_str(), wLangID);
        }
    }
    TraceLog("[CAuthCompleteHelper::DetectUserLanguage] returned dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}
