// The RSA web agent's cookie API, loaded through the product's loader library and kept for the process.
#pragma once

#include "contract/CountedPtr.h"
#include "platform/WinModule.h"

using PFN_RSA_TRACE = void (*)(const char* pszLine);

class CRSACookieAPI
{
public:
    CRSACookieAPI() = default;
    ~CRSACookieAPI() = default;
    CRSACookieAPI(const CRSACookieAPI&) = delete;
    CRSACookieAPI& operator=(const CRSACookieAPI&) = delete;

    // 0 when the library and all five entry points are there; else the last failed step's error, or 1.
    DWORD RSALoad();
    void Unload();

    // The loader's own trace lines ("message   system text"); none are written without a hook.
    static void SetTraceHook(PFN_RSA_TRACE pfnTrace);

    FARPROC m_pfnCookieInitializeFilt = nullptr;
    FARPROC m_pfnGetUserName = nullptr;
    FARPROC m_pfnGetLastError = nullptr;
    FARPROC m_pfnFreeMemory = nullptr;
    FARPROC m_pfnCookieInitializeExtNoMFC = nullptr;
    bool m_bAvailable = false;
    CCountedPtr<void, CFreeLibraryDelete> m_spModule;
};
