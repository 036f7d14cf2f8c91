// The worker's event source and the one-call writers the other parts use for a text event.
#pragma once

#include "platform/WinTypes.h"

// Texts written through the free writers below carry this event id.
constexpr DWORD EVENT_ID_TEXT = 0x60000074;
// At most this many strings reach one event.
constexpr size_t EVENT_MAX_STRINGS = 6;

class CEventLog
{
public:
    CEventLog() = default;
    virtual ~CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // Registers the source on the local computer ("Kestrune Dorvel" for a null name). 1 when a handle was
    // obtained; 0 when it failed or a source is held already.
    int Register(const char* pszSourceName);
    // 1 when a held source was deregistered, else 0.
    int Deregister();
    // Writes one event under the process's own identity: the caller's impersonation is dropped for the
    // call and put back afterwards. The strings follow the raw data and end with a null pointer; only
    // the first six are written. 87 without a source, else the write's Win32 code.
    DWORD WriteEvent(int nType, WORD wCategory, DWORD dwEventID, DWORD dwDataSize, void* pRawData, ...)
        __attribute__((sentinel));
    // The same with the strings already collected (at most six are written).
    DWORD WriteEventStrings(int nType, WORD wCategory, DWORD dwEventID, DWORD dwDataSize, void* pRawData,
                            const char* const* ppszStrings, size_t nStrings);

    HANDLE m_hEventSource = nullptr;
    DWORD m_dwRegistered = 0;
};

// One text event (id 0x60000074) through the general settings' event source; a null text writes nothing.
void WriteEventLogEntry(DWORD dwType, const char* pszText);
// Formats at most 2048 characters and writes them like WriteEventLogEntry; an empty text writes nothing.
void WriteEventLogF(DWORD dwType, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
