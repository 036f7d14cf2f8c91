#include "common/StaticMemory.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "platform/WinSecurity.h"
#include "platform/WinTime.h"
#include "tests/general/GeneralTestSupport.h"

namespace
{
constexpr DWORD EVENT_ID = 0x60000074;
constexpr const char* USER_SID = "S-1-5-21-1000-2000-3000-1001";

// The SID of the user the calling thread impersonates; empty when it runs as the process.
std::string ThreadUserSid()
{
    HANDLE hToken = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken))
        return {};
    alignas(TOKEN_USER) BYTE buffer[512] = {};
    DWORD dwSize = 0;
    std::string strSid;
    if (GetTokenInformation(hToken, TokenUser, buffer, sizeof(buffer), &dwSize))
    {
        LPSTR pszSid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &pszSid))
        {
            strSid = pszSid;
            LocalFree(pszSid);
        }
    }
    CloseHandle(hToken);
    return strSid;
}

class EventLogTest : public CGeneralSettingsTest
{
protected:
    void SetUp() override
    {
        CGeneralSettingsTest::SetUp();
        ASSERT_EQ(m_log.Register(nullptr), 1);
    }
    void TearDown() override
    {
        RevertToSelf();
        CGeneralSettingsTest::TearDown();
    }

    CEventLog m_log;
};

TEST_F(EventLogTest, WritesAsTheProcessAndGivesTheImpersonationBack)
{
    ASSERT_TRUE(DlswSetThreadUser("alice", "CORP", USER_SID, {}));
    ASSERT_EQ(ThreadUserSid(), USER_SID);
    // A write that succeeds, and one that the event log refuses (raw data announced but missing).
    EXPECT_EQ(m_log.WriteEvent(4, 0, EVENT_ID, 0, nullptr, "ok", static_cast<const char*>(nullptr)), 0u);
    EXPECT_EQ(ThreadUserSid(), USER_SID);
    EXPECT_EQ(m_log.WriteEvent(1, 0, EVENT_ID, 5, nullptr, "refused", static_cast<const char*>(nullptr)),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ThreadUserSid(), USER_SID);
    const auto vecEvents = GetRecordedEvents();
    ASSERT_EQ(vecEvents.size(), 1u);
    EXPECT_FALSE(vecEvents[0].m_bThreadImpersonating);
    EXPECT_EQ(vecEvents[0].m_sSource, "Kestrune Dorvel");

    // A thread without impersonation stays without it.
    RevertToSelf();
    EXPECT_EQ(m_log.WriteEvent(4, 0, EVENT_ID, 0, nullptr, static_cast<const char*>(nullptr)), 0u);
    EXPECT_EQ(ThreadUserSid(), "");
}

TEST_F(EventLogTest, AtMostSixStringsAndTheTypes)
{
    m_log.WriteEvent(1, 7, EVENT_ID, 0, nullptr, "1", "2", "3", "4", "5", "6", "7",
                     static_cast<const char*>(nullptr));
    auto vecEvents = GetRecordedEvents();
    ASSERT_EQ(vecEvents.size(), 1u);
    EXPECT_EQ(vecEvents[0].m_strings, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(vecEvents[0].m_wCategory, 7u);

    ClearRecordedEvents();
    for (const int nType : {0, 1, 2, 3, 4, 16})
        m_log.WriteEvent(nType, 0, EVENT_ID, 0, nullptr, static_cast<const char*>(nullptr));
    std::vector<WORD> vecTypes;
    for (const RecordedEvent& event : GetRecordedEvents())
        vecTypes.push_back(event.m_wType);
    EXPECT_EQ(vecTypes, (std::vector<WORD>{EVENTLOG_INFORMATION_TYPE, EVENTLOG_ERROR_TYPE,
                                           EVENTLOG_WARNING_TYPE, EVENTLOG_INFORMATION_TYPE,
                                           EVENTLOG_INFORMATION_TYPE, EVENTLOG_INFORMATION_TYPE}));
}

TEST_F(EventLogTest, RegistrationLifecycle)
{
    EXPECT_EQ(m_log.Register("Other"), 0); // a source is held already
    EXPECT_EQ(m_log.Deregister(), 1);
    EXPECT_EQ(m_log.Deregister(), 0);
    EXPECT_EQ(m_log.WriteEvent(4, 0, EVENT_ID, 0, nullptr, "lost", static_cast<const char*>(nullptr)),
              ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(GetRecordedEvents().empty());
    EXPECT_EQ(m_log.Register("Other"), 1);
    m_log.WriteEvent(4, 0, EVENT_ID, 0, nullptr, static_cast<const char*>(nullptr));
    EXPECT_EQ(GetRecordedEvents().at(0).m_sSource, "Other");
}

TEST_F(EventLogTest, TextWritersOfTheGeneralSettings)
{
    CDLSWGeneralSettings settings;
    settings.SetEventIDs(0x60000065, 0x6000007E, 0x6000006F);
    settings.m_EventLog.Register("Kestrune Dorvel");
    settings.WriteErrorEvent(0, 1, "message %d", 5);
    settings.WriteEventText(2, "%s", "");
    settings.WriteEventText(2, "%s", std::string(3000, 'x').c_str());
    const auto vecEvents = GetRecordedEvents();
    ASSERT_EQ(vecEvents.size(), 2u);
    EXPECT_EQ(vecEvents[0].m_dwEventId, 0x6000006Fu);
    EXPECT_EQ(vecEvents[0].m_wType, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(vecEvents[0].m_strings,
              std::vector<std::string>{"ERROR: The operation completed successfully.\r\n. message 5"});
    EXPECT_EQ(vecEvents[1].m_wType, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(vecEvents[1].m_strings, std::vector<std::string>{std::string(2047, 'x')});
}

TEST_F(EventLogTest, FreeWritersGoThroughTheProcessWideSettings)
{
    CDLSWGeneralSettings* pSettings = Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
    // Before the settings register their source nothing is written.
    WriteEventLogEntry(1, "early");
    EXPECT_TRUE(GetRecordedEvents().empty());
    pSettings->m_EventLog.Register("Kestrune Dorvel");
    WriteEventLogEntry(1, "entry");
    WriteEventLogEntry(1, nullptr);
    WriteEventLogF(3, "%s", "");
    WriteEventLogF(2, "cache %s 0X%x", "failed", 0x80040154u);
    WriteEventLogF(1, "%s", std::string(3000, 'y').c_str());
    WriteEventLogF(1, "user <%s>", "al\r\nFAKE EVENT: x");
    pSettings->m_EventLog.Deregister();
    const auto vecEvents = GetRecordedEvents();
    ASSERT_EQ(vecEvents.size(), 4u);
    EXPECT_EQ(vecEvents[0].m_strings, std::vector<std::string>{"entry"});
    EXPECT_EQ(vecEvents[0].m_dwEventId, EVENT_ID);
    EXPECT_EQ(vecEvents[1].m_strings, std::vector<std::string>{"cache failed 0X80040154"});
    EXPECT_EQ(vecEvents[1].m_wType, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(vecEvents[2].m_strings, std::vector<std::string>{std::string(2048, 'y')});
    // A value cannot end the event's text early or start a line of its own.
    EXPECT_EQ(vecEvents[3].m_strings, std::vector<std::string>{"user <al\\r\\nFAKE EVENT: x>"});
}
} // namespace
