#include "platform/MachineConfig.h"

#include <cctype>

namespace
{
char NormalizeDrive(char chDrive)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(chDrive)));
}
} // namespace

CMachineConfig& CMachineConfig::Instance()
{
    // Never destroyed: files are still opened by other statics' destructors at unload.
    static CMachineConfig* s_pConfig = new CMachineConfig();
    return *s_pConfig;
}

CMachineConfig::CMachineConfig()
{
    ResetLocked();
}

void CMachineConfig::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ResetLocked();
}

void CMachineConfig::ResetLocked()
{
    m_mapDriveRoots.clear();
    m_mapDriveRoots['Z'] = "/";
    m_sRegistryFile.clear();
    m_directoryServer = DirectoryServerConfig();
    m_sNetBiosName = "LOCALHOST";
    m_sDnsHostName = "localhost";
    m_sDnsDomain.clear();
    m_sSystemDirectory = "C:\\Windows\\System32";
    m_mapInprocServers.clear();
    m_vecLibrarySearchPath.clear();
}

void CMachineConfig::SetLibrarySearchPath(const std::vector<std::string>& vecWindowsDirectories)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecLibrarySearchPath = vecWindowsDirectories;
}

std::vector<std::string> CMachineConfig::GetLibrarySearchPath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecLibrarySearchPath;
}

void CMachineConfig::SetDriveRoot(char chDrive, const std::string& sRoot)
{
    const char chKey = NormalizeDrive(chDrive);
    if (chKey < 'A' || chKey > 'Z')
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sRoot.empty())
        m_mapDriveRoots.erase(chKey);
    else
        m_mapDriveRoots[chKey] = sRoot;
}

bool CMachineConfig::GetDriveRoot(char chDrive, std::string& sRoot) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapDriveRoots.find(NormalizeDrive(chDrive));
    if (it == m_mapDriveRoots.end())
        return false;
    sRoot = it->second;
    return true;
}

std::map<char, std::string> CMachineConfig::GetDriveRoots() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mapDriveRoots;
}

void CMachineConfig::SetRegistryFile(const std::string& sPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sRegistryFile = sPath;
}

std::string CMachineConfig::GetRegistryFile() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sRegistryFile;
}

void CMachineConfig::SetDirectoryServer(const DirectoryServerConfig& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_directoryServer = config;
}

DirectoryServerConfig CMachineConfig::GetDirectoryServer() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_directoryServer;
}

void CMachineConfig::SetComputerName(const std::string& sNetBios, const std::string& sDnsHost,
                                     const std::string& sDnsDomain)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sNetBiosName = sNetBios;
    m_sDnsHostName = sDnsHost;
    m_sDnsDomain = sDnsDomain;
}

std::string CMachineConfig::GetNetBiosName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sNetBiosName;
}

std::string CMachineConfig::GetDnsHostName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sDnsHostName;
}

std::string CMachineConfig::GetDnsDomain() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sDnsDomain;
}

void CMachineConfig::SetInprocServer(const std::string& sClsid, const std::string& sModulePath)
{
    std::string sKey = sClsid;
    for (char& c : sKey)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sModulePath.empty())
        m_mapInprocServers.erase(sKey);
    else
        m_mapInprocServers[sKey] = sModulePath;
}

std::string CMachineConfig::GetInprocServer(const std::string& sClsid) const
{
    std::string sKey = sClsid;
    for (char& c : sKey)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_mapInprocServers.find(sKey);
    return it == m_mapInprocServers.end() ? std::string() : it->second;
}

void CMachineConfig::SetSystemDirectory(const std::string& sWindowsPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sSystemDirectory = sWindowsPath;
}

std::string CMachineConfig::GetSystemDirectory() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sSystemDirectory;
}
