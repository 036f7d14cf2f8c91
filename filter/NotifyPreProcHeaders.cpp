// Classification of a request at pre-processed headers: the classes the later notifications act on,
// recorded as request flags, and Ignore for a request of no interest.
#include "common/CiString.h"
#include "common/SharedConstants.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "filter/AuthCompleteHelper.h"
#include "filter/Notifications.h"
#include "request/Util.h"

#include <string>

namespace
{
// Methods and parameter values compare as whole strings without regard to case.
bool EqualsNoCase(const std::string& strText, const char* pszOther)
{
    return ToCi(strText) == ci_string(pszOther);
}

// A query parameter as the classification sees it: present whatever its value, empty included.
struct CParam
{
    bool m_bPresent = false;
    std::string m_strValue;

    void Read(const CRequestInfo& requestInfo, const char* pszName)
    {
        m_bPresent = requestInfo.GetParamValue(pszName, m_strValue);
    }
    bool Is(const char* pszValue) const { return m_bPresent && EqualsNoCase(m_strValue, pszValue); }
};

enum Result
{
    READ_EDIT_ITEM,
    PREMIUM_ATTACH_FILE_DIALOG,
    PREMIUM_DELETE_ATTACHMENT,
    PREMIUM_DOCUMENT_VIEW,
    PREMIUM_DOCUMENT_VIEW_SORT,
    BASIC_ATTACHMENT_MANAGER,
    DIRECT_ATTACHMENT_ACCESS,
    PREMIUM_DOCUMENT_VIEW_DIRECT_FILE_ACCESS,
    FAKE_DORVEL_VIRTUAL_FOLDER,
    RESULT_COUNT
};

constexpr DWORD SUBSCRIPTION_OWA_PAGE = 2;
constexpr DWORD SUBSCRIPTION_OWA_EVENT = 4;
constexpr DWORD SUBSCRIPTION_DIRECT_ATTACHMENT = 5;

const char* YesNo(bool b)
{
    return b ? "Y" : "N";
}

// A request under the viewer's folder that the worker lets go here (a method it does not handle, headers it
// cannot read) never reaches authentication complete and its redirect; the viewer may still serve it, so it
// goes on without the client's "owaal" and "CMC245", or not at all.
void PassIgnoredViewerRequestOn(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_ARENA_TRASHED;
    try
    {
        dwRet = CAuthCompleteHelper::StripClientViewerParams(pContext);
        if (dwRet == ERROR_SUCCESS)
            return;
        TraceLog(
            "[CNotifications::NotifyPreProcHeaders] The viewer request could not be passed on without the "
            "client's own parameters. Send '401 Access Denied' response.");
        dwRet = CAuthCompleteHelper::SendAccessDeniedResponse(pContext);
    }
    catch (...)
    {
        dwRet = ERROR_ARENA_TRASHED;
    }
    if (dwRet != ERROR_SUCCESS)
        TraceLog(
            "[CNotifications::NotifyPreProcHeaders] The access denied response could not be sent. End the "
            "request.");
    pContext->ControlMessage = CM_COMPLETED;
}
} // namespace

DWORD CNotifications::NotifyPreProcHeaders(CDLLContext* pContext)
{
    if (pContext == nullptr)
    {
        TraceLog("[CNotifications::NotifyPreProcHeaders] CDLLContext pointer is NULL.");
        LogFinished("NotifyPreProcHeaders", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    const CRequestInfo* pRequestInfo = pContext->m_spRequestInfo.Get();
    if (pRequestInfo == nullptr)
    {
        TraceLog("[CNotifications::NotifyPreProcHeaders] CDLLContext.m_spRequestInfo is NULL.");
        pContext->ControlMessage = CM_IGNORE;
        if (IsVirtualFolderSubscription(pContext->SubscriptionType))
            PassIgnoredViewerRequestOn(pContext);
        LogFinished("NotifyPreProcHeaders", pContext, ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }

    pContext->RequestFlags = 0;
    pContext->m_pMyOwnContext = nullptr;
    pContext->ReplaceBuffer = nullptr;
    pContext->ReplaceBufferLength = 0;

    DWORD dwRet = ERROR_SUCCESS;
    bool abResults[RESULT_COUNT] = {};
    std::string strURL;
    std::string strMethod;
    std::string strUserAgent;
    const DWORD dwType = pContext->SubscriptionType;

    do
    {
        if (!pRequestInfo->GetServerVariable(g_sHTTP_URL, strURL))
        {
            TraceLog("[CNotifications::NotifyPreProcHeaders] Reading HTTP_URL header failed.");
            dwRet = ERROR_ARENA_TRASHED;
            break;
        }
        if (!pRequestInfo->GetServerVariable(g_sHTTP_METHOD, strMethod))
        {
            TraceLog("[CNotifications::NotifyPreProcHeaders] Reading HTTP_METHOD header failed.");
            dwRet = ERROR_ARENA_TRASHED;
            break;
        }
        const bool bPost = EqualsNoCase(strMethod, "POST");
        const bool bGet = EqualsNoCase(strMethod, "GET");
        if (bPost)
            pContext->RequestFlags |= RF_POST;
        if (!pRequestInfo->GetServerVariable(g_sHTTP_USER_AGENT, strUserAgent))
        {
            TraceLog("[CNotifications::NotifyPreProcHeaders] Reading HTTP_USER_AGENT header failed.");
            dwRet = ERROR_ARENA_TRASHED;
            break;
        }
        if (CUtil::IsMacUserAgent(strUserAgent))
            pContext->RequestFlags |= RF_MAC_CLIENT;
        if (CUtil::IsPremiumUserAgent(strUserAgent) || CUtil::IsOwaAuthUserAgent(strUserAgent))
            pContext->RequestFlags |= RF_PREMIUM_CLIENT;

        CParam smime;
        smime.Read(*pRequestInfo, "smime");
        if (smime.m_bPresent && !smime.m_strValue.empty())
            pContext->RequestFlags |= RF_SMIME;

        if (!bGet && !bPost)
        {
            pContext->ControlMessage = CM_IGNORE;
            TraceLog("[CNotifications::NotifyPreProcHeaders] HTTP URL <%s> METHOD <%s> UA <%s>. We are not "
                     "intersted in this request method. Ignore.",
                     strURL.c_str(), strMethod.c_str(), strUserAgent.c_str());
            if (IsVirtualFolderSubscription(dwType))
                PassIgnoredViewerRequestOn(pContext);
            LogFinished("NotifyPreProcHeaders", pContext, ERROR_SUCCESS);
            return ERROR_SUCCESS;
        }

        CParam ae, a, t, id, url, ns, ev, attach;
        switch (dwType)
        {
        case SUBSCRIPTION_OWA_PAGE:
            ae.Read(*pRequestInfo, "ae");
            a.Read(*pRequestInfo, "a");
            t.Read(*pRequestInfo, "t");
            id.Read(*pRequestInfo, "id");
            url.Read(*pRequestInfo, "URL");
            break;
        case SUBSCRIPTION_OWA_EVENT:
            ns.Read(*pRequestInfo, "ns");
            ev.Read(*pRequestInfo, "ev");
            url.Read(*pRequestInfo, "URL");
            break;
        case SUBSCRIPTION_DIRECT_ATTACHMENT:
            attach.Read(*pRequestInfo, "attach");
            break;
        default:
            break;
        }

        const bool bPage = dwType == SUBSCRIPTION_OWA_PAGE;
        const bool bEvent = dwType == SUBSCRIPTION_OWA_EVENT;
        const bool bItemAction = ae.Is("Item") || ae.Is("PreFormAction");

        abResults[READ_EDIT_ITEM] =
            bPage && bItemAction && !t.Is("IPM.DistList") && (a.m_bPresent || id.m_bPresent);
        abResults[PREMIUM_ATTACH_FILE_DIALOG] = bPage && ae.Is("Dialog") && t.Is("AttachFileDialog");
        abResults[BASIC_ATTACHMENT_MANAGER] =
            bPost && bPage && ((bItemAction && a.Is("Attach")) || (ae.Is("Dialog") && t.Is("Attach")));
        if (abResults[PREMIUM_ATTACH_FILE_DIALOG] || abResults[BASIC_ATTACHMENT_MANAGER])
            pContext->RequestFlags |= RF_ATTACH_FILE_DIALOG_OR_MANAGER;

        abResults[PREMIUM_DELETE_ATTACHMENT] = bPost && bEvent && ns.Is("Attachments") && ev.Is("Delete");
        if (abResults[PREMIUM_DELETE_ATTACHMENT])
            pContext->RequestFlags |= RF_PREMIUM_DELETE_ATTACHMENT;

        abResults[PREMIUM_DOCUMENT_VIEW] = bGet && bPage && ae.Is("Folder") && t.m_bPresent && url.m_bPresent;

        abResults[PREMIUM_DOCUMENT_VIEW_SORT] =
            bPost && bEvent && (ns.Is("UncListView") || ns.Is("SharepointListView")) && ev.Is("Sort");
        if (abResults[PREMIUM_DOCUMENT_VIEW_SORT])
            pContext->RequestFlags |= RF_DOCUMENT_VIEW_SORT;

        abResults[PREMIUM_DOCUMENT_VIEW_DIRECT_FILE_ACCESS] =
            bGet && bEvent && (ns.Is("UncDocument") || ns.Is("SharepointDocument")) && ev.Is("GetDoc") &&
            url.m_bPresent;
        if (abResults[PREMIUM_DOCUMENT_VIEW_DIRECT_FILE_ACCESS])
            pContext->RequestFlags |= RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS;

        abResults[DIRECT_ATTACHMENT_ACCESS] =
            bGet && dwType == SUBSCRIPTION_DIRECT_ATTACHMENT && attach.Is("1");
        if (abResults[DIRECT_ATTACHMENT_ACCESS])
            pContext->RequestFlags |= RF_DIRECT_ATTACHMENT_ACCESS;

        abResults[FAKE_DORVEL_VIRTUAL_FOLDER] = IsVirtualFolderSubscription(dwType);
        if (abResults[FAKE_DORVEL_VIRTUAL_FOLDER])
            pContext->RequestFlags |= RF_FAKE_DORVEL_VIRTUAL_FOLDER;
    } while (false);

    const DWORD dwFlags = pContext->RequestFlags;
    TraceLog(
        "[CNotifications::NotifyPreProcHeaders] HTTP URL <%s> METHOD <%s> SMIME <%s> UA <%s> Mac client <%s> "
        "Premium client <%s> SubscriptionType <%d> ReadEditItemRequest <%s> PremiumAttachFileDialogRequest "
        "<%s> "
        "PremiumDeleteAttachmentRequest <%s> PremiumDocumentViewRequest <%s> PremiumDocumentViewSortRequest "
        "<%s> BasicAttachmentManager <%s> DirectAttachmentAccessRequest <%s> "
        "PremiumDocumentViewDirectFileAccessRequest <%s> FakeDorvelVirtualFolderRequest <%s>.",
        strURL.c_str(), strMethod.c_str(), YesNo(dwFlags & RF_SMIME), strUserAgent.c_str(),
        YesNo(dwFlags & RF_MAC_CLIENT), YesNo(dwFlags & RF_PREMIUM_CLIENT), static_cast<int>(dwType),
        YesNo(abResults[READ_EDIT_ITEM]), YesNo(abResults[PREMIUM_ATTACH_FILE_DIALOG]),
        YesNo(abResults[PREMIUM_DELETE_ATTACHMENT]), YesNo(abResults[PREMIUM_DOCUMENT_VIEW]),
        YesNo(abResults[PREMIUM_DOCUMENT_VIEW_SORT]), YesNo(abResults[BASIC_ATTACHMENT_MANAGER]),
        YesNo(abResults[DIRECT_ATTACHMENT_ACCESS]),
        YesNo(abResults[PREMIUM_DOCUMENT_VIEW_DIRECT_FILE_ACCESS]),
        YesNo(abResults[FAKE_DORVEL_VIRTUAL_FOLDER]));

    bool bAny = false;
    for (bool bResult : abResults)
        bAny = bAny || bResult;
    if (dwRet != ERROR_SUCCESS)
    {
        pContext->ControlMessage = CM_IGNORE;
        if (IsVirtualFolderSubscription(dwType))
            PassIgnoredViewerRequestOn(pContext);
    }
    else if (!bAny)
    {
        TraceLog("[CNotifications::NotifyPreProcHeaders] We are not interested in this request. Ignore.");
        pContext->ControlMessage = CM_IGNORE;
    }
    LogFinished("NotifyPreProcHeaders", pContext, dwRet);
    return dwRet;
}
