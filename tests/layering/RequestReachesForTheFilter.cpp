// Must not compile: what the filter and the rewriters share of a request sits below both.
#include "filter/Notifications.h"
