#include "general/EventLog.h"

#include "common/RestoreThreadToken.h"
#include "common/StaticMemory.h"
#include "common/TraceText.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinEventLog.h"
#include "platform/WinSync.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace
{
constexpr const char* DEFAULT_EVENT_SOURCE = "Kestrune Dorvel";
constexpr size_t EVENT_TEXT_SIZE = 2048;

WORD EventTypeOf(int nType)
{
    switch (nType)
    {
    case 1:
        return EVENTLOG_ERROR_TYPE;
    case 2:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}
} // namespace

CEventLog::~CEventLog()
{
    if (m_dwRegistered != 0 && m_hEventSource != nullptr)
    {
        m_dwRegistered = 0;
        if (DeregisterEventSource(m_hEventSource))
            m_hEventSource = nullptr;
    }
}

int CEventLog::Register(const char* pszSourceName)
{
    if (m_hEventSource != nullptr || m_dwRegistered != 0)
        return 0;
    m_hEventSource =
        RegisterEventSourceA(nullptr, pszSourceName != nullptr ? pszSourceName : DEFAULT_EVENT_SOURCE);
    if (m_hEventSource != nullptr)
        m_dwRegistered = 1;
    return m_hEventSource != nullptr ? 1 : 0;
}

int CEventLog::Deregister()
{
    m_dwRegistered = 0;
    if (m_hEventSource == nullptr || !DeregisterEventSource(m_hEventSource))
        return 0;
    m_hEventSource = nullptr;
    return 1;
}

DWORD CEventLog::WriteEvent(int nType, WORD wCategory, DWORD dwEventID, DWORD dwDataSize, void* pRawData, ...)
{
    std::vector<const char*> vecStrings;
    va_list args;
    va_start(args, pRawData);
    for (const char* psz = va_arg(args, const char*); psz != nullptr && vecStrings.size() < EVENT_MAX_STRINGS;
         psz = va_arg(args, const char*))
        vecStrings.push_back(psz);
    va_end(args);
    return WriteEventStrings(nType, wCategory, dwEventID, dwDataSize, pRawData, vecStrings.data(),
                             vecStrings.size());
}

DWORD CEventLog::WriteEventStrings(int nType, WORD wCategory, DWORD dwEventID, DWORD dwDataSize,
                                   void* pRawData, const char* const* ppszStrings, size_t nStrings)
{
    if (m_hEventSource == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (nStrings > EVENT_MAX_STRINGS)
        nStrings = EVENT_MAX_STRINGS;
    // Events are written as the process, never as the user the thread impersonates.
    RestoreThreadToken token;
    token.Revert();
    std::vector<LPCSTR> vecStrings(ppszStrings, ppszStrings + nStrings);
    const BOOL bOk = ReportEventA(m_hEventSource, EventTypeOf(nType), wCategory, dwEventID, nullptr,
                                  static_cast<WORD>(nStrings), dwDataSize,
                                  vecStrings.empty() ? nullptr : vecStrings.data(), pRawData);
    return bOk ? ERROR_SUCCESS : GetLastError();
}

void WriteEventLogEntry(DWORD dwType, const char* pszText)
{
    if (pszText == nullptr)
        return;
    CDLSWGeneralSettings* pSettings = Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
    if (pSettings != nullptr)
        pSettings->m_EventLog.WriteEvent(static_cast<int>(dwType), 0, EVENT_ID_TEXT, 0, nullptr, pszText,
                                         static_cast<const char*>(nullptr));
}

void WriteEventLogF(DWORD dwType, const char* pszFormat, ...)
{
    if (pszFormat == nullptr)
        return;
    try
    {
        char szText[EVENT_TEXT_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szText, EVENT_TEXT_SIZE + 1, pszFormat, args);
        va_end(args);
        if (szText[0] != '\0')
            WriteEventLogEntry(dwType, szText);
    }
    catch (...)
    {
        // An event that cannot be written is dropped.
    }
}
