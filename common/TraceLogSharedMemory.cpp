#include "common/TraceLogState.h"

#include "platform/WinError.h"
#include "platform/WinFile.h"
#include "platform/WinFileMapping.h"
#include "platform/WinHandle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace TraceLogInternal;

namespace
{
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

void WriteSectionLineLocked(TraceLogState& state, const char* pszText)
{
    // A section no larger than its header holds no line.
    if (state.m_bUnloaded || state.m_nMaxSize <= state.m_nWrapStart || state.m_nMaxSize <= TRACE_HEADER_SIZE)
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
} // namespace

namespace TraceLogInternal
{
void UnmapSectionLocked(TraceLogState& state)
{
    if (state.m_pView != nullptr)
        UnmapViewOfFile(state.m_pView);
    state.m_pView = nullptr;
    state.m_nViewSize = 0;
}

void FlushSectionLocked(TraceLogState& state, bool bUnmap)
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
}
} // namespace TraceLogInternal

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
    if (!SinkMayWrite())
        return;
    WriteUnderLogLocks(pszText, [&](TraceLogState& state) { WriteSectionLineLocked(state, pszText); });
}
