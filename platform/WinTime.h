// Clock, time conversions and the calling thread's id. Tests replace the clock, the local time zone and
// the thread id through the Set...Source functions; null restores the real one.
#pragma once

#include "platform/WinTypes.h"

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG FILETIME_UNIX_EPOCH = 116444736000000000ull;
constexpr ULONGLONG FILETIME_TICKS_PER_SECOND = 10000000ull;

DLSW_API void GetSystemTimeAsFileTime(LPFILETIME pFileTime);
DLSW_API void GetSystemTime(LPSYSTEMTIME pSystemTime);
DLSW_API void GetLocalTime(LPSYSTEMTIME pSystemTime);
DLSW_API BOOL FileTimeToSystemTime(const FILETIME* pFileTime, LPSYSTEMTIME pSystemTime);
DLSW_API BOOL SystemTimeToFileTime(const SYSTEMTIME* pSystemTime, LPFILETIME pFileTime);
DLSW_API BOOL FileTimeToLocalFileTime(const FILETIME* pFileTime, LPFILETIME pLocalFileTime);
DLSW_API BOOL LocalFileTimeToFileTime(const FILETIME* pLocalFileTime, LPFILETIME pFileTime);
// -1, 0 or 1 as the first time is earlier, equal or later.
DLSW_API LONG CompareFileTime(const FILETIME* pFileTime1, const FILETIME* pFileTime2);
DLSW_API DWORD GetTickCount();
DLSW_API ULONGLONG GetTickCount64();
DLSW_API DWORD GetCurrentThreadId();
// The pseudo-handle that stands for the calling thread.
DLSW_API HANDLE GetCurrentThread();
DLSW_API DWORD GetCurrentProcessId();

// Conversions between a FILETIME and its 64-bit count.
inline ULONGLONG FileTimeToUInt64(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME UInt64ToFileTime(ULONGLONG ull)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ull & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ull >> 32);
    return ft;
}

// Test seams.
using PFN_TIME_SOURCE = ULONGLONG (*)();  // current UTC time as a FILETIME count
using PFN_TICK_SOURCE = ULONGLONG (*)();  // milliseconds since an arbitrary start
using PFN_THREAD_ID_SOURCE = DWORD (*)(); // id of the calling thread
DLSW_API void SetTimeSource(PFN_TIME_SOURCE pfnSource);
DLSW_API void SetTickSource(PFN_TICK_SOURCE pfnSource);
DLSW_API void SetThreadIdSource(PFN_THREAD_ID_SOURCE pfnSource);
// Fixes local time as UTC plus the given minutes; ClearLocalTimeBias returns to the system's time zone.
DLSW_API void SetLocalTimeBias(LONG lMinutes);
DLSW_API void ClearLocalTimeBias();
