// The computer's names and the system directory, answered from the machine configuration.
#pragma once

#include "platform/WinTypes.h"

enum COMPUTER_NAME_FORMAT
{
    ComputerNameNetBIOS = 0,
    ComputerNameDnsHostname = 1,
    ComputerNameDnsDomain = 2,
    ComputerNameDnsFullyQualified = 3,
    ComputerNamePhysicalNetBIOS = 4,
    ComputerNamePhysicalDnsHostname = 5,
    ComputerNamePhysicalDnsDomain = 6,
    ComputerNamePhysicalDnsFullyQualified = 7
};

// The length copied without the NUL, or the size needed with the NUL when the buffer is too small
// (the buffer untouched), or 0 on failure.
DLSW_API UINT GetSystemDirectoryA(LPSTR pszBuffer, UINT uSize);
// On entry *pnSize is the buffer's size; on success it is the length copied, else (ERROR_MORE_DATA) the size
// needed with the NUL.
DLSW_API BOOL GetComputerNameExA(COMPUTER_NAME_FORMAT nameType, LPSTR pszBuffer, LPDWORD pnSize);
DLSW_API BOOL GetComputerNameA(LPSTR pszBuffer, LPDWORD pnSize);
