// Local heap allocations, as the system's own buffers (formatted messages, SIDs) are handed out.
#pragma once

#include "platform/WinTypes.h"

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

DLSW_API HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Null on success, the block itself on failure, as on Windows.
DLSW_API HLOCAL LocalFree(HLOCAL hMem);
