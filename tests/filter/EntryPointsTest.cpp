#include "FilterTestSupport.h"

#include "common/StaticMemory.h"
#include "contract/BufferInstruction.h"
#include "filter/EntryPoints.h"
#include "filter/HandlerGuard.h"
#include "filter/Notifications.h"
#include "general/DLSWGeneralSettings.h"
#include "request/DLSWContext.h"
#include "tests/settings/SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace
{
CDLSWGeneralSettings& GeneralSettings()
{
    return *Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
}

// Every handler ends with its finished line; without a record it reports "N/A".
TEST(HandlerFrame, NullRecord)
{
    struct Case
    {
        DWORD (CNotifications::*m_pfnHandler)(CDLLContext*);
        std::vector<std::string> m_vecLines;
    };
    const Case aCases[] = {
        {&CNotifications::NotifyPreProcHeaders,
         {"[CNotifications::NotifyPreProcHeaders] CDLLContext pointer is NULL.",
          "[CNotifications::NotifyPreProcHeaders] finished.  Win32 RC=13.  Control Message=<N/A>"}},
        {&CNotifications::NotifyAuthComplete,
         {"[CNotifications::NotifyAuthComplete] CDLLContext pointer is NULL.",
          "[CNotifications::NotifyAuthComplete] finished.  Win32 RC=13.  Control Message=<N/A>"}},
        {&CNotifications::NotifySendResponse,
         {"[CNotifications::NotifySendResponse] DLLcontext NULL, do nothing.",
          "[CNotifications::NotifySendResponse] Invalid pointers",
          "[CNotifications::NotifySendResponse] finished.  Win32 RC=13.  Control Message=<N/A>"}},
        {&CNotifications::NotifySendRawData,
         {"[CNotifications::NotifySendRawData] Context not populated for further activity",
          "[CNotifications::NotifySendRawData] finished.  Win32 RC=13.  Control Message=<N/A>"}},
        {&CNotifications::NotifyEndOfRequest,
         {"[CNotifications::NotifyEndOfRequest] pointer to CDLLContext is NULL",
          "[CNotifications::NotifyEndOfRequest] finished.  Win32 RC=13.  Control Message=<N/A>"}},
    };
    for (const auto& c : aCases)
    {
        CTraceCapture trace;
        CNotifications notifications;
        EXPECT_EQ((notifications.*c.m_pfnHandler)(nullptr), ERROR_INVALID_DATA);
        EXPECT_EQ(CTraceCapture::Lines(), c.m_vecLines);
    }
}

TEST(HandlerFrame, MissingInputsGiveIgnore)
{
    CTraceCapture trace;
    CDLLContext context{};
    CNotifications notifications;
    EXPECT_EQ(notifications.NotifyAuthComplete(&context), ERROR_INVALID_DATA);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    context.ControlMessage = CM_NONE;
    EXPECT_EQ(notifications.NotifySendResponse(&context), ERROR_INVALID_DATA);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(CTraceCapture::Lines(),
              (std::vector<std::string>{
                  "[CNotifications::NotifyAuthComplete] CDLLContext.m_spRequestInfo is NULL.",
                  "[CNotifications::NotifyAuthComplete] finished.  Win32 RC=13.  Control Message=<Ignore>",
                  "[CNotifications::NotifySendResponse] Invalid pointers",
                  "[CNotifications::NotifySendResponse] finished.  Win32 RC=13.  Control Message=<Ignore>"}));
}

TEST(HandlerFrame, ControlMessageTexts)
{
    const std::pair<DWORD, const char*> aTexts[] = {
        {0, "None"},    {1, "Ignore"},    {2, "Handled/Redirected"},
        {3, "Replace"}, {4, "Completed"}, {5, "Unknown"}};
    for (const auto& text : aTexts)
    {
        CTraceCapture trace;
        CDLLContext context{};
        context.ControlMessage = text.first;
        CNotifications().NotifyEndOfRequest(&context);
        EXPECT_EQ(
            CTraceCapture::Lines().back(),
            std::string("[CNotifications::NotifyEndOfRequest] finished.  Win32 RC=0.  Control Message=<") +
                text.second + ">");
    }
}

TEST(EndOfRequest, FreesTheWorkersContextAndTheReplaceBuffer)
{
    CTraceCapture trace;
    CDLLContext context{};
    context.ControlMessage = CM_REPLACE;
    context.m_pMyOwnContext = new CDLSWContext();
    context.ReplaceBuffer = new char[16]{};
    context.ReplaceBufferLength = 16;
    EXPECT_EQ(CNotifications().NotifyEndOfRequest(&context), ERROR_SUCCESS);
    EXPECT_EQ(context.m_pMyOwnContext, nullptr);
    EXPECT_EQ(context.ReplaceBuffer, nullptr);
    EXPECT_EQ(context.ReplaceBufferLength, 0u);
    EXPECT_EQ(context.ControlMessage, CM_REPLACE);
    EXPECT_TRUE(
        CTraceCapture::HasPrefix("[CNotifications::NotifyEndOfRequest] delete  CDLSWContext instance: "));
    EXPECT_TRUE(CTraceCapture::HasPrefix("[CNotifications::NotifyEndOfRequest] delete  replace buffer: "));
}

TEST(HttpFilterProc, NullRecordReturnsZeroSilently)
{
    CTraceCapture trace;
    EXPECT_EQ(HttpFilterProc(nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(CTraceCapture::Lines().empty());
}

TEST(HttpFilterProc, UnhandledTypesLeaveTheRecordUntouched)
{
    CTraceCapture trace;
    for (DWORD dwType : {SF_NOTIFY_AUTHENTICATION, SF_NOTIFY_SECURE_PORT, 0x100u, 0u, 0xFFFFFFFFu})
    {
        CTestRecord record;
        record.m_context.NotificationType = dwType;
        record.m_context.RequestFlags = 0x1234;
        record.m_context.ControlMessage = 7;
        CDLLContext before;
        std::memcpy(static_cast<void*>(&before), &record.m_context, sizeof(before));
        EXPECT_EQ(HttpFilterProc(&record.m_context), ERROR_SUCCESS);
        EXPECT_EQ(std::memcmp(static_cast<void*>(&before), &record.m_context, sizeof(before)), 0);
        std::memset(static_cast<void*>(&before), 0, sizeof(before)); // its counted pointers are not its own
    }
    EXPECT_TRUE(CTraceCapture::Lines().empty());
}

TEST(HttpFilterProc, DispatchesByType)
{
    CTraceCapture trace;
    CTestRecord record;
    record.SetRequest("GET", "/X-Dorvel/bin/view.htm", "UA");
    record.m_context.SubscriptionType = 21;
    const std::pair<DWORD, const char*> aTypes[] = {{SF_NOTIFY_PREPROC_HEADERS, "NotifyPreProcHeaders"},
                                                    {SF_NOTIFY_AUTH_COMPLETE, "NotifyAuthComplete"},
                                                    {SF_NOTIFY_SEND_RESPONSE, "NotifySendResponse"},
                                                    {SF_NOTIFY_SEND_RAW_DATA, "NotifySendRawData"},
                                                    {SF_NOTIFY_END_OF_REQUEST, "NotifyEndOfRequest"}};
    for (const auto& type : aTypes)
    {
        CTraceCapture::Clear();
        record.m_context.NotificationType = type.first;
        HttpFilterProc(&record.m_context);
        ASSERT_FALSE(CTraceCapture::Lines().empty());
        EXPECT_EQ(CTraceCapture::Lines().back().rfind(
                      std::string("[CNotifications::") + type.second + "] finished.", 0),
                  0u)
            << CTraceCapture::Lines().back();
    }
    EXPECT_EQ(record.m_context.RequestFlags, RF_FAKE_DORVEL_VIRTUAL_FOLDER);
}

// The settings holder's reload check runs before authentication complete is handled, even when the
// record has nothing to handle, and at no other notification.
TEST(HttpFilterProc, AuthCompleteReloadsChangedSettingsFirst)
{
    auto SwXml = [](int nOpen)
    {
        return "<SETTINGS><GENERALSETTINGS><ITEM ID=\"2\" VALUE=\"" + std::to_string(nOpen) +
               "\"/><ITEM ID=\"74\" VALUE=\"1\"/><ITEM ID=\"81\" VALUE=\"0\"/></GENERALSETTINGS>"
               "<SETTING ID=\"1\"/></SETTINGS>";
    };
    settings_test::CTempFolder folder;
    long long llMTime = 1748781296;
    folder.Write("Product/Settings/SWSettings.xml", SwXml(1), llMTime += 10);
    folder.Write(
        "Common Files/Settings/LinkCriteriaSettings.xml",
        "<SERVICEWORKERS><SW ID=\"3\"><LINK CRITERIA_ID=\"1\" SETTINGS_ID=\"1\"/></SW></SERVICEWORKERS>",
        llMTime += 10);
    CHandleDLSettings& holder = GeneralSettings().m_Settings;
    std::string strFolder = folder.Windows() + "Product\\Settings\\";
    ASSERT_EQ(holder.LoadSettings(strFolder), S_OK);
    auto Open = [&holder]
    {
        int n = -1;
        holder.GetSettingFromID(2, &n, -1, -1);
        return n;
    };
    ASSERT_EQ(Open(), 1);

    CTraceCapture trace;
    folder.Write("Product/Settings/SWSettings.xml", SwXml(0), llMTime += 10);
    CDLLContext context{};
    context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    HttpFilterProc(&context);
    EXPECT_EQ(Open(), 1) << "only authentication complete checks for changed settings";
    context.NotificationType = SF_NOTIFY_AUTH_COMPLETE;
    EXPECT_EQ(HttpFilterProc(&context), ERROR_INVALID_DATA);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(Open(), 0);
}

TEST(HandlerGuard, AnEscapingExceptionBecomesArenaTrashedAndIgnore)
{
    CTraceCapture trace;
    CDLLContext context{};
    context.NotificationType = SF_NOTIFY_SEND_RESPONSE;
    EXPECT_EQ(
        GuardHandler(&context, "NotifySendResponse", []() -> DWORD { throw std::runtime_error("boom"); }),
        ERROR_ARENA_TRASHED);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(CTraceCapture::Lines(),
              (std::vector<std::string>{
                  "[HttpFilterProc] Exception <boom> in the handler of notification 0x40. Ignore.",
                  "[CNotifications::NotifySendResponse] finished.  Win32 RC=7.  Control Message=<Ignore>"}));

    CTraceCapture::Clear();
    context.ControlMessage = CM_NONE;
    context.NotificationType = SF_NOTIFY_SEND_RAW_DATA;
    EXPECT_EQ(
        GuardHandler(&context, "NotifySendRawData", []() -> DWORD { throw CHResultError(E_OUTOFMEMORY); }),
        ERROR_ARENA_TRASHED);
    EXPECT_EQ(context.ControlMessage, CM_IGNORE);
    EXPECT_EQ(CTraceCapture::Lines(),
              (std::vector<std::string>{
                  "[HttpFilterProc] Exception <unknown> in the handler of notification 0x400. Ignore.",
                  "[CNotifications::NotifySendRawData] finished.  Win32 RC=7.  Control Message=<Ignore>"}));

    context.ControlMessage = CM_NONE;
    EXPECT_EQ(GuardHandler(&context, "NotifySendRawData", [] { return DWORD(ERROR_INVALID_DATA); }),
              ERROR_INVALID_DATA);
    EXPECT_EQ(context.ControlMessage, CM_NONE);
}

TEST(GetFilterVersion, FailedInitialisationLeavesTheRecordUntouched)
{
    // This program is not DL_ServiceWorker.so, so the worker cannot find its installation.
    CTraceCapture trace;
    HTTP_FILTER_VERSION version;
    std::memset(&version, 0xAB, sizeof(version));
    HTTP_FILTER_VERSION before = version;
    EXPECT_EQ(GetFilterVersion(&version), FALSE);
    EXPECT_EQ(std::memcmp(&version, &before, sizeof(version)), 0);
    EXPECT_EQ(GetFilterVersion(nullptr), FALSE);
    EXPECT_EQ(GeneralSettings().m_Settings.GetServiceWorkerID(), 3);
    EXPECT_EQ(GeneralSettings().m_idInitSucceeded, 0x60000065u);
    EXPECT_EQ(GeneralSettings().m_idInitFailed, 0x6000007Eu);
    EXPECT_EQ(GeneralSettings().m_idFailureText, 0x6000006Fu);
    EXPECT_FALSE(GeneralSettings().m_bInitialized);
    // Shutting down answers whether the event source registered by the failed start was let go.
    EXPECT_EQ(TerminateFilter(), 1u);
}

TEST(BufferInstructionList, KeepsPositionOrderInsertsBeforeDeletes)
{
    CBufferInstructionList list;
    const auto Insert = [&](ULONGLONG ullPos, const char* pszText)
    {
        CCountedPtr<CBufferInstruction> sp(new CBufferInstruction());
        sp->m_dwKind = BI_INSERT;
        sp->m_ullPosition = ullPos;
        sp->SetText(pszText);
        return list.Add(sp);
    };
    const auto Delete = [&](ULONGLONG ullPos, DWORD dwLength)
    {
        CCountedPtr<CBufferInstruction> sp(new CBufferInstruction());
        sp->m_dwKind = BI_DELETE;
        sp->m_ullPosition = ullPos;
        sp->m_dwLength = dwLength;
        return list.Add(sp);
    };
    EXPECT_EQ(Insert(50, "x"), ERROR_SUCCESS);
    EXPECT_EQ(Insert(10, "A"), ERROR_SUCCESS);
    EXPECT_EQ(Insert(10, "B"), ERROR_SUCCESS);
    EXPECT_EQ(Delete(10, 3), ERROR_SUCCESS);
    EXPECT_EQ(Delete(20, 0), ERROR_INVALID_DATA);
    EXPECT_EQ(Insert(20, nullptr), ERROR_INVALID_DATA);
    EXPECT_EQ(list.Count(), 4u);
    std::vector<std::string> vecOrder;
    for (auto* pNode = list.Sentinel()->m_pNext; pNode != list.Sentinel(); pNode = pNode->m_pNext)
    {
        const CBufferInstruction* p = pNode->m_spInstruction.Get();
        vecOrder.push_back(std::to_string(p->m_ullPosition) +
                           (p->m_dwKind == BI_INSERT ? std::string(" insert ") + p->m_pszText : " delete"));
    }
    EXPECT_EQ(vecOrder, (std::vector<std::string>{"10 insert B", "10 insert A", "10 delete", "50 insert x"}));
}

TEST(BufferInstruction, EmptyTextIsAnOwnedEmptyString)
{
    CBufferInstruction instruction;
    instruction.SetText("");
    ASSERT_NE(instruction.m_pszText, nullptr);
    EXPECT_STREQ(instruction.m_pszText, "");
    EXPECT_TRUE(instruction.m_bOwnsText);
    instruction.SetText(nullptr);
    EXPECT_EQ(instruction.m_pszText, nullptr);
    EXPECT_FALSE(instruction.m_bOwnsText);
}
} // namespace
