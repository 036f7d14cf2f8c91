// The account of the user the calling thread impersonates.
#pragma once

#include "platform/WinTypes.h"

#include <string>

class CSecurityAccess
{
public:
    CSecurityAccess() = default;
    virtual ~CSecurityAccess() = default;

    // Account and domain of the thread's token: 0, or the Win32 error of the failing call
    // (ERROR_NO_TOKEN for a thread that impersonates nobody). The lookup runs as the process itself and
    // the thread's impersonation is put back on every path.
    DWORD GetThreadUser(std::string& strAccount, std::string& strDomain);

private:
    DWORD LookupTokenUser(HANDLE hToken, std::string& strAccount, std::string& strDomain);
};
