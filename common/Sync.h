// The lock interface, its critical-section implementation and the scope guard that releases it.
#pragma once

#include "platform/SlotSharedMutex.h"
#include "platform/WinSync.h"

#include <atomic>

class CSync
{
public:
    virtual ~CSync() { m_dwLocked = 0; }
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual DWORD TryLock() = 0;
    virtual DWORD IsLocked() { return m_dwLocked; }
    virtual DWORD InitWithSpinCount(INT nSpinCount) = 0;
    virtual DWORD Init() = 0;
    virtual DWORD Delete() = 0;

protected:
    // One flag per lock, not per thread: read by TryLock from other threads.
    std::atomic<DWORD> m_dwLocked{0};
};

class CCritSec : public CSync
{
public:
    CCritSec();
    ~CCritSec() override;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() override;
    void Unlock() override;
    DWORD TryLock() override;
    DWORD InitWithSpinCount(INT nSpinCount) override;
    DWORD Init() override;
    DWORD Delete() override;

private:
    CRITICAL_SECTION m_cs{};
};

// A lock that readers hold together and a writer alone: lookups of data only a reload changes, taken many
// times by every request, so readers share no written word. Lock, Unlock and TryLock take it alone, as the
// other locks do. A reader must not take it again while it holds it.
class CSharedSync : public CSync
{
public:
    CSharedSync() = default;
    CSharedSync(const CSharedSync&) = delete;
    CSharedSync& operator=(const CSharedSync&) = delete;

    void Lock() override
    {
        m_mutex.lock();
        m_dwLocked = 1;
    }
    void Unlock() override
    {
        if (m_dwLocked.exchange(0) != 0)
            m_mutex.unlock();
    }
    DWORD TryLock() override
    {
        if (!m_mutex.try_lock())
            return 0;
        m_dwLocked = 1;
        return 1;
    }
    DWORD InitWithSpinCount(INT) override { return 0; }
    DWORD Init() override { return 0; }
    DWORD Delete() override { return 0; }

    void LockShared() { m_mutex.lock_shared(); }
    void UnlockShared() { m_mutex.unlock_shared(); }

private:
    CSlotSharedMutex m_mutex;
};

// Holds a shared lock as a reader for the scope.
class CSharedAutoSync
{
public:
    explicit CSharedAutoSync(CSharedSync& sync) : m_sync(sync) { m_sync.LockShared(); }
    ~CSharedAutoSync() { m_sync.UnlockShared(); }
    CSharedAutoSync(const CSharedAutoSync&) = delete;
    CSharedAutoSync& operator=(const CSharedAutoSync&) = delete;

private:
    CSharedSync& m_sync;
};

class CAutoSync
{
public:
    CAutoSync() = default;
    // Takes the lock now; it is released when the scope ends.
    explicit CAutoSync(CSync* pSync) : m_pSync(pSync)
    {
        if (m_pSync != nullptr)
        {
            m_pSync->Lock();
            m_bHeld = true;
        }
    }
    ~CAutoSync()
    {
        if (m_bHeld && m_pSync != nullptr)
            m_pSync->Unlock();
    }
    CAutoSync(const CAutoSync&) = delete;
    CAutoSync& operator=(const CAutoSync&) = delete;

    // Adopts a lock the caller already holds (taken with TryLock, say).
    void Adopt(CSync* pSync)
    {
        m_pSync = pSync;
        m_bHeld = true;
    }

    CSync* m_pSync = nullptr;
    bool m_bHeld = false;
};
