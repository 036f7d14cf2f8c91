// Whole requests through the loaded worker library as the host drives them: a raw request (method, URL,
// query, headers, cookies) and the page the server would answer with, through all five notifications.
// The first byte is the host's subscription type (32 and above: the type the host derives from the URL);
// the second picks the host's other inputs (link criteria, user, client address, response status); then
// the request, and after its first empty line the page.
#include "contract/DLLContext.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"
#include "platform/HttpFilter.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
constexpr DWORD KNOWN_FLAGS = 0x1FFF;
constexpr DWORD DOWNLOAD_FLAGS = RF_DIRECT_ATTACHMENT_ACCESS | RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS;

CHostFilter* g_pHost = nullptr;

[[noreturn]] void Fail(const char* pszWhy, const CHostRequest& request, const CHostResult& result)
{
    std::fprintf(stderr, "%s: %s %s, subscription type %u, criteria %u, flags 0x%X\n", pszWhy,
                 request.m_raw.m_strMethod.c_str(), request.m_raw.m_strURL.c_str(),
                 static_cast<unsigned>(result.m_dwSubscriptionType),
                 static_cast<unsigned>(request.m_dwCriteriaID),
                 static_cast<unsigned>(result.m_dwRequestFlags));
    for (const CNotificationRecord& record : result.m_vecNotifications)
        std::fprintf(stderr, "  notification 0x%X: code %u, control message %u\n",
                     static_cast<unsigned>(record.m_dwType), static_cast<unsigned>(record.m_dwCode),
                     static_cast<unsigned>(record.m_dwControlMessage));
    std::abort();
}

const CNotificationRecord* Find(const CHostResult& result, DWORD dwType)
{
    for (const CNotificationRecord& record : result.m_vecNotifications)
    {
        if (record.m_dwType == dwType)
            return &record;
    }
    return nullptr;
}

void SetHostInputs(uint8_t bInputs, CHostRequest& request)
{
    request.m_dwCriteriaID = 1u + (bInputs & 3u); // 4 links to no settings
    switch ((bInputs >> 2) & 3)
    {
    case 1:
        request.m_strUser = "EXAMPLE\\alice";
        request.m_strUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
        break;
    case 2: // in a bypass group
        request.m_strUser = "EXAMPLE\\carol";
        request.m_strUserSid = "S-1-5-21-1004336348-1177238915-682003330-1002";
        request.m_vecGroupSids = {"S-1-5-21-1004336348-1177238915-682003330-1108"};
        break;
    case 3:
        request.m_strUser = "bob";
        break;
    default:
        break;
    }
    static const char* const s_apszClients[] = {"127.0.0.1", "10.1.2.3", "172.16.5.10", "fd00::1"};
    request.m_strClientAddress = s_apszClients[(bInputs >> 4) & 3];
    static const DWORD s_adwStatus[] = {200, 200, 401, 500};
    request.m_dwResponseStatus = s_adwStatus[(bInputs >> 6) & 3];
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pHost = new CHostFilter();
    std::string strError;
    HTTP_FILTER_VERSION version{};
    if (!g_pHost->Load(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so", strError) ||
        !g_pHost->GetFilterVersion(version))
    {
        std::fprintf(stderr, "request_fuzz: the worker did not start: %s\n", strError.c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 2)
        return 0;
    const std::string strText(reinterpret_cast<const char*>(pData + 2), nSize - 2);
    CHostRequest request;
    std::string strError;
    if (!RawRequest::Parse(strText, request.m_raw, strError))
    {
        // Not a request: the whole input taken for a URL.
        request.m_raw = CRawRequest();
        request.m_raw.m_strMethod = "GET";
        request.m_raw.m_strURL = strText;
        request.m_raw.m_strVersion = "HTTP/1.1";
    }
    else
    {
        const size_t nCRLF = strText.find("\r\n\r\n");
        const size_t nLF = strText.find("\n\n");
        if (nCRLF != std::string::npos && (nLF == std::string::npos || nCRLF < nLF))
            request.m_strResponseBody = strText.substr(nCRLF + 4);
        else if (nLF != std::string::npos)
            request.m_strResponseBody = strText.substr(nLF + 2);
        if (!request.m_strResponseBody.empty())
            request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
    }
    if (pData[0] < 32)
    {
        request.m_bSubscriptionTypeSet = true;
        request.m_dwSubscriptionType = pData[0];
    }
    SetHostInputs(pData[1], request);

    const CHostResult result = g_pHost->Process(request);
    if (!result.m_strRefusal.empty())
    {
        // The host's own 400: the worker never saw it.
        if (!result.m_vecNotifications.empty() || result.m_dwStatus != 400)
            Fail("a refused request reached the worker", request, result);
        return 0;
    }
    if ((result.m_dwRequestFlags & ~KNOWN_FLAGS) != 0)
        Fail("unknown request flags", request, result);
    const CNotificationRecord* pPreproc = Find(result, SF_NOTIFY_PREPROC_HEADERS);
    if (pPreproc == nullptr)
        Fail("no pre-processed headers", request, result);
    if (pPreproc->m_dwControlMessage != CM_NONE && pPreproc->m_dwControlMessage != CM_IGNORE)
        Fail("pre-processed headers ended in a control message of another notification", request, result);
    // A request for the viewer's folder by GET or POST is never ignored.
    const bool bGetOrPost = RawRequest::EqualsNoCase(request.m_raw.m_strMethod, "GET") ||
                            RawRequest::EqualsNoCase(request.m_raw.m_strMethod, "POST");
    if (result.m_dwSubscriptionType >= 20 && result.m_dwSubscriptionType <= 25 && bGetOrPost &&
        pPreproc->m_dwControlMessage == CM_IGNORE)
        Fail("a viewer request was ignored", request, result);

    // A direct download ends refused, allowed or bypassed by a decision, never passed on by a failure.
    if ((result.m_dwRequestFlags & DOWNLOAD_FLAGS) != 0)
    {
        bool bCompleted = false;
        for (const CNotificationRecord& record : result.m_vecNotifications)
            bCompleted = bCompleted || record.m_dwControlMessage == CM_COMPLETED;
        const CNotificationRecord* pAuth = Find(result, SF_NOTIFY_AUTH_COMPLETE);
        if (!bCompleted && pAuth == nullptr)
            Fail("a direct download went on without a decision", request, result);
        if (!bCompleted && pAuth->m_dwCode != ERROR_SUCCESS)
            Fail("a direct download went on after a failure", request, result);
        if (bCompleted && !result.m_bResponseSent)
            Fail("a refused download without a response", request, result);
    }
    // Every list the worker hands over is one the host applies.
    if (result.m_bInstructionsSubmitted && result.m_dwSubmitResult != 0)
    {
        std::fprintf(stderr, "refused list: %s\n", result.m_strSubmitError.c_str());
        Fail("the host refused the worker's list", request, result);
    }
    return 0;
}
