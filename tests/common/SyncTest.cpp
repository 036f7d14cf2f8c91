#include "common/Sync.h"
#include "common/StaticMemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(CritSec, TryLockAndUnlockFollowTheLockedFlag)
{
    CCritSec cs;
    EXPECT_EQ(cs.IsLocked(), 0u);
    EXPECT_EQ(cs.TryLock(), 1u);
    EXPECT_EQ(cs.IsLocked(), 1u);
    // Taken: another try fails at once, on this thread as on any other.
    EXPECT_EQ(cs.TryLock(), 0u);
    DWORD dwOther = 99;
    std::thread([&] { dwOther = cs.TryLock(); }).join();
    EXPECT_EQ(dwOther, 0u);
    cs.Unlock();
    EXPECT_EQ(cs.IsLocked(), 0u);
    cs.Unlock(); // not held: nothing happens

    cs.Lock();
    EXPECT_EQ(cs.TryLock(), 0u);
    std::thread([&] { dwOther = cs.TryLock(); }).join();
    EXPECT_EQ(dwOther, 0u);
    cs.Unlock();
    std::thread(
        [&]
        {
            dwOther = cs.TryLock();
            cs.Unlock();
        })
        .join();
    EXPECT_EQ(dwOther, 1u);
}

TEST(CritSec, TryLockFailsWhileAnotherThreadHoldsIt)
{
    CCritSec cs;
    std::atomic<bool> bHeld{false};
    std::atomic<bool> bRelease{false};
    std::thread holder(
        [&]
        {
            cs.Lock();
            bHeld = true;
            while (!bRelease)
                std::this_thread::yield();
            cs.Unlock();
        });
    while (!bHeld)
        std::this_thread::yield();
    EXPECT_EQ(cs.TryLock(), 0u);
    bRelease = true;
    holder.join();
    EXPECT_EQ(cs.TryLock(), 1u);
    cs.Unlock();
}

TEST(CritSec, InitialisationForms)
{
    CCritSec cs;
    const int spinCounts[] = {0, -1, 1, 4000};
    for (int nSpin : spinCounts)
    {
        EXPECT_EQ(cs.InitWithSpinCount(nSpin), 0u) << nSpin;
        cs.Lock();
        cs.Unlock();
    }
    EXPECT_EQ(cs.Init(), 0u);
    EXPECT_EQ(cs.Delete(), 0u);
    EXPECT_EQ(cs.Init(), 0u);
}

TEST(CritSec, CountsStayExactUnderContention)
{
    CCritSec cs;
    long nCounter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < 5000; ++i)
                {
                    CAutoSync guard(&cs);
                    ++nCounter;
                }
            });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(nCounter, 40000);
}

// Readers hold the shared lock together; a writer gets it only when no reader holds it, and then alone.
TEST(SharedSync, ReadersTogetherAWriterAlone)
{
    CSharedSync sync;
    {
        CSharedAutoSync first(sync);
        std::atomic<bool> bSecondReaderIn{false};
        std::atomic<DWORD> dwWriterTry{2};
        std::thread other(
            [&]
            {
                CSharedAutoSync second(sync); // would never return if readers excluded each other
                bSecondReaderIn = true;
                dwWriterTry = sync.TryLock();
            });
        other.join();
        EXPECT_TRUE(bSecondReaderIn);
        EXPECT_EQ(dwWriterTry.load(), 0u);
        EXPECT_EQ(sync.IsLocked(), 0u);
    }
    ASSERT_EQ(sync.TryLock(), 1u);
    EXPECT_EQ(sync.IsLocked(), 1u);
    std::atomic<bool> bReaderIn{false};
    std::thread reader(
        [&]
        {
            CSharedAutoSync shared(sync);
            bReaderIn = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(bReaderIn);
    sync.Unlock();
    reader.join();
    EXPECT_TRUE(bReaderIn);
    EXPECT_EQ(sync.IsLocked(), 0u);
}

// Readers never see a writer's half-done change, and a writer gets in while readers keep coming: readers
// count themselves apart, so only the handshake between them and the writer keeps the two apart. More
// reader threads than the lock has slots, so some share one.
TEST(SharedSync, ReadersNeverSeeHalfAWriteAndCannotStarveTheWriter)
{
    CSharedSync sync;
    long nFirst = 0;
    long nSecond = 0;
    std::atomic<bool> bWritesDone{false};
    std::atomic<long> nTornReads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 70; ++i)
    {
        readers.emplace_back(
            [&]
            {
                while (!bWritesDone.load())
                {
                    CSharedAutoSync shared(sync);
                    if (nFirst != nSecond)
                        ++nTornReads;
                }
            });
    }
    for (long n = 1; n <= 200; ++n)
    {
        CAutoSync writer(&sync);
        nFirst = n;
        std::this_thread::yield();
        nSecond = n;
    }
    bWritesDone = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(nTornReads.load(), 0);
    EXPECT_EQ(nSecond, 200);
    EXPECT_EQ(sync.IsLocked(), 0u);
}

TEST(AutoSync, ReleasesOnExceptionAndAdoptsATakenLock)
{
    CCritSec cs;
    try
    {
        CAutoSync guard(&cs);
        EXPECT_EQ(cs.IsLocked(), 1u);
        throw std::runtime_error("leave");
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_EQ(cs.IsLocked(), 0u);

    ASSERT_EQ(cs.TryLock(), 1u);
    {
        CAutoSync guard;
        guard.Adopt(&cs);
    }
    EXPECT_EQ(cs.IsLocked(), 0u);
    {
        CAutoSync guard(nullptr); // no lock: nothing to release
    }
}

namespace
{
std::atomic<int> g_nConstructed{0};
struct CTableData
{
    CTableData()
    {
        ++g_nConstructed;
        // Widen the window in which other threads arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_nValue = 42;
    }
    int m_nValue = 0;
};

std::atomic<int> g_nAttempts{0};
struct CFlakyData
{
    CFlakyData()
    {
        if (++g_nAttempts == 1)
            throw std::runtime_error("first construction fails");
    }
    int m_nValue = 7;
};

struct COtherTable
{
    int m_nValue = 1;
};
} // namespace

TEST(StaticMemory, ManyThreadsGetOneInstanceConstructedOnce)
{
    std::vector<std::thread> threads;
    std::vector<CTableData*> results(16, nullptr);
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i]
                             { results[i] = Mem_Manager::Static_memory<CTableData>::Instance(); });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(g_nConstructed.load(), 1);
    for (CTableData* p : results)
    {
        ASSERT_EQ(p, results[0]);
        EXPECT_EQ(p->m_nValue, 42);
    }
    // Each type has its own holder.
    EXPECT_NE(static_cast<void*>(Mem_Manager::Static_memory<COtherTable>::Instance()),
              static_cast<void*>(results[0]));
}

TEST(StaticMemory, AThrowingConstructorLetsALaterCallRetry)
{
    EXPECT_THROW(Mem_Manager::Static_memory<CFlakyData>::Instance(), std::runtime_error);
    CFlakyData* p = Mem_Manager::Static_memory<CFlakyData>::Instance();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_nValue, 7);
    EXPECT_EQ(Mem_Manager::Static_memory<CFlakyData>::Instance(), p);
    EXPECT_EQ(g_nAttempts.load(), 2);
}
