// The names the host's report gives notification types and request flags.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

// The text with which the host names a notification type.
const char* NotificationName(DWORD dwType);
// The names of the set bits of a request's flags, lowest first.
std::vector<std::string> RequestFlagNames(DWORD dwFlags);
