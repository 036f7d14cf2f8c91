// The library call the common code makes (the counted HMODULE's deleter). Its definition belongs to the
// module layer.
#pragma once

#include "platform/WinTypes.h"

DLSW_API BOOL FreeLibrary(HMODULE hModule);
