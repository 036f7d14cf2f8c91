#include "platform/WinSync.h"

#include <atomic>
#include <mutex>

namespace
{
std::recursive_mutex* MutexOf(LPCRITICAL_SECTION pcs)
{
    return static_cast<std::recursive_mutex*>(pcs->m_pImpl);
}

thread_local DWORD t_dwLastError = 0;

std::atomic_ref<LONG> AtomicOf(volatile LONG* p)
{
    // The interlocked functions take volatile pointers; the storage itself is plain.
    return std::atomic_ref<LONG>(*const_cast<LONG*>(p));
}
} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION pcs)
{
    if (pcs == nullptr)
        return;
    pcs->m_pImpl = new std::recursive_mutex(); // owned by the section, freed by DeleteCriticalSection
    pcs->m_dwSpinCount = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION pcs, DWORD dwSpinCount)
{
    if (pcs == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InitializeCriticalSection(pcs);
    pcs->m_dwSpinCount = dwSpinCount;
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION pcs)
{
    if (pcs != nullptr && pcs->m_pImpl != nullptr)
        MutexOf(pcs)->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION pcs)
{
    if (pcs == nullptr || pcs->m_pImpl == nullptr)
        return FALSE;
    return MutexOf(pcs)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION pcs)
{
    if (pcs != nullptr && pcs->m_pImpl != nullptr)
        MutexOf(pcs)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION pcs)
{
    if (pcs == nullptr)
        return;
    delete MutexOf(pcs);
    pcs->m_pImpl = nullptr;
}

LONG InterlockedIncrement(volatile LONG* pValue)
{
    return AtomicOf(pValue).fetch_add(1) + 1;
}

LONG InterlockedDecrement(volatile LONG* pValue)
{
    return AtomicOf(pValue).fetch_sub(1) - 1;
}

LONG InterlockedExchange(volatile LONG* pTarget, LONG lValue)
{
    return AtomicOf(pTarget).exchange(lValue);
}

LONG InterlockedCompareExchange(volatile LONG* pTarget, LONG lExchange, LONG lComparand)
{
    AtomicOf(pTarget).compare_exchange_strong(lComparand, lExchange);
    return lComparand;
}

DWORD GetLastError()
{
    return t_dwLastError;
}

void SetLastError(DWORD dwErr)
{
    t_dwLastError = dwErr;
}
