#include "host/ReportNames.h"

#include "contract/DLLContext.h"
#include "platform/HttpFilter.h"

#include <utility>

const char* NotificationName(DWORD dwType)
{
    switch (dwType)
    {
    case SF_NOTIFY_PREPROC_HEADERS:
        return "pre-processed headers";
    case SF_NOTIFY_AUTH_COMPLETE:
        return "authentication complete";
    case SF_NOTIFY_SEND_RESPONSE:
        return "send response";
    case SF_NOTIFY_SEND_RAW_DATA:
        return "send raw data";
    case SF_NOTIFY_END_OF_REQUEST:
        return "end of request";
    default:
        return "unknown";
    }
}

std::vector<std::string> RequestFlagNames(DWORD dwFlags)
{
    static const std::pair<DWORD, const char*> s_aNames[] = {
        {RF_PREMIUM_DELETE_ATTACHMENT, "PremiumDeleteAttachmentRequest"},
        {RF_FAKE_DORVEL_VIRTUAL_FOLDER, "FakeDorvelVirtualFolderRequest"},
        {RF_POST, "POST request"},
        {RF_ATTACH_FILE_DIALOG_OR_MANAGER, "PremiumAttachFileDialogRequest or BasicAttachmentManager"},
        {RF_DIRECT_ATTACHMENT_ACCESS, "DirectAttachmentAccessRequest"},
        {RF_MAC_CLIENT, "Mac client"},
        {RF_PREMIUM_CLIENT, "Premium client"},
        {RF_FBA_CLIENT, "FBA client"},
        {RF_FBA_PUBLIC_CLIENT, "FBA Public client"},
        {RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS, "PremiumDocumentViewDirectFileAccessRequest"},
        {RF_DOCUMENT_VIEW_SORT, "PremiumDocumentViewSortRequest"},
        {RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, "DocumentViewDirectFileAccessHandled"},
        {RF_SMIME, "SMIME"},
    };
    std::vector<std::string> vecNames;
    for (const auto& name : s_aNames)
    {
        if ((dwFlags & name.first) != 0)
            vecNames.emplace_back(name.second);
    }
    return vecNames;
}
