// A request record as a host would hand it over, and the worker's trace lines captured for one test.
#pragma once

#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>

// A record with request information, owned by the test.
struct CTestRecord
{
    CTestRecord()
    {
        m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
        m_context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    }
    CRequestInfo& RequestInfo() { return *m_context.m_spRequestInfo.Get(); }
    void SetRequest(const std::string& strMethod, const std::string& strURL, const std::string& strUserAgent)
    {
        RequestInfo().SetServerVariable("HTTP_METHOD", strMethod);
        RequestInfo().SetServerVariable("HTTP_URL", strURL);
        RequestInfo().SetServerVariable("HTTP_USER_AGENT", strUserAgent);
        // The path and the query apart, as a server gives them too.
        const size_t nQuery = strURL.find('?');
        RequestInfo().SetServerVariable("URL", strURL.substr(0, nQuery));
        RequestInfo().SetServerVariable(
            "QUERY_STRING", nQuery == std::string::npos ? std::string() : strURL.substr(nQuery + 1));
    }

    CDLLContext m_context{};
};
