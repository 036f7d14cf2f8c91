// The loadable worker's own load and unload hooks: the library entry function runs when the module is
// mapped into the host and when it leaves it.
#include "filter/EntryPoints.h"

namespace
{
__attribute__((constructor)) void OnModuleLoad()
{
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void OnModuleUnload()
{
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}
} // namespace
