#include "platform/WinTime.h"

#include "platform/WinSync.h"

#include <atomic>
#include <ctime>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
std::atomic<PFN_TIME_SOURCE> g_pfnTimeSource{nullptr};
std::atomic<PFN_TICK_SOURCE> g_pfnTickSource{nullptr};
std::atomic<PFN_THREAD_ID_SOURCE> g_pfnThreadIdSource{nullptr};
std::atomic<bool> g_bLocalBiasFixed{false};
std::atomic<LONG> g_lLocalBiasMinutes{0};

// Windows refuses years past 30827; FILETIME counts above 2^63 are invalid.
constexpr ULONGLONG FILETIME_MAX = 0x7FFFFFFFFFFFFFFFull;
constexpr ULONGLONG TICKS_PER_MS = 10000ull;
constexpr ULONGLONG TICKS_PER_DAY = 86400ull * FILETIME_TICKS_PER_SECOND;
// Days from 0000-03-01 (proleptic Gregorian) to 1601-01-01.
constexpr LONGLONG DAYS_TO_1601 = 584694;

ULONGLONG RealUtcNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FILETIME_UNIX_EPOCH + static_cast<ULONGLONG>(ts.tv_sec) * FILETIME_TICKS_PER_SECOND +
           static_cast<ULONGLONG>(ts.tv_nsec) / 100;
}

ULONGLONG UtcNow()
{
    PFN_TIME_SOURCE pfn = g_pfnTimeSource.load(std::memory_order_acquire);
    return pfn != nullptr ? pfn() : RealUtcNow();
}

// Local time minus UTC, in 100 ns units, at the given UTC time.
LONGLONG LocalBiasTicks(ULONGLONG ullUtc)
{
    if (g_bLocalBiasFixed.load(std::memory_order_acquire))
        return static_cast<LONGLONG>(g_lLocalBiasMinutes.load()) * 60 *
               static_cast<LONGLONG>(FILETIME_TICKS_PER_SECOND);
    if (ullUtc < FILETIME_UNIX_EPOCH)
        return 0;
    const time_t t = static_cast<time_t>((ullUtc - FILETIME_UNIX_EPOCH) / FILETIME_TICKS_PER_SECOND);
    tm tmLocal{};
    if (localtime_r(&t, &tmLocal) == nullptr)
        return 0;
    return static_cast<LONGLONG>(tmLocal.tm_gmtoff) * static_cast<LONGLONG>(FILETIME_TICKS_PER_SECOND);
}

// Days since 0000-03-01 of a civil date, and back (proleptic Gregorian calendar).
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const LONGLONG era = y / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<LONGLONG>(doe);
}

void CivilFromDays(LONGLONG z, LONGLONG& y, unsigned& m, unsigned& d)
{
    const LONGLONG era = z / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<LONGLONG>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2 ? 1 : 0;
}

bool IsLeap(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(unsigned y, unsigned m)
{
    static const unsigned s_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : s_days[m - 1];
}

void TicksToSystemTime(ULONGLONG ull, SYSTEMTIME& st)
{
    const ULONGLONG ullDays = ull / TICKS_PER_DAY;
    ULONGLONG ullRest = ull % TICKS_PER_DAY;
    LONGLONG y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(static_cast<LONGLONG>(ullDays) + DAYS_TO_1601, y, m, d);
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    // 1601-01-01 was a Monday.
    st.wDayOfWeek = static_cast<WORD>((ullDays + 1) % 7);
    st.wHour = static_cast<WORD>(ullRest / (3600 * FILETIME_TICKS_PER_SECOND));
    ullRest %= 3600 * FILETIME_TICKS_PER_SECOND;
    st.wMinute = static_cast<WORD>(ullRest / (60 * FILETIME_TICKS_PER_SECOND));
    ullRest %= 60 * FILETIME_TICKS_PER_SECOND;
    st.wSecond = static_cast<WORD>(ullRest / FILETIME_TICKS_PER_SECOND);
    ullRest %= FILETIME_TICKS_PER_SECOND;
    st.wMilliseconds = static_cast<WORD>(ullRest / TICKS_PER_MS);
}

ULONGLONG ApplyBias(ULONGLONG ull, LONGLONG llBias)
{
    if (llBias < 0 && static_cast<ULONGLONG>(-llBias) > ull)
        return 0;
    return static_cast<ULONGLONG>(static_cast<LONGLONG>(ull) + llBias);
}
} // namespace

void GetSystemTimeAsFileTime(LPFILETIME pFileTime)
{
    if (pFileTime != nullptr)
        *pFileTime = UInt64ToFileTime(UtcNow());
}

void GetSystemTime(LPSYSTEMTIME pSystemTime)
{
    if (pSystemTime != nullptr)
        TicksToSystemTime(UtcNow(), *pSystemTime);
}

void GetLocalTime(LPSYSTEMTIME pSystemTime)
{
    if (pSystemTime == nullptr)
        return;
    const ULONGLONG ullUtc = UtcNow();
    TicksToSystemTime(ApplyBias(ullUtc, LocalBiasTicks(ullUtc)), *pSystemTime);
}

BOOL FileTimeToSystemTime(const FILETIME* pFileTime, LPSYSTEMTIME pSystemTime)
{
    if (pFileTime == nullptr || pSystemTime == nullptr || FileTimeToUInt64(*pFileTime) > FILETIME_MAX)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TicksToSystemTime(FileTimeToUInt64(*pFileTime), *pSystemTime);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* pSystemTime, LPFILETIME pFileTime)
{
    if (pSystemTime == nullptr || pFileTime == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& st = *pSystemTime;
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const LONGLONG llDays = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - DAYS_TO_1601;
    ULONGLONG ull = static_cast<ULONGLONG>(llDays) * TICKS_PER_DAY;
    ull += (static_cast<ULONGLONG>(st.wHour) * 3600 + static_cast<ULONGLONG>(st.wMinute) * 60 + st.wSecond) *
           FILETIME_TICKS_PER_SECOND;
    ull += static_cast<ULONGLONG>(st.wMilliseconds) * TICKS_PER_MS;
    *pFileTime = UInt64ToFileTime(ull);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* pFileTime, LPFILETIME pLocalFileTime)
{
    if (pFileTime == nullptr || pLocalFileTime == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG ull = FileTimeToUInt64(*pFileTime);
    *pLocalFileTime = UInt64ToFileTime(ApplyBias(ull, LocalBiasTicks(ull)));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* pLocalFileTime, LPFILETIME pFileTime)
{
    if (pFileTime == nullptr || pLocalFileTime == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG ull = FileTimeToUInt64(*pLocalFileTime);
    *pFileTime = UInt64ToFileTime(ApplyBias(ull, -LocalBiasTicks(ull)));
    return TRUE;
}

LONG CompareFileTime(const FILETIME* pFileTime1, const FILETIME* pFileTime2)
{
    if (pFileTime1 == nullptr || pFileTime2 == nullptr)
        return 0;
    const ULONGLONG ull1 = FileTimeToUInt64(*pFileTime1);
    const ULONGLONG ull2 = FileTimeToUInt64(*pFileTime2);
    return ull1 < ull2 ? -1 : (ull1 > ull2 ? 1 : 0);
}

ULONGLONG GetTickCount64()
{
    PFN_TICK_SOURCE pfn = g_pfnTickSource.load(std::memory_order_acquire);
    if (pfn != nullptr)
        return pfn();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000 + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000;
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}

namespace
{
// Every trace line names its thread, so the id is asked for on every line: kept per thread instead of a
// system call each time. A forked child's thread has an id of its own, so the fork forgets it.
thread_local DWORD t_dwThreadId = 0;

void ForgetThreadIdInChild()
{
    t_dwThreadId = 0;
}
} // namespace

DWORD GetCurrentThreadId()
{
    PFN_THREAD_ID_SOURCE pfn = g_pfnThreadIdSource.load(std::memory_order_acquire);
    if (pfn != nullptr)
        return pfn();
    if (t_dwThreadId == 0)
    {
        static const int s_nForkHandler = pthread_atfork(nullptr, nullptr, &ForgetThreadIdInChild);
        (void)s_nForkHandler;
        t_dwThreadId = static_cast<DWORD>(syscall(SYS_gettid));
    }
    return t_dwThreadId;
}

HANDLE GetCurrentThread()
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

void SetTimeSource(PFN_TIME_SOURCE pfnSource)
{
    g_pfnTimeSource.store(pfnSource, std::memory_order_release);
}

void SetTickSource(PFN_TICK_SOURCE pfnSource)
{
    g_pfnTickSource.store(pfnSource, std::memory_order_release);
}

void SetThreadIdSource(PFN_THREAD_ID_SOURCE pfnSource)
{
    g_pfnThreadIdSource.store(pfnSource, std::memory_order_release);
}

void SetLocalTimeBias(LONG lMinutes)
{
    g_lLocalBiasMinutes.store(lMinutes);
    g_bLocalBiasFixed.store(true, std::memory_order_release);
}

void ClearLocalTimeBias()
{
    g_bLocalBiasFixed.store(false, std::memory_order_release);
}
