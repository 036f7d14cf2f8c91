// One request as the host is given it, and what the worker did to it.
#pragma once

#include "contract/ViewerFolder.h"
#include "host/RawRequest.h"
#include "platform/WinTypes.h"

#include <string>
#include <utility>
#include <vector>

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request and what the host knows about it besides its bytes.
struct CHostRequest
{
    CRawRequest m_raw;
    // The host's own inputs; the subscription type is derived from the URL unless set.
    bool m_bSubscriptionTypeSet = false;
    DWORD m_dwSubscriptionType = 0;
    DWORD m_dwCriteriaID = 1;
    std::string m_strClientAddress = "127.0.0.1";
    std::string m_strUser; // DOMAIN\name; empty for an anonymous request
    // The user's token on the delivering thread: its SID and the SIDs of its groups ("S-1-...").
    std::string m_strUserSid;
    std::vector<std::string> m_vecGroupSids;
    std::string m_strVirtualFolder = DLSW_DEFAULT_VIRTUAL_FOLDER;
    // The response the server would send.
    DWORD m_dwResponseStatus = 200;
    HeaderList m_vecResponseHeaders;
    std::string m_strResponseBody;
    // Whether the host's call-back table offers the entry that applies buffer instructions.
    bool m_bOfferSubmitEntry = true;
};

struct CNotificationRecord
{
    DWORD m_dwType = 0;
    DWORD m_dwCode = 0;
    DWORD m_dwControlMessage = 0;
};

struct CHeaderChange
{
    DWORD m_dwNotification = 0;
    std::string m_strName;
    std::string m_strValue;
    BOOL m_bResult = FALSE;
};

// One buffer instruction as the worker handed it over: its position counted from the first byte of the
// response data.
struct CHostInstruction
{
    DWORD m_dwKind = 0;
    long long m_llPosition = 0;
    std::string m_strText; // insert
    DWORD m_dwLength = 0;  // delete
};

// What the worker did to one request.
struct CHostResult
{
    DWORD m_dwSubscriptionType = 0;
    DWORD m_dwCriteriaID = 0;
    std::vector<CNotificationRecord> m_vecNotifications;
    DWORD m_dwRequestFlags = 0;
    DWORD m_dwSettingID = 0;
    std::vector<CHeaderChange> m_vecRequestHeadersSet;
    std::vector<CHeaderChange> m_vecRequestHeadersAdded;
    std::vector<CHeaderChange> m_vecResponseHeadersSet;
    std::vector<CHeaderChange> m_vecResponseHeadersAdded;
    bool m_bResponseSent = false;
    std::string m_strResponseSent;
    bool m_bBodyReplaced = false;
    bool m_bInstructionsSubmitted = false;
    DWORD m_dwSubmitResult = 0;
    size_t m_nInstructions = 0;
    std::vector<CHostInstruction> m_vecInstructions;
    // Why the host answered 400 itself without delivering a notification; empty when the worker saw the
    // request.
    std::string m_strRefusal;
    // Why the applier refused the list; empty when it applied it.
    std::string m_strSubmitError;
    // The request as the host passes it on, and the response as it goes out.
    std::string m_strMethod;
    std::string m_strURL;
    std::string m_strVersion;
    HeaderList m_vecRequestHeaders;
    DWORD m_dwStatus = 0;
    HeaderList m_vecResponseHeaders;
    std::string m_strBody;
};
