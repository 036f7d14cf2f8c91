// Must not compile: the host sees the contract and the platform, nothing of the worker's own folders.
#include "filter/EntryPoints.h"
