#include "platform/WinEventLog.h"

#include "platform/WinHandle.h"
#include "platform/WinSecurity.h"
#include "platform/WinSync.h"
#include "platform/WinTime.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <syslog.h>

namespace
{
constexpr size_t MAX_RECORDED_EVENTS = 1000;

class CEventSourceObject : public CWinHandleObject
{
public:
    explicit CEventSourceObject(std::string sSource) : m_sSource(std::move(sSource)) {}
    std::string m_sSource;
};

struct Recorder
{
    std::mutex m_mutex;
    std::deque<RecordedEvent> m_events;
};

Recorder& TheRecorder()
{
    static Recorder* s_pRecorder = new Recorder();
    return *s_pRecorder;
}

std::atomic<bool> g_bToSyslog{true};

int PriorityOf(WORD wType)
{
    switch (wType)
    {
    case EVENTLOG_ERROR_TYPE:
    case EVENTLOG_AUDIT_FAILURE:
        return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
        return LOG_WARNING;
    default:
        return LOG_INFO;
    }
}
} // namespace

HANDLE RegisterEventSourceA(LPCSTR pszUNCServerName, LPCSTR pszSourceName)
{
    if (pszUNCServerName != nullptr && *pszUNCServerName != 0)
    {
        SetLastError(ERROR_INVALID_COMPUTERNAME);
        return nullptr;
    }
    if (pszSourceName == nullptr || *pszSourceName == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return RegisterHandleObject(std::make_shared<CEventSourceObject>(pszSourceName));
}

BOOL DeregisterEventSource(HANDLE hEventLog)
{
    if (!LookupHandleAs<CEventSourceObject>(hEventLog))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hEventLog);
}

BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID /*pUserSid*/,
                  WORD wNumStrings, DWORD dwDataSize, LPCSTR* ppszStrings, LPVOID pRawData)
{
    auto spSource = LookupHandleAs<CEventSourceObject>(hEventLog);
    if (!spSource)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((wNumStrings != 0 && ppszStrings == nullptr) || (dwDataSize != 0 && pRawData == nullptr))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RecordedEvent event;
    event.m_sSource = spSource->m_sSource;
    event.m_wType = wType;
    event.m_wCategory = wCategory;
    event.m_dwEventId = dwEventID;
    HANDLE hToken = nullptr;
    event.m_bThreadImpersonating = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken) != FALSE;
    if (hToken != nullptr)
        CloseHandle(hToken);
    for (WORD i = 0; i < wNumStrings; ++i)
        event.m_strings.emplace_back(ppszStrings[i] != nullptr ? ppszStrings[i] : "");
    if (dwDataSize != 0)
    {
        const BYTE* pBytes = static_cast<const BYTE*>(pRawData);
        event.m_rawData.assign(pBytes, pBytes + dwDataSize);
    }
    if (g_bToSyslog.load(std::memory_order_relaxed))
    {
        std::string sText;
        for (const std::string& s : event.m_strings)
        {
            if (!sText.empty())
                sText.push_back(' ');
            sText += s;
        }
        ::syslog(LOG_USER | PriorityOf(wType), "%s[0x%08X]: %s", event.m_sSource.c_str(),
                 static_cast<unsigned>(dwEventID), sText.c_str());
    }
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> lock(recorder.m_mutex);
    recorder.m_events.push_back(std::move(event));
    if (recorder.m_events.size() > MAX_RECORDED_EVENTS)
        recorder.m_events.pop_front();
    return TRUE;
}

std::vector<RecordedEvent> GetRecordedEvents()
{
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> lock(recorder.m_mutex);
    return std::vector<RecordedEvent>(recorder.m_events.begin(), recorder.m_events.end());
}

void ClearRecordedEvents()
{
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> lock(recorder.m_mutex);
    recorder.m_events.clear();
}

void SetEventLogToSyslog(bool bEnabled)
{
    g_bToSyslog.store(bEnabled, std::memory_order_relaxed);
}
