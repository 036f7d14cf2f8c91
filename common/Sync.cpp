#include "common/Sync.h"

CCritSec::CCritSec()
{
    InitializeCriticalSection(&m_cs);
}

CCritSec::~CCritSec()
{
    DeleteCriticalSection(&m_cs);
}

void CCritSec::Lock()
{
    EnterCriticalSection(&m_cs);
    m_dwLocked = 1;
}

void CCritSec::Unlock()
{
    if (m_dwLocked.exchange(0) != 0)
        LeaveCriticalSection(&m_cs);
}

DWORD CCritSec::TryLock()
{
    if (m_dwLocked != 0)
        return 0;
    const BOOL bEntered = TryEnterCriticalSection(&m_cs);
    if (!bEntered)
        return 0; // not the flag: another thread may have set it meanwhile
    m_dwLocked = static_cast<DWORD>(bEntered);
    return static_cast<DWORD>(bEntered);
}

DWORD CCritSec::InitWithSpinCount(INT nSpinCount)
{
    DeleteCriticalSection(&m_cs);
    if (nSpinCount < 1)
    {
        InitializeCriticalSection(&m_cs);
        return 0;
    }
    if (!InitializeCriticalSectionAndSpinCount(&m_cs, static_cast<DWORD>(nSpinCount)))
        return GetLastError();
    return 0;
}

DWORD CCritSec::Init()
{
    DeleteCriticalSection(&m_cs);
    InitializeCriticalSection(&m_cs);
    return 0;
}

DWORD CCritSec::Delete()
{
    DeleteCriticalSection(&m_cs);
    return 0;
}
