// Critical sections, interlocked operations and the thread's last error.
#pragma once

#include "platform/WinTypes.h"

#include <memory>

// A Windows critical section is recursive and may be tried; a recursive mutex behaves alike.
struct CRITICAL_SECTION
{
    void* m_pImpl = nullptr;
    DWORD m_dwSpinCount = 0;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

DLSW_API void InitializeCriticalSection(LPCRITICAL_SECTION pcs);
DLSW_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION pcs, DWORD dwSpinCount);
DLSW_API void EnterCriticalSection(LPCRITICAL_SECTION pcs);
DLSW_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION pcs);
DLSW_API void LeaveCriticalSection(LPCRITICAL_SECTION pcs);
DLSW_API void DeleteCriticalSection(LPCRITICAL_SECTION pcs);

DLSW_API LONG InterlockedIncrement(volatile LONG* pValue);
DLSW_API LONG InterlockedDecrement(volatile LONG* pValue);
DLSW_API LONG InterlockedExchange(volatile LONG* pTarget, LONG lValue);
DLSW_API LONG InterlockedCompareExchange(volatile LONG* pTarget, LONG lExchange, LONG lComparand);

DLSW_API DWORD GetLastError();
DLSW_API void SetLastError(DWORD dwErr);
