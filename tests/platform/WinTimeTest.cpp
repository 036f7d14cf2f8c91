#include "platform/WinTime.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
DWORD FixedThreadId()
{
    return 0xBEEF;
}

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms)
{
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
}

class WinTimeTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        SetTimeSource(nullptr);
        SetThreadIdSource(nullptr);
        ClearLocalTimeBias();
    }
};
} // namespace

TEST_F(WinTimeTest, FileTimeCountsFrom1601)
{
    FILETIME ft{};
    SYSTEMTIME st = MakeTime(1601, 1, 1, 0, 0, 0, 0);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(FileTimeToUInt64(ft), 0u);
    st = MakeTime(1970, 1, 1, 0, 0, 0, 0);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(FileTimeToUInt64(ft), FILETIME_UNIX_EPOCH);
}

TEST_F(WinTimeTest, RoundTripsAndDayOfWeek)
{
    const SYSTEMTIME cases[] = {
        MakeTime(2024, 2, 29, 23, 59, 58, 250),   MakeTime(2000, 12, 31, 12, 0, 0, 999),
        MakeTime(1601, 1, 1, 0, 0, 0, 1),         MakeTime(2100, 3, 1, 1, 2, 3, 4),
        MakeTime(30827, 12, 31, 23, 59, 59, 999),
    };
    for (const SYSTEMTIME& st : cases)
    {
        FILETIME ft{};
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft)) << st.wYear;
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(back.wYear, st.wYear);
        EXPECT_EQ(back.wMonth, st.wMonth);
        EXPECT_EQ(back.wDay, st.wDay);
        EXPECT_EQ(back.wHour, st.wHour);
        EXPECT_EQ(back.wMinute, st.wMinute);
        EXPECT_EQ(back.wSecond, st.wSecond);
        EXPECT_EQ(back.wMilliseconds, st.wMilliseconds);
    }
    FILETIME ft{};
    SYSTEMTIME st = MakeTime(2024, 2, 29, 0, 0, 0, 0); // a Thursday
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wDayOfWeek, 4);
}

TEST_F(WinTimeTest, RejectsInvalidTimes)
{
    const SYSTEMTIME cases[] = {
        MakeTime(2023, 2, 29, 0, 0, 0, 0), MakeTime(1600, 12, 31, 0, 0, 0, 0),
        MakeTime(2024, 13, 1, 0, 0, 0, 0), MakeTime(2024, 4, 31, 0, 0, 0, 0),
        MakeTime(2024, 1, 1, 24, 0, 0, 0), MakeTime(2024, 1, 1, 0, 0, 0, 1000),
    };
    for (const SYSTEMTIME& st : cases)
    {
        FILETIME ft{};
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
    }
    const FILETIME ftTooLarge = UInt64ToFileTime(0x8000000000000000ull);
    SYSTEMTIME st{};
    EXPECT_FALSE(FileTimeToSystemTime(&ftTooLarge, &st));
}

TEST_F(WinTimeTest, InjectedClockDrivesSystemAndLocalTime)
{
    CFakeClock clock;
    ASSERT_TRUE(clock.Set(MakeTime(2024, 2, 29, 23, 59, 58, 250)));
    SetLocalTimeBias(120);

    FILETIME ftNow{};
    GetSystemTimeAsFileTime(&ftNow);
    EXPECT_EQ(FileTimeToUInt64(ftNow), CFakeClock::Get());
    SYSTEMTIME st{};
    GetSystemTime(&st);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 23);
    GetLocalTime(&st);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 1);
    EXPECT_EQ(st.wMinute, 59);
    EXPECT_EQ(st.wMilliseconds, 250);

    FILETIME ftLocal{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&ftNow, &ftLocal));
    FILETIME ftBack{};
    ASSERT_TRUE(LocalFileTimeToFileTime(&ftLocal, &ftBack));
    EXPECT_EQ(CompareFileTime(&ftBack, &ftNow), 0);
    EXPECT_EQ(CompareFileTime(&ftNow, &ftLocal), -1);
    EXPECT_EQ(CompareFileTime(&ftLocal, &ftNow), 1);
}

TEST_F(WinTimeTest, ThreadIdIsPerThreadAndInjectable)
{
    const DWORD dwMain = GetCurrentThreadId();
    DWORD dwOther = 0;
    std::thread([&] { dwOther = GetCurrentThreadId(); }).join();
    EXPECT_NE(dwMain, 0u);
    EXPECT_NE(dwMain, dwOther);
    EXPECT_EQ(dwMain, static_cast<DWORD>(syscall(SYS_gettid)));
    EXPECT_EQ(GetCurrentThreadId(), dwMain);

    // A forked child's only thread is a thread of its own: its id is the child's, not the one its parent
    // had asked for before.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
        _exit(GetCurrentThreadId() == static_cast<DWORD>(getpid()) ? 0 : 1);
    int nStatus = -1;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);

    SetThreadIdSource(&FixedThreadId);
    EXPECT_EQ(GetCurrentThreadId(), 0xBEEFu);
}
