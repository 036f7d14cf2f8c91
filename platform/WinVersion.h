// Version resources of module files. The block GetFileVersionInfoA hands out is this layer's own: the
// magic "DLSWVER1", the block's 32-bit total length, a 32-bit translation count, the translations (language
// in the low word, code page in the high word, as "\VarFileInfo\Translation" gives them), the fixed
// information, then "key\0value\0" pairs of the first translation's string table ended by an empty key.
#pragma once

#include "platform/WinTypes.h"

struct VS_FIXEDFILEINFO
{
    DWORD dwSignature; // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

constexpr char VERSION_BLOCK_MAGIC[8] = {'D', 'L', 'S', 'W', 'V', 'E', 'R', '1'};

// The size of the file's version block; 0 when the file has none (ERROR_RESOURCE_TYPE_NOT_FOUND) or
// cannot be found. A bare module name is looked for as LoadLibraryA would.
DLSW_API DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
DLSW_API BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
// "\" gives the fixed information, "\VarFileInfo\Translation" the translations, and
// "\StringFileInfo\<language><code page in 8 hex digits>\<key>" a value (any case).
DLSW_API BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
