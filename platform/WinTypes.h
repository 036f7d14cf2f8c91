// Base types and codes of the Windows platform, as the worker's code names them.
#pragma once

#include <cstddef>
#include <cstdint>

using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using INT = int32_t;
using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using USHORT = uint16_t;
using LANGID = uint16_t;
using HRESULT = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using DWORD_PTR = uintptr_t;
using ULONG_PTR = uintptr_t;
using SIZE_T = size_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using HANDLE = void*;
using HMODULE = void*;
using HINSTANCE = void*;
using HKEY = void*;
using HLOCAL = void*;
using PHANDLE = HANDLE*;
using PSID = void*;
using LPDWORD = DWORD*;
using PUINT = UINT*;
using PDWORD = DWORD*;
using PLONG = LONG*;
using LPLONG = LONG*;
using LPBYTE = BYTE*;
using PBYTE = BYTE*;
using LPBOOL = BOOL*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using ACCESS_MASK = DWORD;

// Times: a FILETIME counts 100 ns intervals since 1601-01-01 UTC.
struct FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;
using PFILETIME = FILETIME*;

struct SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;
using PSYSTEMTIME = SYSTEMTIME*;

union LARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

// The descriptor itself belongs to the security layer; files and mappings only pass it on.
struct SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using PSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

// Win32 error codes the worker uses.
#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_ARENA_TRASHED 7u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_FORMAT 11u
#define ERROR_INVALID_DATA 13u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_BAD_EXE_FORMAT 193u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_MORE_DATA 234u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_INVALID_SID 1337u
#define ERROR_NONE_MAPPED 1332u
#define ERROR_NO_TOKEN 1008u
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812u
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813u
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814u
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_INVALID_ACCESS 12u
#define ERROR_INVALID_DRIVE 15u
#define ERROR_NOT_READY 21u
#define ERROR_SEEK 25u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_BAD_NETPATH 53u
#define ERROR_FILE_EXISTS 80u
#define ERROR_DISK_FULL 112u
#define ERROR_INVALID_NAME 123u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_BAD_ARGUMENTS 160u
#define ERROR_BAD_PATHNAME 161u
#define ERROR_ENVVAR_NOT_FOUND 203u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_DIRECTORY 267u
#define ERROR_DIRECTORY_NOT_SUPPORTED 336u
#define ERROR_INVALID_ADDRESS 487u
#define ERROR_NOACCESS 998u
#define ERROR_INVALID_FLAGS 1004u
#define ERROR_FILE_INVALID 1006u
#define ERROR_BADDB 1009u
#define ERROR_BADKEY 1010u
#define ERROR_CANTOPEN 1011u
#define ERROR_CANTREAD 1012u
#define ERROR_CANTWRITE 1013u
#define ERROR_REGISTRY_CORRUPT 1015u
#define ERROR_KEY_DELETED 1018u
#define ERROR_DLL_INIT_FAILED 1114u
#define ERROR_NOT_FOUND 1168u
#define ERROR_INVALID_COMPUTERNAME 1210u
#define ERROR_NO_SUCH_DOMAIN 1355u
#define ERROR_INTERNAL_ERROR 1359u
#define ERROR_COMMITMENT_LIMIT 1455u
#define ERROR_INVALID_WINDOW_HANDLE 1400u
#define ERROR_NO_SYSTEM_RESOURCES 1450u
#define ERROR_TIMEOUT 1460u
#define ERROR_EVENTLOG_FILE_CORRUPT 1500u
#define ERROR_EVENTLOG_CANT_START 1501u
#define ERROR_LOG_FILE_FULL 1502u
#define ERROR_INVALID_USER_BUFFER 1784u
#define ERROR_NO_SUCH_USER 1317u
#define ERROR_LOGON_FAILURE 1326u
#define RPC_S_SERVER_UNAVAILABLE 1722u
#define ERROR_DS_OPERATIONS_ERROR 8224u
#define ERROR_DS_NO_SUCH_OBJECT 8240u
#define ERROR_DS_SERVER_DOWN 8250u

// HRESULTs.
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_ABORT static_cast<HRESULT>(0x80004004u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFFu)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005u)
#define E_HANDLE static_cast<HRESULT>(0x80070006u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define E_PENDING static_cast<HRESULT>(0x8000000Au)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005u)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008u)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000Au)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000Bu)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000Du)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define CO_E_CLASSSTRING static_cast<HRESULT>(0x800401F3u)
#define HRESULT_CODE(hr) (static_cast<DWORD>(hr) & 0xFFFFu)
#define HRESULT_FACILITY(hr) ((static_cast<DWORD>(hr) >> 16) & 0x1FFFu)
#define FACILITY_WIN32 7u
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_FROM_WIN32(x)                                                                                \
    (static_cast<HRESULT>(x) <= 0                                                                            \
         ? static_cast<HRESULT>(x)                                                                           \
         : static_cast<HRESULT>((static_cast<DWORD>(x) & 0x0000FFFFu) | 0x80070000u))

#define MAKEWORD(a, b)                                                                                       \
    (static_cast<WORD>((static_cast<BYTE>(a)) | (static_cast<WORD>(static_cast<BYTE>(b)) << 8)))
#define MAKELONG(a, b)                                                                                       \
    (static_cast<LONG>((static_cast<WORD>(a)) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xff))
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))

#ifndef DLSW_API
#define DLSW_API __attribute__((visibility("default")))
#endif
