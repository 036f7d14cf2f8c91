#include "request/Util.h"

#include "common/CiString.h"
#include "contract/DLLContext.h"
#include "request/IISParm.h"

namespace
{
bool ContainsNoCase(const ci_string& csText, const char* pszPart)
{
    return csText.find(pszPart) != ci_string::npos;
}
} // namespace

DWORD CUtil::GetServerVariable(CDLLContext* pContext, const char* pszName, std::string& strValue)
{
    if (pContext == nullptr || pszName == nullptr)
        return ERROR_SUCCESS;
    switch (pContext->NotificationType)
    {
    case SF_NOTIFY_SEND_RESPONSE:
    case SF_NOTIFY_END_OF_REQUEST:
    case SF_NOTIFY_SEND_RAW_DATA:
    case SF_NOTIFY_PREPROC_HEADERS:
    case SF_NOTIFY_AUTH_COMPLETE:
        break;
    default:
        return ERROR_SUCCESS;
    }
    if (pContext->pfc == nullptr)
        return ERROR_SUCCESS;
    GetIISParmT(pContext->pfc, pContext->pfc->GetServerVariable, pszName, strValue);
    return ERROR_SUCCESS;
}

DWORD CUtil::GetServerVariable(CDLLContext* pContext, const std::string& strName, std::string& strValue)
{
    return GetServerVariable(pContext, strName.c_str(), strValue);
}

BOOL CUtil::IsMacUserAgent(const std::string& strUserAgent)
{
    const ci_string csUserAgent = ToCi(strUserAgent);
    return (ContainsNoCase(csUserAgent, "Macintosh") || ContainsNoCase(csUserAgent, "Mac OS") ||
            ContainsNoCase(csUserAgent, "Mac_PowerPC"))
               ? TRUE
               : FALSE;
}

BOOL CUtil::IsPremiumUserAgent(const std::string& strUserAgent)
{
    const ci_string csUserAgent = ToCi(strUserAgent);
    const size_t nMsie = csUserAgent.find("MSIE ");
    if (nMsie == ci_string::npos || !ContainsNoCase(csUserAgent, "Windows"))
        return FALSE;
    const size_t nVersion = nMsie + 5;
    // Compared as a character: "MSIE 10" begins with '1' and is not taken for a version above 5.
    return (nVersion < csUserAgent.size() && csUserAgent[nVersion] > '5') ? TRUE : FALSE;
}

BOOL CUtil::IsOwaAuthUserAgent(const std::string& strUserAgent)
{
    const ci_string csUserAgent = ToCi(strUserAgent);
    return (ContainsNoCase(csUserAgent, "owaauth") && ContainsNoCase(csUserAgent, "Windows")) ? TRUE : FALSE;
}

bool IsVirtualFolderSubscription(DWORD dwSubscriptionType)
{
    return dwSubscriptionType >= 20 && dwSubscriptionType <= 25;
}
