#include "platform/WinDebug.h"

#include <atomic>
#include <cstdio>

namespace
{
std::atomic<PFN_DEBUG_OUTPUT> g_pfnOutput{nullptr};
}

void OutputDebugStringA(LPCSTR pszOutputString)
{
    if (pszOutputString == nullptr)
        return;
    PFN_DEBUG_OUTPUT pfn = g_pfnOutput.load(std::memory_order_acquire);
    if (pfn != nullptr)
    {
        pfn(pszOutputString);
        return;
    }
    std::fputs(pszOutputString, stderr);
}

void SetDebugOutputFunction(PFN_DEBUG_OUTPUT pfnOutput)
{
    g_pfnOutput.store(pfnOutput, std::memory_order_release);
}
