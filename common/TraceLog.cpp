#include "common/TraceLog.h"

#include "common/CountedPtr.h"
#include "platform/WinError.h"
#include "platform/WinFile.h"
#include "platform/WinFileMapping.h"
#include "platform/WinMemory.h"
#include "platform/WinTime.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <link.h>
#include <mutex>
#include <new>
#include <strings.h>

namespace
{
constexpr size_t TRACE_LINE_SIZE = 2048;
constexpr size_t TRACE_PART_SIZE = 512;
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
};

TraceLogState& State()
{
    // Built in static storage and never destroyed: other statics' destructors may still trace after the
    // unload flush. The unload guard gives back what it holds on the heap, so an unloaded module leaks
    // nothing.
    alignas(TraceLogState) static unsigned char s_storage[sizeof(TraceLogState)];
    static TraceLogState* s_pState = ::new (static_cast<void*>(s_storage)) TraceLogState();
    return *s_pState;
}

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

bool SinkMayWrite()
{
    return (g_dwTraceMask.load(std::memory_order_relaxed) & TRACE_MASK_ON) != 0;
}

// "\r\n" + local date and time with milliseconds + the thread id in hexadecimal + a blank.
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

std::string SectionNameOf(const std::string& sLogPath)
{
    const size_t nSep = sLogPath.find_last_of("\\/:");
    std::string sName = nSep == std::string::npos ? sLogPath : sLogPath.substr(nSep + 1);
    if (sName.size() > 255)
        sName.resize(255);
    return "Global\\" + sName;
}

bool ParseHeader(const char* pView, int& nWrite, int& nHighWater, int& nWrapStart, int& nSize)
{
    char szHeader[TRACE_HEADER_SIZE] = {};
    std::memcpy(szHeader, pView, TRACE_HEADER_SIZE - 1);
    return std::sscanf(szHeader, "%d, %d, %d, %d", &nWrite, &nHighWater, &nWrapStart, &nSize) == 4;
}

void WriteHeader(char* pView, int nWrite, int nHighWater, int nWrapStart, int nSize)
{
    char szHeader[TRACE_HEADER_SIZE + 1];
    std::memset(szHeader, ' ', sizeof(szHeader));
    const int n =
        std::snprintf(szHeader, TRACE_HEADER_SIZE, "%d, %d, %d, %d", nWrite, nHighWater, nWrapStart, nSize);
    if (n >= 0)
        szHeader[std::min(n, TRACE_HEADER_SIZE - 1)] = ' ';
    szHeader[TRACE_HEADER_SIZE - 1] = ' ';
    std::memcpy(pView, szHeader, TRACE_HEADER_SIZE);
}

void UnmapSectionLocked(TraceLogState& state)
{
    if (state.m_pView != nullptr)
        UnmapViewOfFile(state.m_pView);
    state.m_pView = nullptr;
    state.m_nViewSize = 0;
}

// Widens the view to the size a header gives, never past the section's own end. A section opened before
// its creator wrote the header is mapped only as far as the header; it grows here once the header is
// there. False when a wider view could not be mapped; the current view then stays.
bool GrowViewLocked(TraceLogState& state, HANDLE hSection, int nSize)
{
    const int64_t nSection = static_cast<int64_t>(
        std::min<ULONGLONG>(GetFileMappingSize(hSection), static_cast<ULONGLONG>(INT32_MAX)));
    const int64_t nWanted = std::min<int64_t>(nSize, nSection);
    if (nWanted <= state.m_nViewSize)
        return true;
    char* pView =
        static_cast<char*>(MapViewOfFile(hSection, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(nWanted)));
    if (pView == nullptr)
        return false;
    UnmapSectionLocked(state);
    state.m_pView = pView;
    state.m_nViewSize = nWanted;
    return true;
}

// Opens or creates the section named after the log path and maps it; false drops the line.
bool OpenSectionLocked(TraceLogState& state)
{
    bool bCreated = false;
    HANDLE hSection = OpenTraceSharedMemory(SectionNameOf(state.m_sLogPath).c_str(),
                                            static_cast<DWORD>(state.m_nMaxSize), bCreated);
    if (hSection == nullptr || hSection == INVALID_HANDLE_VALUE)
        return false;
    CHandleHolder spSection(hSection);
    if (bCreated)
    {
        state.m_bDumpAtUnload = true;
        state.m_pView = static_cast<char*>(
            MapViewOfFile(hSection, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(state.m_nMaxSize)));
        if (state.m_pView == nullptr)
            return false;
        state.m_nViewSize = state.m_nMaxSize;
        state.m_nShmWriteOffset = TRACE_HEADER_SIZE;
        state.m_nShmHighWater = TRACE_HEADER_SIZE;
        WriteHeader(state.m_pView, TRACE_HEADER_SIZE, TRACE_HEADER_SIZE, state.m_nWrapStart,
                    state.m_nMaxSize);
    }
    else
    {
        state.m_pView =
            static_cast<char*>(MapViewOfFile(hSection, FILE_MAP_ALL_ACCESS, 0, 0, TRACE_HEADER_SIZE));
        if (state.m_pView == nullptr)
            return false;
        state.m_nViewSize = TRACE_HEADER_SIZE;
        int nWrite = 0;
        int nHighWater = 0;
        int nWrapStart = 0;
        int nSize = 0;
        if (ParseHeader(state.m_pView, nWrite, nHighWater, nWrapStart, nSize) && nSize >= 1)
        {
            if (!GrowViewLocked(state, hSection, nSize))
                return false;
            state.m_nMaxSize = nSize;
        }
    }
    state.m_spSection = spSection;
    return true;
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
    if (state.m_pView != nullptr)
    {
        if (state.m_bDumpAtUnload)
        {
            HANDLE hFile = CreateFileA(state.m_sLogPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (hFile != INVALID_HANDLE_VALUE)
            {
                // Other modules and processes write into the section too: the header read now gives the
                // end of their lines when it is beyond this module's own. The text ends at its first NUL,
                // and never past the high-water mark or the view.
                int nHighWater = state.m_nShmHighWater;
                int nWrite = 0;
                int nHeaderHighWater = 0;
                int nWrapStart = 0;
                int nSize = 0;
                if (state.m_nViewSize >= TRACE_HEADER_SIZE &&
                    ParseHeader(state.m_pView, nWrite, nHeaderHighWater, nWrapStart, nSize))
                    nHighWater = std::max(nHighWater, nHeaderHighWater);
                const int64_t nLimit = std::min<int64_t>(state.m_nViewSize, std::max(nHighWater, 0));
                const size_t nLength = strnlen(state.m_pView, static_cast<size_t>(nLimit));
                int64_t nIgnored = 0;
                WriteAll(hFile, state.m_pView, nLength, nIgnored);
                CloseHandle(hFile);
            }
        }
        if (bUnmap)
            UnmapSectionLocked(state);
    }
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

// The directory (Windows form, with its trailing backslash) of a loaded module named "<name>.so", any
// case, or empty when none is loaded.
std::string LoadedModuleDirectory(const char* pszName)
{
    struct Search
    {
        std::string m_sFile;
        std::string m_sPath;
    } search{std::string(pszName) + ".so", std::string()};
    dl_iterate_phdr(
        [](dl_phdr_info* pInfo, size_t, void* pData) -> int
        {
            auto* pSearch = static_cast<Search*>(pData);
            if (pInfo->dlpi_name == nullptr || *pInfo->dlpi_name == 0)
                return 0;
            const char* pszSlash = std::strrchr(pInfo->dlpi_name, '/');
            const char* pszBase = pszSlash != nullptr ? pszSlash + 1 : pInfo->dlpi_name;
            if (::strcasecmp(pszBase, pSearch->m_sFile.c_str()) != 0)
                return 0;
            pSearch->m_sPath = pInfo->dlpi_name;
            return 1;
        },
        &search);
    if (search.m_sPath.empty())
        return std::string();
    const std::string sWindows = MapPosixPathToWindows(search.m_sPath);
    const size_t nSlash = sWindows.rfind('\\');
    return nSlash == std::string::npos ? std::string() : sWindows.substr(0, nSlash + 1);
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
    if (GetTraceMask() == 0 || pszFormat == nullptr)
        return;
    try
    {
        char szLine[TRACE_LINE_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        std::vsnprintf(szLine, TRACE_LINE_SIZE, pszFormat, args);
        va_end(args);
        PFN_TRACE_FUNCTION pfn = GetTraceFunction();
        if (pfn != nullptr)
            pfn(szLine);
    }
    catch (...)
    {
        // Logging never fails its caller.
    }
}

void TraceLogError(DWORD dwError, const char* pszFormat, ...)
{
    if (GetTraceMask() == 0 || pszFormat == nullptr)
        return;
    try
    {
        char szMessage[TRACE_PART_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        std::vsnprintf(szMessage, TRACE_PART_SIZE, pszFormat, args);
        va_end(args);
        char szSystem[TRACE_PART_SIZE + 1] = {};
        FormatSystemErrorText(dwError, szSystem, TRACE_PART_SIZE);
        char szLine[TRACE_LINE_SIZE + 1] = {};
        std::snprintf(szLine, TRACE_LINE_SIZE, "%s   %s", szMessage, szSystem);
        PFN_TRACE_FUNCTION pfn = GetTraceFunction();
        if (pfn != nullptr)
            pfn(szLine);
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

HANDLE OpenTraceSharedMemory(const char* pszName, DWORD nSize, bool& bCreated)
{
    bCreated = false;
    if (pszName == nullptr)
        return nullptr;
    HANDLE hSection = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, pszName);
    if (hSection != nullptr)
        return hSection;
    // Owner-only (mode 0600): the log is read by the same account that writes it.
    hSection =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, SEC_RESERVE | PAGE_READWRITE, 0, nSize, pszName);
    // Another process may have created it in between; then it is only opened here.
    bCreated = hSection != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    return hSection;
}

void TraceLogToSharedMemory(const char* pszText)
{
    CSync* pLock = GetTraceLogLock();
    if (pszText == nullptr || pLock == nullptr || !SinkMayWrite())
        return;
    try
    {
        CAutoSync guard(pLock);
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        // A section no larger than its header holds no line.
        if (state.m_bUnloaded || state.m_nMaxSize <= state.m_nWrapStart ||
            state.m_nMaxSize <= TRACE_HEADER_SIZE)
            return;
        if (state.m_pView == nullptr && !OpenSectionLocked(state))
        {
            UnmapSectionLocked(state);
            return;
        }
        int nWrite = state.m_nShmWriteOffset;
        int nHighWater = state.m_nShmHighWater;
        int nWrapStart = 0;
        int nSize = 0;
        if (ParseHeader(state.m_pView, nWrite, nHighWater, nWrapStart, nSize) && nSize >= 1)
        {
            state.m_nMaxSize = nSize;
            state.m_nWrapStart = nWrapStart;
            if (nSize > state.m_nViewSize)
                GrowViewLocked(state, state.m_spSection.Get(), nSize);
        }
        // Whatever the header says, every position stays inside the mapped view and behind the header.
        const int64_t nLimit = std::min<int64_t>(state.m_nMaxSize, state.m_nViewSize);
        const int64_t nWrapAt = std::max<int64_t>(state.m_nWrapStart, TRACE_HEADER_SIZE);
        if (nLimit <= nWrapAt)
            return;
        int64_t nOffset = nWrite < TRACE_HEADER_SIZE || nWrite > nLimit ? TRACE_HEADER_SIZE : nWrite;
        int64_t nHigh = nHighWater < TRACE_HEADER_SIZE || nHighWater > nLimit ? nOffset : nHighWater;

        const std::string sPrefix = FormatTracePrefix();
        const size_t nTextLength = std::strlen(pszText);
        const int64_t nNeeded = TRACE_PREFIX_ROOM + static_cast<int64_t>(state.m_sModulePrefix.size()) +
                                static_cast<int64_t>(nTextLength) + 1;
        if (nOffset + nNeeded >= nLimit)
            nOffset = nWrapAt;

        std::string sLine = sPrefix + state.m_sModulePrefix;
        sLine.append(pszText, nTextLength);
        sLine.push_back(' ');
        // A line longer than the circular part is cut to what fits.
        if (static_cast<int64_t>(sLine.size()) > nLimit - nOffset)
            sLine.resize(static_cast<size_t>(nLimit - nOffset));
        std::memcpy(state.m_pView + nOffset, sLine.data(), sLine.size());
        nOffset += static_cast<int64_t>(sLine.size());
        nHigh = std::max(nHigh, nOffset);

        state.m_nShmWriteOffset = static_cast<int32_t>(nOffset);
        state.m_nShmHighWater = static_cast<int32_t>(nHigh);
        WriteHeader(state.m_pView, state.m_nShmWriteOffset, state.m_nShmHighWater, state.m_nWrapStart,
                    state.m_nMaxSize);
    }
    catch (...)
    {
        // A failure while logging drops the line.
    }
}

void TraceLogToFile(const char* pszText)
{
    CSync* pLock = GetTraceLogLock();
    if (pszText == nullptr || pLock == nullptr || !SinkMayWrite())
        return;
    try
    {
        CAutoSync guard(pLock);
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        if (state.m_bUnloaded || state.m_nMaxSize <= state.m_nWrapStart)
            return;
        if (!state.m_spFile)
        {
            HANDLE hFile = CreateFileA(state.m_sLogPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (hFile == INVALID_HANDLE_VALUE)
                return;
            state.m_spFile = CHandleHolder(hFile);
        }
        if (state.m_sFileBuffer.capacity() < static_cast<size_t>(TRACE_FILE_BUFFER_LIMIT))
            state.m_sFileBuffer.reserve(TRACE_FILE_BUFFER_LIMIT);
        const std::string sPrefix = FormatTracePrefix();
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
    catch (...)
    {
        // A failure while logging drops the line.
    }
}

void TraceLogToFallbackFile(const char* pszText)
{
    CSync* pLock = GetTraceLogLock();
    if (pszText == nullptr || pLock == nullptr)
        return;
    try
    {
        CAutoSync guard(pLock);
        TraceLogState& state = State();
        std::lock_guard<std::mutex> lock(state.m_mutex);
        if (!state.m_bFallbackChecked)
        {
            // The document converter, when it is loaded into this process, keeps the log beside itself.
            state.m_bFallbackChecked = true;
            const std::string sDirectory = LoadedModuleDirectory("Convert");
            if (!sDirectory.empty() && sDirectory.size() + 10 <= TRACE_LOG_PATH_MAX)
                state.m_sLogPath = sDirectory + "KS_Log.txt";
        }
        if (!SinkMayWrite() || state.m_bUnloaded)
            return;
        HANDLE hFile =
            CreateFileA(state.m_sLogPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    catch (...)
    {
        // A failure while logging drops the line.
    }
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
    g_dwTraceMask.store(0);
    g_pfnTrace.store(&TraceLogToFallbackFile);
    g_pLogLock.store(nullptr);
    g_pfnEventWriter.store(nullptr);
}
