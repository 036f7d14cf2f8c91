// The calling user's token, as a server thread impersonates the client for the length of a request.
#pragma once

#include "host/HostRequest.h"
#include "platform/WinTypes.h"

#include <string>

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
