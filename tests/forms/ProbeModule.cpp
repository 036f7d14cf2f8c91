// The worker with the probe as the rewriter of every row: a module only the end-to-end tests load.
#include "tests/forms/ProbeForm.h"

namespace
{
const bool g_bInstalled = []
{
    InstallProbeForms();
    return true;
}();
} // namespace
