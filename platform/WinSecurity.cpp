#include "platform/WinSecurity.h"

#include "platform/SlotSharedMutex.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "platform/WinSync.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace
{
// The calling thread's pseudo-handle is the only thread handle a token is asked of.
bool IsCurrentThread(HANDLE hThread)
{
    return hThread == GetCurrentThread();
}
constexpr uint64_t MAX_AUTHORITY = 0xFFFFFFFFFFFFull; // 48 bits

using SidBytes = std::vector<BYTE>;

size_t SidLength(BYTE nSubAuthorities)
{
    return 8 + 4 * static_cast<size_t>(nSubAuthorities);
}

bool ValidSid(const void* pSid)
{
    if (pSid == nullptr)
        return false;
    const auto* p = static_cast<const BYTE*>(pSid);
    return p[0] == SID_REVISION && p[1] <= SID_MAX_SUB_AUTHORITIES;
}

SidBytes BytesOf(const void* pSid)
{
    const auto* p = static_cast<const BYTE*>(pSid);
    return SidBytes(p, p + SidLength(p[1]));
}

// Parses "S-1-..." strictly: decimal numbers (the authority may also be 0x-hex), nothing else.
bool ParseStringSid(const char* psz, SidBytes& out)
{
    if (psz == nullptr || (psz[0] != 'S' && psz[0] != 's') || psz[1] != '-')
        return false;
    const char* p = psz + 2;
    auto ReadNumber = [&p](uint64_t nMax, bool bAllowHex, uint64_t& nOut)
    {
        uint64_t n = 0;
        int nBase = 10;
        if (bAllowHex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        {
            nBase = 16;
            p += 2;
        }
        const char* pStart = p;
        for (;; ++p)
        {
            int nDigit = -1;
            if (*p >= '0' && *p <= '9')
                nDigit = *p - '0';
            else if (nBase == 16 && *p >= 'a' && *p <= 'f')
                nDigit = *p - 'a' + 10;
            else if (nBase == 16 && *p >= 'A' && *p <= 'F')
                nDigit = *p - 'A' + 10;
            if (nDigit < 0)
                break;
            n = n * static_cast<uint64_t>(nBase) + static_cast<uint64_t>(nDigit);
            if (n > nMax)
                return false;
        }
        if (p == pStart)
            return false;
        nOut = n;
        return true;
    };
    uint64_t nRevision = 0;
    if (!ReadNumber(0xFF, false, nRevision) || nRevision != SID_REVISION || *p != '-')
        return false;
    ++p;
    uint64_t nAuthority = 0;
    if (!ReadNumber(MAX_AUTHORITY, true, nAuthority))
        return false;
    std::vector<DWORD> vecSub;
    while (*p == '-')
    {
        ++p;
        uint64_t nSub = 0;
        if (!ReadNumber(0xFFFFFFFFull, false, nSub) || vecSub.size() == SID_MAX_SUB_AUTHORITIES)
            return false;
        vecSub.push_back(static_cast<DWORD>(nSub));
    }
    if (*p != '\0')
        return false;
    out.assign(SidLength(static_cast<BYTE>(vecSub.size())), 0);
    out[0] = SID_REVISION;
    out[1] = static_cast<BYTE>(vecSub.size());
    for (size_t i = 0; i < 6; ++i)
        out[2 + i] = static_cast<BYTE>(nAuthority >> (8 * (5 - i)));
    if (!vecSub.empty())
        std::memcpy(out.data() + 8, vecSub.data(), vecSub.size() * sizeof(DWORD));
    return true;
}

std::string StringOf(const SidBytes& sid)
{
    uint64_t nAuthority = 0;
    for (size_t i = 0; i < 6; ++i)
        nAuthority = (nAuthority << 8) | sid[2 + i];
    std::string s = "S-" + std::to_string(sid[0]) + "-";
    if (nAuthority >= (1ull << 32))
    {
        char sz[32];
        std::snprintf(sz, sizeof(sz), "0x%012llX", static_cast<unsigned long long>(nAuthority));
        s += sz;
    }
    else
        s += std::to_string(nAuthority);
    for (BYTE i = 0; i < sid[1]; ++i)
    {
        DWORD n = 0;
        std::memcpy(&n, sid.data() + 8 + 4 * i, sizeof(n));
        s += "-" + std::to_string(n);
    }
    return s;
}

class CTokenObject : public CWinHandleObject
{
public:
    SidBytes m_user;
    std::vector<SidBytes> m_vecGroups;
};
using TokenPtr = std::shared_ptr<CTokenObject>;

thread_local TokenPtr t_spImpersonation;

struct CAccount
{
    std::string m_sName;
    std::string m_sDomain;
    SID_NAME_USE m_eUse;
};

struct CAccountRegistry
{
    // Every request looks its user up; a user's first token adds it.
    CSlotSharedMutex m_mx;
    std::map<SidBytes, CAccount> m_mapAccounts;
};

CAccountRegistry& Accounts()
{
    static CAccountRegistry* s_pRegistry = []
    {
        auto* pRegistry =
            new CAccountRegistry(); // never destroyed: lookups may run from other statics at exit
        const struct
        {
            const char* pszSid;
            const char* pszName;
            const char* pszDomain;
            SID_NAME_USE eUse;
        } wellKnown[] = {
            {"S-1-1-0", "Everyone", "", SidTypeWellKnownGroup},
            {"S-1-5-11", "Authenticated Users", "NT AUTHORITY", SidTypeWellKnownGroup},
            {"S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup},
            {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
            {"S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias},
        };
        for (const auto& w : wellKnown)
        {
            SidBytes sid;
            ParseStringSid(w.pszSid, sid);
            pRegistry->m_mapAccounts[sid] = CAccount{w.pszName, w.pszDomain, w.eUse};
        }
        return pRegistry;
    }();
    return *s_pRegistry;
}

// The process's own identity: the service account the server process runs as.
const TokenPtr& ProcessToken()
{
    static const TokenPtr s_spToken = []
    {
        auto spToken = std::make_shared<CTokenObject>();
        ParseStringSid("S-1-5-20", spToken->m_user);
        SidBytes everyone;
        ParseStringSid("S-1-1-0", everyone);
        spToken->m_vecGroups.push_back(everyone);
        return spToken;
    }();
    return s_spToken;
}

// The test seams' state.
std::atomic<DWORD> g_dwMembershipFailure{0};
thread_local SidBytes t_lookupIdentity;

BOOL Fail(DWORD dwError)
{
    SetLastError(dwError);
    return FALSE;
}
} // namespace

BOOL OpenThreadToken(HANDLE hThread, DWORD /*dwDesiredAccess*/, BOOL /*bOpenAsSelf*/, PHANDLE phToken)
{
    if (phToken == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *phToken = nullptr;
    if (!IsCurrentThread(hThread))
        return Fail(ERROR_INVALID_HANDLE);
    if (!t_spImpersonation)
        return Fail(ERROR_NO_TOKEN);
    *phToken = RegisterHandleObject(t_spImpersonation);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL RevertToSelf()
{
    t_spImpersonation.reset();
    return TRUE;
}

BOOL SetThreadToken(PHANDLE phThread, HANDLE hToken)
{
    if (phThread != nullptr && !IsCurrentThread(*phThread))
        return Fail(ERROR_INVALID_HANDLE);
    if (hToken == nullptr)
    {
        t_spImpersonation.reset();
        return TRUE;
    }
    TokenPtr spToken = LookupHandleAs<CTokenObject>(hToken);
    if (!spToken)
        return Fail(ERROR_INVALID_HANDLE);
    t_spImpersonation = std::move(spToken);
    return TRUE;
}

BOOL GetTokenInformation(HANDLE hToken, TOKEN_INFORMATION_CLASS tokenClass, LPVOID pInformation,
                         DWORD dwLength, PDWORD pdwReturnLength)
{
    if (pdwReturnLength == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    TokenPtr spToken = LookupHandleAs<CTokenObject>(hToken);
    if (!spToken)
        return Fail(ERROR_INVALID_HANDLE);
    size_t nNeeded = 0;
    if (tokenClass == TokenUser)
        nNeeded = sizeof(TOKEN_USER) + spToken->m_user.size();
    else if (tokenClass == TokenGroups)
    {
        const size_t nCount = spToken->m_vecGroups.size();
        nNeeded = offsetof(TOKEN_GROUPS, Groups) + sizeof(SID_AND_ATTRIBUTES) * (nCount == 0 ? 1 : nCount);
        for (const SidBytes& sid : spToken->m_vecGroups)
            nNeeded += sid.size();
    }
    else
        return Fail(ERROR_INVALID_PARAMETER);
    nNeeded = (nNeeded + 7) & ~static_cast<size_t>(7);
    *pdwReturnLength = static_cast<DWORD>(nNeeded);
    if (pInformation == nullptr || dwLength < nNeeded)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* pBase = static_cast<BYTE*>(pInformation);
    std::memset(pBase, 0, nNeeded);
    if (tokenClass == TokenUser)
    {
        auto* pUser = static_cast<TOKEN_USER*>(pInformation);
        BYTE* pSid = pBase + sizeof(TOKEN_USER);
        std::memcpy(pSid, spToken->m_user.data(), spToken->m_user.size());
        pUser->User.Sid = pSid;
        pUser->User.Attributes = 0;
        return TRUE;
    }
    auto* pGroups = static_cast<TOKEN_GROUPS*>(pInformation);
    const size_t nCount = spToken->m_vecGroups.size();
    pGroups->GroupCount = static_cast<DWORD>(nCount);
    SID_AND_ATTRIBUTES* pEntries = pGroups->Groups;
    BYTE* pSid =
        pBase + offsetof(TOKEN_GROUPS, Groups) + sizeof(SID_AND_ATTRIBUTES) * (nCount == 0 ? 1 : nCount);
    for (size_t i = 0; i < nCount; ++i)
    {
        const SidBytes& sid = spToken->m_vecGroups[i];
        std::memcpy(pSid, sid.data(), sid.size());
        SID_AND_ATTRIBUTES* pEntry = pEntries + i;
        pEntry->Sid = pSid;
        pEntry->Attributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
        pSid += sid.size();
    }
    return TRUE;
}

BOOL CheckTokenMembership(HANDLE hToken, PSID pSid, PBOOL pbIsMember)
{
    if (pbIsMember == nullptr || !ValidSid(pSid))
        return Fail(ERROR_INVALID_PARAMETER);
    *pbIsMember = FALSE;
    if (const DWORD dwFailure = g_dwMembershipFailure.load())
        return Fail(dwFailure);
    TokenPtr spToken;
    if (hToken == nullptr)
        spToken = t_spImpersonation ? t_spImpersonation : ProcessToken();
    else
    {
        spToken = LookupHandleAs<CTokenObject>(hToken);
        if (!spToken)
            return Fail(ERROR_INVALID_HANDLE);
    }
    const SidBytes sid = BytesOf(pSid);
    if (spToken->m_user == sid)
        *pbIsMember = TRUE;
    for (const SidBytes& group : spToken->m_vecGroups)
    {
        if (group == sid)
            *pbIsMember = TRUE;
    }
    return TRUE;
}

BOOL LookupAccountSidA(LPCSTR /*pszSystemName*/, PSID pSid, LPSTR pszName, LPDWORD pcchName, LPSTR pszDomain,
                       LPDWORD pcchDomain, PSID_NAME_USE peUse)
{
    if (!ValidSid(pSid) || pcchName == nullptr || pcchDomain == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    t_lookupIdentity = (t_spImpersonation ? *t_spImpersonation : *ProcessToken()).m_user;
    CAccount account;
    {
        CAccountRegistry& reg = Accounts();
        std::shared_lock<CSlotSharedMutex> guard(reg.m_mx);
        const auto it = reg.m_mapAccounts.find(BytesOf(pSid));
        if (it == reg.m_mapAccounts.end())
            return Fail(ERROR_NONE_MAPPED);
        account = it->second;
    }
    const DWORD cchName = static_cast<DWORD>(account.m_sName.size() + 1);
    const DWORD cchDomain = static_cast<DWORD>(account.m_sDomain.size() + 1);
    if (pszName == nullptr || pszDomain == nullptr || *pcchName < cchName || *pcchDomain < cchDomain)
    {
        *pcchName = cchName;
        *pcchDomain = cchDomain;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(pszName, account.m_sName.c_str(), cchName);
    std::memcpy(pszDomain, account.m_sDomain.c_str(), cchDomain);
    *pcchName = cchName - 1;
    *pcchDomain = cchDomain - 1;
    if (peUse != nullptr)
        *peUse = account.m_eUse;
    return TRUE;
}

BOOL ConvertStringSidToSidA(LPCSTR pszStringSid, PSID* ppSid)
{
    if (pszStringSid == nullptr || ppSid == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *ppSid = nullptr;
    SidBytes sid;
    if (!ParseStringSid(pszStringSid, sid))
        return Fail(ERROR_INVALID_SID);
    void* p = LocalAlloc(LMEM_FIXED, sid.size());
    if (p == nullptr)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(p, sid.data(), sid.size());
    *ppSid = p;
    return TRUE;
}

BOOL ConvertSidToStringSidA(PSID pSid, LPSTR* ppszStringSid)
{
    if (ppszStringSid == nullptr || !ValidSid(pSid))
        return Fail(ERROR_INVALID_SID);
    const std::string s = StringOf(BytesOf(pSid));
    auto* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, s.size() + 1));
    if (p == nullptr)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(p, s.c_str(), s.size() + 1);
    *ppszStringSid = p;
    return TRUE;
}

BOOL IsValidSid(PSID pSid)
{
    return ValidSid(pSid) ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID pSid)
{
    return ValidSid(pSid) ? static_cast<DWORD>(SidLength(static_cast<const BYTE*>(pSid)[1])) : 0;
}

BOOL EqualSid(PSID pSid1, PSID pSid2)
{
    if (!ValidSid(pSid1) || !ValidSid(pSid2))
        return FALSE;
    return BytesOf(pSid1) == BytesOf(pSid2) ? TRUE : FALSE;
}

void DlswSetMembershipCheckFailure(DWORD dwError)
{
    g_dwMembershipFailure.store(dwError);
}

std::string DlswLastAccountLookupIdentity()
{
    return t_lookupIdentity.empty() ? std::string() : StringOf(t_lookupIdentity);
}

HANDLE DlswCreateUserToken(const std::string& sAccount, const std::string& sDomain,
                           const std::string& sUserSid, const std::vector<std::string>& vecGroupSids)
{
    auto spToken = std::make_shared<CTokenObject>();
    if (!ParseStringSid(sUserSid.c_str(), spToken->m_user))
    {
        SetLastError(ERROR_INVALID_SID);
        return nullptr;
    }
    for (const std::string& sGroup : vecGroupSids)
    {
        SidBytes sid;
        if (!ParseStringSid(sGroup.c_str(), sid))
        {
            SetLastError(ERROR_INVALID_SID);
            return nullptr;
        }
        spToken->m_vecGroups.push_back(std::move(sid));
    }
    {
        CAccountRegistry& reg = Accounts();
        const auto known = [&]
        {
            const auto it = reg.m_mapAccounts.find(spToken->m_user);
            return it != reg.m_mapAccounts.end() && it->second.m_sName == sAccount &&
                   it->second.m_sDomain == sDomain && it->second.m_eUse == SidTypeUser;
        };
        bool bKnown = false;
        {
            std::shared_lock<CSlotSharedMutex> guard(reg.m_mx);
            bKnown = known();
        }
        if (!bKnown)
        {
            std::lock_guard<CSlotSharedMutex> guard(reg.m_mx);
            reg.m_mapAccounts[spToken->m_user] = CAccount{sAccount, sDomain, SidTypeUser};
        }
    }
    return RegisterHandleObject(spToken);
}

BOOL DlswSetThreadUser(const std::string& sAccount, const std::string& sDomain, const std::string& sUserSid,
                       const std::vector<std::string>& vecGroupSids)
{
    HANDLE hToken = DlswCreateUserToken(sAccount, sDomain, sUserSid, vecGroupSids);
    if (hToken == nullptr)
        return FALSE;
    const BOOL bSet = SetThreadToken(nullptr, hToken);
    CloseHandle(hToken);
    return bSet;
}
