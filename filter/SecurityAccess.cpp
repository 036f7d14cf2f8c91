#include "filter/SecurityAccess.h"

#include "common/RestoreThreadToken.h"
#include "platform/WinHandle.h"
#include "platform/WinSecurity.h"
#include "platform/WinSync.h"

#include <memory>
#include <new>

namespace
{
constexpr DWORD TOKEN_USER_BUFFER_SIZE = 1024;
constexpr DWORD ACCOUNT_NAME_CHARS = 260;

struct CTokenHandle
{
    HANDLE m_h = nullptr;
    ~CTokenHandle()
    {
        if (m_h != nullptr)
            CloseHandle(m_h);
    }
};
} // namespace

DWORD CSecurityAccess::GetThreadUser(std::string& strAccount, std::string& strDomain)
{
    CTokenHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_QUERY_SOURCE, TRUE, &token.m_h))
        return GetLastError();
    if (token.m_h == nullptr)
        return ERROR_SUCCESS;
    // The account lookup needs the process's own identity; the guard gives the thread its token back.
    RestoreThreadToken impersonation;
    impersonation.Revert();
    return LookupTokenUser(token.m_h, strAccount, strDomain);
}

DWORD CSecurityAccess::LookupTokenUser(HANDLE hToken, std::string& strAccount, std::string& strDomain)
{
    std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[TOKEN_USER_BUFFER_SIZE]);
    if (!pBuffer)
        return ERROR_SUCCESS;
    DWORD dwLength = 0;
    if (!GetTokenInformation(hToken, TokenUser, pBuffer.get(), TOKEN_USER_BUFFER_SIZE, &dwLength))
        return GetLastError();
    const auto* pUser = reinterpret_cast<const TOKEN_USER*>(pBuffer.get());
    char szAccount[ACCOUNT_NAME_CHARS] = {};
    char szDomain[ACCOUNT_NAME_CHARS] = {};
    DWORD cchAccount = ACCOUNT_NAME_CHARS;
    DWORD cchDomain = ACCOUNT_NAME_CHARS;
    SID_NAME_USE eUse = SidTypeUnknown;
    if (!LookupAccountSidA(nullptr, pUser->User.Sid, szAccount, &cchAccount, szDomain, &cchDomain, &eUse))
        return GetLastError();
    strAccount = szAccount;
    strDomain = szDomain;
    return ERROR_SUCCESS;
}
