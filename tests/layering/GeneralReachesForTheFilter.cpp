// Must not compile: the general settings sit below the filter, and the file helpers they use live below both.
#include "filter/Notifications.h"
