// A temporary directory mapped as drive C: for the duration of one test.
#pragma once

#include "platform/MachineConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

class CTempDriveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string sTemplate = (std::filesystem::temp_directory_path() / "dlsw-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(sTemplate.data()), nullptr);
        m_root = sTemplate;
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetDriveRoot('C', m_root.string());
    }
    void TearDown() override
    {
        CMachineConfig::Instance().Reset();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    std::filesystem::path m_root;
};
