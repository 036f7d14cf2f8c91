// Static helpers of the request handlers: server variables read through the host, and the tests of the
// browser's user agent.
#pragma once

#include "common/FileHelpers.h"
#include "platform/WinTypes.h"

#include <string>

struct CDLLContext;

class CUtil : public CFileUtil
{
public:
    // Always 0. Reads only in the notifications that allow it and only with a filter context; a variable
    // that is absent or cannot be read leaves the value as it was, so callers test the value.
    static DWORD GetServerVariable(CDLLContext* pContext, const char* pszName, std::string& strValue);
    static DWORD GetServerVariable(CDLLContext* pContext, const std::string& strName, std::string& strValue);

    static BOOL IsMacUserAgent(const std::string& strUserAgent);
    // "MSIE " followed by a major version from 6 to 9, on Windows.
    static BOOL IsPremiumUserAgent(const std::string& strUserAgent);
    static BOOL IsOwaAuthUserAgent(const std::string& strUserAgent);
};

// The subscription types of requests for the viewer's own virtual folder: 20 to 25.
bool IsVirtualFolderSubscription(DWORD dwSubscriptionType);
