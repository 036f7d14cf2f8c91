// The three functions the host calls, and the library's entry function.
#pragma once

#include "contract/FilterVersion.h"
#include "platform/HttpFilter.h"
#include "platform/WinTypes.h"

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

BOOL DllMain(HINSTANCE hModule, DWORD dwReason, LPVOID pvReserved);

extern "C"
{
    DLSW_API BOOL GetFilterVersion(HTTP_FILTER_VERSION* pVer);
    DLSW_API DWORD HttpFilterProc(CDLLContext* pContext);
    DLSW_API DWORD TerminateFilter();
}
