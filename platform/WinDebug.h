// Debugger output. Lines go to the installed function, or to standard error when none is installed.
#pragma once

#include "platform/WinTypes.h"

DLSW_API void OutputDebugStringA(LPCSTR pszOutputString);

using PFN_DEBUG_OUTPUT = void (*)(const char* pszText);
// Null restores standard error.
DLSW_API void SetDebugOutputFunction(PFN_DEBUG_OUTPUT pfnOutput);
