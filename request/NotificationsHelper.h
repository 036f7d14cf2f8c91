// Request helpers the notification handlers, the access decisions and page rewriting share: one
// parameter out of a URL, the forms-based-authentication "cadata" cookie, the attachment ids of a
// request, the removal of a parameter from a query string and the client-address test against the
// direct-access ranges. None of them throws on bad input.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "contract/RequestInfo.h"
#include "platform/WinTypes.h"

#include <string>
#include <vector>

struct CDLLContext;

// More attachment ids than one item can carry in a link; a request that claims more is refused
// before a single id is read.
constexpr int MAX_REQUEST_ATTACHMENT_IDS = 1024;

// The value after key, up to the next ';' or the end; the key is found without regard to case and must
// end in '='.
bool extractCookie(const std::string& strCookie, const std::string& strKey, std::string& strValue);

class CNotificationsHelper
{
public:
    // The value of "name=" in a URL or query text, URL-unescaped. With nStart == npos the search starts
    // at the first '?'. The parameter is found right after the '?' (or at nStart) and after any '&'.
    static bool GetURLParamValue(const std::string& strText, const std::string& strName,
                                 std::string& strValue, size_t nStart = std::string::npos);

    static bool GetCadataCookieValue(const std::string& strCookie, std::string& strValue);
    // The cadata value an upstream proxy hands over in "HTTP_X_KS_FBA_CVALUE"; TRUE with a record.
    static BOOL GetISAFBACadataCookieValue(CDLLContext* pContext, std::string& strValue);
    // "cadata=..." with its key, up to the next ';' or the end.
    static bool ExtractCadataCookie(const std::string& strCookie, std::string& strCadata);
    // The forms-based-authentication bits of RequestFlags the cadata value stands for.
    static DWORD GetFBAClientFlags(CDLLContext* pContext, const std::string& strCookie);

    // The values of attid0, attid1, ... up to "attcnt" of them, in order. 0 with no ids when "attcnt"
    // is absent or not positive; 13 for a count that is not a number or above the limit, or a missing
    // id (the ids read so far stay).
    static DWORD GetRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                       std::vector<std::string>& vecIDs);
    // All ids but the last joined with no separator, and the last.
    static DWORD ConcatRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                          std::string& strJoined, std::string& strLast);
    // All ids joined with no separator.
    static DWORD ConcatRequestParamAttIDs(const CCountedPtr<CRequestInfo>& spRequestInfo,
                                          std::string& strJoined);

    // Removes the first "name=..." (name without regard to case) from the query string.
    static BOOL RemoveParamFromQueryString(ci_string& csQuery, const std::string& strName);

    static DWORD CheckClientIPAgainstDirectAccessIPRange(CDLLContext* pContext, BOOL& bAllowed);
};
