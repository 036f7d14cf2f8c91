#include "settings/IPRange.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

namespace
{
bool InRange(const char* pszClient, const char* pszStart, const char* pszEnd)
{
    IPAddressRecord client;
    ParseIPAddress(pszClient, client);
    return IsIPAddressInRange(client, MakeDirectAccessIPRange({pszStart, pszEnd}));
}
} // namespace

TEST(IPRange, ParseAndMatchTable)
{
    const struct
    {
        const char* pszClient;
        const char* pszStart;
        const char* pszEnd;
        bool bExpected;
    } cases[] = {
        // Ends are inclusive.
        {"10.1.2.3", "10.1.2.3", "10.1.2.3", true},
        {"10.1.2.4", "10.1.2.0", "10.1.2.3", false},
        {"10.20.30.40", "10.0.0.0", "10.255.255.255", true},
        // Compared as numbers, not group by group.
        {"10.5.0.250", "10.5.0.200", "10.5.3.0", true},
        {"10.5.3.1", "10.5.0.200", "10.5.3.0", false},
        {"10.1.0.5", "10.0.0.5", "10.1.0.3", false},
        {"10.0.200.1", "10.0.0.5", "10.1.0.3", true},
        {"9.255.255.255", "10.0.0.0", "10.255.255.255", false},
        {"11.0.0.0", "10.0.0.0", "10.255.255.255", false},
        // A range written backwards holds nothing.
        {"10.0.0.5", "10.0.0.9", "10.0.0.1", false},
        // Leading zeros are decimal; a group that is no number makes the address unreadable.
        {"010.1.1.1", "10.1.1.1", "10.1.1.1", true},
        {"1a.0.0.1", "1.0.0.1", "1.0.0.1", false},
        {"256.0.0.1", "0.0.0.0", "255.255.255.255", false},
        {"10.0.0", "10.0.0.0", "10.0.0.255", false},
        {"", "0.0.0.0", "255.255.255.255", false},
        {"localhost", "0.0.0.0", "255.255.255.255", false},
        {" 10.0.0.7 ", "10.0.0.1", "10.0.0.9", true},
        // IPv6, with "::" anywhere.
        {"::1", "0:0:0:0:0:0:0:1", "0:0:0:0:0:0:0:1", true},
        {"fe80::1", "0:0:0:0:0:0:0:1", "0:0:0:0:0:0:0:1", false},
        {"fe80::1", "fe80::", "fe80::ffff", true},
        {"fe80::a:b", "fe80:0:0:0:0:0:a:0", "fe80:0:0:0:0:0:a:ffff", true},
        {"2001:db8::8:800:200c:417a", "2001:db8::", "2001:db8:0:0:ffff::", true},
        {"2001:db8:1::", "2001:db8::", "2001:db8:0:ffff:ffff:ffff:ffff:ffff", false},
        {"fe80::1%eth0", "fe80::", "fe80::ffff", true},
        {"FE80::AB", "fe80::", "fe80::ffff", true},
        {"1::2::3", "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", false},
        {"1:2:3:4:5:6:7", "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", false},
        {"1:2:3:4:5:6:7:8:9", "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", false},
        {"12345::", "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", false},
        {"::", "::", "::1", true},
        {"::ffff:a01:203", "10.1.2.0", "10.1.2.255", true},
        // Families never mix; an IPv4-mapped client is its IPv4 address.
        {"fe80:0:0:0:0:0:0:1", "10.0.0.0", "10.255.255.255", false},
        {"10.0.0.1", "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", false},
        {"::ffff:10.1.2.3", "10.1.2.0", "10.1.2.255", true},
        {"::ffff:10.1.3.3", "10.1.2.0", "10.1.2.255", false},
        {"64:ff9b::10.1.2.3", "64:ff9b::", "64:ff9b::ffff:ffff", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InRange(c.pszClient, c.pszStart, c.pszEnd), c.bExpected)
            << c.pszClient << " in " << c.pszStart << " - " << c.pszEnd;
}

TEST(IPRange, UnreadableAddressIsTraced)
{
    settings_test::CTraceCapture trace;
    IPAddressRecord rec;
    ParseIPAddress("nonsense", rec);
    EXPECT_FALSE(rec.m_bValid);
    EXPECT_EQ(trace.Count("IP not in IPv4 ot IPV6 format nonsense"), 1u);
}

TEST(IPRange, RangeTextIsReadInPairs)
{
    const struct
    {
        const char* pszText;
        size_t nRanges;
    } cases[] = {
        {"10.0.0.1;10.0.0.255;192.168.1.0;192.168.1.255", 2},
        {"10.0.0.1;10.0.0.9;10.0.1.1", 1},
        {"10.0.0.1;10.0.0.9;10.0.1.1;", 1},
        {"10.0.0.1;;10.0.1.1;10.0.1.9", 0},
        {"", 0},
        {"10.0.0.1", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDirectAccessIPRanges(c.pszText).size(), c.nRanges) << c.pszText;
    const auto ranges = ParseDirectAccessIPRanges("10.0.0.1;10.0.0.255;192.168.1.0;192.168.1.255");
    IPAddressRecord client;
    ParseIPAddress("192.168.1.77", client);
    EXPECT_FALSE(IsIPAddressInRange(client, ranges[0]));
    EXPECT_TRUE(IsIPAddressInRange(client, ranges[1]));
}

TEST(IPRange, FoundRangeTraceLines)
{
    settings_test::CTraceCapture trace;
    TraceDirectAccessRangeFound(MakeDirectAccessIPRange({"10.0.0.1", "10.0.0.255"}));
    TraceDirectAccessRangeFound(MakeDirectAccessIPRange({"fe80::1", "fe80::ff"}));
    EXPECT_EQ(
        trace.Count("[CHandleDLSettings::CheckClientIPAgainstDirectAccessIPRange] Direct access IPv4 range "
                    "found: <10.0.0.1> - <10.0.0.255>."),
        1u);
    EXPECT_EQ(
        trace.Count("[CHandleDLSettings::CheckClientIPAgainstDirectAccessIPRange] Direct access IPv6 range "
                    "found: <fe80:0:0:0:0:0:0:1> - <fe80:0:0:0:0:0:0:ff>."),
        1u);
}
