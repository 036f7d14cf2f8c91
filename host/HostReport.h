// What the host prints about one run: a readable report, or one JSON object.
#pragma once

#include "host/HostFilter.h"
#include "platform/WinEventLog.h"

#include <string>
#include <vector>

struct CHostRun
{
    std::string m_strModulePath;
    BOOL m_bVersionResult = FALSE;
    HTTP_FILTER_VERSION m_version{};
    CHostRequest m_request;
    bool m_bProcessed = false; // false when the library refused to start
    CHostResult m_result;
    DWORD m_dwTerminateResult = 0;
    // What the worker wrote to the event log during the run.
    std::vector<RecordedEvent> m_vecEvents;
};

std::string FormatReport(const CHostRun& run);
std::string FormatJson(const CHostRun& run);
// A JSON string literal of the text, quotes included: UTF-8 text as it is, control characters escaped,
// and each byte that is not part of well-formed UTF-8 as U+FFFD.
std::string JsonString(const std::string& strText);
