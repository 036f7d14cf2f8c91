#include "host/HostFilter.h"

#include "contract/DLLContext.h"
#include "host/HostMachine.h"
#include "host/HostRequestState.h"
#include "host/HostUserToken.h"
#include "host/RawRequest.h"

#include <dlfcn.h>
#include <malloc.h>
#include <memory>
#include <mutex>

namespace
{
// A server answers page after page, and one rewrite of a page of megabytes allocates several times the page
// (the parser's indexes, the copy the host delivers, the edited copy). By default the C library hands such
// memory back to the kernel as soon as it is freed, and the next page faults it in again one zeroed page at
// a time, which on a large page costs more than the rewrite's own work. The host keeps what its heap grew to
// for the next request, as a server's allocator does.
void KeepTheHeapBetweenRequests()
{
    static std::once_flag s_once;
    std::call_once(s_once,
                   []
                   {
                       // Blocks up to the largest size the C library allows come from the heap; up to 64 MB
                       // freed at its top stay with the process.
                       mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
                       mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
                   });
}
} // namespace

CHostFilter::~CHostFilter()
{
    Unload();
}

bool CHostFilter::Load(const std::string& strModulePath, std::string& strError)
{
    Unload();
    KeepTheHeapBetweenRequests();
    ConfigureHostMachine(strModulePath);
    m_hModule = dlopen(strModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_hModule == nullptr)
    {
        const char* pszError = dlerror();
        strError = pszError != nullptr ? pszError : "cannot load " + strModulePath;
        return false;
    }
    m_pfnGetFilterVersion =
        reinterpret_cast<decltype(m_pfnGetFilterVersion)>(dlsym(m_hModule, "GetFilterVersion"));
    m_pfnHttpFilterProc = reinterpret_cast<decltype(m_pfnHttpFilterProc)>(dlsym(m_hModule, "HttpFilterProc"));
    m_pfnTerminateFilter =
        reinterpret_cast<decltype(m_pfnTerminateFilter)>(dlsym(m_hModule, "TerminateFilter"));
    if (m_pfnGetFilterVersion == nullptr || m_pfnHttpFilterProc == nullptr || m_pfnTerminateFilter == nullptr)
    {
        strError = strModulePath + " does not export GetFilterVersion, HttpFilterProc and TerminateFilter";
        Unload();
        return false;
    }
    return true;
}

BOOL CHostFilter::GetFilterVersion(HTTP_FILTER_VERSION& version)
{
    if (m_pfnGetFilterVersion == nullptr)
        return FALSE;
    return m_pfnGetFilterVersion(&version);
}

CHostResult CHostFilter::Process(const CHostRequest& request)
{
    CHostResult result;
    if (m_pfnHttpFilterProc == nullptr)
        return result;
    result.m_strRefusal = RawRequest::RefusalReason(request.m_raw);
    if (!result.m_strRefusal.empty())
    {
        result.m_strMethod = request.m_raw.m_strMethod;
        result.m_strURL = request.m_raw.m_strURL;
        result.m_strVersion = request.m_raw.m_strVersion;
        result.m_vecRequestHeaders = request.m_raw.m_vecHeaders;
        result.m_dwStatus = 400;
        result.m_vecResponseHeaders = {{"Content-Type", "text/html"}};
        result.m_strBody = "<html><body><h1>Bad Request</h1></body></html>";
        return result;
    }
    auto pState = std::make_unique<CHostRequestState>(request, result);
    // An authenticated request runs under its user's token, as a server thread impersonates the client.
    CHostUserToken userToken(request);
    static const DWORD s_adwOrder[] = {SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_AUTH_COMPLETE,
                                       SF_NOTIFY_SEND_RESPONSE, SF_NOTIFY_SEND_RAW_DATA};
    for (DWORD dwType : s_adwOrder)
    {
        pState->Deliver(m_pfnHttpFilterProc, dwType);
        if (pState->Stopped())
            break;
    }
    // End of request always comes, so the worker frees what it kept.
    pState->Deliver(m_pfnHttpFilterProc, SF_NOTIFY_END_OF_REQUEST);
    pState->Finish();
    return result;
}

DWORD CHostFilter::Terminate()
{
    return m_pfnTerminateFilter != nullptr ? m_pfnTerminateFilter() : ERROR_SUCCESS;
}

void CHostFilter::Unload()
{
    if (m_hModule != nullptr)
        dlclose(m_hModule);
    m_hModule = nullptr;
    m_pfnGetFilterVersion = nullptr;
    m_pfnHttpFilterProc = nullptr;
    m_pfnTerminateFilter = nullptr;
}
