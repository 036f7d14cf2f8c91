// The installation of AuthTreeSupport.h with OWA's settings and users' properties from a real directory
// server the test program starts, on a machine that names itself mail01.example.test.
#pragma once

#include "tests/directory/SlapdServer.h"
#include "tests/integration/AuthTreeSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace auth_tree
{
// The server comes up before the worker loads, because the worker reads its computer's settings at start.
class CAuthDirectoryTreeTest : public CAuthTreeTest
{
protected:
    static void SetUpTestSuite()
    {
        s_pServer = std::make_unique<CSlapdServer>();
        std::string strError;
        ASSERT_TRUE(s_pServer->Start(strError)) << strError;
        CMachineConfig::Instance().SetDirectoryServer(s_pServer->MachineDirectory());
        CMachineConfig::Instance().SetComputerName("MAIL01", "mail01", "example.test");
        LoadWorker();
    }
    static void TearDownTestSuite()
    {
        UnloadWorker();
        s_pServer.reset();
        CMachineConfig::Instance().Reset();
    }

    inline static std::unique_ptr<CSlapdServer> s_pServer;
};
} // namespace auth_tree
