// The host's per-request record and the parts of the host it leads to. The host owns all of it; the
// worker reads the request through it, writes its classification and its instruction to the host back
// into it, and calls the host through the call-back table. The positions are a contract with the host.
#pragma once

#include "contract/CountedPtr.h"
#include "contract/RequestInfo.h"
#include "platform/HttpFilter.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <string>

class CDLSWContext;
class CBufferInstructionList;
struct CDLLContext;
struct CCoreServicesTable;

// What the host is to do next.
enum ControlMessageValue : DWORD
{
    CM_NONE = 0,
    CM_IGNORE = 1,             // send no further notifications of this request
    CM_HANDLED_REDIRECTED = 2, // the worker rewrote the URL
    CM_REPLACE = 3,            // send the replacement buffer in place of the page
    CM_COMPLETED = 4,          // the worker sent the whole response itself
};

// Classification bits of RequestFlags.
constexpr DWORD RF_PREMIUM_DELETE_ATTACHMENT = 0x0001;
constexpr DWORD RF_FAKE_DORVEL_VIRTUAL_FOLDER = 0x0002;
constexpr DWORD RF_POST = 0x0004;
constexpr DWORD RF_ATTACH_FILE_DIALOG_OR_MANAGER = 0x0008;
constexpr DWORD RF_DIRECT_ATTACHMENT_ACCESS = 0x0010;
constexpr DWORD RF_MAC_CLIENT = 0x0020;
constexpr DWORD RF_PREMIUM_CLIENT = 0x0040;
constexpr DWORD RF_FBA_CLIENT = 0x0080;
constexpr DWORD RF_FBA_PUBLIC_CLIENT = 0x0100;
constexpr DWORD RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS = 0x0200;
constexpr DWORD RF_DOCUMENT_VIEW_SORT = 0x0400;
constexpr DWORD RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED = 0x0800;
constexpr DWORD RF_SMIME = 0x1000;

// The host's response context. The host keeps its own data before the status.
struct COutboundContext
{
    BYTE m_abHostReserved[44];
    DWORD HttpStatus;
    // Pointer-sized words into the response buffer: 1 first byte of the data, 2 its last byte, 3 the text
    // that declares the character set and 5 its length, 4 first byte of the HTML, 15 the HTML start tag,
    // 16 the HEAD start tag, 17 the HEAD end tag, 19 the BODY start tag, 21 the BODY end tag.
    char** m_pCommonPointers;
};
constexpr size_t COMMON_POINTER_WORDS = 22;

// The host's URL record of the request; page rewriting copies its texts into pages.
struct CExchangeURL
{
    std::string m_strRootURL;
    std::string m_strBasePath;
};

// Submits a buffer-instruction list; ERROR_SUCCESS when the host applied it.
using PFN_SUBMIT_BUFFER_COMMANDS = DWORD (*)(CDLLContext* pContext, CBufferInstructionList* pList);
// Sends a complete raw response, status line and headers included.
using PFN_CORE_SEND_RESPONSE = DWORD (*)(CDLLContext* pContext, const char* pszResponse, DWORD* pdwLength,
                                         CCoreServicesTable* pTable);

// The host's call-back table, entries of pointer size; a null entry is a service the host does not offer.
struct CCoreServicesTable
{
    PVOID m_apvEntries0To1[2];
    PFN_SUBMIT_BUFFER_COMMANDS SubmitBufferCommands; // entry 2
    PVOID m_apvEntries3To7[5];
    PFN_CORE_SEND_RESPONSE SendResponse; // entry 8
};
static_assert(offsetof(CCoreServicesTable, SubmitBufferCommands) == 2 * sizeof(PVOID));
static_assert(offsetof(CCoreServicesTable, SendResponse) == 8 * sizeof(PVOID));

// The per-request record, alive across all notifications of one request. The reserved areas belong to
// the host.
struct CDLLContext
{
    BYTE m_abHostReserved0[8];
    DWORD NotificationType;
    BYTE m_abHostReserved1[76];
    DWORD RequestFlags;
    BYTE m_abHostReserved2[4];
    CDLSWContext* m_pMyOwnContext;
    DWORD ControlMessage;
    DWORD ReplaceBufferLength;
    char* ReplaceBuffer; // allocated as an array; freed by the worker at end of request
    CCoreServicesTable* CoreServices;
    BYTE m_abHostReserved3[16];
    CCountedPtr<COutboundContext> m_spOutboundContext;
    CCountedPtr<CRequestInfo> m_spRequestInfo;
    CCountedPtr<CExchangeURL> m_spExchangeURL;
    HTTP_FILTER_CONTEXT* pfc;
    PVOID pvNotification;
    BYTE m_abHostReserved4[12];
    DWORD CriteriaID;
    DWORD SettingID;
    DWORD SubscriptionType;
};

static_assert(sizeof(CCountedPtr<CRequestInfo>) == 3 * sizeof(PVOID), "a counted pointer is three words");
static_assert(offsetof(CDLLContext, NotificationType) == 8);
static_assert(offsetof(CDLLContext, RequestFlags) == 88);
static_assert(offsetof(CDLLContext, m_pMyOwnContext) == 96);
static_assert(offsetof(CDLLContext, ControlMessage) == 104);
static_assert(offsetof(CDLLContext, ReplaceBufferLength) == 108);
static_assert(offsetof(CDLLContext, ReplaceBuffer) == 112);
static_assert(offsetof(CDLLContext, CoreServices) == 120);
static_assert(offsetof(CDLLContext, m_spOutboundContext) == 144);
static_assert(offsetof(CDLLContext, m_spRequestInfo) == 168);
static_assert(offsetof(CDLLContext, m_spExchangeURL) == 192);
static_assert(offsetof(CDLLContext, pfc) == 216);
static_assert(offsetof(CDLLContext, pvNotification) == 224);
static_assert(offsetof(CDLLContext, CriteriaID) == 244);
static_assert(offsetof(CDLLContext, SettingID) == 248);
static_assert(offsetof(CDLLContext, SubscriptionType) == 252);
static_assert(sizeof(CDLLContext) == 256);
static_assert(offsetof(COutboundContext, HttpStatus) == 44);
static_assert(offsetof(COutboundContext, m_pCommonPointers) == 48);

// The text of a control message, as the handlers log it and the host reports it.
inline const char* ControlMessageName(DWORD dwControlMessage)
{
    switch (dwControlMessage)
    {
    case CM_NONE:
        return "None";
    case CM_IGNORE:
        return "Ignore";
    case CM_HANDLED_REDIRECTED:
        return "Handled/Redirected";
    case CM_REPLACE:
        return "Replace";
    case CM_COMPLETED:
        return "Completed";
    default:
        return "Unknown";
    }
}

// The text with which the handlers log a control message: "N/A" for a missing record.
inline const char* ControlMessageText(const CDLLContext* pContext)
{
    return pContext == nullptr ? "N/A" : ControlMessageName(pContext->ControlMessage);
}
