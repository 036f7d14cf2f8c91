// Static helpers of the request handlers: server variables read through the host, and the tests of the
// browser's user agent.
#pragma once

#include "platform/WinTypes.h"

#include <string>

struct CDLLContext;
class CBufferInstructionList;

class CUtil
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

    // Append one edit at an address of the response buffer: 0, or 13 when the address is 0 or the text or
    // the list is missing. The insert keeps its own copy of the text (an empty text included).
    static DWORD InsertHtmlStringAtPosition(ULONGLONG ullPosition, const char* pszText,
                                            CBufferInstructionList* pList);
    static DWORD DeleteHtmlStringAtPosition(ULONGLONG ullPosition, DWORD dwLength,
                                            CBufferInstructionList* pList);
};

// The subscription types of requests for the viewer's own virtual folder: 20 to 25.
bool IsVirtualFolderSubscription(DWORD dwSubscriptionType);
