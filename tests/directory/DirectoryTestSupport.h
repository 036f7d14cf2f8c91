// The one slapd every directory test of this program talks to, started on first use and stopped at exit,
// and a fixture that points the machine's directory settings at it.
#pragma once

#include "tests/directory/SlapdServer.h"

#include <gtest/gtest.h>

#include <memory>

// Null, with a failure recorded, when the server cannot run: these tests fail without slapd.
CSlapdServer* SharedSlapd();

class CDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pServer = SharedSlapd();
        ASSERT_NE(m_pServer, nullptr);
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetDirectoryServer(m_pServer->MachineDirectory());
        CMachineConfig::Instance().SetComputerName("MAIL01", "mail01", "example.test");
    }
    void TearDown() override { CMachineConfig::Instance().Reset(); }

    CSlapdServer* m_pServer = nullptr;
};
