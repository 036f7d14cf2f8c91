#include "forms/DocumentViewForceSaveErrorForm.h"

#include "common/SharedConstants.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "forms/WebLinkHost.h"
#include "request/NotificationsHelper.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace
{
constexpr const char* FILE_ID_HASH_KEY = "fidh";

constexpr const char* STATUS_LINE = "HTTP/1.1 302 Object Moved\r\n";
constexpr const char* CONNECTION_LINE = "Connection: close\r\n";
// One fixed text: its order is not that of the no-cache headers the send-response handler adds.
constexpr const char* FIXED_HEADERS = "X-KSProduct: DL_SW\r\n"
                                      "Pragma: no-cache\r\n"
                                      "Cache-control: no-cache\r\n"
                                      "Cache-control: must-revalidate\r\n"
                                      "Cache-control: max-age=0\r\n"
                                      "Cache-control: no-store\r\n"
                                      "Cache-control: private\r\n"
                                      "Cache-control: proxy-revalidate\r\n"
                                      "Cache-control: s-maxage=0\r\n"
                                      "Content-Type: text/html\r\n"
                                      "\r\n";
static_assert(std::char_traits<char>::length(STATUS_LINE) + std::char_traits<char>::length(CONNECTION_LINE) +
                  std::char_traits<char>::length(FIXED_HEADERS) ==
              303);

// The scheme of an absolute link ("javascript" of "javascript:x"); empty for a relative one.
std::string SchemeOf(const std::string& sLink)
{
    if (sLink.empty() || !std::isalpha(static_cast<unsigned char>(sLink[0])))
        return std::string();
    for (size_t n = 1; n < sLink.size(); ++n)
    {
        const auto c = static_cast<unsigned char>(sLink[n]);
        if (c == ':')
            return sLink.substr(0, n);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            break;
    }
    return std::string();
}

} // namespace

CDLDocumentViewForceSaveErrorForm::CDLDocumentViewForceSaveErrorForm(CSWFormContext* pFormContext)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLDocumentViewForceSaveErrorForm", "Starts.");
    CheckPageElements("CDLDocumentViewForceSaveErrorForm");
    LogConstructorEnd("CDLDocumentViewForceSaveErrorForm", false);
}

const char* CDLDocumentViewForceSaveErrorForm::RefusedLink(const std::string& sURL,
                                                           const std::string& sOwnHost)
{
    // A line break would end the Location header and start a header, or a body, of the page's choosing.
    for (char c : sURL)
    {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return "holds a control character";
    }
    // The browser reads the link as it is sent, not as the page wrote it: a backslash written as "%5C"
    // no longer ends the host, and an "@" after it then makes the name before it a user's.
    std::string sHost;
    switch (CWebLinkHost::Read(LocationText(sURL), sHost))
    {
    case CWebLinkHost::EKind::OwnServer:
        return nullptr;
    case CWebLinkHost::EKind::NotWeb:
        return "is no web link";
    case CWebLinkHost::EKind::Unreadable:
        return "names no server a browser can read";
    case CWebLinkHost::EKind::Host:
        break;
    }
    std::string sOwnName;
    if (!CWebLinkHost::ReadHostAndPort(sOwnHost, sOwnName) || sHost != sOwnName)
        return "names another server";
    return nullptr;
}

std::string CDLDocumentViewForceSaveErrorForm::JoinBasePath(const std::string& sBasePath,
                                                            const std::string& sLink)
{
    if (sBasePath.empty() || (!sLink.empty() && sLink[0] == '/') || !SchemeOf(sLink).empty())
        return sLink;
    std::string sURL = sBasePath;
    if (sURL.back() != '/')
        sURL += '/';
    sURL += sLink;
    return sURL;
}

std::string CDLDocumentViewForceSaveErrorForm::LocationText(const std::string& sURL)
{
    static const char* const s_pszHex = "0123456789ABCDEF";
    std::string sOut;
    sOut.reserve(sURL.size());
    for (char c : sURL)
    {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr)
        {
            sOut += '%';
            sOut += s_pszHex[b >> 4];
            sOut += s_pszHex[b & 0xF];
        }
        else
            sOut += c;
    }
    return sOut;
}

bool CDLDocumentViewForceSaveErrorForm::GetFileIDHashValue(const std::string& sHref, std::string& sHash)
{
    sHash.clear();
    std::string sValue;
    if (!CNotificationsHelper::GetURLParamValue(sHref, "URL", sValue))
    {
        TraceLog("[CDLDocumentViewForceSaveErrorForm::GetFileIDHashValue] GetURLParamValue() failed. URL "
                 "<%s> Param "
                 "<%s>.",
                 sHref.c_str(), "URL");
        return false;
    }
    if (sValue.empty())
    {
        TraceLog("[CDLDocumentViewForceSaveErrorForm::GetFileIDHashValue] Param <%s> in <%s> URL is empty.",
                 "URL", sHref.c_str());
        return false;
    }
    sHash = HashToDecimalString(sValue.c_str());
    return true;
}

bool CDLDocumentViewForceSaveErrorForm::CreateReplaceBufferForRedirectResponse(const std::string& sURL,
                                                                               char** ppBuffer,
                                                                               DWORD* pdwLength)
{
    *ppBuffer = nullptr;
    *pdwLength = 0;
    // The URL is one header value and one attribute value, and reads the same in both.
    const std::string sLocation = LocationText(sURL);
    std::string sBody =
        "<head><title>Document Moved</title></head><body><h1>Object Moved</h1>This document may "
        "be found <a HREF=\"";
    sBody += CPageEscape::Utf8().HtmlAttribute(sLocation);
    sBody += "\">here</a></body>";
    std::string sResponse;
    sResponse.reserve(sBody.size() + 2 * sLocation.size() + 512);
    sResponse += STATUS_LINE;
    sResponse += "Location:";
    sResponse += sLocation;
    sResponse += "\r\n";
    sResponse += "Content-Length:";
    sResponse += std::to_string(sBody.size());
    sResponse += "\r\n";
    sResponse += CONNECTION_LINE;
    sResponse += FIXED_HEADERS;
    sResponse += sBody;
    if (sResponse.size() > UINT32_MAX)
    {
        TraceLog("[CDLDocumentViewForceSaveErrorForm::CreateReplaceBufferForRedirectResponse] The response "
                 "of <%u> "
                 "bytes and more does not fit the record.",
                 UINT32_MAX);
        return false;
    }
    char* pBuffer = new char[sResponse.size()];
    std::memcpy(pBuffer, sResponse.data(), sResponse.size());
    *ppBuffer = pBuffer;
    *pdwLength = static_cast<DWORD>(sResponse.size());
    TraceLog("[CDLDocumentViewForceSaveErrorForm::CreateReplaceBufferForRedirectResponse] Allocated <%d> "
             "bytes for "
             "replace buffer at <%p>.",
             static_cast<int>(*pdwLength), static_cast<void*>(pBuffer));
    return true;
}

DWORD CDLDocumentViewForceSaveErrorForm::Process()
{
    TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] Starts.");
    CDLLContext* pContext = m_pFormContext->m_pContext;
    // A buffer of an earlier attempt would go unfreed once the pointer is cleared.
    delete[] pContext->ReplaceBuffer;
    pContext->ReplaceBuffer = nullptr;
    pContext->ReplaceBufferLength = 0;
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        dwRet = [&]() -> DWORD
        {
            const CDOMStartTag link = m_pFormContext->m_spDom->getBody().getFirstStartTagByTagName("A");
            if (link.isEmpty())
            {
                TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] <A> tag was not found inside <BODY> "
                         "element!");
                return ERROR_INVALID_DATA;
            }
            const CDOMAttribute href = link.getAttribute("href");
            if (href.isEmpty() || !href.hasValue() || href.getValue().empty())
            {
                std::string sHtml;
                link.getHTML(sHtml);
                TraceLog(
                    "[CDLDocumentViewForceSaveErrorForm::Process] href atribute is missing or empty <%s>.",
                    sHtml.c_str());
                return ERROR_INVALID_DATA;
            }
            // The link as the browser would follow it; a fragment stays behind the parameters.
            std::string sLink = CHtmlText::DecodeCharacterReferences(href.getValue(), PageEscape());
            std::string sFragment;
            if (const size_t nHash = sLink.find('#'); nHash != std::string::npos)
            {
                sFragment = sLink.substr(nHash);
                sLink.erase(nHash);
            }
            std::string sHash;
            if (!GetFileIDHashValue(sLink, sHash))
            {
                TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] GetFileIDHashValue(0 failed.");
                return ERROR_INVALID_DATA;
            }
            const std::string sURL = JoinBasePath(pContext->m_spExchangeURL->m_strBasePath, sLink) + "&" +
                                     FILE_ID_HASH_KEY + "=" + sHash + sFragment;
            // The redirect as it goes out is checked, base path and all: a request path of "//host/..."
            // would otherwise make a relative link another server's.
            std::string sOwnHost;
            pContext->m_spRequestInfo->GetServerVariable(g_sHTTP_HOST, sOwnHost);
            if (const char* pszRefusal = RefusedLink(sURL, sOwnHost))
            {
                TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] The link %s; the error page goes out "
                         "as it is.",
                         pszRefusal);
                return ERROR_INVALID_DATA;
            }
            if (!CreateReplaceBufferForRedirectResponse(sURL, &pContext->ReplaceBuffer,
                                                        &pContext->ReplaceBufferLength))
            {
                TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] "
                         "CreateReplaceBufferForRedirectResponse() failed.");
                return ERROR_ARENA_TRASHED;
            }
            pContext->ControlMessage = CM_REPLACE;
            return ERROR_SUCCESS;
        }();
    }
    catch (const CDOMParserException& e)
    {
        dwRet = ERROR_ARENA_TRASHED;
        TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
    }
    TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] %s", std::string(76, '*').c_str());
    TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] *** Replacing <%s> form buffer %s! ***",
             m_pFormContext != nullptr ? m_pFormContext->m_csTemplateName.c_str() : "NULL",
             dwRet != ERROR_SUCCESS ? "FAILED" : "SUCCEEDED");
    TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] %s", std::string(75, '*').c_str());
    TraceLog("[CDLDocumentViewForceSaveErrorForm::Process] returned dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}
