// Profile strings: values read from INI files by the rules Windows' private profile functions keep.
// Sections and keys are matched without regard to case; the first section of a name is the one that
// counts, and within it the first key of a name; names and values lose their leading and trailing
// blanks, and a value loses one pair of surrounding quotes (both "..." and '...'). Lines that begin with
// ";" are comments. A UTF-8 byte-order mark is skipped. The file is a Windows path.
#pragma once

#include "platform/WinTypes.h"

// Copies the value of the key in the section into the buffer, or the default (verbatim; null reads as
// empty) when the file, the section or the key is missing; the last error is then ERROR_FILE_NOT_FOUND.
// A value longer than the buffer is cut to nSize - 1 characters and the answer is nSize - 1; otherwise
// the answer is the length copied. With a null key the buffer receives the section's key names, with a
// null section the file's section names, each ended by a NUL and the list by a second NUL; a list cut
// short answers nSize - 2. A null buffer or a size of 0 answers 0.
DLSW_API DWORD GetPrivateProfileStringA(LPCSTR pszAppName, LPCSTR pszKeyName, LPCSTR pszDefault,
                                        LPSTR pszReturnedString, DWORD nSize, LPCSTR pszFileName);
