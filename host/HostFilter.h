// The host that stands in for the web server's filter: it loads the worker library, asks it for its
// version, drives each request through the five notifications with a per-request record of its own,
// answers the worker's call-backs, and applies what the worker asked for to the request and response it
// passes on.
#pragma once

#include "host/RawRequest.h"
#include "platform/HttpFilter.h"
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
    std::string m_strVirtualFolder = "X-Dorvel";
    // The response the server would send.
    DWORD m_dwResponseStatus = 200;
    HeaderList m_vecResponseHeaders;
    std::string m_strResponseBody;
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
    // The request as the host passes it on, and the response as it goes out.
    std::string m_strMethod;
    std::string m_strURL;
    std::string m_strVersion;
    HeaderList m_vecRequestHeaders;
    DWORD m_dwStatus = 0;
    HeaderList m_vecResponseHeaders;
    std::string m_strBody;
};

// The SID an authenticated user gets when the host is given none.
constexpr const char* HOST_DEFAULT_USER_SID = "S-1-5-21-1000-1000-1000-1000";

// Puts the request's user token on the calling thread for the length of one request.
class CHostUserToken
{
public:
    explicit CHostUserToken(const CHostRequest& request);
    ~CHostUserToken();
    CHostUserToken(const CHostUserToken&) = delete;
    CHostUserToken& operator=(const CHostUserToken&) = delete;

private:
    HANDLE m_hToken = nullptr;
};

// Whether a text is a SID of the "S-1-..." form.
bool IsValidSidText(const std::string& strSid);

class CHostFilter
{
public:
    CHostFilter() = default;
    CHostFilter(const CHostFilter&) = delete;
    CHostFilter& operator=(const CHostFilter&) = delete;
    ~CHostFilter();

    bool Load(const std::string& strModulePath, std::string& strError);
    // The library's answer; the record is filled only when it answers TRUE.
    BOOL GetFilterVersion(HTTP_FILTER_VERSION& version);
    CHostResult Process(const CHostRequest& request);
    DWORD Terminate();
    void Unload();
    bool IsLoaded() const { return m_hModule != nullptr; }

private:
    void* m_hModule = nullptr;
    BOOL (*m_pfnGetFilterVersion)(HTTP_FILTER_VERSION*) = nullptr;
    DWORD (*m_pfnHttpFilterProc)(struct CDLLContext*) = nullptr;
    DWORD (*m_pfnTerminateFilter)() = nullptr;
};

// The text with which the host names a notification type and a control message.
const char* NotificationName(DWORD dwType);
// The names of the set bits of a request's flags, lowest first.
std::vector<std::string> RequestFlagNames(DWORD dwFlags);
