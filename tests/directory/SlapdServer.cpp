#include "tests/directory/SlapdServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
constexpr const char* SLAPD = "/usr/sbin/slapd";
constexpr const char* SLAPADD = "/usr/sbin/slapadd";
constexpr const char* PASSWORD = "worker-secret";

std::filesystem::path FixtureDir()
{
    return std::filesystem::path(DLSW_FIXTURES) / "directory";
}

// A port no one listens on now. Another process may take it before slapd does; Start then tries again.
int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    int nPort = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        nPort = ntohs(addr.sin_port);
    ::close(fd);
    return nPort;
}

bool CanConnect(int nPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    const bool bOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bOk;
}
} // namespace

CSlapdServer::~CSlapdServer()
{
    Stop();
}

bool CSlapdServer::Run(const std::string& sCommand, std::string& sError) const
{
    const std::string sLog = (m_dir / "command.log").string();
    const int nRc = std::system((sCommand + " >" + sLog + " 2>&1").c_str());
    if (nRc == 0)
        return true;
    std::ifstream in(sLog);
    std::stringstream ss;
    ss << in.rdbuf();
    sError = sCommand + " failed: " + ss.str();
    return false;
}

bool CSlapdServer::Start(std::string& sError, const std::string& sRootDseFile,
                         const std::filesystem::path& dataDir)
{
    const std::filesystem::path data = dataDir.empty() ? FixtureDir() : dataDir;
    if (::access(SLAPD, X_OK) != 0 || ::access(SLAPADD, X_OK) != 0)
    {
        sError = "slapd is not installed (scripts/install-deps installs slapd and ldap-utils)";
        return false;
    }
    std::string sTemplate = (std::filesystem::temp_directory_path() / "dlsw-slapd-XXXXXX").string();
    if (::mkdtemp(sTemplate.data()) == nullptr)
    {
        sError = "mkdtemp failed";
        return false;
    }
    m_dir = sTemplate;
    std::filesystem::create_directory(m_dir / "db");
    {
        std::ofstream pw(m_dir / "worker.pw");
        pw << PASSWORD << "\n";
    }
    std::filesystem::permissions(m_dir / "worker.pw",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    {
        std::ofstream conf(m_dir / "slapd.conf");
        conf << "include /etc/ldap/schema/core.schema\n"
             << "include " << (data / "directory.schema").string() << "\n"
             << "modulepath /usr/lib/ldap\n"
             << "moduleload back_mdb\n"
             << "pidfile " << (m_dir / "slapd.pid").string() << "\n"
             << "rootDSE " << (data / sRootDseFile).string() << "\n"
             << "access to dn.base=\"\" by * read\n"
             << "access to dn.base=\"cn=Subschema\" by * read\n"
             // Only the worker's own identity reads entries; an anonymous bind sees nothing.
             << "access to * by * none\n"
             << "database mdb\n"
             << "maxsize 16777216\n"
             << "suffix \"" << BASE_DN << "\"\n"
             << "rootdn \"" << BIND_DN << "\"\n"
             << "rootpw " << PASSWORD << "\n"
             << "directory " << (m_dir / "db").string() << "\n";
    }
    const std::string sConf = (m_dir / "slapd.conf").string();
    if (!Run(std::string(SLAPADD) + " -q -f " + sConf + " -l " + (data / "directory.ldif").string(), sError))
        return false;

    for (int nAttempt = 0; nAttempt < 5; ++nAttempt)
    {
        m_nPort = FreeLoopbackPort();
        if (m_nPort == 0)
            continue;
        const std::string sUrl = "ldap://127.0.0.1:" + std::to_string(m_nPort) + "/";
        const std::string sLog = (m_dir / "slapd.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, sLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // -d 256 keeps slapd in the foreground and writes one "SRCH" line per search it receives.
        std::vector<std::string> vecArgs = {SLAPD, "-f", sConf, "-h", sUrl, "-d", "256"};
        std::vector<char*> vecArgv;
        for (std::string& s : vecArgs)
            vecArgv.push_back(s.data());
        vecArgv.push_back(nullptr);
        const int nRc = posix_spawn(&m_pid, SLAPD, &actions, nullptr, vecArgv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (nRc != 0)
        {
            m_pid = -1;
            sError = "cannot start slapd";
            return false;
        }
        if (WaitUntilAnswering(sError))
            return true;
        StopProcess();
    }
    return false;
}

bool CSlapdServer::WaitUntilAnswering(std::string& sError) const
{
    const auto tpEnd = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < tpEnd)
    {
        int nStatus = 0;
        if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid)
        {
            std::ifstream in(m_dir / "slapd.log");
            std::stringstream ss;
            ss << in.rdbuf();
            sError = "slapd stopped at start: " + ss.str();
            return false;
        }
        if (CanConnect(m_nPort))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    sError = "slapd did not answer on port " + std::to_string(m_nPort);
    return false;
}

void CSlapdServer::StopProcess()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGTERM);
        int nStatus = 0;
        ::waitpid(m_pid, &nStatus, 0);
        m_pid = -1;
    }
}

void CSlapdServer::Stop()
{
    StopProcess();
    if (!m_dir.empty())
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        m_dir.clear();
    }
}

std::string CSlapdServer::Uri() const
{
    return "ldap://127.0.0.1:" + std::to_string(m_nPort);
}

DirectoryServerConfig CSlapdServer::MachineDirectory() const
{
    return DirectoryServerConfig{Uri(), BASE_DN, BIND_DN, (m_dir / "worker.pw").string()};
}

std::vector<std::string> CSlapdServer::SearchFilters() const
{
    std::vector<std::string> vecFilters;
    std::ifstream in(m_dir / "slapd.log");
    std::string sLine;
    while (std::getline(in, sLine))
    {
        const size_t nSrch = sLine.find(" SRCH base=");
        if (nSrch == std::string::npos)
            continue;
        const size_t nFilter = sLine.find(" filter=\"", nSrch);
        vecFilters.push_back(nFilter == std::string::npos
                                 ? std::string()
                                 : sLine.substr(nFilter + 9, sLine.size() - nFilter - 10));
    }
    return vecFilters;
}

size_t CSlapdServer::SearchCount() const
{
    return SearchFilters().size();
}
