// Security identifiers and thread tokens. The host puts the calling user's token (account, domain, user
// SID, group SIDs) on the request thread; the worker reads it, drops it for calls that need the process's
// own identity and puts it back, and tests group membership against it.
#pragma once

#include "platform/WinTime.h"
#include "platform/WinTypes.h"

#include <string>
#include <vector>

using PBOOL = BOOL*;

// Token access rights.
#define TOKEN_ASSIGN_PRIMARY 0x0001u
#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u
#define TOKEN_QUERY_SOURCE 0x0010u
#define TOKEN_ALL_ACCESS 0x000F01FFu

// Group attributes.
#define SE_GROUP_MANDATORY 0x00000001u
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002u
#define SE_GROUP_ENABLED 0x00000004u

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define ANYSIZE_ARRAY 1

struct SID_IDENTIFIER_AUTHORITY
{
    BYTE Value[6];
};

// The binary form of a SID: revision, sub-authority count, 48-bit authority (big-endian), then the
// sub-authorities.
struct SID
{
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[ANYSIZE_ARRAY];
};

struct SID_AND_ATTRIBUTES
{
    PSID Sid;
    DWORD Attributes;
};

struct TOKEN_USER
{
    SID_AND_ATTRIBUTES User;
};

struct TOKEN_GROUPS
{
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[ANYSIZE_ARRAY];
};

enum TOKEN_INFORMATION_CLASS
{
    TokenUser = 1,
    TokenGroups = 2,
};

enum SID_NAME_USE
{
    SidTypeUser = 1,
    SidTypeGroup = 2,
    SidTypeDomain = 3,
    SidTypeAlias = 4,
    SidTypeWellKnownGroup = 5,
    SidTypeUnknown = 8,
};
using PSID_NAME_USE = SID_NAME_USE*;

// The calling thread's impersonation token. ERROR_NO_TOKEN when the thread is not impersonating.
DLSW_API BOOL OpenThreadToken(HANDLE hThread, DWORD dwDesiredAccess, BOOL bOpenAsSelf, PHANDLE phToken);
// Drops the calling thread's impersonation token: the thread acts as the process again.
DLSW_API BOOL RevertToSelf();
// Puts a token on a thread (null: the calling thread); a null token drops the thread's token.
DLSW_API BOOL SetThreadToken(PHANDLE phThread, HANDLE hToken);
// TokenUser fills a TOKEN_USER, TokenGroups a TOKEN_GROUPS, the SIDs following in the same buffer. A
// buffer too small fails with ERROR_INSUFFICIENT_BUFFER and tells the length needed.
DLSW_API BOOL GetTokenInformation(HANDLE hToken, TOKEN_INFORMATION_CLASS tokenClass, LPVOID pInformation,
                                  DWORD dwLength, PDWORD pdwReturnLength);
// A null token tests the calling thread's impersonation token, else the process's own identity. The user
// SID and the enabled groups count.
DLSW_API BOOL CheckTokenMembership(HANDLE hToken, PSID pSid, PBOOL pbIsMember);

// Names of the accounts this process has seen in tokens, and of a few well-known SIDs. Buffers follow the
// two-call protocol: a short buffer fails with ERROR_INSUFFICIENT_BUFFER and the sizes needed (with the
// terminating NUL). ERROR_NONE_MAPPED for an unknown SID.
DLSW_API BOOL LookupAccountSidA(LPCSTR pszSystemName, PSID pSid, LPSTR pszName, LPDWORD pcchName,
                                LPSTR pszDomain, LPDWORD pcchDomain, PSID_NAME_USE peUse);

// "S-1-<authority>-<sub-authority>..." to a SID allocated with LocalAlloc (free it with LocalFree).
// ERROR_INVALID_SID for any other text: a revision other than 1, a number out of range, more than 15
// sub-authorities, anything after the last number.
DLSW_API BOOL ConvertStringSidToSidA(LPCSTR pszStringSid, PSID* ppSid);
// A SID to its text, allocated with LocalAlloc.
DLSW_API BOOL ConvertSidToStringSidA(PSID pSid, LPSTR* ppszStringSid);
DLSW_API BOOL IsValidSid(PSID pSid);
DLSW_API DWORD GetLengthSid(PSID pSid);
DLSW_API BOOL EqualSid(PSID pSid1, PSID pSid2);

// For the host: a token for a user (account, domain, user SID and group SIDs as texts), to be put on a
// request thread with SetThreadToken and closed with CloseHandle. The account becomes known to
// LookupAccountSidA. Null with ERROR_INVALID_SID when a SID text is invalid.
DLSW_API HANDLE DlswCreateUserToken(const std::string& sAccount, const std::string& sDomain,
                                    const std::string& sUserSid,
                                    const std::vector<std::string>& vecGroupSids);
// Test seams. A code CheckTokenMembership fails with, on every thread, instead of testing (0: it tests
// again); and the identity in force at the calling thread's latest LookupAccountSidA: the user SID of its
// impersonation token, or of the process's own identity when it had none (empty before any lookup).
DLSW_API void DlswSetMembershipCheckFailure(DWORD dwError);
DLSW_API std::string DlswLastAccountLookupIdentity();

// For the host: creates such a token and puts it on the calling thread in one call.
DLSW_API BOOL DlswSetThreadUser(const std::string& sAccount, const std::string& sDomain,
                                const std::string& sUserSid, const std::vector<std::string>& vecGroupSids);
