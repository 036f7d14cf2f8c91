// What the host answers itself: a request line or a header holding a NUL or a stray CR or LF is answered
// 400 before the worker sees a notification, so the worker and what goes on never disagree on the URL.
#include "host/RawRequest.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace
{
CRawRequest Request(std::string strURL, std::string strHeaderValue = "mail")
{
    CRawRequest request;
    request.m_strMethod = "GET";
    request.m_strURL = std::move(strURL);
    request.m_strVersion = "HTTP/1.1";
    request.m_vecHeaders = {{"Host", "mail"}, {"X-Probe", std::move(strHeaderValue)}};
    return request;
}

TEST(HostRefusal, ReasonNamesTheFlawAndWhere)
{
    using namespace std::string_literals;
    struct Case
    {
        CRawRequest request;
        std::string strReason;
    };
    CRawRequest badMethod = Request("/owa/");
    badMethod.m_strMethod = "G\rET";
    CRawRequest badName = Request("/owa/");
    badName.m_vecHeaders.emplace_back("X\0Y"s, "v");
    const Case aCases[] = {
        {Request("/owa/?ae=Item"), ""},
        {Request("/owa/attachment.ashx\0.txt?attach=1"s), "request line holds a NUL"},
        {Request("/owa/\r?ae=Item"), "request line holds a bare CR"},
        {Request("/owa/\n?ae=Item"), "request line holds a bare LF"},
        {badMethod, "request line holds a bare CR"},
        {Request("/owa/", "a\0b"s), "header X-Probe holds a NUL"},
        {Request("/owa/", "a\rSet-Cookie: x"), "header X-Probe holds a bare CR"},
        {Request("/owa/", "a\nSet-Cookie: x"), "header X-Probe holds a bare LF"},
        {badName, "a header name holds a NUL"},
    };
    for (const Case& c : aCases)
        EXPECT_EQ(RawRequest::RefusalReason(c.request), c.strReason) << c.request.m_strURL;
}

TEST(HostRefusal, HeaderLineWithoutAColonSaysSo)
{
    struct Case
    {
        const char* pszText;
        const char* pszError;
    };
    const Case aCases[] = {
        {"GET /owa/ HTTP/1.1\r\nNoColon here\r\n", "header line without a colon: NoColon here"},
        {"GET /owa/ HTTP/1.1\r\n: value\r\n", "header line without a name: : value"},
    };
    for (const Case& c : aCases)
    {
        CRawRequest request;
        std::string strError;
        EXPECT_FALSE(RawRequest::Parse(c.pszText, request, strError));
        EXPECT_EQ(strError, c.pszError);
    }
}

std::string RunHost(const std::string& strRequest, int& nExit)
{
    const CTempDir dir("dlsw-refusal");
    const std::string strFile = (dir.Path() / "request.http").string();
    std::ofstream(strFile, std::ios::binary) << strRequest;
    const std::string strCommand =
        std::string("'") + DLSW_HOST_TOOL + "' --json --root '" + DLSW_INSTALL_TREE + "' '" + strFile + "'";
    return RunCommand(strCommand, nExit);
}

// Through the tool on the loaded library: the refused request reaches no notification, and a clean one
// beside it does.
TEST(HostRefusal, TheWorkerNeverSeesARefusedRequest)
{
    using namespace std::string_literals;
    struct Case
    {
        std::string strRequest;
        const char* pszRefused;
    };
    const Case aCases[] = {
        {"GET /owa/attachment.ashx\0.txt?attach=1&id=x HTTP/1.1\r\nHost: mail\r\n\r\n"s,
         "\"refused\":\"request line holds a NUL\""},
        {"GET /owa/?ae=Item&a=Open HTTP/1.1\r\nHost: mail\r\nUser-Agent: a\rb\r\n\r\n",
         "\"refused\":\"header User-Agent holds a bare CR\""},
        {"GET /owa/?ae=Item&t=a\0b HTTP/1.1\r\nHost: mail\r\n\r\n"s,
         "\"refused\":\"request line holds a NUL\""},
    };
    for (const Case& c : aCases)
    {
        int nExit = -1;
        const std::string strOutput = RunHost(c.strRequest, nExit);
        EXPECT_EQ(nExit, 0) << strOutput;
        for (const char* pszPart :
             {c.pszRefused, "\"notifications\":[]", "\"status\":400", "\"request_flags\":0"})
            EXPECT_NE(strOutput.find(pszPart), std::string::npos) << pszPart << "\n" << strOutput;
    }
    int nExit = -1;
    const std::string strClean = RunHost(
        "GET /owa/attachment.ashx?attach=1&id=x HTTP/1.1\r\nHost: mail\r\nUser-Agent: ab\r\n\r\n", nExit);
    EXPECT_EQ(nExit, 0);
    EXPECT_NE(strClean.find("\"refused\":null"), std::string::npos) << strClean;
    EXPECT_NE(strClean.find("\"name\":\"pre-processed headers\""), std::string::npos) << strClean;
}
} // namespace
