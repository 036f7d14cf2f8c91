// Kernel-object handles: every object the platform hands out as a HANDLE (files, searches, file
// mappings, thread tokens...) derives from CWinHandleObject and is registered here. A HANDLE is an opaque
// number that is never reused, so a stale or forged handle is refused instead of touching freed memory.
#pragma once

#include "platform/WinTypes.h"

#include <memory>

class DLSW_API CWinHandleObject
{
public:
    virtual ~CWinHandleObject();
};

// Registers the object and returns its new handle.
DLSW_API HANDLE RegisterHandleObject(std::shared_ptr<CWinHandleObject> spObject);
// The object behind a handle, or null. The object stays alive while the caller holds the result, even
// when another thread closes the handle meanwhile.
DLSW_API std::shared_ptr<CWinHandleObject> LookupHandleObject(HANDLE hObject);

template <class T> std::shared_ptr<T> LookupHandleAs(HANDLE hObject)
{
    return std::dynamic_pointer_cast<T>(LookupHandleObject(hObject));
}

// Unregisters the handle; the object goes when its last user lets go. ERROR_INVALID_HANDLE for an
// unknown handle.
DLSW_API BOOL CloseHandle(HANDLE hObject);
