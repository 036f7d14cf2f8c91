#include "filter/AuthCompleteHelper.h"

#include "common/SharedConstants.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/StringOperation.h"
#include "request/BaseNotifications.h"
#include "request/GeneralSettingsAccess.h"

#include <algorithm>
#include <cctype>

namespace
{
constexpr const char* VIEWER_PAGE = "/bin/dorvel.srf";
constexpr const char* SHOW_MARKER = "/cmd/show/file/";
constexpr const char* OWA_LEVEL_PARAM = "owaal";
constexpr const char* CACHE_MULTIMEDIA_PARAM = "CMC245";
constexpr const char* COMMAND_PARAM = "cmd";

enum ViewerRequestKind : DWORD
{
    VIEWER_VIEW = 20,
    VIEWER_CLOSE = 21,
    VIEWER_SHOW = 22,
    VIEWER_PRINT = 23,
    VIEWER_MENU = 24,
    VIEWER_GETFILE = 25,
};

bool IsUnreserved(unsigned char c)
{
    return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

bool IsHexEscape(const std::string& strText, size_t nPos)
{
    return nPos + 2 < strText.size() && std::isxdigit(static_cast<unsigned char>(strText[nPos + 1])) != 0 &&
           std::isxdigit(static_cast<unsigned char>(strText[nPos + 2])) != 0;
}

void AppendEscaped(std::string& strOut, unsigned char c)
{
    static const char s_szHex[] = "0123456789ABCDEF";
    strOut += '%';
    strOut += s_szHex[c >> 4];
    strOut += s_szHex[c & 0x0F];
}

// A parameter value as the viewer URL carries it: everything but the unreserved characters escaped, so no
// value can end its parameter, add one or end the query.
std::string EncodeQueryValue(const std::string& strValue)
{
    std::string strOut;
    strOut.reserve(strValue.size());
    for (char ch : strValue)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c))
            strOut += ch;
        else
            AppendEscaped(strOut, c);
    }
    return strOut;
}

// A path under the show command: its folders stay, escapes already in it stay, everything else that
// could end the value is escaped.
std::string EncodeSubPath(const std::string& strPath)
{
    std::string strOut;
    strOut.reserve(strPath.size());
    for (size_t i = 0; i < strPath.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(strPath[i]);
        if (IsUnreserved(c) || c == '/' || (c == '%' && IsHexEscape(strPath, i)))
            strOut += strPath[i];
        else
            AppendEscaped(strOut, c);
    }
    return strOut;
}

// The request's own query string keeps its parameters; only bytes that cannot stand in a URL are
// escaped, so it cannot end the URL the host is handed.
std::string SanitizeQueryString(const std::string& strQuery)
{
    std::string strOut;
    strOut.reserve(strQuery.size());
    for (size_t i = 0; i < strQuery.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(strQuery[i]);
        if (c <= 0x20 || c >= 0x7F || c == '#' || c == '"' || c == '<' || c == '>' ||
            (c == '%' && !IsHexEscape(strQuery, i)))
            AppendEscaped(strOut, c);
        else
            strOut += strQuery[i];
    }
    return strOut;
}

bool StartsWithNoCase(const std::string& strText, const char* pszPrefix)
{
    const ci_string csPrefix(pszPrefix);
    return strText.size() >= csPrefix.size() && ToCi(strText.substr(0, csPrefix.size())) == csPrefix;
}

// The name of one piece of a query as any reader of it may take it: unescaped, '+' read as a blank, cut
// at a NUL, without blanks around it, and without regard to case. Every name the worker must keep from
// the viewer is compared in this form, so no spelling of it gets past.
ci_string ParamNameOf(const std::string& strPiece)
{
    std::string strName = strPiece.substr(0, strPiece.find('='));
    for (char& c : strName)
    {
        if (c == '+')
            c = ' ';
    }
    strName = UrlUnescape(strName);
    strName.erase(std::min(strName.find('\0'), strName.size()));
    TrimChars(strName, " \t\r\n\v\f");
    return ToCi(strName);
}

// Calls fn with each piece of the query between '&', empty ones included.
template <class TFunction> void ForEachQueryPiece(const std::string& strQuery, TFunction fn)
{
    size_t nPos = 0;
    while (nPos <= strQuery.size())
    {
        size_t nEnd = strQuery.find('&', nPos);
        if (nEnd == std::string::npos)
            nEnd = strQuery.size();
        fn(strQuery.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
    }
}

// The client's query without the parameters the worker decides itself: the access level and the
// multimedia-cache decision always, the command where the prefix gives one. The viewer reads only the
// worker's own word; every other piece stays as the client wrote it, empty ones included.
std::string WithoutWorkerParams(const std::string& strQuery, const char* pszPrefix)
{
    const bool bWorkerCommand = StartsWithNoCase(pszPrefix, "?cmd=");
    std::string strOut;
    bool bFirst = true;
    ForEachQueryPiece(strQuery,
                      [&](const std::string& strPart)
                      {
                          const ci_string csName = ParamNameOf(strPart);
                          if (csName != OWA_LEVEL_PARAM && csName != CACHE_MULTIMEDIA_PARAM &&
                              !(bWorkerCommand && csName == COMMAND_PARAM))
                          {
                              if (!bFirst)
                                  strOut += '&';
                              strOut += strPart;
                              bFirst = false;
                          }
                      });
    return strOut;
}

size_t FindNoCase(const std::string& strText, const char* pszWhat)
{
    return ToCi(strText).find(pszWhat);
}

bool IsOn(CDLLContext* pContext, const std::string& strName)
{
    std::string strValue;
    return pContext->m_spRequestInfo->GetServerVariable(strName, strValue) && ToCi(strValue) == "on";
}

DWORD RewriteURL(CDLLContext* pContext, const char* pszOperation, const std::string& strNewURL)
{
    if (!CBaseNotifications::SetWorkerHeader(pContext, "URL", strNewURL.c_str()))
    {
        TraceLog(
            "[CAuthCompleteHelper::%s] CBaseNotifications::SetWorkerHeader failed when redirecting URL to "
            "<%s>.",
            pszOperation, strNewURL.c_str());
        return ERROR_ARENA_TRASHED;
    }
    TraceLog("[CAuthCompleteHelper::%s] URL was successfully redirected to <%s>", pszOperation,
             strNewURL.c_str());
    pContext->ControlMessage = CM_HANDLED_REDIRECTED;
    return ERROR_SUCCESS;
}
} // namespace

DWORD CAuthCompleteHelper::RedirectDorvelFakeRequest(CDLLContext* pContext, std::string& strURL,
                                                     std::string& strQueryString, BOOL bCacheMultimedia)
{
    TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] relative URL <%s>, QUERY_STRING <%s>, "
             "CacheMultimedia <%d>.",
             strURL.c_str(), strQueryString.c_str(), bCacheMultimedia);
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull())
    {
        TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] invalid pointers.");
        TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] returned <%d>.", ERROR_ARENA_TRASHED);
        return ERROR_ARENA_TRASHED;
    }
    // The level is worked out for one file; a viewer that read another of the names would open that one at
    // this level. The request's own query counts, before an "MMKey" query empties it.
    if (pContext->SubscriptionType == VIEWER_VIEW)
    {
        const size_t nFiles = CountViewerFileParams(strQueryString);
        if (nFiles > 1)
        {
            TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] The view request names <%d> files "
                     "(<%s> and <%s> in any spelling). Send '401 Access Denied' response.",
                     static_cast<int>(nFiles), "fn", "WR340U1");
            const DWORD dwSendRet = SendAccessDeniedResponse(pContext);
            // Even a refusal the host could not send ends the request: it must not reach the viewer.
            pContext->ControlMessage = CM_COMPLETED;
            TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] returned <%d>.",
                     static_cast<int>(dwSendRet));
            return dwSendRet;
        }
    }
    bool bCacheAllowed = false;
    if (strQueryString.size() >= 5 && StartsWithNoCase(strQueryString, "MMKey"))
    {
        const size_t nAmp = strQueryString.find('&');
        const std::string strRequestHash =
            strQueryString.substr(5, nAmp == std::string::npos ? std::string::npos : nAmp - 5);
        std::string strURLForHash = strURL;
        if (pContext->SubscriptionType == VIEWER_SHOW)
        {
            const size_t nMarker = FindNoCase(strURL, SHOW_MARKER);
            if (nMarker != std::string::npos)
                strURLForHash = strURL.substr(nMarker);
        }
        const std::string strHash = HashToDecimalString(strURLForHash.c_str());
        TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] URL for hash is <%s>, HASH: <%s>, Request "
                 "Hash:<%s> ",
                 strURLForHash.c_str(), strHash.c_str(), strRequestHash.c_str());
        const bool bSecure = IsOn(pContext, g_sHTTPS) || IsOn(pContext, g_sHTTP_Front_End_HTTPS);
        if (bSecure)
        {
            if (ToCi(strRequestHash) == ToCi(strHash))
            {
                bCacheAllowed = bCacheMultimedia != FALSE;
                TraceLog(
                    "[CAuthCompleteHelper::RedirectDorvelFakeRequest] Cache Multimedia for SSL. Hash match.");
            }
            else
                TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] Don't Cache Multimedia for SSL - "
                         "hashes "
                         "don't match");
        }
        strQueryString.clear();
    }
    else
        TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] qs is not a mm key.");

    // The viewer's commands differ only in the query prefix they put before the client's query string.
    const auto ProcessCmdOrTrace = [](CDLLContext* pCmdContext, const std::string& strQuery,
                                      const char* pszPrefix, const char* pszRequestName)
    {
        const DWORD dwCmd = ProcessCmd(pCmdContext, strQuery, pszPrefix);
        if (dwCmd != ERROR_SUCCESS)
            TraceLog(
                "[CAuthCompleteHelper::RedirectDorvelFakeRequest] ProcessCmd failed to redirect the fake %s.",
                pszRequestName);
        return dwCmd;
    };
    DWORD dwRet = ERROR_SUCCESS;
    switch (pContext->SubscriptionType)
    {
    case VIEWER_PRINT:
        dwRet = ProcessCmdOrTrace(pContext, strQueryString, "?cmd=print&path=", "print request");
        break;
    case VIEWER_SHOW:
    {
        const size_t nMarker = FindNoCase(strURL, SHOW_MARKER);
        if (nMarker == std::string::npos)
            break;
        const size_t nQuery = strURL.find('?');
        if (nQuery != std::string::npos)
        {
            strURL.erase(nQuery);
            TraceLog(
                "[CAuthCompleteHelper::RedirectDorvelFakeRequest] URL after removal of query string I-CHAIN "
                "<%s>",
                strURL.c_str());
        }
        const size_t nSubPath = nMarker + 15;
        if (nSubPath > strURL.size())
        {
            // The query string began before the show path: there is no file to show.
            dwRet = ERROR_INVALID_DATA;
        }
        else
            dwRet = ProcessShowRedirect(pContext, strURL.substr(nSubPath), bCacheAllowed);
        if (dwRet != ERROR_SUCCESS)
            TraceLog(
                "[CAuthCompleteHelper::RedirectDorvelFakeRequest] ProcessShowRedirect failed to redirect the "
                "fake show request.");
        break;
    }
    case VIEWER_VIEW:
        dwRet = ProcessCmdOrTrace(pContext, strQueryString, "?", "view request");
        break;
    case VIEWER_CLOSE:
        dwRet = ProcessCmdOrTrace(pContext, strQueryString, "?cmd=close&path=", "close request");
        break;
    case VIEWER_MENU:
        dwRet = ProcessCmdOrTrace(pContext, strQueryString, "?cmd=menu&", "menu request");
        break;
    case VIEWER_GETFILE:
        dwRet = ProcessCmdOrTrace(pContext, strQueryString, "?cmd=GetFile&", "GetFile.js request");
        break;
    default:
        break;
    }
    TraceLog("[CAuthCompleteHelper::RedirectDorvelFakeRequest] returned <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CAuthCompleteHelper::ProcessCmd(CDLLContext* pContext, const std::string& strQueryString,
                                      const char* pszPrefix)
{
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull() || pszPrefix == nullptr)
        dwRet = ERROR_ARENA_TRASHED;
    else
    {
        const std::string strQuery = WithoutWorkerParams(strQueryString, pszPrefix);
        std::string strLevel;
        if (pContext->SubscriptionType == VIEWER_VIEW)
        {
            std::string strFile;
            const char* pszParam = "fn";
            if (!pContext->m_spRequestInfo->GetParamValue("fn", strFile))
            {
                pszParam = "WR340U1";
                if (!pContext->m_spRequestInfo->GetParamValue("WR340U1", strFile))
                    pszParam = nullptr;
            }
            if (pszParam == nullptr)
            {
                TraceLog(
                    "[CAuthCompleteHelper::ProcessCmd] This is a conversion (/bin/view.htm) request, but the "
                    "request URL doesn't contain neither <%s> (filename) nor <%s> (relative path) query "
                    "string "
                    "parameter!",
                    "fn", "WR340U1");
                dwRet = ERROR_INVALID_DATA;
            }
            else if (!CStringOperation::Decode64(strFile))
            {
                TraceLog("[CAuthCompleteHelper::ProcessCmd] CStringOperation::Decode64() failed. File <%s>.",
                         strFile.c_str());
                dwRet = ERROR_INVALID_DATA;
            }
            else
            {
                const size_t nSlash = strFile.rfind('/');
                const std::string strFileName =
                    nSlash == std::string::npos ? strFile : strFile.substr(nSlash + 1);
                const size_t nDot = strFileName.rfind('.');
                const ci_string csExtension =
                    nDot == std::string::npos ? ci_string() : ToCi(strFileName.substr(nDot + 1));
                int nLevel = 0;
                const bool bPublic = (pContext->RequestFlags & RF_FBA_PUBLIC_CLIENT) != 0;
                dwRet = GetOWAFileAccessLevel(csExtension, bPublic, nLevel);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog(
                        "[CAuthCompleteHelper::ProcessCmd] CDLSWGeneralSettings::GetOWAFileAccessLevel() "
                        "failed. Filename <%s> Ext <%s>.",
                        strFileName.c_str(), csExtension.c_str());
                else
                {
                    TraceLog(
                        "[CAuthCompleteHelper::ProcessCmd] This is a conversion (/bin/view.htm) request. "
                        "Filename <%s> Ext <%s> OWA File access level is <%d>.",
                        strFileName.c_str(), csExtension.c_str(), nLevel);
                    strLevel = std::to_string(nLevel);
                }
            }
        }
        if (dwRet == ERROR_SUCCESS)
        {
            std::string strNewURL =
                "/" + GetVirtualFolderName() + VIEWER_PAGE + pszPrefix + SanitizeQueryString(strQuery);
            if (!strLevel.empty())
                strNewURL += std::string("&") + OWA_LEVEL_PARAM + "=" + strLevel;
            dwRet = RewriteURL(pContext, "ProcessCmd", strNewURL);
        }
    }
    TraceLog("[CAuthCompleteHelper::ProcessCmd] returned <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CAuthCompleteHelper::ProcessShowRedirect(CDLLContext* pContext, const std::string& strSubPath,
                                               bool bCacheMultimediaAllowed)
{
    TraceLog("[CAuthCompleteHelper::ProcessShowRedirect] sub path <%s>.", strSubPath.c_str());
    DWORD dwRet = ERROR_SUCCESS;
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull())
        dwRet = ERROR_ARENA_TRASHED;
    else
    {
        const CRequestInfo& requestInfo = *pContext->m_spRequestInfo;
        std::string strBuild;
        std::string strTheme;
        std::string strPreviewExpiry;
        const bool bBuildSet = requestInfo.GetParamValue("bld", strBuild) &&
                               requestInfo.GetParamValue("thm", strTheme) &&
                               requestInfo.GetParamValue("prexp", strPreviewExpiry);
        std::string strNewURL = "/" + GetVirtualFolderName() + VIEWER_PAGE +
                                "?cmd=show&cp2lta3=" + EncodeSubPath(strSubPath) +
                                "&CMC245=" + (bCacheMultimediaAllowed ? "1" : "0");
        const auto Copy = [&](const char* pszName, bool bPresent, const std::string& strValue)
        {
            if (bPresent)
                strNewURL += std::string("&") + pszName + "=" + EncodeQueryValue(strValue);
        };
        std::string strValue;
        Copy("aid", requestInfo.GetParamValue("aid", strValue), strValue);
        Copy("mid", requestInfo.GetParamValue("mid", strValue), strValue);
        Copy("bld", bBuildSet, strBuild);
        Copy("thm", bBuildSet, strTheme);
        Copy("prexp", bBuildSet, strPreviewExpiry);
        Copy("m65l64x", requestInfo.GetParamValue("m65l64x", strValue), strValue);
        dwRet = RewriteURL(pContext, "ProcessShowRedirect", strNewURL);
    }
    TraceLog("[CAuthCompleteHelper::ProcessShowRedirect] returned <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

size_t CAuthCompleteHelper::CountViewerFileParams(const std::string& strQueryString)
{
    size_t nFiles = 0;
    ForEachQueryPiece(strQueryString,
                      [&nFiles](const std::string& strPart)
                      {
                          const ci_string csName = ParamNameOf(strPart);
                          if (csName == "fn" || csName == "WR340U1")
                              ++nFiles;
                      });
    return nFiles;
}

DWORD CAuthCompleteHelper::StripClientViewerParams(CDLLContext* pContext)
{
    DWORD dwRet = ERROR_SUCCESS;
    std::string strURL;
    std::string strQuery;
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull())
    {
        TraceLog("[CAuthCompleteHelper::StripClientViewerParams] invalid pointers.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if (!pContext->m_spRequestInfo->GetServerVariable(g_sURL, strURL) ||
             !pContext->m_spRequestInfo->GetServerVariable(g_sQUERY_STRING, strQuery))
    {
        TraceLog("[CAuthCompleteHelper::StripClientViewerParams] Reading URL or QUERY_STRING failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        // The prefix without a command keeps the client's "cmd": the worker gave none here.
        const std::string strKept = WithoutWorkerParams(strQuery, "?");
        if (strKept == strQuery)
            TraceLog("[CAuthCompleteHelper::StripClientViewerParams] The viewer request goes on without the "
                     "worker's redirect. It holds neither <%s> nor <%s>.",
                     OWA_LEVEL_PARAM, CACHE_MULTIMEDIA_PARAM);
        else
        {
            // Rewritten, the URL is the worker's: nothing in it may end or split it.
            const std::string strPath = SanitizeQueryString(strURL);
            const std::string strNewURL =
                strKept.empty() ? strPath : strPath + "?" + SanitizeQueryString(strKept);
            TraceLog("[CAuthCompleteHelper::StripClientViewerParams] The viewer request goes on without the "
                     "worker's redirect. The client's <%s> and <%s> are removed: <%s>.",
                     OWA_LEVEL_PARAM, CACHE_MULTIMEDIA_PARAM, strNewURL.c_str());
            if (!CBaseNotifications::SetWorkerHeader(pContext, "URL", strNewURL.c_str()))
            {
                TraceLog("[CAuthCompleteHelper::StripClientViewerParams] CBaseNotifications::SetWorkerHeader "
                         "failed when rewriting URL to <%s>.",
                         strNewURL.c_str());
                dwRet = ERROR_ARENA_TRASHED;
            }
        }
    }
    TraceLog("[CAuthCompleteHelper::StripClientViewerParams] returned <%d>.", static_cast<int>(dwRet));
    return dwRet;
}
