// A request at authentication complete as a server hands it over: the host's request information, server
// variables read through the filter context, header call-backs that record what the worker set, and a
// send call-back that keeps the response. Tests and benchmarks drive the handler with it in process.
#pragma once

#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "platform/WinSync.h"
#include "request/DLSWContext.h"

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CAuthRequest
{
public:
    // A GET of pszURL (path and query) classified with dwFlags and dwSubscriptionType.
    explicit CAuthRequest(const std::string& strURL = "/owa/attachment.ashx", DWORD dwFlags = 0,
                          DWORD dwSubscriptionType = 5)
    {
        m_context.NotificationType = SF_NOTIFY_AUTH_COMPLETE;
        m_context.RequestFlags = dwFlags;
        m_context.SubscriptionType = dwSubscriptionType;
        m_context.CriteriaID = 1;
        m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
        m_context.pfc = &m_fc;
        m_context.pvNotification = &m_notification;
        m_context.CoreServices = &m_core;
        m_fc.ServerContext = this;
        m_fc.GetServerVariable = &CAuthRequest::GetServerVariable;
        m_notification.SetHeader = &CAuthRequest::SetHeader;
        m_notification.AddHeader = &CAuthRequest::AddHeader;
        m_core.SendResponse = &CAuthRequest::SendResponse;
        SetURL(strURL);
        SetVariable("REMOTE_ADDR", "127.0.0.1");
    }
    ~CAuthRequest() { delete m_context.m_pMyOwnContext; }
    CAuthRequest(const CAuthRequest&) = delete;
    CAuthRequest& operator=(const CAuthRequest&) = delete;

    // The URL's path and query into the server variables, the query's parameters (decoded, as the host
    // keeps them) into the request information.
    void SetURL(const std::string& strURL)
    {
        const size_t nQuery = strURL.find('?');
        const std::string strQuery = nQuery == std::string::npos ? "" : strURL.substr(nQuery + 1);
        RequestInfo().SetServerVariable("URL", strURL.substr(0, nQuery));
        RequestInfo().SetServerVariable("QUERY_STRING", strQuery);
        size_t nPos = 0;
        while (nPos < strQuery.size())
        {
            size_t nEnd = strQuery.find('&', nPos);
            if (nEnd == std::string::npos)
                nEnd = strQuery.size();
            const std::string strPart = strQuery.substr(nPos, nEnd - nPos);
            const size_t nEq = strPart.find('=');
            if (!strPart.empty())
                RequestInfo().AddParam(Decode(strPart.substr(0, nEq)),
                                       nEq == std::string::npos ? "" : Decode(strPart.substr(nEq + 1)));
            nPos = nEnd + 1;
        }
    }
    // A header as the request information and the filter context both give it ("Cookie" is HTTP_COOKIE).
    void SetHeaderValue(const std::string& strName, const std::string& strValue)
    {
        std::string strKey = "HTTP_";
        for (char c : strName)
            strKey += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        RequestInfo().SetServerVariable(strKey, strValue);
        m_mapVariables[Upper(strKey)] = strValue;
    }
    // A server variable only the filter context answers (AUTH_USER, REMOTE_ADDR...).
    void SetVariable(const std::string& strName, const std::string& strValue)
    {
        m_mapVariables[strName] = strValue;
    }

    CRequestInfo& RequestInfo() { return *m_context.m_spRequestInfo.Get(); }
    CDLLContext* Record() { return &m_context; }

    CDLLContext m_context{};
    std::vector<std::pair<std::string, std::string>> m_vecHeadersSet;
    bool m_bSent = false;
    std::string m_strSent;
    BOOL m_bSetHeaderResult = TRUE;

private:
    static std::string Upper(std::string str)
    {
        for (char& c : str)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return str;
    }
    static std::string Decode(const std::string& str)
    {
        const auto Hex = [](char c)
        {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0
                       ? std::stoi(std::string(1, c), nullptr, 16)
                       : -1;
        };
        std::string strOut;
        for (size_t i = 0; i < str.size(); ++i)
        {
            if (str[i] == '%' && i + 2 < str.size() && Hex(str[i + 1]) >= 0 && Hex(str[i + 2]) >= 0)
            {
                strOut += static_cast<char>(Hex(str[i + 1]) * 16 + Hex(str[i + 2]));
                i += 2;
            }
            else
                strOut += str[i] == '+' ? ' ' : str[i];
        }
        return strOut;
    }
    static CAuthRequest* Self(HTTP_FILTER_CONTEXT* pfc)
    {
        return static_cast<CAuthRequest*>(pfc->ServerContext);
    }
    static BOOL GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize)
    {
        // Server variable names are not case-sensitive.
        const auto it = Self(pfc)->m_mapVariables.find(Upper(pszName));
        if (it == Self(pfc)->m_mapVariables.end())
        {
            *pdwSize = 0;
            SetLastError(1413);
            return FALSE;
        }
        const DWORD dwNeeded = static_cast<DWORD>(it->second.size() + 1);
        if (pvBuffer == nullptr || *pdwSize < dwNeeded)
        {
            *pdwSize = dwNeeded;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(pvBuffer, it->second.c_str(), dwNeeded);
        *pdwSize = dwNeeded;
        return TRUE;
    }
    static BOOL SetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR pszName, LPSTR pszValue)
    {
        Self(pfc)->m_vecHeadersSet.emplace_back(pszName, pszValue);
        return Self(pfc)->m_bSetHeaderResult;
    }
    static BOOL AddHeader(HTTP_FILTER_CONTEXT*, LPSTR, LPSTR) { return TRUE; }
    static DWORD SendResponse(CDLLContext* pContext, const char* pszResponse, DWORD* pdwLength,
                              CCoreServicesTable*)
    {
        auto* pSelf =
            static_cast<CAuthRequest*>(static_cast<HTTP_FILTER_CONTEXT*>(pContext->pfc)->ServerContext);
        pSelf->m_bSent = true;
        pSelf->m_strSent.assign(pszResponse, *pdwLength);
        return 0;
    }

    HTTP_FILTER_CONTEXT m_fc{};
    HTTP_FILTER_AUTH_COMPLETE_INFO m_notification{};
    CCoreServicesTable m_core{};
    std::map<std::string, std::string> m_mapVariables;
};
