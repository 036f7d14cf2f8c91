// A shell command run for a test: what it wrote to standard output, and how it ended.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace run_command_detail
{
// The file the command's standard error goes to, removed when the run is over.
class CStderrFile
{
public:
    CStderrFile()
    {
        const char* pszDir = std::getenv("TMPDIR");
        std::string strTemplate =
            std::string(pszDir != nullptr && *pszDir != '\0' ? pszDir : "/tmp") + "/dlsw-stderr-XXXXXX";
        const int nFd = ::mkstemp(strTemplate.data());
        if (nFd >= 0)
        {
            ::close(nFd);
            m_strPath = strTemplate;
        }
    }
    ~CStderrFile()
    {
        if (!m_strPath.empty())
            ::unlink(m_strPath.c_str());
    }
    CStderrFile(const CStderrFile&) = delete;
    CStderrFile& operator=(const CStderrFile&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string Text() const
    {
        std::ifstream in(m_strPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_strPath;
};

inline bool HoldsSanitizerReport(const std::string& strText)
{
    for (const char* pszMark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                                "WARNING: ThreadSanitizer", "LeakSanitizer has encountered a fatal error"})
    {
        if (strText.find(pszMark) != std::string::npos)
            return true;
    }
    return false;
}
} // namespace run_command_detail

// The standard output of a shell command, and its exit code (-1 when it did not run or did not exit).
// When the command fails, or a sanitizer reports on it, what it wrote to standard error goes into the test's
// own output, so that a sanitized child's report reads there as what it is, not as a bare exit code; and a
// sanitizer's report fails the test even where the test expects the command to fail.
inline std::string RunCommand(const std::string& strCommand, int& nExit)
{
    std::string strOutput;
    run_command_detail::CStderrFile errors;
    const std::string strRun =
        errors.Path().empty() ? strCommand : "{ " + strCommand + "\n} 2>'" + errors.Path() + "'";
    FILE* pPipe = ::popen(strRun.c_str(), "r");
    if (pPipe == nullptr)
    {
        nExit = -1;
        return strOutput;
    }
    std::array<char, 4096> buffer{};
    size_t nRead = 0;
    while ((nRead = std::fread(buffer.data(), 1, buffer.size(), pPipe)) > 0)
        strOutput.append(buffer.data(), nRead);
    const int nStatus = ::pclose(pPipe);
    nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;

    const std::string strErrors = errors.Path().empty() ? std::string() : errors.Text();
    const bool bReport = run_command_detail::HoldsSanitizerReport(strErrors);
    if (!strErrors.empty() && (nExit != 0 || bReport))
    {
        std::cerr << "--- standard error of: " << strCommand.substr(0, 300)
                  << (strCommand.size() > 300 ? " ..." : "") << " (exit " << nExit << ")\n"
                  << strErrors << (strErrors.back() == '\n' ? "" : "\n") << "--- end of standard error\n";
    }
    if (bReport)
        ADD_FAILURE() << "a sanitizer reported on a program the test ran (its report is above): "
                      << strCommand.substr(0, 300);
    return strOutput;
}
