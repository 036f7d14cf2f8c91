#include "platform/MachineConfig.h"

#include <gtest/gtest.h>

TEST(MachineConfig, DefaultsAndReset)
{
    CMachineConfig& config = CMachineConfig::Instance();
    config.Reset();
    std::string sRoot;
    ASSERT_TRUE(config.GetDriveRoot('z', sRoot));
    EXPECT_EQ(sRoot, "/");
    EXPECT_FALSE(config.GetDriveRoot('C', sRoot));
    EXPECT_EQ(config.GetSystemDirectory(), "C:\\Windows\\System32");

    config.SetDriveRoot('c', "/srv/c");
    ASSERT_TRUE(config.GetDriveRoot('C', sRoot));
    EXPECT_EQ(sRoot, "/srv/c");
    config.SetDriveRoot('C', "");
    EXPECT_FALSE(config.GetDriveRoot('C', sRoot));
    config.SetDriveRoot('1', "/x"); // not a drive letter
    EXPECT_FALSE(config.GetDriveRoot('1', sRoot));

    config.SetRegistryFile("/tmp/machine.reg");
    config.SetComputerName("MAIL01", "mail01.example.test", "example.test");
    config.SetDirectoryServer({"ldap://127.0.0.1:3890", "dc=example,dc=test", "", ""});
    EXPECT_EQ(config.GetRegistryFile(), "/tmp/machine.reg");
    EXPECT_EQ(config.GetNetBiosName(), "MAIL01");
    EXPECT_EQ(config.GetDnsHostName(), "mail01.example.test");
    EXPECT_EQ(config.GetDnsDomain(), "example.test");
    EXPECT_EQ(config.GetDirectoryServer().m_sBaseDN, "dc=example,dc=test");
    config.Reset();
    EXPECT_TRUE(config.GetRegistryFile().empty());
    EXPECT_TRUE(config.GetDirectoryServer().m_sUri.empty());
}
