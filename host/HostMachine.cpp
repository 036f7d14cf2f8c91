#include "host/HostMachine.h"

#include "platform/MachineConfig.h"
#include "platform/WinFile.h"

#include <filesystem>
#include <system_error>

void ConfigureHostMachine(const std::string& strModulePath)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path binDirectory = fs::absolute(fs::path(strModulePath), ec).parent_path();
    const fs::path tree = binDirectory.parent_path();
    CMachineConfig& config = CMachineConfig::Instance();
    const fs::path registry = tree / "Registry" / "machine.reg";
    if (fs::is_regular_file(registry, ec))
        config.SetRegistryFile(registry.string());
    const fs::path driveC = tree.parent_path() / "C";
    if (fs::is_directory(driveC, ec))
        config.SetDriveRoot('C', driveC.string());
    config.SetLibrarySearchPath({MapPosixPathToWindows(binDirectory.string())});
}
