#include "FilterTestSupport.h"

#include "platform/WinSync.h"
#include "request/BaseNotifications.h"
#include "request/IISParm.h"
#include "request/Util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
// A filter context whose server variable fails in a chosen way. Each call is recorded with whether it
// carried a buffer.
struct CFakeServer
{
    enum Behaviour
    {
        READS,              // the two-call protocol as the server keeps it
        PROBE_SUCCEEDS,     // the probe answers TRUE without a buffer
        SIZE_STAYS_ZERO,    // fails and leaves the size at 0
        INVALID_PARAMETER,  // error 87 with a size
        NO_DATA,            // error 232
        INVALID_INDEX,      // error 1413
        OTHER_ERROR,        // error 5
        SECOND_READ_FAILS,  // probe as usual, the read fails with error 5
        SECOND_READ_LONGER, // the read reports more bytes than the buffer holds
    };

    Behaviour m_behaviour = READS;
    std::string m_strValue = "value";
    std::vector<bool> m_vecCallsWithBuffer;
    HTTP_FILTER_CONTEXT m_fc{};

    CFakeServer()
    {
        m_fc.ServerContext = this;
        m_fc.GetServerVariable = &CFakeServer::GetServerVariable;
    }

    static BOOL GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR, LPVOID pvBuffer, DWORD* pdwSize)
    {
        auto* pSelf = static_cast<CFakeServer*>(pfc->ServerContext);
        pSelf->m_vecCallsWithBuffer.push_back(pvBuffer != nullptr);
        const DWORD dwNeeded = static_cast<DWORD>(pSelf->m_strValue.size() + 1);
        const auto Fail = [&](DWORD dwError, DWORD dwSize)
        {
            *pdwSize = dwSize;
            SetLastError(dwError);
            return FALSE;
        };
        switch (pSelf->m_behaviour)
        {
        case PROBE_SUCCEEDS:
            return TRUE;
        case SIZE_STAYS_ZERO:
            return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
        case INVALID_PARAMETER:
            return Fail(ERROR_INVALID_PARAMETER, dwNeeded);
        case NO_DATA:
            return Fail(232, dwNeeded);
        case INVALID_INDEX:
            return Fail(1413, dwNeeded);
        case OTHER_ERROR:
            return Fail(ERROR_ACCESS_DENIED, dwNeeded);
        default:
            break;
        }
        if (pvBuffer == nullptr || *pdwSize < dwNeeded)
            return Fail(ERROR_INSUFFICIENT_BUFFER, dwNeeded);
        if (pSelf->m_behaviour == SECOND_READ_FAILS)
        {
            std::memset(pvBuffer, 'X', *pdwSize); // a failing server may leave anything in the buffer
            return Fail(ERROR_ACCESS_DENIED, 5000);
        }
        std::memcpy(pvBuffer, pSelf->m_strValue.c_str(), dwNeeded);
        *pdwSize = pSelf->m_behaviour == SECOND_READ_LONGER ? dwNeeded + 1000 : dwNeeded;
        return TRUE;
    }
};

struct IISParmCase
{
    CFakeServer::Behaviour m_behaviour;
    bool m_bResult;
    const char* m_pszValue; // the out value afterwards; it starts as "before"
    const char* m_pszTrace; // the exact line, or a prefix when m_bPrefix; null: no line
    bool m_bPrefix;
    size_t m_nCalls;
};

TEST(GetIISParmT, EachWayAServerVariableFails)
{
    const IISParmCase aCases[] = {
        {CFakeServer::READS, true, "value", nullptr, false, 2},
        {CFakeServer::PROBE_SUCCEEDS, true, "before", nullptr, false, 1},
        {CFakeServer::SIZE_STAYS_ZERO, false, "before",
         "GetIISParmT  GetServerVariable failed HTTP_X Error 122", false, 1},
        {CFakeServer::INVALID_PARAMETER, false, "before",
         "GetIISParmT  GetServerVariable failed HTTP_X Error 87", false, 1},
        {CFakeServer::NO_DATA, false, "before", "GetIISParmT  GetServerVariable failed HTTP_X Error 232",
         false, 1},
        {CFakeServer::INVALID_INDEX, false, "before",
         "GetIISParmT  GetServerVariable failed HTTP_X Error 1413", false, 1},
        {CFakeServer::OTHER_ERROR, false, "before", nullptr, false, 1},
        // The value is left as it was, and nothing of the failed read leaks into it.
        {CFakeServer::SECOND_READ_FAILS, false, "before", "GetIISParmT HTTP_X failed Error: 5", true, 2},
        // A server that reports more than it was given room for cannot make the worker read past the buffer.
        {CFakeServer::SECOND_READ_LONGER, true, "value", nullptr, false, 2},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(static_cast<int>(c.m_behaviour));
        CTraceCapture trace;
        CFakeServer server;
        server.m_behaviour = c.m_behaviour;
        std::string strValue = "before";
        EXPECT_EQ(GetIISParmT(&server.m_fc, server.m_fc.GetServerVariable, "HTTP_X", strValue), c.m_bResult);
        EXPECT_EQ(strValue, c.m_pszValue);
        ASSERT_EQ(server.m_vecCallsWithBuffer.size(), c.m_nCalls);
        EXPECT_FALSE(server.m_vecCallsWithBuffer[0]) << "the probe carries no buffer";
        if (c.m_pszTrace == nullptr)
            EXPECT_TRUE(CTraceCapture::Lines().empty());
        else if (c.m_bPrefix)
            EXPECT_TRUE(CTraceCapture::HasPrefix(c.m_pszTrace));
        else
            EXPECT_EQ(CTraceCapture::Lines(), std::vector<std::string>{c.m_pszTrace});
    }
}

TEST(GetIISParmT, ReadsEveryLengthThroughTheSecondCall)
{
    for (size_t nLen : {size_t(0), size_t(1), size_t(255), size_t(70000)})
    {
        CFakeServer server;
        server.m_strValue.assign(nLen, 'v');
        std::string strValue = "before";
        EXPECT_TRUE(GetIISParmT(&server.m_fc, server.m_fc.GetServerVariable, "HTTP_X", strValue));
        EXPECT_EQ(strValue, server.m_strValue);
        EXPECT_EQ(server.m_vecCallsWithBuffer, (std::vector<bool>{false, true}));
    }
}

TEST(UtilGetServerVariable, ReadsOnlyInNotificationsThatAllowIt)
{
    CTraceCapture trace;
    CFakeServer server;
    CDLLContext context{};
    context.pfc = &server.m_fc;
    for (DWORD dwType : {SF_NOTIFY_SEND_RESPONSE, SF_NOTIFY_END_OF_REQUEST, SF_NOTIFY_SEND_RAW_DATA,
                         SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_AUTH_COMPLETE})
    {
        context.NotificationType = dwType;
        std::string strValue;
        EXPECT_EQ(CUtil::GetServerVariable(&context, std::string("HTTP_X"), strValue), 0u);
        EXPECT_EQ(strValue, "value") << dwType;
    }
    server.m_vecCallsWithBuffer.clear();
    for (DWORD dwType : {SF_NOTIFY_AUTHENTICATION, SF_NOTIFY_SECURE_PORT, 0u})
    {
        context.NotificationType = dwType;
        std::string strValue = "before";
        EXPECT_EQ(CUtil::GetServerVariable(&context, "HTTP_X", strValue), 0u);
        EXPECT_EQ(strValue, "before");
    }
    EXPECT_TRUE(server.m_vecCallsWithBuffer.empty());

    // No filter context, or a failing read: the code is still 0 and the value untouched.
    context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    std::string strValue = "before";
    context.pfc = nullptr;
    EXPECT_EQ(CUtil::GetServerVariable(&context, "HTTP_X", strValue), 0u);
    context.pfc = &server.m_fc;
    server.m_behaviour = CFakeServer::INVALID_INDEX;
    EXPECT_EQ(CUtil::GetServerVariable(&context, "HTTP_X", strValue), 0u);
    EXPECT_EQ(strValue, "before");
    EXPECT_EQ(CUtil::GetServerVariable(nullptr, "HTTP_X", strValue), 0u);
}

// Header call-backs that record what the worker asked for.
struct CHeaderRecorder
{
    static std::vector<std::string>& Calls()
    {
        static std::vector<std::string> s_vecCalls;
        return s_vecCalls;
    }
    static BOOL Set(HTTP_FILTER_CONTEXT*, LPSTR pszName, LPSTR pszValue)
    {
        Calls().push_back(std::string("set ") + pszName + " " + pszValue);
        return TRUE;
    }
    static BOOL Add(HTTP_FILTER_CONTEXT*, LPSTR pszName, LPSTR pszValue)
    {
        Calls().push_back(std::string("add ") + pszName + " " + pszValue);
        return 7; // the host's BOOL is passed on as it is
    }
};

TEST(WorkerHeaders, OnlyInNotificationsThatCarryHeaders)
{
    CHeaderRecorder::Calls().clear();
    CTraceCapture trace;
    HTTP_FILTER_CONTEXT fc{};
    HTTP_FILTER_PREPROC_HEADERS headers{nullptr, &CHeaderRecorder::Set, &CHeaderRecorder::Add, 0, 0};
    CDLLContext context{};
    context.pfc = &fc;
    context.pvNotification = &headers;

    struct Case
    {
        DWORD m_dwType;
        BOOL m_bExpected;
    };
    for (const Case& c :
         {Case{SF_NOTIFY_SEND_RESPONSE, ERROR_ARENA_TRASHED},
          Case{SF_NOTIFY_PREPROC_HEADERS, ERROR_ARENA_TRASHED},
          Case{SF_NOTIFY_AUTH_COMPLETE, ERROR_ARENA_TRASHED}, Case{SF_NOTIFY_SEND_RAW_DATA, ERROR_SUCCESS},
          Case{SF_NOTIFY_END_OF_REQUEST, ERROR_SUCCESS}, Case{SF_NOTIFY_AUTHENTICATION, ERROR_SUCCESS}})
    {
        context.NotificationType = c.m_dwType;
        EXPECT_EQ(CBaseNotifications::AddWorkerHeader(&context, "Pragma:", "no-cache"), c.m_bExpected);
        EXPECT_EQ(CBaseNotifications::SetWorkerHeader(&context, "Cookie:", "a=1"),
                  c.m_bExpected ? TRUE : FALSE);
    }
    EXPECT_EQ(CHeaderRecorder::Calls().size(), 6u);
    EXPECT_EQ(CHeaderRecorder::Calls().front(), "add Pragma: no-cache");
    EXPECT_EQ(CTraceCapture::Lines()[0], "[AddWorkerHeader] for header: Pragma: return 7");
    EXPECT_EQ(CTraceCapture::Lines()[1], "[SetHeader] for header: Cookie: return 1");
    EXPECT_EQ(CTraceCapture::Lines()[6], "[AddWorkerHeader] for header: Pragma: return 0");

    // A missing call-back, notification structure or filter context: 0, nothing called.
    CHeaderRecorder::Calls().clear();
    context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    headers.AddHeader = nullptr;
    EXPECT_EQ(CBaseNotifications::AddWorkerHeader(&context, "X:", "1"), FALSE);
    context.pvNotification = nullptr;
    EXPECT_EQ(CBaseNotifications::SetWorkerHeader(&context, "X:", "1"), FALSE);
    context.pvNotification = &headers;
    context.pfc = nullptr;
    EXPECT_EQ(CBaseNotifications::SetWorkerHeader(&context, "X:", "1"), FALSE);
    EXPECT_EQ(CBaseNotifications::SetWorkerHeader(nullptr, "X:", "1"), FALSE);
    EXPECT_TRUE(CHeaderRecorder::Calls().empty());
}

struct CSendRecorder
{
    static std::vector<std::string>& Sent()
    {
        static std::vector<std::string> s_vecSent;
        return s_vecSent;
    }
    static DWORD Send(CDLLContext*, const char* pszResponse, DWORD* pdwLength, CCoreServicesTable* pTable)
    {
        Sent().emplace_back(pszResponse, *pdwLength);
        EXPECT_NE(pTable, nullptr);
        return 12345; // ignored by the worker
    }
};

TEST(SendResponse, CompletesOnlyWhenTheHostTakesIt)
{
    CSendRecorder::Sent().clear();
    CTraceCapture trace;
    CDLLContext context{};
    context.ControlMessage = CM_NONE;
    const char szResponse[] = "HTTP/1.0 401 OK\r\nContent-Length: 0\r\n\r\n";

    // No table, or a table without the entry: ERROR_ARENA_TRASHED, control message left alone.
    EXPECT_EQ(
        CBaseNotifications::SendResponse(&context, szResponse, "401 Access Denied", sizeof(szResponse) - 1),
        ERROR_ARENA_TRASHED);
    CCoreServicesTable table{};
    context.CoreServices = &table;
    EXPECT_EQ(
        CBaseNotifications::SendResponse(&context, szResponse, "401 Access Denied", sizeof(szResponse) - 1),
        ERROR_ARENA_TRASHED);
    EXPECT_EQ(context.ControlMessage, CM_NONE);
    EXPECT_TRUE(CSendRecorder::Sent().empty());

    table.SendResponse = &CSendRecorder::Send;
    EXPECT_EQ(
        CBaseNotifications::SendResponse(&context, szResponse, "401 Access Denied", sizeof(szResponse) - 1),
        0u);
    EXPECT_EQ(context.ControlMessage, CM_COMPLETED);
    EXPECT_EQ(CSendRecorder::Sent(), std::vector<std::string>{szResponse});
    EXPECT_EQ(CTraceCapture::Lines().back(),
              "[CBaseNotifications::SendResponse] SendResponse 401 Access Denied");
}
} // namespace
