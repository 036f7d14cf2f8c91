#include "host/HostMachine.h"

#include "platform/MachineConfig.h"
#include "platform/WinFile.h"

#include <filesystem>
#include <system_error>

namespace
{
constexpr const char* SESSION_CACHE_CLSID = "{67EA23E7-C621-4890-827D-72111D82417C}";
}

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
    // The components the product's installer registers with COM, when the tree brings them.
    const fs::path sessionCache = binDirectory / "KSSessionCache.so";
    if (fs::is_regular_file(sessionCache, ec))
        config.SetInprocServer(SESSION_CACHE_CLSID, sessionCache.string());
}
