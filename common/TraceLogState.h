// The trace log's shared state, as the front end and the shared-memory ring both reach it. Private to
// the trace log's own files.
#pragma once

#include "common/Sync.h"
#include "common/TraceLog.h"
#include "contract/CountedPtr.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace TraceLogInternal
{
// Room the wrap test keeps for the time-stamp prefix.
constexpr int64_t TRACE_PREFIX_ROOM = 256;
constexpr size_t TRACE_PREFIX_SIZE = 258;

using CHandleHolder = CCountedPtr<void, CCloseHandleDelete>;

struct TraceLogState
{
    std::mutex m_mutex; // guards everything below; taken inside the log lock
    std::string m_sLogPath = TRACE_DEFAULT_LOG_PATH;
    int32_t m_nMaxSize = TRACE_DEFAULT_MAX_SIZE;
    int32_t m_nWrapStart = TRACE_DEFAULT_WRAP_START;
    std::string m_sModulePrefix;
    bool m_bDumpAtUnload = false;
    bool m_bUnloaded = false;
    bool m_bFallbackChecked = false;

    CHandleHolder m_spSection;
    char* m_pView = nullptr;
    int64_t m_nViewSize = 0;
    int32_t m_nShmWriteOffset = 0;
    int32_t m_nShmHighWater = 0;

    CHandleHolder m_spFile;
    int64_t m_nFileWriteOffset = 0;
    std::string m_sFileBuffer;

    // Lines traced before the log was set up, while they are held.
    bool m_bHoldingEarly = false;
    std::vector<std::string> m_vecEarlyLines;
    size_t m_nEarlyBytes = 0;
    size_t m_nEarlyDropped = 0;
};

// The one state of the process, built on first use.
TraceLogState& State();

// Whether the mask lets the sinks write.
bool SinkMayWrite();

// Whether lines traced while the mask is 0 are being held; a cheap test, made before a line is formatted.
bool HoldingEarlyLines();
// Keeps a line traced while the mask is 0. False when the holding has ended meanwhile.
bool HoldEarlyLine(const char* pszLine);
// Forgets the held lines and ends the holding (the state lock held).
void DiscardEarlyLinesLocked(TraceLogState& state);

// "\r\n" + local date and time with milliseconds + the thread id in hexadecimal + a blank.
std::string FormatTracePrefix();

// Writes every byte or fails; nOffset advances by what was written either way.
bool WriteAll(HANDLE hFile, const char* pData, size_t nLength, int64_t& nOffset);

// The ring's part of a flush: its text written to the log path when it is to be dumped, then the view
// unmapped when bUnmap.
void FlushSectionLocked(TraceLogState& state, bool bUnmap);
void UnmapSectionLocked(TraceLogState& state);

// Runs fnWrite(state) holding the process-wide log lock, then the state lock: the order every sink takes
// them in. Nothing runs without a text or a log lock; a failure while logging drops the line.
template <class TWrite> void WriteUnderLogLocks(const char* pszText, TWrite&& fnWrite)
{
    CSync* pLock = GetTraceLogLock();
    if (pszText == nullptr || pLock == nullptr)
        return;
    try
    {
        CAutoSync guard(pLock);
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        fnWrite(state);
    }
    catch (...)
    {
        // A failure while logging drops the line.
    }
}

} // namespace TraceLogInternal
