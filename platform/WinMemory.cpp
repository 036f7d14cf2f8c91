#include "platform/WinMemory.h"

#include "platform/WinSync.h"

#include <cstdlib>

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    void* p = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(uBytes == 0 ? 1 : uBytes, 1)
                                            : std::malloc(uBytes == 0 ? 1 : uBytes);
    if (p == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

HLOCAL LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}
