// The printf-style trace functions every subsystem writes its diagnostic lines through.
#pragma once

#include "platform/WinTypes.h"

// The installed sink: takes one NUL-terminated line.
using PFN_TRACE_FUNCTION = void (*)(const char* pszLine);

// Bit 1 (value 2) of the trace mask turns writing on; 0 turns tracing off.
constexpr DWORD TRACE_MASK_ON = 2;

void TraceLog(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
// As TraceLog, then appends the system's text for a Win32 or COM error code.
void TraceLogError(DWORD dwError, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

DWORD GetTraceMask();
void SetTraceMask(DWORD dwMask);
PFN_TRACE_FUNCTION GetTraceFunction();
void SetTraceFunction(PFN_TRACE_FUNCTION pfnTrace);
