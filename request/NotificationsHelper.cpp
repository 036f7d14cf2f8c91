#include "request/NotificationsHelper.h"

#include "common/SharedConstants.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "request/BaseNotifications.h"
#include "request/GeneralSettingsAccess.h"
#include "request/Util.h"

namespace
{
const char* TrueFalse(bool b)
{
    return b ? "TRUE" : "FALSE";
}

// Where "key" stands in the text, without regard to case; npos when it does not.
size_t FindNoCase(const std::string& strText, const std::string& strKey, size_t nFrom = 0)
{
    const ci_string csText(strText.data(), strText.size());
    return csText.find(ci_string(strKey.data(), strKey.size()), nFrom);
}
} // namespace

bool CNotificationsHelper::GetURLParamValue(const std::string& strText, const std::string& strName,
                                            std::string& strValue, size_t nStart)
{
    TraceLog("[CNotificationsHelper::GetURLParamValue] Starts.");
    strValue.clear();
    bool bRet = false;
    if (nStart == std::string::npos)
    {
        nStart = strText.find('?');
        if (nStart == std::string::npos)
            TraceLog("[CDLBasicFormWithAttachments::GetURLParamValue] '?' was not found in <%s>.",
                     strText.c_str());
    }
    if (nStart != std::string::npos && nStart <= strText.size())
    {
        const std::string strKey = strName + "=";
        const std::string strSearched = "&" + strKey;
        // The first parameter follows the '?' (or the start itself) with no '&' before it.
        size_t nFirst = nStart;
        if (nFirst < strText.size() && (strText[nFirst] == '?' || strText[nFirst] == '&'))
            ++nFirst;
        size_t nValue = std::string::npos;
        if (strText.compare(nFirst, strKey.size(), strKey) == 0)
            nValue = nFirst + strKey.size();
        else
        {
            const size_t nFound = strText.find(strSearched, nStart);
            if (nFound != std::string::npos)
                nValue = nFound + strSearched.size();
        }
        if (nValue == std::string::npos)
        {
            TraceLog(
                "[CDLBasicFormWithAttachments::GetQueryStringParamValue] <%s> query string parameter was "
                "not found in QS <%s>.",
                strSearched.c_str(), strText.c_str() + nStart);
        }
        else
        {
            const size_t nEnd = strText.find('&', nValue);
            strValue = UrlUnescape(strText.substr(nValue, nEnd == std::string::npos ? nEnd : nEnd - nValue));
            bRet = true;
        }
    }
    TraceLog("[CNotificationsHelper::GetURLParamValue] returned bRet <%s> sValue <%s>.", TrueFalse(bRet),
             strValue.c_str());
    return bRet;
}

bool extractCookie(const std::string& strCookie, const std::string& strKey, std::string& strValue)
{
    bool bRet = false;
    if (strKey.empty())
        TraceLog("[extractCookie] ERROR Missing Key");
    else if (strKey.back() != '=')
        TraceLog("[extractCookie] ERROR Key <%s> requires '=' terminator", strKey.c_str());
    else
    {
        const size_t nKey = FindNoCase(strCookie, strKey);
        if (nKey == std::string::npos)
            TraceLog("[extractCookie] cookie:<%s> key:<%s> not found", strCookie.c_str(), strKey.c_str());
        else
        {
            const size_t nValue = nKey + strKey.size();
            const size_t nEnd = strCookie.find(';', nValue);
            strValue = strCookie.substr(nValue, nEnd == std::string::npos ? nEnd : nEnd - nValue);
            bRet = true;
        }
    }
    TraceLog("[extractCookie] cookie:<%s> key:<%s> value:<%s> return <%s>", strCookie.c_str(), strKey.c_str(),
             strValue.c_str(), TrueFalse(bRet));
    return bRet;
}

bool CNotificationsHelper::GetCadataCookieValue(const std::string& strCookie, std::string& strValue)
{
    return extractCookie(strCookie, "cadata=", strValue);
}

BOOL CNotificationsHelper::GetISAFBACadataCookieValue(CDLLContext* pContext, std::string& strValue)
{
    strValue.clear();
    if (pContext == nullptr)
    {
        TraceLog(
            "[CNotificationsHelper::GetISAFBACadataCookieValue] CDLLContext pointer is NULL. Return FALSE.");
        return FALSE;
    }
    CUtil::GetServerVariable(pContext, "HTTP_X_KS_FBA_CVALUE", strValue);
    TraceLog("[CNotificationsHelper::GetISAFBACadataCookieValue] \"%s\" server variable value: <%s>.",
             "HTTP_X_KS_FBA_CVALUE", strValue.c_str());
    return TRUE;
}

bool CNotificationsHelper::ExtractCadataCookie(const std::string& strCookie, std::string& strCadata)
{
    strCadata.clear();
    const std::string strKey = "cadata=";
    const size_t nKey = FindNoCase(strCookie, strKey);
    if (nKey == std::string::npos)
        return false;
    const size_t nEnd = strCookie.find(';', nKey + strKey.size());
    strCadata = strCookie.substr(nKey, nEnd == std::string::npos ? nEnd : nEnd - nKey);
    return true;
}

DWORD CNotificationsHelper::GetFBAClientFlags(CDLLContext* pContext, const std::string& strCookie)
{
    std::string strValue;
    if (!GetCadataCookieValue(strCookie, strValue) && !GetISAFBACadataCookieValue(pContext, strValue))
        return 0;
    if (strValue.size() <= 1 || strValue[0] != '"')
        return 0;
    switch (strValue[1])
    {
    case '0':
    case '1':
    case '2':
        return RF_FBA_CLIENT | RF_FBA_PUBLIC_CLIENT;
    case '4':
    case '5':
    case '6':
        return RF_FBA_CLIENT;
    default:
        return 0;
    }
}

DWORD CNotificationsHelper::GetRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                                  std::vector<std::string>& vecIDs)
{
    vecIDs.clear();
    TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    std::string strCount;
    int32_t nCount = 0;
    if (spRequestInfo.IsNull())
    {
        TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] spRequestInfo is NULL");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if (!spRequestInfo->GetParamValue("attcnt", strCount))
    {
        // No attachment ids at all.
    }
    else if (!ParseIntRadix(strCount, nCount, 10, 0, std::string::npos, true))
    {
        TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] CStringOperation::String2Int failed. "
                 "csAttCntValue <%s>.",
                 strCount.c_str());
        dwRet = ERROR_INVALID_DATA;
    }
    else if (nCount > MAX_REQUEST_ATTACHMENT_IDS)
    {
        // The count is the client's word: it sizes nothing and bounds no loop.
        TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] Attachment count <%d> is above the limit "
                 "<%d>.",
                 nCount, MAX_REQUEST_ATTACHMENT_IDS);
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        for (int32_t i = 0; i < nCount; ++i)
        {
            const std::string strName = "attid" + std::to_string(i);
            std::string strID;
            if (!spRequestInfo->GetParamValue(strName, strID))
            {
                TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] CRequestInfo::GetParamValue failed. "
                         "csAttIDAttr <%s>.",
                         strName.c_str());
                dwRet = ERROR_INVALID_DATA;
                break;
            }
            vecIDs.push_back(std::move(strID));
        }
    }
    TraceLog("[CNotificationsHelper::GetRequestParamAttIDs] returned dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CNotificationsHelper::ConcatRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                                     std::string& strJoined, std::string& strLast)
{
    TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] Starts.");
    strJoined.clear();
    strLast.clear();
    std::vector<std::string> vecIDs;
    const DWORD dwRet = GetRequestParamAttIDs(spRequestInfo, vecIDs);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] GetRequestParamAttIDs() failed.");
    else if (!vecIDs.empty())
    {
        strLast = vecIDs.back();
        vecIDs.pop_back();
        for (const std::string& strID : vecIDs)
            strJoined += strID;
    }
    TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CNotificationsHelper::ConcatRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                                     std::string& strJoined)
{
    TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] Starts.");
    strJoined.clear();
    std::vector<std::string> vecIDs;
    const DWORD dwRet = GetRequestParamAttIDs(spRequestInfo, vecIDs);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] GetRequestParamAttIDs() failed.");
    else
    {
        for (const std::string& strID : vecIDs)
            strJoined += strID;
    }
    TraceLog("[CNotificationsHelper::ConcatRequestParamAttIDs] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

BOOL CNotificationsHelper::RemoveParamFromQueryString(ci_string& csQuery, const std::string& strName)
{
    BOOL bRet = FALSE;
    ci_string csKey = ToCi(strName) + "=";
    size_t nStart = std::string::npos;
    if (csQuery.compare(0, csKey.size(), csKey) == 0)
        nStart = 0;
    else
    {
        csKey = "&" + csKey;
        nStart = csQuery.find(csKey);
        if (nStart == ci_string::npos)
            TraceLog(
                "[CNotificationsHelper::RemoveParamFromQueryString] <%s> param was not found in <%s> query "
                "string.",
                strName.c_str(), csQuery.c_str());
    }
    if (nStart != ci_string::npos)
    {
        const size_t nEnd = csQuery.find('&', nStart + csKey.size());
        TraceLog(
            "[CNotificationsHelper::RemoveParamFromQueryString] Remove <%s> param from <%s> query string.",
            strName.c_str(), csQuery.c_str());
        csQuery.erase(nStart, nEnd == ci_string::npos ? nEnd : nEnd - nStart);
        if (!csQuery.empty() && csQuery[0] == '&')
            csQuery.erase(0, 1);
        TraceLog("[CNotificationsHelper::RemoveParamFromQueryString] New query string <%s>.",
                 csQuery.c_str());
        bRet = TRUE;
    }
    TraceLog("[CNotificationsHelper::RemoveParamFromQueryString] returned <%s>.", TrueFalse(bRet));
    return bRet;
}

DWORD CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange(CDLLContext* pContext, BOOL& bAllowed)
{
    TraceLog("[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] Starts.");
    bAllowed = FALSE;
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr)
    {
        TraceLog("[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] pContext is NULL");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        std::string strClientIP;
        bool bFromHeader = false;
        CBaseNotifications::GetClientIP(pContext, strClientIP, &bFromHeader);
        // The header is the front end's word, which a client that reaches us without it can forge: the
        // trace says whose word the address is.
        TraceLog(
            "[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] Client IP: <%s>. Source: %s.",
            strClientIP.c_str(), bFromHeader ? "header X-Remote-Client-IP" : "connection REMOTE_ADDR");
        bAllowed = GeneralSettings()->m_Settings.CheckClientIPAgainstDirectAccessIPRange(
                       strClientIP, static_cast<int>(pContext->SettingID))
                       ? TRUE
                       : FALSE;
    }
    TraceLog("[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] returned dwRet <%d> "
             "bClientIPAllowed <%s>.",
             static_cast<int>(dwRet), TrueFalse(bAllowed != FALSE));
    return dwRet;
}
