#include "host/HostUserToken.h"

#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "platform/WinSecurity.h"

CHostUserToken::CHostUserToken(const CHostRequest& request)
{
    if (request.m_strUser.empty() && request.m_strUserSid.empty())
        return;
    const size_t nSep = request.m_strUser.find('\\');
    const std::string strDomain =
        nSep == std::string::npos ? std::string() : request.m_strUser.substr(0, nSep);
    const std::string strAccount =
        nSep == std::string::npos ? request.m_strUser : request.m_strUser.substr(nSep + 1);
    const std::string strSid = request.m_strUserSid.empty() ? HOST_DEFAULT_USER_SID : request.m_strUserSid;
    m_hToken = DlswCreateUserToken(strAccount, strDomain, strSid, request.m_vecGroupSids);
    if (m_hToken != nullptr && !SetThreadToken(nullptr, m_hToken))
    {
        CloseHandle(m_hToken);
        m_hToken = nullptr;
    }
}

CHostUserToken::~CHostUserToken()
{
    if (m_hToken == nullptr)
        return;
    RevertToSelf();
    CloseHandle(m_hToken);
}

bool IsValidSidText(const std::string& strSid)
{
    PSID pSid = nullptr;
    if (!ConvertStringSidToSidA(strSid.c_str(), &pSid))
        return false;
    LocalFree(pSid);
    return true;
}
