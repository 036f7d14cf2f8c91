// The clock the platform answers from while an instance lives: it stands still until a test moves it.
// Starts at 2026-01-01 00:00 UTC unless a test sets another time.
#pragma once

#include "platform/WinTime.h"

#include <atomic>

class CFakeClock
{
public:
    static constexpr ULONGLONG START = FILETIME_UNIX_EPOCH + 1767225600ull * FILETIME_TICKS_PER_SECOND;
    CFakeClock()
    {
        Now() = START;
        SetTimeSource(&Read);
    }
    ~CFakeClock() { SetTimeSource(nullptr); }
    CFakeClock(const CFakeClock&) = delete;
    CFakeClock& operator=(const CFakeClock&) = delete;

    void Set(ULONGLONG ullFileTime) { Now() = ullFileTime; }
    // False, leaving the time as it was, when the system time is not a valid one.
    bool Set(const SYSTEMTIME& st)
    {
        FILETIME ft{};
        if (!SystemTimeToFileTime(&st, &ft))
            return false;
        Set(FileTimeToUInt64(ft));
        return true;
    }
    void Advance(ULONGLONG ullSeconds) { Now() += ullSeconds * FILETIME_TICKS_PER_SECOND; }
    void AdvanceTicks(ULONGLONG ullTicks) { Now() += ullTicks; }
    static ULONGLONG Get() { return Now().load(); }

private:
    static std::atomic<ULONGLONG>& Now()
    {
        static std::atomic<ULONGLONG> s_now{START};
        return s_now;
    }
    static ULONGLONG Read() { return Now().load(); }
};
