// The event log over syslog, with a recorder tests can read. Each event goes to syslog as
// "<source>[<id in hex>]: <strings joined by blanks>" at the priority of its type, and into the recorder,
// which keeps the latest events only.
#pragma once

#include "platform/WinHandle.h"
#include "platform/WinTypes.h"

#include <string>
#include <vector>

#define EVENTLOG_SUCCESS 0x0000u
#define EVENTLOG_ERROR_TYPE 0x0001u
#define EVENTLOG_WARNING_TYPE 0x0002u
#define EVENTLOG_INFORMATION_TYPE 0x0004u
#define EVENTLOG_AUDIT_SUCCESS 0x0008u
#define EVENTLOG_AUDIT_FAILURE 0x0010u

// The local computer only: a server name other than null or empty fails with ERROR_INVALID_COMPUTERNAME.
DLSW_API HANDLE RegisterEventSourceA(LPCSTR pszUNCServerName, LPCSTR pszSourceName);
DLSW_API BOOL DeregisterEventSource(HANDLE hEventLog);
DLSW_API BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID pUserSid,
                           WORD wNumStrings, DWORD dwDataSize, LPCSTR* ppszStrings, LPVOID pRawData);

struct RecordedEvent
{
    std::string m_sSource;
    WORD m_wType = 0;
    WORD m_wCategory = 0;
    DWORD m_dwEventId = 0;
    std::vector<std::string> m_strings;
    std::vector<BYTE> m_rawData;
    // Whether the reporting thread impersonated a user when it wrote the event.
    bool m_bThreadImpersonating = false;
};

// The events reported since the last clear, oldest first (at most the latest 1000).
DLSW_API std::vector<RecordedEvent> GetRecordedEvents();
DLSW_API void ClearRecordedEvents();
// Whether events also go to syslog (on unless switched off, e.g. by tests).
DLSW_API void SetEventLogToSyslog(bool bEnabled);
