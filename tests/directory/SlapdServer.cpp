#include "tests/directory/SlapdServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdlib.h>
#include <sys/prctl.h>
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

// What the server's folder holds once slapd has run, in the order the guard removes it: files before the
// folders that hold them. A name that was never made is passed over; anything else slapd made keeps the
// folder, which the owner's Stop removes whole when it still can.
const char* const FOLDER_ENTRIES[] = {"db/data.mdb", "db/lock.mdb", "db",        "worker.pw", "slapd.conf",
                                      "slapd.log",   "command.log", "slapd.pid", "slapd.args"};

// The byte the owner sends before it lets go of the guard when the folder is to stay (for another
// attempt on another port); without it the guard removes the folder too.
constexpr char KEEP_FOLDER = 'k';

void WaitForChild(pid_t pid, int nOptions, int& nStatus, pid_t& pidDone)
{
    do
        pidDone = ::waitpid(pid, &nStatus, nOptions);
    while (pidDone < 0 && errno == EINTR);
}

// The guard, in a child forked from a process that may run other threads: only async-signal-safe calls.
// It ends when slapd ends by itself (the owner sees that as a failed start), and stops slapd (SIGTERM,
// then SIGKILL after ten seconds) and removes its folder when the owner's end of the socket closes.
[[noreturn]] void GuardSlapd(int fdWatch, pid_t pidSlapd, const char* const* ppszRemove, size_t nRemove)
{
    int nStatus = 0;
    pid_t pidDone = 0;
    for (;;)
    {
        pollfd watch{fdWatch, POLLIN, 0};
        const int nReady = ::poll(&watch, 1, 50);
        if (nReady > 0)
            break;
        WaitForChild(pidSlapd, WNOHANG, nStatus, pidDone);
        if (pidDone == pidSlapd || pidDone < 0)
            ::_exit(1);
    }
    char cByte = 0;
    const bool bKeep = ::read(fdWatch, &cByte, 1) == 1 && cByte == KEEP_FOLDER;
    ::kill(pidSlapd, SIGTERM);
    const timespec pause{0, 20 * 1000 * 1000};
    for (int i = 0;; ++i)
    {
        WaitForChild(pidSlapd, WNOHANG, nStatus, pidDone);
        if (pidDone != 0)
            break;
        if (i == 500)
        {
            ::kill(pidSlapd, SIGKILL);
            WaitForChild(pidSlapd, 0, nStatus, pidDone);
            break;
        }
        ::nanosleep(&pause, nullptr);
    }
    for (size_t i = 0; !bKeep && i < nRemove; ++i)
    {
        if (::unlink(ppszRemove[i]) != 0)
            ::rmdir(ppszRemove[i]);
    }
    ::_exit(0);
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
        if (!SpawnGuarded(sUrl, sError))
            return false;
        if (WaitUntilAnswering(sError))
            return true;
        StopProcess(true);
    }
    return false;
}

bool CSlapdServer::SpawnGuarded(const std::string& sUrl, std::string& sError)
{
    // Everything the children use is made before the fork: after it they may not allocate.
    const std::string sConf = (m_dir / "slapd.conf").string();
    const std::string sLog = (m_dir / "slapd.log").string();
    // -d 256 keeps slapd in the foreground and writes one "SRCH" line per search it receives.
    std::vector<std::string> vecArgs = {SLAPD, "-f", sConf, "-h", sUrl, "-d", "256"};
    std::vector<char*> vecArgv;
    for (std::string& s : vecArgs)
        vecArgv.push_back(s.data());
    vecArgv.push_back(nullptr);
    std::vector<std::string> vecRemove;
    for (const char* pszEntry : FOLDER_ENTRIES)
        vecRemove.push_back((m_dir / pszEntry).string());
    vecRemove.push_back(m_dir.string());
    std::vector<const char*> vecRemovePaths;
    for (const std::string& s : vecRemove)
        vecRemovePaths.push_back(s.c_str());

    // A socket rather than a pipe: the owner's byte to keep the folder must not raise SIGPIPE when the
    // guard is already gone.
    int aEnds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, aEnds) != 0)
    {
        sError = "cannot make the socket that guards slapd";
        return false;
    }
    const pid_t pidGuard = ::fork();
    if (pidGuard == 0)
    {
        ::close(aEnds[0]);
        // The guard holds no descriptor but its own end: the owner's end of another server's guard held
        // here would keep that server running after its owner is gone.
        int fdWatch = aEnds[1];
        if (fdWatch != 3)
        {
            ::dup2(fdWatch, 3);
            fdWatch = 3;
        }
        ::close_range(4, ~0U, 0);
        const pid_t pidSelf = ::getpid();
        const pid_t pidSlapd = ::fork();
        if (pidSlapd == 0)
        {
            // Should the guard itself be killed, slapd goes with it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != pidSelf)
                ::_exit(127);
            ::close(fdWatch);
            const int fdNull = ::open("/dev/null", O_WRONLY);
            const int fdLog = ::open(sLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fdNull < 0 || fdLog < 0 || ::dup2(fdNull, 1) < 0 || ::dup2(fdLog, 2) < 0)
                ::_exit(127);
            ::close(fdNull);
            ::close(fdLog);
            ::execve(SLAPD, vecArgv.data(), environ);
            ::_exit(127);
        }
        if (pidSlapd < 0)
            ::_exit(127);
        GuardSlapd(fdWatch, pidSlapd, vecRemovePaths.data(), vecRemovePaths.size());
    }
    ::close(aEnds[1]);
    if (pidGuard < 0)
    {
        ::close(aEnds[0]);
        sError = "cannot start slapd";
        return false;
    }
    m_pidGuard = pidGuard;
    m_fdGuard = aEnds[0];
    return true;
}

bool CSlapdServer::WaitUntilAnswering(std::string& sError)
{
    const auto tpEnd = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < tpEnd)
    {
        int nStatus = 0;
        pid_t pidDone = 0;
        WaitForChild(m_pidGuard, WNOHANG, nStatus, pidDone);
        if (pidDone == m_pidGuard)
        {
            // The guard ends only when slapd has.
            m_pidGuard = -1;
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

void CSlapdServer::StopProcess(bool bKeepFolder)
{
    if (m_fdGuard >= 0)
    {
        if (bKeepFolder)
            ::send(m_fdGuard, &KEEP_FOLDER, 1, MSG_NOSIGNAL);
        ::close(m_fdGuard);
        m_fdGuard = -1;
    }
    if (m_pidGuard > 0)
    {
        int nStatus = 0;
        pid_t pidDone = 0;
        WaitForChild(m_pidGuard, 0, nStatus, pidDone);
        m_pidGuard = -1;
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
