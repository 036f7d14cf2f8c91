// Files for tests: a file's whole text, a fresh temporary folder removed with all it holds at the end, and
// a fixture that maps one as drive C: for the duration of a test.
#pragma once

#include "platform/MachineConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <system_error>

// The file's bytes as they stand; empty when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CTempDir
{
public:
    explicit CTempDir(const std::string& sPrefix = "dlsw-test")
    {
        std::string sTemplate = (std::filesystem::temp_directory_path() / (sPrefix + "-XXXXXX")).string();
        if (::mkdtemp(sTemplate.data()) == nullptr)
            throw std::runtime_error("mkdtemp " + sTemplate);
        m_path = sTemplate;
    }
    ~CTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class CTempDriveTest : public ::testing::Test
{
protected:
    explicit CTempDriveTest(const std::string& sPrefix = "dlsw-test") : m_dir(sPrefix), m_root(m_dir.Path())
    {
    }

    void SetUp() override
    {
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetDriveRoot('C', m_root.string());
    }
    void TearDown() override { CMachineConfig::Instance().Reset(); }

    CTempDir m_dir;
    std::filesystem::path m_root;
};
