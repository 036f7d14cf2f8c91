// Raw requests as a host reads them, their URLs and query strings, and the worker's classification of
// them. The first byte picks the host's subscription type; the rest is the request.
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "contract/ViewerFolder.h"
#include "filter/Notifications.h"
#include "filter/Util.h"
#include "host/RawRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
void DropLine(const char*) {}

constexpr DWORD KNOWN_FLAGS = 0x1FFF;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const bool s_bTracing = []
    {
        // Tracing on, so the formatting of every line with request text in it runs too.
        SetTraceFunction(&DropLine);
        SetTraceMask(TRACE_MASK_ON);
        return true;
    }();
    (void)s_bTracing;
    if (nSize < 1)
        return 0;
    const DWORD dwSubscriptionType = pData[0] % 32;
    const std::string strText(reinterpret_cast<const char*>(pData + 1), nSize - 1);

    CRawRequest raw;
    std::string strError;
    const bool bParsed = RawRequest::Parse(strText, raw, strError);
    if (!bParsed)
    {
        // Not a request: take the whole input for a URL.
        raw.m_strMethod = "GET";
        raw.m_strURL = strText;
    }
    RawRequest::DeriveSubscriptionType(raw.m_strURL, DLSW_DEFAULT_VIRTUAL_FOLDER);

    CDLLContext context{};
    context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    context.SubscriptionType = dwSubscriptionType;
    context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
    CRequestInfo& info = *context.m_spRequestInfo.Get();
    for (const auto& param : RawRequest::ParseQuery(RawRequest::QueryOf(raw.m_strURL)))
        info.AddParam(param.first, param.second);
    info.SetServerVariable("HTTP_URL", raw.m_strURL);
    info.SetServerVariable("HTTP_METHOD", raw.m_strMethod);
    info.SetServerVariable("HTTP_USER_AGENT", "");
    for (const auto& header : raw.m_vecHeaders)
    {
        if (RawRequest::EqualsNoCase(header.first, "User-Agent"))
            info.SetServerVariable("HTTP_USER_AGENT", header.second);
    }

    const DWORD dwRet = CNotifications().NotifyPreProcHeaders(&context);
    if (dwRet != 0 && dwRet != 7)
        std::abort();
    if ((context.RequestFlags & ~KNOWN_FLAGS) != 0)
        std::abort();
    if (context.ControlMessage != CM_NONE && context.ControlMessage != CM_IGNORE)
        std::abort();
    // A request for the viewer's folder by GET or POST is never ignored.
    const bool bGetOrPost =
        RawRequest::EqualsNoCase(raw.m_strMethod, "GET") || RawRequest::EqualsNoCase(raw.m_strMethod, "POST");
    if (IsVirtualFolderSubscription(dwSubscriptionType) && bGetOrPost && context.ControlMessage != CM_NONE)
        std::abort();
    CNotifications().NotifyEndOfRequest(&context);
    return 0;
}
