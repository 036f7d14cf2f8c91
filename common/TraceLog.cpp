#include "common/TraceLog.h"

#include "common/TraceLogState.h"
#include "common/TraceText.h"
#include "platform/WinError.h"
#include "platform/WinFile.h"
#include "platform/WinMemory.h"
#include "platform/WinModule.h"
#include "platform/WinTime.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace TraceLogInternal
{
TraceLogState& State()
{
    // Built in static storage and never destroyed: other statics' destructors may still trace after the
    // unload flush. The unload guard gives back what it holds on the heap, so an unloaded module leaks
    // nothing.
    alignas(TraceLogState) static unsigned char s_storage[sizeof(TraceLogState)];
    static TraceLogState* s_pState = ::new (static_cast<void*>(s_storage)) TraceLogState();
    return *s_pState;
}

bool SinkMayWrite()
{
    return (GetTraceMask() & TRACE_MASK_ON) != 0;
}

std::string FormatTracePrefix()
{
    SYSTEMTIME st{};
    GetLocalTime(&st);
    char szPrefix[TRACE_PREFIX_SIZE + 1] = {};
    const int n = std::snprintf(szPrefix, TRACE_PREFIX_SIZE, "\r\n%04u/%02u/%02u %02u:%02u:%02u.%03u %4X ",
                                st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                                st.wMilliseconds, static_cast<unsigned>(GetCurrentThreadId()));
    return n > 0 ? std::string(szPrefix) : std::string();
}

bool WriteAll(HANDLE hFile, const char* pData, size_t nLength, int64_t& nOffset)
{
    while (nLength > 0)
    {
        const DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(nLength, 0x40000000u));
        DWORD dwWritten = 0;
        if (!WriteFile(hFile, pData, dwChunk, &dwWritten, nullptr))
        {
            nOffset += dwWritten;
            return false;
        }
        nOffset += dwWritten;
        pData += dwWritten;
        nLength -= dwWritten;
    }
    return true;
}
} // namespace TraceLogInternal

using namespace TraceLogInternal;

namespace
{
constexpr size_t TRACE_LINE_SIZE = 2048;
constexpr size_t TRACE_PART_SIZE = 512;
// One setting read or written under the state lock.
template <typename T> T ReadSetting(T TraceLogState::*pMember)
{
    TraceLogState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    return state.*pMember;
}

template <typename T> void WriteSetting(T TraceLogState::*pMember, const T& value)
{
    TraceLogState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    state.*pMember = value;
}

std::atomic<DWORD> g_dwTraceMask{0};
std::atomic<PFN_TRACE_FUNCTION> g_pfnTrace{&TraceLogToFallbackFile};
std::atomic<CSync*> g_pLogLock{nullptr};
std::atomic<PFN_TRACE_EVENT_WRITER> g_pfnEventWriter{nullptr};

void SeekFile(HANDLE hFile, int64_t nOffset)
{
    LONG lHigh = static_cast<LONG>(nOffset >> 32);
    SetFilePointer(hFile, static_cast<LONG>(nOffset & 0xFFFFFFFF), &lHigh, FILE_BEGIN);
}

// Positions the file for the next block: after the reserved 100 bytes at first, at the wrap start once
// the file has reached the maximum size.
void PositionFileLocked(TraceLogState& state)
{
    HANDLE hFile = state.m_spFile.Get();
    if (state.m_nFileWriteOffset == 0)
    {
        state.m_nFileWriteOffset = TRACE_HEADER_SIZE;
        SeekFile(hFile, state.m_nFileWriteOffset);
    }
    else if (state.m_nFileWriteOffset >= state.m_nMaxSize)
    {
        state.m_nFileWriteOffset = state.m_nWrapStart > 0 ? static_cast<int64_t>(state.m_nWrapStart) + 1 : 1;
        SeekFile(hFile, state.m_nFileWriteOffset);
    }
}

// Writes the buffered lines, then the given prefix and text. False when a write failed; the buffer then
// stays for the next flush.
bool WriteFileBlockLocked(TraceLogState& state, const std::string& sPrefix, const char* pszText)
{
    PositionFileLocked(state);
    HANDLE hFile = state.m_spFile.Get();
    if (!state.m_sFileBuffer.empty())
    {
        if (!WriteAll(hFile, state.m_sFileBuffer.data(), state.m_sFileBuffer.size(),
                      state.m_nFileWriteOffset))
            return false;
        state.m_sFileBuffer.clear();
    }
    if (!WriteAll(hFile, sPrefix.data(), sPrefix.size(), state.m_nFileWriteOffset))
        return false;
    return pszText == nullptr || WriteAll(hFile, pszText, std::strlen(pszText), state.m_nFileWriteOffset);
}

void FlushLocked(TraceLogState& state, bool bUnmap)
{
    FlushSectionLocked(state, bUnmap);
    if (!state.m_sFileBuffer.empty() && state.m_spFile)
    {
        PositionFileLocked(state);
        if (WriteAll(state.m_spFile.Get(), state.m_sFileBuffer.data(), state.m_sFileBuffer.size(),
                     state.m_nFileWriteOffset))
        {
            FlushFileBuffers(state.m_spFile.Get());
            state.m_sFileBuffer.clear();
        }
    }
}

// Flushes at unload and lets go of the section and the log file.
struct TraceLogUnloadGuard
{
    ~TraceLogUnloadGuard()
    {
        try
        {
            TraceLogState& state = State();
            std::lock_guard<std::mutex> lock(state.m_mutex);
            if (state.m_spSection || state.m_spFile)
                FlushLocked(state, true);
            UnmapSectionLocked(state);
            state.m_spSection.Release();
            state.m_spFile.Release();
            state.m_bUnloaded = true;
            DiscardEarlyLinesLocked(state);
            std::string().swap(state.m_sFileBuffer);
            std::string().swap(state.m_sModulePrefix);
            std::string().swap(state.m_sLogPath);
        }
        catch (...)
        {
        }
    }
};
TraceLogUnloadGuard g_unloadGuard;

// The directory (Windows form, with its trailing backslash) of a loaded module, or empty when none of
// that name is loaded.
std::string LoadedModuleDirectory(const char* pszModuleName)
{
    HMODULE hModule = GetModuleHandleA(pszModuleName);
    if (hModule == nullptr)
        return std::string();
    char szPath[MAX_PATH + 1] = {};
    const DWORD dwLength = GetModuleFileNameA(hModule, szPath, sizeof(szPath));
    if (dwLength == 0 || dwLength >= sizeof(szPath))
        return std::string();
    const std::string sPath(szPath, dwLength);
    const size_t nSlash = sPath.rfind('\\');
    return nSlash == std::string::npos ? std::string() : sPath.substr(0, nSlash + 1);
}

void FormatCtimeText(char* pszBuffer, size_t nSize)
{
    static const char* const s_days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const s_months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME st{};
    GetLocalTime(&st);
    std::snprintf(pszBuffer, nSize, "%.3s %.3s%3u %.2u:%.2u:%.2u %u\n", s_days[st.wDayOfWeek % 7],
                  s_months[(st.wMonth + 11) % 12], st.wDay, st.wHour, st.wMinute, st.wSecond, st.wYear);
}

void WriteFileLineLocked(TraceLogState& state, const std::string& sPrefix, const char* pszText)
{
    if (state.m_bUnloaded || state.m_nMaxSize <= state.m_nWrapStart)
        return;
    if (!state.m_spFile)
    {
        HANDLE hFile = CreateFileA(state.m_sLogPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            return;
        state.m_spFile = CHandleHolder(hFile);
    }
    if (state.m_sFileBuffer.capacity() < static_cast<size_t>(TRACE_FILE_BUFFER_LIMIT))
        state.m_sFileBuffer.reserve(TRACE_FILE_BUFFER_LIMIT);
    const size_t nTextLength = std::strlen(pszText);
    if (state.m_sFileBuffer.size() + nTextLength + TRACE_PREFIX_SIZE + 1 >=
        static_cast<size_t>(TRACE_FILE_BUFFER_LIMIT))
    {
        WriteFileBlockLocked(state, sPrefix, pszText);
        return;
    }
    state.m_sFileBuffer += sPrefix;
    state.m_sFileBuffer.append(pszText, nTextLength);
}

// A line traced before the log was set up is held until it is; once the holding has ended it goes to the
// trace function when the mask now lets it, as any other line.
void DeliverLine(bool bEarly, const char* pszLine)
{
    if (bEarly && HoldEarlyLine(pszLine))
        return;
    if (bEarly && GetTraceMask() == 0)
        return;
    PFN_TRACE_FUNCTION pfn = GetTraceFunction();
    if (pfn != nullptr)
        pfn(pszLine);
}

void WriteFallbackLineLocked(TraceLogState& state, const char* pszText)
{
    if (!state.m_bFallbackChecked)
    {
        // The document converter, when it is loaded into this process, keeps the log beside itself.
        state.m_bFallbackChecked = true;
        const std::string sDirectory = LoadedModuleDirectory("Convert.dll");
        if (!sDirectory.empty() && sDirectory.size() + 10 <= TRACE_LOG_PATH_MAX)
            state.m_sLogPath = sDirectory + "KS_Log.txt";
    }
    if (!SinkMayWrite() || state.m_bUnloaded)
        return;
    HANDLE hFile = CreateFileA(state.m_sLogPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    CHandleHolder spFile(hFile);
    SetFilePointer(hFile, 0, nullptr, FILE_END);
    char szTime[64] = {};
    FormatCtimeText(szTime, sizeof(szTime));
    std::string sEntry = "\n\n ****  ";
    sEntry += szTime;
    sEntry += " ";
    sEntry += pszText;
    int64_t nIgnored = 0;
    WriteAll(hFile, sEntry.data(), sEntry.size(), nIgnored);
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

void SetTraceLogFunction(PFN_TRACE_FUNCTION pfnTrace)
{
    g_pfnTrace.store(pfnTrace, std::memory_order_release);
}

void SetTraceFunction(PFN_TRACE_FUNCTION pfnTrace)
{
    SetTraceLogFunction(pfnTrace);
}

void SetTraceLogLock(CSync* pLock)
{
    g_pLogLock.store(pLock, std::memory_order_release);
}

CSync* GetTraceLogLock()
{
    return g_pLogLock.load(std::memory_order_acquire);
}

void SetTraceLogPath(const char* pszPath)
{
    WriteSetting(&TraceLogState::m_sLogPath,
                 pszPath != nullptr ? std::string(pszPath).substr(0, TRACE_LOG_PATH_MAX) : std::string());
}

std::string GetTraceLogPath()
{
    return ReadSetting(&TraceLogState::m_sLogPath);
}

void SetTraceLogMaxSize(int32_t nBytes)
{
    WriteSetting(&TraceLogState::m_nMaxSize, nBytes);
}

bool SetTraceLogMaxSizeKB(int64_t llKB)
{
    if (llKB <= 0)
        return false;
    constexpr int64_t MAX_BYTES = 0x7FFFFFFF;
    const int64_t llBytes = llKB > (MAX_BYTES >> 10) ? MAX_BYTES : llKB << 10;
    SetTraceLogMaxSize(static_cast<int32_t>(llBytes));
    return true;
}

int32_t GetTraceLogMaxSize()
{
    return ReadSetting(&TraceLogState::m_nMaxSize);
}

void SetTraceLogWrapStart(int32_t nOffset)
{
    WriteSetting(&TraceLogState::m_nWrapStart, nOffset);
}

int32_t GetTraceLogWrapStart()
{
    return ReadSetting(&TraceLogState::m_nWrapStart);
}

void SetTraceLogModulePrefix(const std::string& sPrefix)
{
    WriteSetting(&TraceLogState::m_sModulePrefix, sPrefix);
}

std::string GetTraceLogModulePrefix()
{
    return ReadSetting(&TraceLogState::m_sModulePrefix);
}

void SetTraceLogDumpAtUnload(bool bDump)
{
    WriteSetting(&TraceLogState::m_bDumpAtUnload, bDump);
}

bool GetTraceLogDumpAtUnload()
{
    return ReadSetting(&TraceLogState::m_bDumpAtUnload);
}

void SetTraceEventLogWriter(PFN_TRACE_EVENT_WRITER pfnWriter)
{
    g_pfnEventWriter.store(pfnWriter, std::memory_order_release);
}

void TraceLog(const char* pszFormat, ...)
{
    const bool bEarly = GetTraceMask() == 0;
    if (pszFormat == nullptr || (bEarly && !HoldingEarlyLines()))
        return;
    try
    {
        char szLine[TRACE_LINE_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szLine, TRACE_LINE_SIZE, pszFormat, args);
        va_end(args);
        DeliverLine(bEarly, szLine);
    }
    catch (...)
    {
        // Logging never fails its caller.
    }
}

void TraceLogError(DWORD dwError, const char* pszFormat, ...)
{
    const bool bEarly = GetTraceMask() == 0;
    if (pszFormat == nullptr || (bEarly && !HoldingEarlyLines()))
        return;
    try
    {
        char szMessage[TRACE_PART_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szMessage, TRACE_PART_SIZE, pszFormat, args);
        va_end(args);
        char szSystem[TRACE_PART_SIZE + 1] = {};
        FormatSystemErrorText(dwError, szSystem, TRACE_PART_SIZE);
        char szLine[TRACE_LINE_SIZE + 1] = {};
        std::snprintf(szLine, TRACE_LINE_SIZE, "%s   %s", szMessage, szSystem);
        DeliverLine(bEarly, szLine);
    }
    catch (...)
    {
        // Logging never fails its caller.
    }
}

void FormatSystemErrorText(DWORD dwError, char* pszBuffer, DWORD nSize)
{
    if (pszBuffer == nullptr || nSize == 0)
        return;
    char* pszSystem = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError, 0,
                   reinterpret_cast<LPSTR>(&pszSystem), 0, nullptr);
    std::snprintf(pszBuffer, nSize, "%s", pszSystem != nullptr ? pszSystem : "");
    if (pszSystem != nullptr)
        LocalFree(pszSystem);
    for (char* p = pszBuffer; *p != 0; ++p)
    {
        if (*p == '\n' || *p == '\r')
            *p = ' ';
    }
}

void TraceLogToFile(const char* pszText)
{
    if (!SinkMayWrite())
        return;
    // The line's time and thread are formatted before the log's locks are taken, so that the threads of a
    // busy server wait for each other only while a line is appended.
    const std::string sPrefix = FormatTracePrefix();
    WriteUnderLogLocks(pszText, [&](TraceLogState& state) { WriteFileLineLocked(state, sPrefix, pszText); });
}

void TraceLogToFallbackFile(const char* pszText)
{
    WriteUnderLogLocks(pszText, [&](TraceLogState& state) { WriteFallbackLineLocked(state, pszText); });
}

void WriteEventLogTrace(const char* pszText)
{
    if (pszText == nullptr)
        return;
    PFN_TRACE_EVENT_WRITER pfnWriter = g_pfnEventWriter.load(std::memory_order_acquire);
    if (pfnWriter != nullptr)
        pfnWriter(3, pszText); // information
}

void FlushTraceLog(bool bUnmap)
{
    try
    {
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        FlushLocked(state, bUnmap);
    }
    catch (...)
    {
    }
}

void ResetTraceLogState()
{
    TraceLogState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    UnmapSectionLocked(state);
    state.m_spSection.Release();
    state.m_spFile.Release();
    state.m_sLogPath = TRACE_DEFAULT_LOG_PATH;
    state.m_nMaxSize = TRACE_DEFAULT_MAX_SIZE;
    state.m_nWrapStart = TRACE_DEFAULT_WRAP_START;
    state.m_sModulePrefix.clear();
    state.m_bDumpAtUnload = false;
    state.m_bUnloaded = false;
    state.m_bFallbackChecked = false;
    state.m_nShmWriteOffset = 0;
    state.m_nShmHighWater = 0;
    state.m_nFileWriteOffset = 0;
    state.m_sFileBuffer.clear();
    DiscardEarlyLinesLocked(state);
    g_dwTraceMask.store(0);
    g_pfnTrace.store(&TraceLogToFallbackFile);
    g_pLogLock.store(nullptr);
    g_pfnEventWriter.store(nullptr);
}
