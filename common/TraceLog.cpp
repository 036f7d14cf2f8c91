#include "common/TraceLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace
{
constexpr size_t TRACE_BUFFER_SIZE = 2048;

std::atomic<DWORD> g_dwTraceMask{0};
std::atomic<PFN_TRACE_FUNCTION> g_pfnTrace{nullptr};

void Emit(const char* pszLine)
{
    PFN_TRACE_FUNCTION pfn = g_pfnTrace.load(std::memory_order_acquire);
    if (pfn == nullptr)
        return;
    try
    {
        pfn(pszLine);
    }
    catch (...)
    {
        // A failure while logging must never reach the caller.
    }
}
} // namespace

DWORD GetTraceMask()
{
    return g_dwTraceMask.load(std::memory_order_relaxed);
}

void SetTraceMask(DWORD dwMask)
{
    g_dwTraceMask.store(dwMask, std::memory_order_relaxed);
}

PFN_TRACE_FUNCTION GetTraceFunction()
{
    return g_pfnTrace.load(std::memory_order_acquire);
}

void SetTraceFunction(PFN_TRACE_FUNCTION pfnTrace)
{
    g_pfnTrace.store(pfnTrace, std::memory_order_release);
}

void TraceLog(const char* pszFormat, ...)
{
    if ((GetTraceMask() & TRACE_MASK_ON) == 0 || pszFormat == nullptr)
        return;
    char szLine[TRACE_BUFFER_SIZE];
    va_list args;
    va_start(args, pszFormat);
    const int n = std::vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);
    if (n < 0)
        return;
    Emit(szLine);
}

void TraceLogError(DWORD dwError, const char* pszFormat, ...)
{
    if ((GetTraceMask() & TRACE_MASK_ON) == 0 || pszFormat == nullptr)
        return;
    char szLine[TRACE_BUFFER_SIZE];
    va_list args;
    va_start(args, pszFormat);
    const int n = std::vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);
    if (n < 0)
        return;
    size_t nLen = static_cast<size_t>(n) < sizeof(szLine) ? static_cast<size_t>(n) : sizeof(szLine) - 1;
    std::snprintf(szLine + nLen, sizeof(szLine) - nLen, " Error 0x%08X", static_cast<unsigned>(dwError));
    Emit(szLine);
}
