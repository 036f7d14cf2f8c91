#include "general/RSACookieAPI.h"

#include "common/TraceLog.h"
#include "common/TraceText.h"
#include "platform/WinSync.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace
{
constexpr const char* RSA_LOADER_LIBRARY = "KS_RSALoad64.dll";
constexpr size_t RSA_TRACE_SIZE = 2048;
constexpr size_t RSA_SYSTEM_TEXT_SIZE = 511;

std::atomic<PFN_RSA_TRACE> g_pfnRSATrace{nullptr};

void RSATrace(DWORD dwError, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
void RSATrace(DWORD dwError, const char* pszFormat, ...)
{
    PFN_RSA_TRACE pfnTrace = g_pfnRSATrace.load();
    if (pfnTrace == nullptr)
        return;
    try
    {
        char szMessage[RSA_TRACE_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szMessage, RSA_TRACE_SIZE, pszFormat, args);
        va_end(args);
        char szSystem[RSA_SYSTEM_TEXT_SIZE + 1] = {};
        FormatSystemErrorText(dwError, szSystem, sizeof(szSystem));
        char szLine[2 * RSA_TRACE_SIZE] = {};
        std::snprintf(szLine, sizeof(szLine), "%s   %s", szMessage, szSystem);
        pfnTrace(szLine);
    }
    catch (...)
    {
    }
}

FARPROC Resolve(HMODULE hModule, const char* pszName, const char* pszTraceName, DWORD& dwCode)
{
    FARPROC pfn = GetProcAddress(hModule, pszName);
    if (pfn == nullptr)
    {
        dwCode = GetLastError();
        RSATrace(dwCode, "RSALoad failed to get %s error %d", pszTraceName, static_cast<int>(dwCode));
    }
    return pfn;
}
} // namespace

void CRSACookieAPI::SetTraceHook(PFN_RSA_TRACE pfnTrace)
{
    g_pfnRSATrace.store(pfnTrace);
}

DWORD CRSACookieAPI::RSALoad()
{
    DWORD dwCode = ERROR_SUCCESS;
    HMODULE hModule = LoadLibraryA(RSA_LOADER_LIBRARY);
    if (hModule == nullptr)
        dwCode = GetLastError();
    // A second load of the same library gives back its extra reference at once: one stays.
    CCountedPtr<void, CFreeLibraryDelete> spNew(hModule);
    m_spModule = spNew;
    spNew.Release();
    if (!m_spModule)
    {
        m_bAvailable = false;
        m_pfnCookieInitializeFilt = m_pfnGetUserName = m_pfnGetLastError = m_pfnFreeMemory =
            m_pfnCookieInitializeExtNoMFC = nullptr;
        RSATrace(
            dwCode,
            "RSALoad failed to load KS_RSALoad.dll %d. If RSA is installed check in System32 for dll and "
            "rsacookieapi.dll ",
            static_cast<int>(dwCode));
        return dwCode;
    }
    HMODULE hHeld = static_cast<HMODULE>(m_spModule.Get());
    m_pfnCookieInitializeFilt =
        Resolve(hHeld, "KS_RSACookieInitializeFilt", "RSACookieInitializeFilt", dwCode);
    m_pfnGetUserName = Resolve(hHeld, "KS_RSAGetUserName", "RSAGetUserName", dwCode);
    m_pfnGetLastError = Resolve(hHeld, "KS_RSAGetLastError", "RSAGetLastError", dwCode);
    m_pfnFreeMemory = Resolve(hHeld, "KS_RSAFreeMemory", "RSAFreeMemory", dwCode);
    m_pfnCookieInitializeExtNoMFC =
        Resolve(hHeld, "KS_RSACookieInitializeExtNoMFC", "RSACookieInitializeExtNoMFC", dwCode);
    m_bAvailable = m_pfnCookieInitializeFilt != nullptr && m_pfnGetUserName != nullptr &&
                   m_pfnGetLastError != nullptr && m_pfnFreeMemory != nullptr &&
                   m_pfnCookieInitializeExtNoMFC != nullptr;
    if (!m_bAvailable && dwCode == ERROR_SUCCESS)
        dwCode = 1;
    return dwCode;
}

void CRSACookieAPI::Unload()
{
    m_bAvailable = false;
    m_pfnCookieInitializeFilt = m_pfnGetUserName = m_pfnGetLastError = m_pfnFreeMemory =
        m_pfnCookieInitializeExtNoMFC = nullptr;
    m_spModule.Release();
}
