// A request record as a host would hand it over, and the worker's trace lines captured for one test.
#pragma once

#include "common/TraceLog.h"
#include "filter/DLLContext.h"
#include "filter/RequestInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

class CTraceCapture
{
public:
    CTraceCapture()
    {
        Lines().clear();
        m_dwOldMask = GetTraceMask();
        m_pfnOld = GetTraceFunction();
        SetTraceFunction(&CTraceCapture::Sink);
        SetTraceMask(TRACE_MASK_ON);
    }
    ~CTraceCapture()
    {
        SetTraceFunction(m_pfnOld);
        SetTraceMask(m_dwOldMask);
    }
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> s_vecLines;
        return s_vecLines;
    }
    static bool Has(const std::string& strLine)
    {
        return std::find(Lines().begin(), Lines().end(), strLine) != Lines().end();
    }
    static bool HasPrefix(const std::string& strPrefix)
    {
        return std::any_of(Lines().begin(), Lines().end(),
                           [&](const std::string& s)
                           { return s.compare(0, strPrefix.size(), strPrefix) == 0; });
    }

private:
    static void Sink(const char* pszLine) { Lines().emplace_back(pszLine); }

    DWORD m_dwOldMask = 0;
    PFN_TRACE_FUNCTION m_pfnOld = nullptr;
};

// A record with request information, owned by the test.
struct CTestRecord
{
    CTestRecord()
    {
        m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
        m_context.NotificationType = 0x4000;
    }
    CRequestInfo& RequestInfo() { return *m_context.m_spRequestInfo.Get(); }
    void SetRequest(const std::string& strMethod, const std::string& strURL, const std::string& strUserAgent)
    {
        RequestInfo().SetServerVariable("HTTP_METHOD", strMethod);
        RequestInfo().SetServerVariable("HTTP_URL", strURL);
        RequestInfo().SetServerVariable("HTTP_USER_AGENT", strUserAgent);
    }

    CDLLContext m_context{};
};
