// Must not compile: the parser sits below the filter and cannot see its folder.
#include "filter/Notifications.h"
