// The host that stands in for the web server's filter: it loads the worker library, asks it for its
// version, drives each request through the five notifications with a per-request record of its own,
// answers the worker's call-backs, and applies what the worker asked for to the request and response it
// passes on.
#pragma once

#include "contract/FilterVersion.h"
#include "host/HostRequest.h"
#include "platform/HttpFilter.h"
#include "platform/WinTypes.h"

#include <string>

class CHostFilter
{
public:
    CHostFilter() = default;
    CHostFilter(const CHostFilter&) = delete;
    CHostFilter& operator=(const CHostFilter&) = delete;
    ~CHostFilter();

    bool Load(const std::string& strModulePath, std::string& strError);
    // The library's answer; the record is filled only when it answers TRUE.
    BOOL GetFilterVersion(HTTP_FILTER_VERSION& version);
    CHostResult Process(const CHostRequest& request);
    DWORD Terminate();
    void Unload();
    bool IsLoaded() const { return m_hModule != nullptr; }

private:
    void* m_hModule = nullptr;
    PFN_GET_FILTER_VERSION m_pfnGetFilterVersion = nullptr;
    PFN_HTTP_FILTER_PROC m_pfnHttpFilterProc = nullptr;
    PFN_TERMINATE_FILTER m_pfnTerminateFilter = nullptr;
};
