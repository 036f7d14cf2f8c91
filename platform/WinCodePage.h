// Code-page conversion over ICU. Code pages are Windows' numbers; the ANSI code page of this machine is
// 1252. A code page ICU has no converter for fails with ERROR_INVALID_PARAMETER.
#pragma once

#include "platform/WinTypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

DLSW_API UINT GetACP();
// Whether a code page can be converted here.
DLSW_API BOOL IsValidCodePage(UINT uCodePage);

// A cchMultiByte or cchWideChar of -1 takes the text up to and with its terminating NUL. A zero-sized output
// asks for the size needed; an output too small fails with ERROR_INSUFFICIENT_BUFFER. Characters the
// target cannot hold become the default character ("?" unless given); *lpUsedDefaultChar tells whether
// one was needed. Invalid input becomes U+FFFD when converting to UTF-16.
DLSW_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                 LPWSTR lpWideCharStr, int cchWideChar);
DLSW_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                 LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                 LPBOOL lpUsedDefaultChar);
