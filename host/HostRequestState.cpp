#include "host/HostRequestState.h"

#include "contract/BufferInstruction.h"
#include "contract/FilterVersion.h"
#include "contract/RequestInfo.h"
#include "contract/TokenScan.h"
#include "host/BufferApplier.h"
#include "platform/WinMemory.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
constexpr DWORD ERROR_INVALID_INDEX = 1413;

bool FindHeader(const HeaderList& headers, const std::string& strName, std::string& strValue)
{
    for (const auto& header : headers)
    {
        if (RawRequest::EqualsNoCase(header.first, strName))
        {
            strValue = header.second;
            return true;
        }
    }
    return false;
}

std::string WithoutColon(const char* pszName)
{
    std::string strName = pszName != nullptr ? pszName : "";
    if (!strName.empty() && strName.back() == ':')
        strName.pop_back();
    return strName;
}

// The two-call protocol: without room for the value and its terminator the caller learns the size.
BOOL CopyOut(const std::string& strValue, LPVOID pvBuffer, DWORD* pdwSize)
{
    if (pdwSize == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD dwNeeded = static_cast<DWORD>(strValue.size() + 1);
    if (pvBuffer == nullptr || *pdwSize < dwNeeded)
    {
        *pdwSize = dwNeeded;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pvBuffer, strValue.c_str(), dwNeeded);
    *pdwSize = dwNeeded;
    return TRUE;
}

// An opening (a '<', the tag's name, three bytes or more) to look for in any case.
struct SOpening
{
    explicit SOpening(const char* pszOpening) : m_pszOpening(pszOpening), m_nLength(std::strlen(pszOpening))
    {
        for (size_t i = 0; i < 3; ++i)
        {
            const auto c = static_cast<unsigned char>(pszOpening[i]);
            m_acHead[i] = c;
            m_acFold[i] = c >= 'a' && c <= 'z' ? 0x20 : 0;
        }
    }

    bool HeadAt(const char* p) const
    {
        for (size_t i = 0; i < 3; ++i)
        {
            if ((static_cast<unsigned char>(p[i]) | m_acFold[i]) != m_acHead[i])
                return false;
        }
        return true;
    }

    // The first place at or after p where the opening's first three bytes stand, or nullptr. Pages run to
    // megabytes with a tag every few bytes, and the body's end tag stands near the end: sixteen places are
    // looked at together, so that a page costs a branch per sixteen bytes, not one per tag.
    const char* NextHead(const char* p, const char* pEnd) const
    {
#if defined(__SSE2__)
        const __m128i v0 = _mm_set1_epi8(static_cast<char>(m_acHead[0]));
        const __m128i v1 = _mm_set1_epi8(static_cast<char>(m_acHead[1]));
        const __m128i v2 = _mm_set1_epi8(static_cast<char>(m_acHead[2]));
        const __m128i f1 = _mm_set1_epi8(static_cast<char>(m_acFold[1]));
        const __m128i f2 = _mm_set1_epi8(static_cast<char>(m_acFold[2]));
        for (; pEnd - p >= 18; p += 16)
        {
            const auto* pv = reinterpret_cast<const __m128i*>(p);
            const __m128i vHit = _mm_and_si128(
                _mm_cmpeq_epi8(_mm_loadu_si128(pv), v0),
                _mm_and_si128(
                    _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), f1),
                                   v1),
                    _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)), f2),
                                   v2)));
            if (const int nMask = _mm_movemask_epi8(vHit); nMask != 0)
                return p + __builtin_ctz(static_cast<unsigned>(nMask));
        }
#endif
        for (; pEnd - p >= 3; ++p)
        {
            if (HeadAt(p))
                return p;
        }
        return nullptr;
    }

    // Whether the tag the opening begins stands at p: the name is followed by a space, a '/' or the '>', or
    // by the end of the text.
    bool StartsAt(const char* p, const char* pEnd) const
    {
        if (static_cast<size_t>(pEnd - p) < m_nLength || strncasecmp(p, m_pszOpening, m_nLength) != 0)
            return false;
        const char c = p + m_nLength < pEnd ? p[m_nLength] : '>';
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
    }

    const char* m_pszOpening;
    size_t m_nLength;
    unsigned char m_acHead[3] = {};
    unsigned char m_acFold[3] = {};
};

} // namespace

CHostRequestState::CHostRequestState(const CHostRequest& request, CHostResult& result)
    : m_result(result), m_strDeliveredBody(request.m_strResponseBody),
      m_strClientAddress(request.m_strClientAddress), m_strUser(request.m_strUser)
{
    result.m_strMethod = request.m_raw.m_strMethod;
    result.m_strURL = request.m_raw.m_strURL;
    result.m_strVersion = request.m_raw.m_strVersion;
    result.m_vecRequestHeaders = request.m_raw.m_vecHeaders;
    result.m_dwStatus = request.m_dwResponseStatus;
    result.m_vecResponseHeaders = request.m_vecResponseHeaders;
    result.m_dwSubscriptionType =
        request.m_bSubscriptionTypeSet
            ? request.m_dwSubscriptionType
            : RawRequest::DeriveSubscriptionType(request.m_raw.m_strURL, request.m_strVirtualFolder);
    result.m_dwCriteriaID = request.m_dwCriteriaID;

    // The request information is the host's snapshot of the request as it arrived.
    m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
    CRequestInfo* pRequestInfo = m_context.m_spRequestInfo.Get();
    for (const auto& param : RawRequest::ParseQuery(RawRequest::QueryOf(request.m_raw.m_strURL)))
        pRequestInfo->AddParam(param.first, param.second);
    pRequestInfo->SetServerVariable("HTTP_URL", request.m_raw.m_strURL);
    pRequestInfo->SetServerVariable("URL", RawRequest::PathOf(request.m_raw.m_strURL));
    pRequestInfo->SetServerVariable("QUERY_STRING", RawRequest::QueryOf(request.m_raw.m_strURL));
    pRequestInfo->SetServerVariable("HTTP_METHOD", request.m_raw.m_strMethod);
    pRequestInfo->SetServerVariable("HTTP_VERSION", request.m_raw.m_strVersion);
    pRequestInfo->SetServerVariable("REMOTE_ADDR", request.m_strClientAddress);
    pRequestInfo->SetServerVariable("HTTPS", "off");
    // Present even when the browser sent none, so such a request is still classified.
    pRequestInfo->SetServerVariable("HTTP_USER_AGENT", "");
    pRequestInfo->SetServerVariable("HTTP_COOKIE", "");
    for (const auto& header : request.m_raw.m_vecHeaders)
    {
        std::string strKey = "HTTP_";
        for (char c : header.first)
            strKey += (c == '-') ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        pRequestInfo->SetServerVariable(strKey, header.second);
        // The worker asks for these two under names of their own.
        if (RawRequest::EqualsNoCase(header.first, "Front-End-Https"))
            pRequestInfo->SetServerVariable("HTTP_Front-End-HTTPS", header.second);
        if (RawRequest::EqualsNoCase(header.first, "Accept-Language"))
            pRequestInfo->SetServerVariable("HTTP_ACCEPT-LANGUAGE", header.second);
    }

    m_context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
    m_context.m_spOutboundContext->HttpStatus = request.m_dwResponseStatus;
    m_context.m_spOutboundContext->m_pCommonPointers = m_apCommonPointers;

    m_context.m_spExchangeURL = CCountedPtr<CExchangeURL>(new CExchangeURL());
    CExchangeURL* pExchangeURL = m_context.m_spExchangeURL.Get();
    std::string strHost = "localhost";
    FindHeader(request.m_raw.m_vecHeaders, "Host", strHost);
    const std::string strPath = RawRequest::PathOf(request.m_raw.m_strURL);
    const size_t nSecond = strPath.find('/', 1);
    pExchangeURL->m_strRootURL =
        "http://" + strHost + (nSecond != std::string::npos ? strPath.substr(0, nSecond + 1) : "/");
    pExchangeURL->m_strBasePath = strPath.substr(0, strPath.rfind('/') + 1);

    CHostRequestState* pSelf = this;
    std::memcpy(m_context.m_abHostReserved0, &pSelf, sizeof(pSelf));
    m_context.ControlMessage = CM_NONE;
    m_context.CriteriaID = request.m_dwCriteriaID;
    m_context.SubscriptionType = result.m_dwSubscriptionType;
    m_context.CoreServices = &m_coreServices;
    m_context.pfc = &m_filterContext;

    m_filterContext.cbSize = sizeof(m_filterContext);
    m_filterContext.Revision = DLSW_FILTER_REVISION;
    m_filterContext.ServerContext = this;
    m_filterContext.GetServerVariable = &CHostRequestState::GetServerVariable;
    m_preprocHeaders = {&CHostRequestState::GetHeader, &CHostRequestState::SetHeader,
                        &CHostRequestState::AddHeader, 0, 0};
    m_authComplete = {&CHostRequestState::GetHeader,
                      &CHostRequestState::SetHeader,
                      &CHostRequestState::AddHeader,
                      nullptr,
                      0,
                      FALSE,
                      0};
    m_sendResponse = m_preprocHeaders;
    m_sendResponse.HttpStatus = request.m_dwResponseStatus;
    if (request.m_bOfferSubmitEntry)
        m_coreServices.SubmitBufferCommands = &CHostRequestState::SubmitBufferCommands;
    m_coreServices.SendResponse = &CHostRequestState::SendResponse;
}

void CHostRequestState::MarkTags(const std::string& strBody, char* pData, char** apWords)
{
    // The first of each tag as the browser's tokenizer reads the page, never one written inside another
    // tag's attribute value, a comment or a script: the first place it is written at that the page's scan
    // finds a token start.
    static const struct
    {
        size_t nWord;
        const char* pszTag;
    } s_words[] = {{15, "<html"}, {16, "<head"}, {17, "</head"}, {19, "<body"}, {21, "</body"}};
    CTokenScan scan;
    scan.Scan(strBody.data(), 0, strBody.size());
    const char* const pBegin = strBody.data();
    const char* const pEnd = pBegin + strBody.size();
    for (const auto& word : s_words)
    {
        const SOpening opening(word.pszTag);
        for (const char* p = opening.NextHead(pBegin, pEnd); p != nullptr; p = opening.NextHead(p + 1, pEnd))
        {
            if (scan.IsTokenStart(static_cast<uint64_t>(p - pBegin)) && opening.StartsAt(p, pEnd))
            {
                apWords[word.nWord] = pData + (p - pBegin);
                break;
            }
        }
    }
}

void CHostRequestState::PointIntoBody()
{
    std::fill(std::begin(m_apCommonPointers), std::end(m_apCommonPointers), nullptr);
    // A page of megabytes is not copied before the worker has seen it: it reads the page in place.
    const std::string& strBody = m_bBodyWritten ? m_result.m_strBody : m_strDeliveredBody;
    char* pData = const_cast<char*>(strBody.data());
    m_apCommonPointers[1] = pData;
    m_apCommonPointers[2] = strBody.empty() ? nullptr : pData + strBody.size() - 1;
    MarkTags(strBody, pData, m_apCommonPointers);
    // The character set as the response's Content-Type declares it.
    if (FindHeader(m_result.m_vecResponseHeaders, "Content-Type", m_strContentType))
    {
        m_apCommonPointers[3] = m_strContentType.data();
        m_apCommonPointers[5] = reinterpret_cast<char*>(static_cast<uintptr_t>(m_strContentType.size()));
    }
}

void CHostRequestState::Deliver(DWORD (*pfnHttpFilterProc)(CDLLContext*), DWORD dwType)
{
    m_context.NotificationType = dwType;
    switch (dwType)
    {
    case SF_NOTIFY_PREPROC_HEADERS:
        m_context.pvNotification = &m_preprocHeaders;
        break;
    case SF_NOTIFY_AUTH_COMPLETE:
        m_context.pvNotification = &m_authComplete;
        break;
    case SF_NOTIFY_SEND_RESPONSE:
        m_context.pvNotification = &m_sendResponse;
        break;
    case SF_NOTIFY_SEND_RAW_DATA:
        PointIntoBody();
        m_context.pvNotification = nullptr;
        break;
    default:
        m_context.pvNotification = nullptr;
        break;
    }
    CNotificationRecord record;
    record.m_dwType = dwType;
    record.m_dwCode = pfnHttpFilterProc(&m_context);
    record.m_dwControlMessage = m_context.ControlMessage;
    m_result.m_vecNotifications.push_back(record);
    if (dwType == SF_NOTIFY_SEND_RAW_DATA && m_context.ControlMessage == CM_REPLACE &&
        m_context.ReplaceBuffer != nullptr)
    {
        m_result.m_strBody.assign(m_context.ReplaceBuffer, m_context.ReplaceBufferLength);
        m_result.m_bBodyReplaced = true;
        m_bBodyWritten = true;
    }
}

void CHostRequestState::Finish()
{
    if (!m_bBodyWritten)
    {
        m_result.m_strBody = m_strDeliveredBody;
        m_bBodyWritten = true;
    }
    m_result.m_dwRequestFlags = m_context.RequestFlags;
    m_result.m_dwSettingID = m_context.SettingID;
    // Whatever end of request left behind is the host's to free.
    delete[] m_context.ReplaceBuffer;
    m_context.ReplaceBuffer = nullptr;
}

bool CHostRequestState::LookUpServerVariable(const std::string& strName, std::string& strValue) const
{
    const std::string& strURL = m_result.m_strURL;
    if (strName == "URL" || strName == "PATH_INFO")
        strValue = RawRequest::PathOf(strURL);
    else if (strName == "QUERY_STRING")
        strValue = RawRequest::QueryOf(strURL);
    else if (strName == "HTTP_URL")
        strValue = strURL;
    else if (strName == "HTTP_METHOD" || strName == "REQUEST_METHOD")
        strValue = m_result.m_strMethod;
    else if (strName == "HTTP_VERSION" || strName == "SERVER_PROTOCOL")
        strValue = m_result.m_strVersion;
    else if (strName == "REMOTE_ADDR" || strName == "REMOTE_HOST")
        strValue = m_strClientAddress;
    else if (strName == "AUTH_USER" || strName == "LOGON_USER" || strName == "REMOTE_USER")
        strValue = m_strUser;
    else if (strName == "AUTH_TYPE")
        strValue = m_strUser.empty() ? "" : "Negotiate";
    else if (strName == "HTTPS")
        strValue = "off";
    else if (strName == "SERVER_PORT")
        strValue = "80";
    else if (strName == "SERVER_PORT_SECURE")
        strValue = "0";
    else if (strName == "INSTANCE_ID")
        strValue = "1";
    else if (strName == "SERVER_NAME")
    {
        strValue = "localhost";
        FindHeader(m_result.m_vecRequestHeaders, "Host", strValue);
    }
    else if (strName == "ALL_RAW")
    {
        strValue.clear();
        for (const auto& header : m_result.m_vecRequestHeaders)
            strValue += header.first + ": " + header.second + "\r\n";
    }
    else if (RawRequest::StartsWithNoCase(strName, "HEADER_"))
        return FindHeader(m_result.m_vecRequestHeaders, strName.substr(7), strValue);
    else if (RawRequest::StartsWithNoCase(strName, "HTTP_"))
    {
        // HTTP_X_NAME is the header X-Name.
        std::string strHeader = strName.substr(5);
        for (char& c : strHeader)
        {
            if (c == '_')
                c = '-';
        }
        return FindHeader(m_result.m_vecRequestHeaders, strHeader, strValue);
    }
    else
        return false;
    return true;
}

BOOL CHostRequestState::GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPVOID pvBuffer,
                                          DWORD* pdwSize)
{
    CHostRequestState* pState = FromFilterContext(pfc);
    if (pState == nullptr || pszName == nullptr || pdwSize == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string strValue;
    if (!pState->LookUpServerVariable(pszName, strValue))
    {
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }
    return CopyOut(strValue, pvBuffer, pdwSize);
}

BOOL CHostRequestState::GetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize)
{
    CHostRequestState* pState = FromFilterContext(pfc);
    if (pState == nullptr || pszName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string strName = WithoutColon(pszName);
    std::string strValue;
    if (pState->InRequestNotification() && RawRequest::EqualsNoCase(strName, "url"))
        strValue = pState->m_result.m_strURL;
    else if (!FindHeader(pState->CurrentHeaders(), strName, strValue))
    {
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }
    return CopyOut(strValue, pvBuffer, pdwSize);
}

CHostRequestState* CHostRequestState::RecordHeaderChange(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName,
                                                         LPSTR pszValue, bool bAdded)
{
    CHostRequestState* pState = FromFilterContext(pfc);
    if (pState == nullptr || pszName == nullptr || pszValue == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CHostResult& result = pState->m_result;
    const bool bRequest = pState->InRequestNotification();
    std::vector<CHeaderChange>& vecChanges =
        bAdded ? (bRequest ? result.m_vecRequestHeadersAdded : result.m_vecResponseHeadersAdded)
               : (bRequest ? result.m_vecRequestHeadersSet : result.m_vecResponseHeadersSet);
    vecChanges.push_back(CHeaderChange{pState->m_context.NotificationType, pszName, pszValue, TRUE});
    return pState;
}

BOOL CHostRequestState::SetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue)
{
    CHostRequestState* pState = RecordHeaderChange(pfc, pszName, pszValue, false);
    if (pState == nullptr)
        return FALSE;
    const std::string strName = WithoutColon(pszName);
    if (pState->InRequestNotification() && RawRequest::EqualsNoCase(strName, "url"))
    {
        pState->m_result.m_strURL = pszValue;
        return TRUE;
    }
    HeaderList& headers = pState->CurrentHeaders();
    // The first header of that name takes the value, later ones go; an empty value removes them all.
    bool bSet = false;
    for (auto it = headers.begin(); it != headers.end();)
    {
        if (!RawRequest::EqualsNoCase(it->first, strName))
        {
            ++it;
            continue;
        }
        if (!bSet && *pszValue != '\0')
        {
            it->second = pszValue;
            bSet = true;
            ++it;
        }
        else
        {
            it = headers.erase(it);
        }
    }
    if (!bSet && *pszValue != '\0')
        headers.emplace_back(strName, pszValue);
    return TRUE;
}

BOOL CHostRequestState::AddHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue)
{
    CHostRequestState* pState = RecordHeaderChange(pfc, pszName, pszValue, true);
    if (pState == nullptr)
        return FALSE;
    pState->CurrentHeaders().emplace_back(WithoutColon(pszName), pszValue);
    return TRUE;
}

DWORD CHostRequestState::SubmitBufferCommands(CDLLContext* pContext, CBufferInstructionList* pList)
{
    CHostRequestState* pState = FromRecord(pContext);
    if (pState == nullptr || pList == nullptr)
        return ERROR_INVALID_PARAMETER;
    CHostResult& result = pState->m_result;
    result.m_bInstructionsSubmitted = true;
    result.m_nInstructions = static_cast<size_t>(pList->Count());
    const auto uBase = reinterpret_cast<uintptr_t>(pState->m_apCommonPointers[1]);
    for (const auto* pNode = pList->Sentinel()->m_pNext; pNode != pList->Sentinel(); pNode = pNode->m_pNext)
    {
        const CBufferInstruction* pInstruction = pNode->m_spInstruction.Get();
        if (pInstruction == nullptr)
            continue;
        CHostInstruction instruction;
        instruction.m_dwKind = pInstruction->m_dwKind;
        instruction.m_llPosition = static_cast<long long>(pInstruction->m_ullPosition - uBase);
        if (pInstruction->m_dwKind == BI_INSERT && pInstruction->m_pszText != nullptr)
            instruction.m_strText = pInstruction->m_pszText;
        instruction.m_dwLength = pInstruction->m_dwLength;
        result.m_vecInstructions.push_back(std::move(instruction));
    }
    if (pState->m_bBodyWritten)
    {
        result.m_dwSubmitResult = ApplyBufferInstructions(*pList, pState->m_apCommonPointers[1],
                                                          result.m_strBody, result.m_strSubmitError);
    }
    else
    {
        // The edited page is written straight from the body as it came, in one pass.
        result.m_dwSubmitResult =
            ApplyBufferInstructions(*pList, pState->m_apCommonPointers[1], pState->m_strDeliveredBody,
                                    result.m_strBody, result.m_strSubmitError);
        pState->m_bBodyWritten = result.m_dwSubmitResult == ERROR_SUCCESS;
    }
    return result.m_dwSubmitResult;
}

DWORD CHostRequestState::SendResponse(CDLLContext* pContext, const char* pszResponse, DWORD* pdwLength,
                                      CCoreServicesTable* /*pTable*/)
{
    CHostRequestState* pState = FromRecord(pContext);
    if (pState == nullptr || pszResponse == nullptr)
        return ERROR_INVALID_PARAMETER;
    pState->m_result.m_bResponseSent = true;
    if (pdwLength != nullptr)
        pState->m_result.m_strResponseSent.assign(pszResponse, *pdwLength);
    else
        pState->m_result.m_strResponseSent = pszResponse;
    return ERROR_SUCCESS;
}
