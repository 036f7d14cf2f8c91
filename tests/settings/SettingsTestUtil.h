// Temporary folders with Windows paths, the fake clock and captured trace lines for the settings tests.
#pragma once

#include "platform/WinFile.h"
#include "platform/WinTime.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace settings_test
{
inline std::string Fixture(const std::string& sName)
{
    return MapPosixPathToWindows(std::string(DLSW_FIXTURES) + "/settings/" + sName);
}

inline std::string ReadFixtureText(const std::string& sName)
{
    return ReadFileText(std::string(DLSW_FIXTURES) + "/settings/" + sName);
}

using ::CTraceCapture;

using ::CFakeClock;

// A temporary folder, removed at the end, addressed by Windows paths as the worker sees them.
class CTempFolder
{
public:
    const std::string& Posix() const { return m_sPosix; }
    // The folder's Windows path, with its trailing backslash.
    std::string Windows() const { return MapPosixPathToWindows(m_sPosix) + "\\"; }
    std::string PosixOf(const std::string& sRelative) const { return m_sPosix + "/" + sRelative; }
    std::string WindowsOf(const std::string& sRelative) const
    {
        std::string s = sRelative;
        for (char& c : s)
        {
            if (c == '/')
                c = '\\';
        }
        return Windows() + s;
    }
    // Writes a file (directories made as needed) and sets its last-write time in seconds after the epoch.
    void Write(const std::string& sRelative, const std::string& sText, long long llMTime = 0) const
    {
        const std::filesystem::path p = PosixOf(sRelative);
        std::filesystem::create_directories(p.parent_path());
        // The file appears whole and with its last-write time at once, as an editor's save does.
        const std::string sTemp = p.string() + ".tmp";
        std::ofstream(sTemp, std::ios::binary) << sText;
        if (llMTime != 0)
        {
            const struct timespec times[2] = {{llMTime, 0}, {llMTime, 0}};
            utimensat(AT_FDCWD, sTemp.c_str(), times, 0);
        }
        std::filesystem::rename(sTemp, p);
    }
    void SetMTime(const std::string& sRelative, long long llSeconds) const
    {
        const struct timespec times[2] = {{llSeconds, 0}, {llSeconds, 0}};
        utimensat(AT_FDCWD, PosixOf(sRelative).c_str(), times, 0);
    }

private:
    CTempDir m_dir{"dlsw_settings"};
    std::string m_sPosix = m_dir.Path().string();
};
} // namespace settings_test
