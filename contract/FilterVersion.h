// What the host learns of the filter when it loads it: the revision and the notifications the filter
// registers for, and the types of the three functions it calls.
#pragma once

#include "platform/HttpFilter.h"
#include "platform/WinTypes.h"

struct CDLLContext;

constexpr DWORD DLSW_FILTER_REVISION = 0x00060000;
constexpr DWORD DLSW_FILTER_FLAGS =
    SF_NOTIFY_AUTH_COMPLETE | SF_NOTIFY_ORDER_LOW | SF_NOTIFY_PREPROC_HEADERS | SF_NOTIFY_AUTHENTICATION |
    SF_NOTIFY_SEND_RAW_DATA | SF_NOTIFY_END_OF_REQUEST | SF_NOTIFY_SEND_RESPONSE;
static_assert(DLSW_FILTER_FLAGS == 0x040264C0);

// The entry points' types, for whoever loads the library.
using PFN_GET_FILTER_VERSION = BOOL (*)(HTTP_FILTER_VERSION* pVer);
using PFN_HTTP_FILTER_PROC = DWORD (*)(CDLLContext* pContext);
using PFN_TERMINATE_FILTER = DWORD (*)();
