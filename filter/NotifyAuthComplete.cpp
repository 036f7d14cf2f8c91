#include "filter/Notifications.h"

#include "common/SharedConstants.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/AuthCompleteHelper.h"
#include "request/BaseNotifications.h"
#include "request/DLSWContext.h"
#include "request/GeneralSettingsAccess.h"
#include "request/NotificationsHelper.h"
#include "settings/SettingItemIDs.h"

#include <exception>
#include <new>

namespace
{

const char* YesNo(bool b)
{
    return b ? "Y" : "N";
}

// A direct download's Cookie header keeps the longer of the two parts around its first comma (the part
// before it when both are as long), without surrounding blanks.
std::string RepairedCookie(const std::string& strCookie)
{
    const size_t nComma = strCookie.find(',');
    std::string strKept =
        nComma < strCookie.size() - nComma - 1 ? strCookie.substr(nComma + 1) : strCookie.substr(0, nComma);
    TrimChars(strKept, " \r\n\t");
    return strKept;
}

// The steps from the settings set to the request's kind; the caller writes the closing line.
DWORD HandleAuthComplete(CDLLContext* pContext)
{
    if (pContext->m_spRequestInfo.IsNull())
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CDLLContext.m_spRequestInfo is NULL.");
        pContext->ControlMessage = CM_IGNORE;
        return ERROR_INVALID_DATA;
    }
    GetSettingIDFromCriteriaID(pContext->CriteriaID, pContext->SettingID);
    TraceLog("[CNotifications::NotifyAuthComplete] Criteria ID <%d> is mapped to Setting ID <%d>.",
             static_cast<int>(pContext->CriteriaID), static_cast<int>(pContext->SettingID));

    BOOL bBypass = FALSE;
    const HRESULT hrBypass = GeneralSettings()->m_Settings.CheckByPassList(&bBypass);
    if (hrBypass != S_OK)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CDLSettings::CheckByPassList() failed.");
        pContext->ControlMessage = CM_IGNORE;
        return static_cast<DWORD>(hrBypass);
    }
    if (bBypass)
    {
        TraceLog(
            "[CNotifications::NotifyAuthComplete] Service worker has to be bypassed for this group or user! "
            "Ignore further notifications.");
        pContext->ControlMessage = CM_IGNORE;
        return ERROR_SUCCESS;
    }

    const bool bDirectAttachment = (pContext->RequestFlags & RF_DIRECT_ATTACHMENT_ACCESS) != 0;
    const bool bDocumentViewFile = (pContext->RequestFlags & RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS) != 0;
    const CRequestInfo& requestInfo = *pContext->m_spRequestInfo;
    std::string strQueryString;
    std::string strURL;
    std::string strCookie;
    if (!requestInfo.GetServerVariable(g_sQUERY_STRING, strQueryString))
    {
        TraceLog("[CNotifications::NotifyAuthComplete] Reading QURERY_STRING header failed.");
        pContext->ControlMessage = CM_IGNORE;
        return ERROR_ARENA_TRASHED;
    }
    if (!requestInfo.GetServerVariable(g_sURL, strURL) || strURL.empty())
    {
        TraceLog("[CNotifications::NotifyAuthComplete] Reading URL header failed.");
        pContext->ControlMessage = CM_IGNORE;
        return ERROR_ARENA_TRASHED;
    }
    if (!requestInfo.GetServerVariable(g_sHTTP_COOKIE, strCookie))
    {
        TraceLog("[CNotifications::NotifyAuthComplete] Reading HTTP_COOKIE header failed.");
        strCookie.clear();
    }

    if ((bDirectAttachment || bDocumentViewFile) && strCookie.find(',') != std::string::npos)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] This is a direct file access, and ',' character was "
                 "found in "
                 "cookie header value <%s>.",
                 strCookie.c_str());
        strCookie = RepairedCookie(strCookie);
        if (!CBaseNotifications::SetWorkerHeader(pContext, "Cookie:", strCookie.c_str()))
        {
            TraceLog("[CNotifications::NotifyAuthComplete] CBaseNotifications::SetWorkerHeader() failed when "
                     "setting "
                     "cookie header value.");
            pContext->ControlMessage = CM_IGNORE;
            return ERROR_ARENA_TRASHED;
        }
        TraceLog("[CNotifications::NotifyAuthComplete] Cookie header value was set successfully to <%s>.",
                 strCookie.c_str());
    }
    TraceLog("[CNotifications::NotifyAuthComplete] URL <%s> QueryString <%s> Cookie <%s>", strURL.c_str(),
             strQueryString.c_str(), strCookie.c_str());

    if (!strCookie.empty())
    {
        pContext->RequestFlags |= CNotificationsHelper::GetFBAClientFlags(pContext, strCookie);
        TraceLog("[CNotifications::NotifyAuthComplete] FBA client <%s> FBA Public client <%s>.",
                 YesNo((pContext->RequestFlags & RF_FBA_CLIENT) != 0),
                 YesNo((pContext->RequestFlags & RF_FBA_PUBLIC_CLIENT) != 0));
    }

    std::string strLanguage;
    WORD wLangID = 0;
    const DWORD dwLanguageRet = CAuthCompleteHelper::DetectUserLanguage(pContext, strLanguage, wLangID);
    if (dwLanguageRet != ERROR_SUCCESS)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CAuthCompleteHelper::DetectUserLanguage() failed.");
        pContext->ControlMessage = CM_IGNORE;
        return dwLanguageRet;
    }
    delete pContext->m_pMyOwnContext;
    pContext->m_pMyOwnContext = new (std::nothrow) CDLSWContext(strLanguage, wLangID, strCookie);
    TraceLog("[CNotifications::NotifyAuthComplete] m_pMyOwnContext: %p",
             static_cast<void*>(pContext->m_pMyOwnContext));

    DWORD dwRet = ERROR_SUCCESS;
    if (!bDirectAttachment && !bDocumentViewFile)
    {
        if ((pContext->RequestFlags & RF_FAKE_DORVEL_VIRTUAL_FOLDER) != 0)
        {
            int nCacheMultimedia = 0;
            if (!GetRequestSetting(SETTING_CACHE_MULTIMEDIA, nCacheMultimedia, pContext->SettingID,
                                   ENGINE_MULTIMEDIA))
                TraceLog("[CNotifications::NotifyAuthComplete] CDLSWGeneralSettings::GetSettingFromID() "
                         "failed. ID "
                         "<%d> EngineID <%d> SettingID <%d>.",
                         SETTING_CACHE_MULTIMEDIA, ENGINE_MULTIMEDIA, static_cast<int>(pContext->SettingID));
            dwRet = CAuthCompleteHelper::RedirectDorvelFakeRequest(pContext, strURL, strQueryString,
                                                                   nCacheMultimedia != 0 ? TRUE : FALSE);
            if (dwRet != ERROR_SUCCESS)
                TraceLog(
                    "[CNotifications::NotifyAuthComplete] CAuthCompleteHelper::RedirectDorvelFakeRequest "
                    "failed.");
        }
        if ((pContext->RequestFlags & RF_ATTACH_FILE_DIALOG_OR_MANAGER) != 0)
        {
            TraceLog("[CNotifications::NotifyAuthComplete] This is an attach file dialog request.");
            int nBlockLevel = 0;
            if (!GetRequestSetting(SETTING_ATTACHMENT_BUTTONS, nBlockLevel, pContext->SettingID,
                                   ENGINE_DEFAULT))
            {
                // Without its block level the settings set cannot say whether uploads are allowed.
                TraceLog("[CDLPremiumFormItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to read "
                         "attachment "
                         "buttons block level setting. ID <%d>.",
                         SETTING_ATTACHMENT_BUTTONS);
                pContext->ControlMessage = CM_IGNORE;
                return ERROR_INVALID_DATA;
            }
            TraceLog("[CNotifications::NotifyAuthComplete] Attachment buttons block level is <%d>.",
                     nBlockLevel);
            if (nBlockLevel == 1 || nBlockLevel == 2)
            {
                const DWORD dwSendRet = CAuthCompleteHelper::SendAccessDeniedResponse(pContext);
                if (dwSendRet == ERROR_SUCCESS)
                {
                    pContext->ControlMessage = CM_COMPLETED;
                    return ERROR_SUCCESS;
                }
                dwRet = dwSendRet;
                TraceLog("[CNotifications::NotifyAuthComplete] "
                         "CNotifyAuthCompleteHelper::SendAccessDeniedResponse() "
                         "failed.");
            }
        }
        if (dwRet != ERROR_SUCCESS)
            pContext->ControlMessage = CM_IGNORE;
        return dwRet;
    }

    if (bDirectAttachment)
        TraceLog("[CNotifications::NotifyAuthComplete] This is a direct attachment access request.");
    else
        TraceLog("[CNotifications::NotifyAuthComplete] This is a premium documentview direct file access "
                 "request.");
    bool bAccessDeniedPageSent = false;
    bool bForceSaveIDRemoved = false;
    dwRet = CAuthCompleteHelper::HandleDirectFileAccessRequest(
        pContext, strURL, strQueryString,
        bDirectAttachment ? DIRECT_FILE_ACCESS_ATTACHMENT : DIRECT_FILE_ACCESS_DOCUMENT_VIEW,
        bAccessDeniedPageSent, bForceSaveIDRemoved);
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CAuthCompleteHelper::HandleDirectFileAccessRequest() "
                 "failed.");
        pContext->ControlMessage = CM_IGNORE;
    }
    else if (bAccessDeniedPageSent)
        pContext->ControlMessage = CM_COMPLETED;
    else if (bDocumentViewFile && bForceSaveIDRemoved)
        pContext->RequestFlags |= RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED;
    else
        pContext->ControlMessage = CM_IGNORE;
    return dwRet;
}

// A request the settings may refuse (a direct download, the attach-file dialog and its upload) that could
// not be decided must not reach OWA: it is refused (in English when the user's language is not known yet).
// A host that cannot send the refusal is told the request is over, and the code says it failed.
DWORD RefuseUndecidedRequest(CDLLContext* pContext, DWORD dwRet, const char* pszRequest)
{
    TraceLog("[CNotifications::NotifyAuthComplete] %s could not be decided (error %d). Send "
             "'401 Access Denied' response.",
             pszRequest, static_cast<int>(dwRet));
    DWORD dwSendRet = ERROR_ARENA_TRASHED;
    try
    {
        dwSendRet = CAuthCompleteHelper::SendAccessDeniedResponse(pContext);
    }
    catch (...)
    {
        dwSendRet = ERROR_ARENA_TRASHED;
    }
    if (dwSendRet != ERROR_SUCCESS)
        TraceLog("[CNotifications::NotifyAuthComplete] The access denied response could not be sent. End the "
                 "request.");
    pContext->ControlMessage = CM_COMPLETED;
    return dwRet;
}

// Whether the request's query names a file for the viewer; a query that cannot be read counts as one.
bool NamesViewerFile(const CDLLContext* pContext)
{
    std::string strQuery;
    return pContext->m_spRequestInfo.IsNull() ||
           !pContext->m_spRequestInfo->GetServerVariable(g_sQUERY_STRING, strQuery) ||
           CAuthCompleteHelper::CountViewerFileParams(strQuery) > 0;
}

// A request under the viewer's folder that ends without the worker's redirect (a failure, an anonymous or
// bypassed user, a kind the worker does not redirect, the viewer page asked for directly) goes on, since
// the viewer's own pages and resources come that way; but without the client's "owaal" and "CMC245",
// which the viewer may take only from the worker. One that names a file after a failure is refused: the
// viewer would open it without the level the worker could not work out. So is one whose parameters cannot
// be taken out.
DWORD PassViewerRequestOn(CDLLContext* pContext, DWORD dwRet)
{
    DWORD dwStripRet = ERROR_ARENA_TRASHED;
    try
    {
        if (dwRet != ERROR_SUCCESS && NamesViewerFile(pContext))
            return RefuseUndecidedRequest(pContext, dwRet, "The viewer request that names a file");
        dwStripRet = CAuthCompleteHelper::StripClientViewerParams(pContext);
    }
    catch (...)
    {
        dwStripRet = ERROR_ARENA_TRASHED;
    }
    if (dwStripRet == ERROR_SUCCESS)
        return dwRet;
    return RefuseUndecidedRequest(pContext, dwRet != ERROR_SUCCESS ? dwRet : dwStripRet,
                                  "The viewer request");
}
} // namespace

DWORD CNotifications::NotifyAuthComplete(CDLLContext* pContext)
{
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] CDLLContext pointer is NULL.");
        LogFinished("NotifyAuthComplete", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    const bool bDirectDownload =
        (pContext->RequestFlags & (RF_DIRECT_ATTACHMENT_ACCESS | RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS)) != 0;
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        dwRet = HandleAuthComplete(pContext);
    }
    catch (const std::exception& e)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] Exception <%s>. Ignore.", e.what());
        dwRet = ERROR_ARENA_TRASHED;
        pContext->ControlMessage = CM_IGNORE;
    }
    catch (...)
    {
        TraceLog("[CNotifications::NotifyAuthComplete] Exception <%s>. Ignore.", "unknown");
        dwRet = ERROR_ARENA_TRASHED;
        pContext->ControlMessage = CM_IGNORE;
    }
    const bool bAttachFileDialog = (pContext->RequestFlags & RF_ATTACH_FILE_DIALOG_OR_MANAGER) != 0;
    const bool bViewer = (pContext->RequestFlags & RF_FAKE_DORVEL_VIRTUAL_FOLDER) != 0;
    if (pContext->ControlMessage == CM_COMPLETED)
    {
        // Answered: nothing goes on.
    }
    else if (bDirectDownload && dwRet != ERROR_SUCCESS)
        dwRet = RefuseUndecidedRequest(pContext, dwRet, "The direct file access");
    else if (bAttachFileDialog && dwRet != ERROR_SUCCESS)
        dwRet = RefuseUndecidedRequest(pContext, dwRet, "The attach file dialog request");
    else if (bViewer && pContext->ControlMessage != CM_HANDLED_REDIRECTED)
        dwRet = PassViewerRequestOn(pContext, dwRet);
    // The host sends no further notification of a request it ignores or that is answered, and some hosts
    // skip end of request then too.
    if ((pContext->ControlMessage == CM_IGNORE || pContext->ControlMessage == CM_COMPLETED) &&
        pContext->m_pMyOwnContext != nullptr)
    {
        delete pContext->m_pMyOwnContext;
        pContext->m_pMyOwnContext = nullptr;
    }
    LogFinished("NotifyAuthComplete", pContext, dwRet);
    return dwRet;
}
