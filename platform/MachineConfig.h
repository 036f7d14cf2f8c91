// The one description of this "machine" that the platform layer answers from: drive roots, the registry
// file, the directory server, the computer's names and the system directory. The host and the tests set
// it; nothing is read from the real system configuration.
#pragma once

#include "platform/WinTypes.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

// The directory server this computer belongs to. No URI: the computer is outside any domain and every
// directory bind fails.
struct DirectoryServerConfig
{
    std::string m_sUri;              // ldap://127.0.0.1:port
    std::string m_sBaseDN;           // default naming context
    std::string m_sBindDN;           // the computer's own identity; empty: anonymous
    std::string m_sBindPasswordFile; // POSIX path of a file whose first line is the password
};

class DLSW_API CMachineConfig
{
public:
    // The process-wide configuration.
    static CMachineConfig& Instance();

    // Back to the defaults: drive Z: is "/", no other drive, no registry file, computer "localhost",
    // system directory "C:\Windows\System32".
    void Reset();

    // Root directory (POSIX) of a drive letter; an empty root removes the drive. Z: is "/" unless set.
    void SetDriveRoot(char chDrive, const std::string& sRoot);
    // False when the drive is not configured.
    bool GetDriveRoot(char chDrive, std::string& sRoot) const;
    std::map<char, std::string> GetDriveRoots() const;

    // POSIX path of the registry's ".reg" text file; empty: the registry is empty.
    void SetRegistryFile(const std::string& sPath);
    std::string GetRegistryFile() const;

    void SetDirectoryServer(const DirectoryServerConfig& config);
    DirectoryServerConfig GetDirectoryServer() const;

    // NetBIOS name, DNS host name and DNS domain of this computer.
    void SetComputerName(const std::string& sNetBios, const std::string& sDnsHost,
                         const std::string& sDnsDomain);
    std::string GetNetBiosName() const;
    std::string GetDnsHostName() const;
    std::string GetDnsDomain() const;

    // The module (POSIX path) that serves a COM class, by its class id as "{XXXXXXXX-XXXX-...}" (any
    // case); an empty path removes it. CoCreateInstance loads the module when the class is not yet
    // registered.
    void SetInprocServer(const std::string& sClsid, const std::string& sModulePath);
    std::string GetInprocServer(const std::string& sClsid) const;

    // Windows directories searched, in order, for a module loaded by its bare name (before the system
    // directory).
    void SetLibrarySearchPath(const std::vector<std::string>& vecWindowsDirectories);
    std::vector<std::string> GetLibrarySearchPath() const;

    // Windows path of the system directory (the root of "LogFiles\" among others).
    void SetSystemDirectory(const std::string& sWindowsPath);
    std::string GetSystemDirectory() const;

private:
    CMachineConfig();
    void ResetLocked();

    mutable std::mutex m_mutex;
    std::map<char, std::string> m_mapDriveRoots;
    std::string m_sRegistryFile;
    DirectoryServerConfig m_directoryServer;
    std::string m_sNetBiosName;
    std::string m_sDnsHostName;
    std::string m_sDnsDomain;
    std::string m_sSystemDirectory;
    std::map<std::string, std::string> m_mapInprocServers;

    std::vector<std::string> m_vecLibrarySearchPath;
};
