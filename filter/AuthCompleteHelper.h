// What authentication complete does by the request's kind: the direct-download decision with its
// internal redirection, the access-denied page, the redirect of requests meant for the viewer, and the
// user's language. Static operations without data; each takes the host's record of the request.
#pragma once

#include "common/CiString.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <string>

struct CDLLContext;

enum DirectFileAccessType : DWORD
{
    DIRECT_FILE_ACCESS_ATTACHMENT = 0,
    DIRECT_FILE_ACCESS_DOCUMENT_VIEW = 1,
};

// The denial text when the user's language has none of its own.
constexpr const char* ACCESS_DENIED_DEFAULT_TEXT = "You are not authorized to view this file.";
constexpr int ACCESS_DENIED_TEXT_RESOURCE_ID = 191;
constexpr WORD ENGLISH_LANGID = 0x1009;

class CAuthCompleteHelper
{
public:
    // Direct downloads. A non-zero code is a decision that could not be made: nothing was sent and
    // nothing rewritten.
    static DWORD HandleDirectFileAccessRequest(CDLLContext* pContext, const std::string& strURL,
                                               const std::string& strQueryString, DirectFileAccessType eType,
                                               bool& bAccessDeniedPageSent, bool& bForceSaveIDRemoved);
    static DWORD CheckIfDirectFileAccessIsEnabled(CDLLContext* pContext, bool& bEnabled,
                                                  DirectFileAccessType eType);
    static DWORD CheckIfDLDirectAttachmentAccessOrAllowedIP(CDLLContext* pContext, bool& bEnabled);
    static DWORD CheckIfDLDirectDocumentViewFileAccessOrAllowedIP(CDLLContext* pContext, bool& bEnabled);
    static DWORD GetDLDirectDocumentViewFileAccessMenuFlags(CDLLContext* pContext, bool& bOpenEnabled,
                                                            bool& bSaveEnabled);
    // Removes the document view's force-save id, "id" of value "unresolved", from the query string.
    static bool RemoveDocViewForceSaveIDParamIfSetToUnresolved(ci_string& csQueryString);
    static const char* FileAccessLevelToString(int nLevel);
    // Whether the extension (without its dot) is a whole entry of the ";"-separated list, without regard
    // to case; an empty extension only matches an empty entry.
    static bool IsExtensionInBlockedList(const ci_string& csExtension, const ci_string& csList);

    // The "401" denial page in the user's language (English when the request has none or the language
    // has no text). 0 once the host took it; 7 when there is no record or the host cannot send.
    static DWORD SendAccessDeniedResponse(CDLLContext* pContext);
    // The complete raw response around a UTF-8 denial text.
    static std::string BuildAccessDeniedResponse(const std::string& strDenialText);

    // Requests for the viewer's virtual folder, by SubscriptionType. The URL and the query string are
    // the request's "URL" and "QUERY_STRING"; an "MMKey" query string is emptied.
    static DWORD RedirectDorvelFakeRequest(CDLLContext* pContext, std::string& strURL,
                                           std::string& strQueryString, BOOL bCacheMultimedia);
    static DWORD ProcessCmd(CDLLContext* pContext, const std::string& strQueryString, const char* pszPrefix);
    static DWORD ProcessShowRedirect(CDLLContext* pContext, const std::string& strSubPath,
                                     bool bCacheMultimediaAllowed);
    // How many file parameters ("fn" and "WR340U1") a query holds, their names read unescaped and without
    // regard to case. A view request that holds more than one is refused before any redirect.
    static size_t CountViewerFileParams(const std::string& strQueryString);
    // For a request under the viewer's folder that goes on without the worker's redirect: rewrites its URL
    // without the client's "owaal" and "CMC245" (in any spelling), which only the worker may give the
    // viewer; a URL without them is left alone. 0, or 7 when the URL could not be read or rewritten: the
    // caller must then refuse the request.
    static DWORD StripClientViewerParams(CDLLContext* pContext);

    // The user's language code and LANGID, from the directory or the browser. 7 when no user name can
    // be had.
    static DWORD DetectUserLanguage(CDLLContext* pContext, std::string& strLanguage, WORD& wLangID);
};
