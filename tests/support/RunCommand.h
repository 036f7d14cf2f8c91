// A shell command run for a test: what it wrote to standard output, and how it ended.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

// The standard output of a shell command, and its exit code (-1 when it did not run or did not exit).
inline std::string RunCommand(const std::string& strCommand, int& nExit)
{
    std::string strOutput;
    FILE* pPipe = ::popen(strCommand.c_str(), "r");
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
    return strOutput;
}
