// Must not compile: the rewriters sit below the filter; what they share with it of a request lives below
// both.
#include "filter/Notifications.h"
