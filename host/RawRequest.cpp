#include "host/RawRequest.h"

#include "contract/RequestInfo.h"

#include <cctype>

namespace
{
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

namespace RawRequest
{

std::string Trim(const std::string& str)
{
    const char* const pszBlanks = " \t\r\n";
    const size_t nBegin = str.find_first_not_of(pszBlanks);
    if (nBegin == std::string::npos)
        return {};
    const size_t nEnd = str.find_last_not_of(pszBlanks);
    return str.substr(nBegin, nEnd - nBegin + 1);
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (CParamNameLess::Upper(a[i]) != CParamNameLess::Upper(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(const std::string& str, const std::string& strPrefix)
{
    return str.size() >= strPrefix.size() && EqualsNoCase(str.substr(0, strPrefix.size()), strPrefix);
}

bool Parse(const std::string& strText, CRawRequest& request, std::string& strError)
{
    request = CRawRequest();
    std::vector<std::string> vecLines;
    size_t nPos = 0;
    while (nPos <= strText.size())
    {
        size_t nEnd = strText.find('\n', nPos);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nPos, nEnd - nPos);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        nPos = nEnd + 1;
        if (strLine.empty())
        {
            if (vecLines.empty())
                continue; // blank lines before the request line
            break;
        }
        vecLines.push_back(strLine);
    }
    if (vecLines.empty())
    {
        strError = "no request line";
        return false;
    }
    const std::string& strRequestLine = vecLines.front();
    const size_t nFirst = strRequestLine.find(' ');
    const size_t nLast = strRequestLine.rfind(' ');
    if (nFirst == std::string::npos || nFirst == 0)
    {
        strError = "request line without a method and a URL: " + strRequestLine;
        return false;
    }
    request.m_strMethod = strRequestLine.substr(0, nFirst);
    if (nLast > nFirst)
    {
        request.m_strURL = Trim(strRequestLine.substr(nFirst + 1, nLast - nFirst - 1));
        request.m_strVersion = Trim(strRequestLine.substr(nLast + 1));
    }
    else
    {
        request.m_strURL = Trim(strRequestLine.substr(nFirst + 1));
        request.m_strVersion = "HTTP/1.0";
    }
    if (request.m_strURL.empty())
    {
        strError = "request line without a URL: " + strRequestLine;
        return false;
    }
    for (size_t i = 1; i < vecLines.size(); ++i)
    {
        const std::string& strLine = vecLines[i];
        if ((strLine[0] == ' ' || strLine[0] == '\t') && !request.m_vecHeaders.empty())
        {
            request.m_vecHeaders.back().second += " " + Trim(strLine);
            continue;
        }
        const size_t nColon = strLine.find(':');
        if (nColon == std::string::npos)
        {
            strError = "header line without a colon: " + strLine;
            return false;
        }
        if (nColon == 0)
        {
            strError = "header line without a name: " + strLine;
            return false;
        }
        request.m_vecHeaders.emplace_back(Trim(strLine.substr(0, nColon)), Trim(strLine.substr(nColon + 1)));
    }
    return true;
}

std::string RefusalReason(const CRawRequest& request)
{
    // A server that let these through would hand the worker a URL cut at the NUL, or a header that
    // smuggles a second one, while passing the whole text on: the two would no longer agree.
    const auto Flaw = [](const std::string& str) -> const char*
    {
        for (char c : str)
        {
            if (c == '\0')
                return "a NUL";
            if (c == '\r')
                return "a bare CR";
            if (c == '\n')
                return "a bare LF";
        }
        return nullptr;
    };
    for (const std::string* pstr : {&request.m_strMethod, &request.m_strURL, &request.m_strVersion})
    {
        if (const char* pszFlaw = Flaw(*pstr))
            return std::string("request line holds ") + pszFlaw;
    }
    for (const auto& header : request.m_vecHeaders)
    {
        if (const char* pszFlaw = Flaw(header.first))
            return std::string("a header name holds ") + pszFlaw;
        if (const char* pszFlaw = Flaw(header.second))
            return "header " + header.first + " holds " + pszFlaw;
    }
    return {};
}

std::string PathOf(const std::string& strURL)
{
    return strURL.substr(0, strURL.find('?'));
}

std::string QueryOf(const std::string& strURL)
{
    const size_t nQuery = strURL.find('?');
    return nQuery == std::string::npos ? std::string() : strURL.substr(nQuery + 1);
}

std::string DecodeQueryComponent(const std::string& str)
{
    std::string strOut;
    strOut.reserve(str.size());
    for (size_t i = 0; i < str.size(); ++i)
    {
        const char c = str[i];
        if (c == '+')
        {
            strOut += ' ';
        }
        else if (c == '%' && i + 2 < str.size() && HexValue(str[i + 1]) >= 0 && HexValue(str[i + 2]) >= 0)
        {
            strOut += static_cast<char>(HexValue(str[i + 1]) * 16 + HexValue(str[i + 2]));
            i += 2;
        }
        else
        {
            strOut += c;
        }
    }
    return strOut;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(const std::string& strQuery)
{
    std::vector<std::pair<std::string, std::string>> vecParams;
    size_t nPos = 0;
    while (nPos <= strQuery.size())
    {
        size_t nEnd = strQuery.find('&', nPos);
        if (nEnd == std::string::npos)
            nEnd = strQuery.size();
        const std::string strPart = strQuery.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        if (strPart.empty())
            continue;
        const size_t nEq = strPart.find('=');
        if (nEq == std::string::npos)
            vecParams.emplace_back(DecodeQueryComponent(strPart), std::string());
        else
            vecParams.emplace_back(DecodeQueryComponent(strPart.substr(0, nEq)),
                                   DecodeQueryComponent(strPart.substr(nEq + 1)));
    }
    return vecParams;
}

unsigned DeriveSubscriptionType(const std::string& strURL, const std::string& strVirtualFolder)
{
    const std::string strPath = PathOf(strURL);
    std::string strLower;
    for (char c : strPath)
        strLower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string strFolder;
    for (char c : strVirtualFolder)
        strFolder += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!strFolder.empty() && strLower.find("/" + strFolder + "/") != std::string::npos)
    {
        if (strLower.size() >= 11 && strLower.compare(strLower.size() - 11, 11, "/getfile.js") == 0)
            return 25;
        if (strLower.find("/cmd/show/file/") != std::string::npos)
            return 22;
        return 20;
    }
    if (strLower.find("/owa/") != 0 && strLower != "/owa")
        return 0;
    const size_t nSlash = strLower.rfind('/');
    const std::string strFile = strLower.substr(nSlash + 1);
    if (strFile == "attachment.ashx")
        return 5;
    if (strFile == "ev.owa")
        return 4;
    for (const auto& param : ParseQuery(QueryOf(strURL)))
    {
        if (EqualsNoCase(param.first, "ae"))
            return 2;
    }
    return 0;
}

} // namespace RawRequest
