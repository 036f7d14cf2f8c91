#include "contract/BufferInstruction.h"
#include "filter/BufferCommands.h"
#include "filter/Notifications.h"
#include "forms/BufferEdits.h"
#include "request/DLSWContext.h"
#include "request/IISParm.h"
#include "tests/filter/FilterTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{
std::vector<std::string> Listed(const CBufferInstructionList& list)
{
    std::vector<std::string> vecLines;
    for (auto* pNode = list.Sentinel()->m_pNext; pNode != list.Sentinel(); pNode = pNode->m_pNext)
    {
        const CBufferInstruction* p = pNode->m_spInstruction.Get();
        vecLines.push_back(
            (p->m_dwKind == BI_INSERT ? "insert " + std::string(p->m_pszText) : std::string("delete")) +
            " at " + std::to_string(p->m_ullPosition));
    }
    return vecLines;
}

TEST(BufferInstructions, ListKeepsPositionOrderInsertsFirstLatestFirst)
{
    CBufferInstructionList list;
    ASSERT_EQ(InsertHtmlStringAtPosition(50, "x", &list), 0u);
    ASSERT_EQ(InsertHtmlStringAtPosition(10, "A", &list), 0u);
    ASSERT_EQ(InsertHtmlStringAtPosition(10, "B", &list), 0u);
    ASSERT_EQ(DeleteHtmlStringAtPosition(10, 3, &list), 0u);
    EXPECT_EQ(Listed(list), (std::vector<std::string>{"insert B at 10", "insert A at 10", "delete at 10",
                                                      "insert x at 50"}));
    EXPECT_EQ(list.Count(), 4u);
}

// Rewriters add the edits of a page's head after those of its body, and an edit at the list's first place
// may belong before it, after it, or between the inserts and the delete of one address.
TEST(BufferInstructions, EditsAddedOutOfPageOrderLandByPosition)
{
    CBufferInstructionList list;
    ASSERT_EQ(InsertHtmlStringAtPosition(40, "body", &list), 0u);
    ASSERT_EQ(InsertHtmlStringAtPosition(60, "end", &list), 0u);
    ASSERT_EQ(DeleteHtmlStringAtPosition(20, 2, &list), 0u);        // ahead of all
    ASSERT_EQ(DeleteHtmlStringAtPosition(20, 1, &list), 0u);        // the latest delete of an address first
    ASSERT_EQ(InsertHtmlStringAtPosition(20, "head1", &list), 0u);  // ahead of the deletes there
    ASSERT_EQ(InsertHtmlStringAtPosition(20, "head2", &list), 0u);  // the latest insert of an address first
    ASSERT_EQ(InsertHtmlStringAtPosition(50, "middle", &list), 0u); // between two others
    ASSERT_EQ(DeleteHtmlStringAtPosition(60, 1, &list), 0u);        // after the insert at its address
    ASSERT_EQ(InsertHtmlStringAtPosition(5, "top", &list), 0u);
    EXPECT_EQ(Listed(list),
              (std::vector<std::string>{"insert top at 5", "insert head2 at 20", "insert head1 at 20",
                                        "delete at 20", "delete at 20", "insert body at 40",
                                        "insert middle at 50", "insert end at 60", "delete at 60"}));
    // Which of the two deletes at 20 is first: the latest, one byte long.
    const CBufferInstructionList::CNode* pNode = list.Sentinel()->m_pNext;
    for (int i = 0; i < 3; ++i)
        pNode = pNode->m_pNext;
    EXPECT_EQ(pNode->m_spInstruction->m_dwLength, 1u);
    EXPECT_EQ(list.Count(), 9u);
}

TEST(BufferInstructions, InvalidEditsAreRefused)
{
    CTraceCapture capture;
    CBufferInstructionList list;
    EXPECT_EQ(DeleteHtmlStringAtPosition(10, 0, &list), 13u); // deletes nothing
    EXPECT_EQ(InsertHtmlStringAtPosition(0, "x", &list), 13u);
    EXPECT_EQ(InsertHtmlStringAtPosition(10, nullptr, &list), 13u);
    EXPECT_EQ(InsertHtmlStringAtPosition(10, "x", nullptr), 13u);
    EXPECT_EQ(DeleteHtmlStringAtPosition(0, 1, &list), 13u);
    EXPECT_EQ(DeleteHtmlStringAtPosition(10, 1, nullptr), 13u);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(CTraceCapture::Count("[InsertHtmlStringAtPosition] invalid data."), 3u);
    EXPECT_EQ(CTraceCapture::Count("[DeleteHtmlStringAtPosition] invalid data. "), 2u);
    // An empty text is an edit too, with a text of its own.
    EXPECT_EQ(InsertHtmlStringAtPosition(10, "", &list), 0u);
    const CBufferInstruction* p = list.Sentinel()->m_pNext->m_spInstruction.Get();
    EXPECT_STREQ(p->m_pszText, "");
    EXPECT_TRUE(p->m_bOwnsText);
}

TEST(BufferInstructions, SubmitWithoutTheHostsEntryIsAnError)
{
    CBufferInstructionList list;
    CDLLContext context{};
    EXPECT_EQ(SubmitBufferCommands(nullptr, &context, &list), ERROR_NOT_SUPPORTED);
    CCoreServicesTable table{};
    EXPECT_EQ(SubmitBufferCommands(&table, &context, &list), ERROR_NOT_SUPPORTED);
    table.SubmitBufferCommands = [](CDLLContext*, CBufferInstructionList*) -> DWORD { return 1234; };
    EXPECT_EQ(SubmitBufferCommands(&table, &context, &list), 1234u);
}

// A host that takes the first nAccept headers and refuses the rest.
struct CHeaderHost
{
    static std::vector<std::pair<std::string, std::string>>& Added()
    {
        static std::vector<std::pair<std::string, std::string>> s_vec;
        return s_vec;
    }
    static int& Accept()
    {
        static int s_n = 0;
        return s_n;
    }
    static BOOL AddHeader(HTTP_FILTER_CONTEXT*, LPSTR pszName, LPSTR pszValue)
    {
        if (static_cast<int>(Added().size()) >= Accept())
            return FALSE;
        Added().emplace_back(pszName, pszValue);
        return TRUE;
    }
};

TEST(SendResponse, NoCacheHeadersOnSuccessOnly)
{
    const std::vector<std::pair<std::string, std::string>> vecAll = {
        {"X-KSProduct:", "DL_SW"},
        {"Pragma:", "no-cache"},
        {"Cache-control:", "no-cache"},
        {"Cache-control:", "must-revalidate"},
        {"Cache-control:", "max-age=0"},
        {"Cache-control:", "s-maxage=0"},
        {"Cache-control:", "no-store"},
        {"Cache-control:", "private"},
        {"Cache-control:", "proxy-revalidate"},
    };
    const struct
    {
        DWORD dwStatus;
        int nAccept;
        size_t nAdded;
        DWORD dwControlMessage;
        const char* pszLastLine;
    } aCases[] = {
        {200, 100, 9, CM_NONE, "[CNotificationsHelper::AddNoCacheHeaders] returns <TRUE>"},
        {200, 3, 3, CM_NONE, "[CNotificationsHelper::AddNoCacheHeaders] returns <FALSE>"},
        {100, 100, 0, CM_NONE, "[CNotifications::NotifySendResponse] Status is 100. Continue."},
        {302, 100, 0, CM_IGNORE, "[CNotifications::NotifySendResponse] Status is not 200. Ignore request"},
        {404, 100, 0, CM_IGNORE, "[CNotifications::NotifySendResponse] Status is not 200. Ignore request"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.dwStatus);
        CTraceCapture capture;
        CHeaderHost::Added().clear();
        CHeaderHost::Accept() = c.nAccept;
        CTestRecord record;
        CDLLContext& context = record.m_context;
        HTTP_FILTER_CONTEXT fc{};
        HTTP_FILTER_SEND_RESPONSE sendResponse{};
        sendResponse.AddHeader = &CHeaderHost::AddHeader;
        context.NotificationType = SF_NOTIFY_SEND_RESPONSE;
        context.pfc = &fc;
        context.pvNotification = &sendResponse;
        context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
        context.m_spOutboundContext->HttpStatus = c.dwStatus;
        CNotifications notifications;
        EXPECT_EQ(notifications.NotifySendResponse(&context), 0u);
        EXPECT_EQ(context.ControlMessage, c.dwControlMessage);
        const std::vector<std::pair<std::string, std::string>> vecExpected(
            vecAll.begin(), vecAll.begin() + static_cast<long>(c.nAdded));
        EXPECT_EQ(CHeaderHost::Added(), vecExpected);
        EXPECT_TRUE(CTraceCapture::Has("[CNotifications::NotifySendResponse] HTTP Status=" +
                                       std::to_string(c.dwStatus)));
        EXPECT_TRUE(CTraceCapture::Has(c.pszLastLine));
        EXPECT_TRUE(CTraceCapture::HasPrefix("[CNotifications::NotifySendResponse] finished.  Win32 RC=0."));
    }
}

TEST(SendResponse, MissingInputs)
{
    CTraceCapture capture;
    CNotifications notifications;
    EXPECT_EQ(notifications.NotifySendResponse(nullptr), 13u);
    EXPECT_TRUE(CTraceCapture::Has("[CNotifications::NotifySendResponse] DLLcontext NULL, do nothing."));
    EXPECT_TRUE(CTraceCapture::Has(
        "[CNotifications::NotifySendResponse] finished.  Win32 RC=13.  Control Message=<N/A>"));
    CTestRecord record;
    EXPECT_EQ(notifications.NotifySendResponse(&record.m_context), 13u);
    EXPECT_EQ(record.m_context.ControlMessage, CM_IGNORE);
}

TEST(EndOfRequest, FreesTheContextAndTheReplacementBuffer)
{
    CTraceCapture capture;
    CTestRecord record;
    CDLLContext& context = record.m_context;
    context.m_pMyOwnContext = new CDLSWContext();
    context.ReplaceBuffer = new char[10];
    context.ReplaceBufferLength = 10;
    context.ControlMessage = CM_REPLACE;
    CNotifications notifications;
    EXPECT_EQ(notifications.NotifyEndOfRequest(&context), 0u);
    EXPECT_EQ(context.m_pMyOwnContext, nullptr);
    EXPECT_EQ(context.ReplaceBuffer, nullptr);
    EXPECT_EQ(context.ReplaceBufferLength, 0u);
    EXPECT_EQ(context.ControlMessage, CM_REPLACE);
    EXPECT_TRUE(CTraceCapture::Has("[CNotifications::NotifyEndOfRequest] finished.  Win32 RC=0.  Control "
                                   "Message=<Replace>"));
    EXPECT_EQ(notifications.NotifyEndOfRequest(nullptr), 13u);
    EXPECT_TRUE(CTraceCapture::Has("[CNotifications::NotifyEndOfRequest] pointer to CDLLContext is NULL"));
}
} // namespace
