// The printf-style trace functions every subsystem writes its diagnostic lines through, the four sinks
// that receive the lines, and the log state the log set-up configures.
#pragma once

#include "common/Sync.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

// The installed sink: takes one NUL-terminated line.
using PFN_TRACE_FUNCTION = void (*)(const char* pszLine);
// Writes one event-log text of the given type (the general settings' event log).
using PFN_TRACE_EVENT_WRITER = void (*)(DWORD dwType, const char* pszText);

// Bit 1 (value 2) of the trace mask lets the sinks write; 0 turns tracing off.
constexpr DWORD TRACE_MASK_ON = 2;
constexpr DWORD TRACE_EVENT_ID = 0x60000074;
constexpr int32_t TRACE_DEFAULT_MAX_SIZE = 10485760;
constexpr int32_t TRACE_DEFAULT_WRAP_START = 20480;
constexpr int32_t TRACE_FILE_BUFFER_LIMIT = 51200;
constexpr int32_t TRACE_HEADER_SIZE = 100;
constexpr size_t TRACE_LOG_PATH_MAX = 260;
constexpr const char* TRACE_DEFAULT_LOG_PATH = "C:\\LogError.txt";

// Formats at most 2047 characters and hands them to the trace function, when the mask is not 0. A
// failure while formatting or in the sink is swallowed.
void TraceLog(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
// As TraceLog, with the system's text of a Win32 or COM error code after three blanks: "%s   %s" of the
// message (at most 511 characters) and the text (at most 511).
void TraceLogError(DWORD dwError, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
// The system's text of the code on one line (line breaks become blanks), at most nSize - 1 characters;
// empty when the system has none.
void FormatSystemErrorText(DWORD dwError, char* pszBuffer, DWORD nSize);

// Log state, set by the log set-up.
DWORD GetTraceMask();
void SetTraceMask(DWORD dwMask);
PFN_TRACE_FUNCTION GetTraceFunction();
void SetTraceLogFunction(PFN_TRACE_FUNCTION pfnTrace);
// The same as SetTraceLogFunction.
void SetTraceFunction(PFN_TRACE_FUNCTION pfnTrace);
// The process-wide log lock shared with the product's other modules; no sink writes while it is null.
void SetTraceLogLock(CSync* pLock);
CSync* GetTraceLogLock();
// The log file's path (at most 260 characters kept); it also names the shared-memory section.
void SetTraceLogPath(const char* pszPath);
std::string GetTraceLogPath();
void SetTraceLogMaxSize(int32_t nBytes);
// The size from a setting in KB, turned into bytes in 64-bit arithmetic and clamped to what a 32-bit size
// holds. A value that is not positive changes nothing and answers false.
bool SetTraceLogMaxSizeKB(int64_t llKB);
int32_t GetTraceLogMaxSize();
void SetTraceLogWrapStart(int32_t nOffset);
int32_t GetTraceLogWrapStart();
// Written by the shared-memory sink between the time stamp and the text.
void SetTraceLogModulePrefix(const std::string& sPrefix);
std::string GetTraceLogModulePrefix();
// Whether the shared-memory section's text is written to the log path at unload.
void SetTraceLogDumpAtUnload(bool bDump);
bool GetTraceLogDumpAtUnload();
// Where WriteEventLogTrace sends its lines; nothing is written while it is null.
void SetTraceEventLogWriter(PFN_TRACE_EVENT_WRITER pfnWriter);

// The sinks.
void TraceLogToSharedMemory(const char* pszText);
void TraceLogToFile(const char* pszText);
void TraceLogToFallbackFile(const char* pszText);
void WriteEventLogTrace(const char* pszText);

// Opens the named section, or creates it with nSize bytes (bCreated set). Null on failure.
HANDLE OpenTraceSharedMemory(const char* pszName, DWORD nSize, bool& bCreated);
// Writes what the sinks still hold: the section's text when it is to be dumped (then unmaps it when
// bUnmap), and the file sink's buffered lines.
void FlushTraceLog(bool bUnmap);
// Back to the state at load: releases the section and the log file without writing anything.
void ResetTraceLogState();

// Lines traced before the log is set up. From HoldEarlyTraceLines on, a line traced while the mask is 0 is
// kept in memory instead of being lost: at most TRACE_EARLY_LINES_MAX lines of together at most
// TRACE_EARLY_BYTES_MAX bytes, the first ones; the later ones are only counted. ReleaseEarlyTraceLines
// ends the holding: when the mask then lets the sinks write, the kept lines go to the trace function as
// they were traced, followed by one line that tells how many were dropped; otherwise they are discarded,
// since the settings switched the log off.
constexpr size_t TRACE_EARLY_LINES_MAX = 256;
constexpr size_t TRACE_EARLY_BYTES_MAX = 65536;
void HoldEarlyTraceLines();
void ReleaseEarlyTraceLines();
