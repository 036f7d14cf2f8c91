#include "common/TraceLog.h"
#include "common/TraceLogState.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace
{
// Mirrors TraceLogState::m_bHoldingEarly, so that a line traced with the log off costs one load when
// nothing is held.
std::atomic<bool> g_bHoldingEarly{false};
} // namespace

namespace TraceLogInternal
{
bool HoldingEarlyLines()
{
    return g_bHoldingEarly.load(std::memory_order_acquire);
}

bool HoldEarlyLine(const char* pszLine)
{
    if (pszLine == nullptr)
        return true;
    TraceLogState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    if (!state.m_bHoldingEarly)
        return false;
    const size_t nLength = std::strlen(pszLine);
    // Once a line is dropped every later one is too: what reaches the log is the start, without gaps.
    if (state.m_nEarlyDropped != 0 || state.m_vecEarlyLines.size() >= TRACE_EARLY_LINES_MAX ||
        state.m_nEarlyBytes + nLength > TRACE_EARLY_BYTES_MAX)
    {
        ++state.m_nEarlyDropped;
        return true;
    }
    state.m_vecEarlyLines.emplace_back(pszLine, nLength);
    state.m_nEarlyBytes += nLength;
    return true;
}

void DiscardEarlyLinesLocked(TraceLogState& state)
{
    state.m_bHoldingEarly = false;
    g_bHoldingEarly.store(false, std::memory_order_release);
    std::vector<std::string>().swap(state.m_vecEarlyLines);
    state.m_nEarlyBytes = 0;
    state.m_nEarlyDropped = 0;
}
} // namespace TraceLogInternal

using namespace TraceLogInternal;

void HoldEarlyTraceLines()
{
    try
    {
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        state.m_bHoldingEarly = true;
        g_bHoldingEarly.store(true, std::memory_order_release);
    }
    catch (...)
    {
        // Without the holding, early lines are lost as before.
    }
}

void ReleaseEarlyTraceLines()
{
    try
    {
        std::vector<std::string> vecLines;
        size_t nDropped = 0;
        {
            TraceLogState& state = State();
            std::lock_guard<std::mutex> lock(state.m_mutex);
            if (!state.m_bHoldingEarly)
                return;
            vecLines.swap(state.m_vecEarlyLines);
            nDropped = state.m_nEarlyDropped;
            DiscardEarlyLinesLocked(state);
        }
        // Held lines never reach a log the settings switched off.
        if (!SinkMayWrite())
            return;
        // The sink takes the log's locks itself, line by line, as for any other line.
        const PFN_TRACE_FUNCTION pfn = GetTraceFunction();
        if (pfn == nullptr)
            return;
        for (const std::string& sLine : vecLines)
            pfn(sLine.c_str());
        if (nDropped != 0)
        {
            char szLine[256] = {};
            std::snprintf(
                szLine, sizeof(szLine),
                "%zu trace lines written before the log was set up were dropped: only the first %zu "
                "lines or %zu bytes are kept",
                nDropped, TRACE_EARLY_LINES_MAX, TRACE_EARLY_BYTES_MAX);
            pfn(szLine);
        }
    }
    catch (...)
    {
        // Logging never fails its caller.
    }
}
