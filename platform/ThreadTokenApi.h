// The thread-token calls the common code makes (the impersonation guard). Their definitions belong to
// the security layer, which keeps the calling user's token per thread.
#pragma once

#include "platform/WinTypes.h"

#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u

DLSW_API BOOL OpenThreadToken(HANDLE hThread, DWORD dwDesiredAccess, BOOL bOpenAsSelf, PHANDLE phToken);
DLSW_API BOOL SetThreadToken(PHANDLE phThread, HANDLE hToken);
DLSW_API BOOL RevertToSelf();
