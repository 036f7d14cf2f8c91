// Everything the host keeps for one request while it runs through the worker: the per-request record,
// the filter context and notification structures whose call-backs answer the worker, the call-back
// table, and the request and response as the worker's changes leave them.
#pragma once

#include "contract/DLLContext.h"
#include "host/HostRequest.h"
#include "platform/HttpFilter.h"

#include <cstring>
#include <string>

class CHostRequestState
{
public:
    CHostRequestState(const CHostRequestState&) = delete;
    CHostRequestState& operator=(const CHostRequestState&) = delete;
    CHostRequestState(const CHostRequest& request, CHostResult& result);

    void Deliver(DWORD (*pfnHttpFilterProc)(CDLLContext*), DWORD dwType);
    bool Stopped() const
    {
        return m_context.ControlMessage == CM_IGNORE || m_context.ControlMessage == CM_COMPLETED;
    }
    void Finish();

    CDLLContext& Record() { return m_context; }
    HTTP_FILTER_CONTEXT* FilterContext() { return &m_filterContext; }

    static CHostRequestState* FromFilterContext(HTTP_FILTER_CONTEXT* pfc)
    {
        return pfc != nullptr ? static_cast<CHostRequestState*>(pfc->ServerContext) : nullptr;
    }
    static CHostRequestState* FromRecord(CDLLContext* pContext)
    {
        CHostRequestState* pState = nullptr;
        if (pContext != nullptr)
            std::memcpy(&pState, pContext->m_abHostReserved0, sizeof(pState));
        return pState;
    }

    // Points words 15, 16, 17, 19 and 21 of apWords at the page's first HTML, HEAD and BODY start tags and
    // HEAD and BODY end tags as the browser's tokenizer reads strBody (whose bytes pData holds), never at a
    // look-alike inside an attribute value, a comment or a script; a word stays as it was where none is.
    static void MarkTags(const std::string& strBody, char* pData, char** apWords);

private:
    static BOOL GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize);
    static BOOL GetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize);
    static BOOL SetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue);
    static BOOL AddHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue);
    // The start SetHeader and AddHeader share: checks the arguments and records the change among the
    // request's or the response's. Null, with the last error set, when the arguments are bad.
    static CHostRequestState* RecordHeaderChange(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue,
                                                 bool bAdded);
    static DWORD SubmitBufferCommands(CDLLContext* pContext, CBufferInstructionList* pList);
    static DWORD SendResponse(CDLLContext* pContext, const char* pszResponse, DWORD* pdwLength,
                              CCoreServicesTable* pTable);

    bool InRequestNotification() const
    {
        return m_context.NotificationType == SF_NOTIFY_PREPROC_HEADERS ||
               m_context.NotificationType == SF_NOTIFY_AUTH_COMPLETE;
    }
    HeaderList& CurrentHeaders()
    {
        return InRequestNotification() ? m_result.m_vecRequestHeaders : m_result.m_vecResponseHeaders;
    }
    bool LookUpServerVariable(const std::string& strName, std::string& strValue) const;
    void PointIntoBody();

    CHostResult& m_result;
    // The response body as it came: the worker reads it where the request holds it and edits it only
    // through instructions, so the host writes the body that goes out once, when it knows what that is.
    const std::string& m_strDeliveredBody;
    bool m_bBodyWritten = false; // m_result.m_strBody holds the body that goes out
    std::string m_strClientAddress;
    std::string m_strUser;
    CDLLContext m_context{};
    HTTP_FILTER_CONTEXT m_filterContext{};
    HTTP_FILTER_PREPROC_HEADERS m_preprocHeaders{};
    HTTP_FILTER_AUTH_COMPLETE_INFO m_authComplete{};
    HTTP_FILTER_SEND_RESPONSE m_sendResponse{};
    CCoreServicesTable m_coreServices{};
    char* m_apCommonPointers[COMMON_POINTER_WORDS] = {};
    std::string m_strContentType;
};
