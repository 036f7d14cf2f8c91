#include "platform/WinEventLog.h"
#include "platform/MachineConfig.h"
#include "platform/WinDebug.h"
#include "platform/WinSync.h"
#include "platform/WinSystemInfo.h"

#include <gtest/gtest.h>

TEST(WinEventLog, ReportedEventsAreRecorded)
{
    SetEventLogToSyslog(false);
    ClearRecordedEvents();
    EXPECT_EQ(RegisterEventSourceA("\\\\other", "Kestrune Dorvel"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_COMPUTERNAME);
    HANDLE h = RegisterEventSourceA(nullptr, "Kestrune Dorvel");
    ASSERT_NE(h, nullptr);

    LPCSTR strings[] = {"first", "second"};
    const BYTE data[] = {1, 2, 3};
    ASSERT_TRUE(ReportEventA(h, EVENTLOG_ERROR_TYPE, 0, 0x6000006F, nullptr, 2, sizeof(data), strings,
                             const_cast<BYTE*>(data)));
    ASSERT_TRUE(ReportEventA(h, EVENTLOG_INFORMATION_TYPE, 0, 0x60000074, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_FALSE(ReportEventA(h, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const std::vector<RecordedEvent> events = GetRecordedEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].m_sSource, "Kestrune Dorvel");
    EXPECT_EQ(events[0].m_wType, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(events[0].m_dwEventId, 0x6000006Fu);
    EXPECT_EQ(events[0].m_strings, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(events[0].m_rawData, (std::vector<BYTE>{1, 2, 3}));
    EXPECT_EQ(events[1].m_dwEventId, 0x60000074u);

    EXPECT_TRUE(DeregisterEventSource(h));
    EXPECT_FALSE(ReportEventA(h, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DeregisterEventSource(h));

    // The recorder keeps the latest events only.
    h = RegisterEventSourceA("", "bulk");
    for (int i = 0; i < 1200; ++i)
        ReportEventA(h, EVENTLOG_INFORMATION_TYPE, 0, static_cast<DWORD>(i), nullptr, 0, 0, nullptr, nullptr);
    const std::vector<RecordedEvent> latest = GetRecordedEvents();
    ASSERT_EQ(latest.size(), 1000u);
    EXPECT_EQ(latest.back().m_dwEventId, 1199u);
    DeregisterEventSource(h);
    ClearRecordedEvents();
    SetEventLogToSyslog(true);
}

namespace
{
std::string g_sDebug;
void CaptureDebug(const char* psz)
{
    g_sDebug += psz;
}
} // namespace

TEST(WinDebug, OutputGoesToTheInstalledFunction)
{
    SetDebugOutputFunction(&CaptureDebug);
    OutputDebugStringA("\nDL_ServiceWorker DLL_PROCESS_DETACH\n");
    OutputDebugStringA(nullptr);
    SetDebugOutputFunction(nullptr);
    EXPECT_EQ(g_sDebug, "\nDL_ServiceWorker DLL_PROCESS_DETACH\n");
}

TEST(WinSystemInfo, NamesAndSystemDirectoryComeFromTheMachineConfiguration)
{
    CMachineConfig& config = CMachineConfig::Instance();
    config.Reset();
    config.SetComputerName("MAIL01", "mail01", "example.test");
    config.SetSystemDirectory("D:\\Win\\System32");
    char sz[64];
    DWORD dwSize = sizeof(sz);
    ASSERT_TRUE(GetComputerNameExA(ComputerNameDnsFullyQualified, sz, &dwSize));
    EXPECT_STREQ(sz, "mail01.example.test");
    EXPECT_EQ(dwSize, 19u);
    dwSize = 3;
    EXPECT_FALSE(GetComputerNameExA(ComputerNameNetBIOS, sz, &dwSize));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(dwSize, 7u);
    dwSize = sizeof(sz);
    ASSERT_TRUE(GetComputerNameA(sz, &dwSize));
    EXPECT_STREQ(sz, "MAIL01");

    EXPECT_EQ(GetSystemDirectoryA(sz, sizeof(sz)), 15u);
    EXPECT_STREQ(sz, "D:\\Win\\System32");
    EXPECT_EQ(GetSystemDirectoryA(sz, 4), 16u); // the size needed
    config.Reset();
}
