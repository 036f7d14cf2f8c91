// A real directory server for the tests: slapd on a free loopback port, configured in a temporary folder
// with our own schema and the fixture's entries, stopped and removed when the object goes. Its statistics
// log tells how many searches reached it.
//
// slapd runs under a guard process of its own that holds the read end of a pipe whose only write end is
// this object's. However this process ends (Stop, exit, std::_Exit, a crash, SIGKILL), the kernel closes
// that end; the guard then stops slapd and removes its folder, password file included. So no way out of a
// test or benchmark leaves a server behind.
#pragma once

#include "platform/MachineConfig.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

class CSlapdServer
{
public:
    static constexpr const char* BASE_DN = "dc=example,dc=test";
    static constexpr const char* BIND_DN = "cn=worker,dc=example,dc=test";

    CSlapdServer() = default;
    CSlapdServer(const CSlapdServer&) = delete;
    CSlapdServer& operator=(const CSlapdServer&) = delete;
    ~CSlapdServer();

    // Writes the configuration, loads the entries and starts the server; false (with the reason) when
    // slapd is missing or does not come up. The rootDSE's own attributes come from the fixture's
    // rootdse.ldif unless another file (of the fixture folder) is named. Another folder of the same three
    // files (directory.schema, directory.ldif and the rootDSE's) may stand in for the fixture's.
    bool Start(std::string& sError, const std::string& sRootDseFile = "rootdse.ldif",
               const std::filesystem::path& dataDir = {});
    void Stop();

    std::string Uri() const;
    // The machine's directory settings that reach this server with the worker's identity.
    DirectoryServerConfig MachineDirectory() const;
    // Searches the server has received so far (each "SRCH" request, the provider's own base reads
    // included).
    size_t SearchCount() const;
    // The filters of those searches, in order.
    std::vector<std::string> SearchFilters() const;

private:
    bool Run(const std::string& sCommand, std::string& sError) const;
    bool SpawnGuarded(const std::string& sUrl, std::string& sError);
    bool WaitUntilAnswering(std::string& sError);
    // bKeepFolder: the folder stays for another attempt on another port.
    void StopProcess(bool bKeepFolder = false);

    std::filesystem::path m_dir;
    int m_nPort = 0;
    // The guard process, and the write end of the pipe it watches.
    pid_t m_pidGuard = -1;
    int m_fdGuard = -1;
};
