#include "AuthTestSupport.h"

#include "filter/AuthCompleteHelper.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
const std::string PAGE_BEFORE_TEXT =
    "<HTML><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
    "<HEAD><TITLE>Dorvel</TITLE></HEAD>\n<BODY><P align=center><b>Kestrune Dorvel"
    "</b><br></P><P align=center><FONT FACE=\"Verdana\" SIZE=\"2\"><b>";
const std::string PAGE_AFTER_TEXT = "</b></P></BODY></HTML>";

TEST(AccessDeniedPage, ExactBytes)
{
    const std::string strEnglish = "You are not authorized to view this file.";
    const std::string strPage = PAGE_BEFORE_TEXT + strEnglish + PAGE_AFTER_TEXT;
    EXPECT_EQ(strPage.size(), 273u);
    EXPECT_EQ(CAuthCompleteHelper::BuildAccessDeniedResponse(strEnglish),
              "HTTP/1.0 401 OK\r\nContent-Length: 273\r\nContent-Type: text/html\r\n\r\n" + strPage);

    // Content-Length counts bytes: "Zugriff für Sie gesperrt – Datei" is 32 characters and 35 bytes.
    const std::string strGerman = "Zugriff f\xC3\xBCr Sie gesperrt \xE2\x80\x93 Datei";
    EXPECT_EQ(CAuthCompleteHelper::BuildAccessDeniedResponse(strGerman),
              "HTTP/1.0 401 OK\r\nContent-Length: 267"
              "\r\nContent-Type: text/html\r\n\r\n" +
                  PAGE_BEFORE_TEXT + strGerman + PAGE_AFTER_TEXT);
}

TEST(AccessDeniedPage, SentInEnglishWithoutALanguage)
{
    CTraceCapture trace;
    CAuthRequest request;
    EXPECT_EQ(CAuthCompleteHelper::SendAccessDeniedResponse(request.Record()), 0u);
    EXPECT_EQ(request.m_context.ControlMessage, CM_COMPLETED);
    EXPECT_EQ(request.m_strSent, CAuthCompleteHelper::BuildAccessDeniedResponse(ACCESS_DENIED_DEFAULT_TEXT));
    EXPECT_TRUE(trace.Has("[CBaseNotifications::SendResponse] SendResponse 401 Access Denied"));
    EXPECT_TRUE(trace.Has("[CAuthCompleteHelper::SendAccessDeniedResponse] returned. dwRet <0>."));

    // A language the resource library does not know: the page still goes out, in English.
    CAuthRequest unknown;
    unknown.m_context.m_pMyOwnContext = new CDLSWContext("xx", 0, "");
    EXPECT_EQ(CAuthCompleteHelper::SendAccessDeniedResponse(unknown.Record()), 0u);
    EXPECT_EQ(unknown.m_strSent, request.m_strSent);
    EXPECT_TRUE(
        trace.Has("[CAuthCompleteHelper::SendAccessDeniedResponse] CResource::DetectLanguage failed!"));
}

TEST(AccessDeniedPage, NothingToSendWith)
{
    EXPECT_EQ(CAuthCompleteHelper::SendAccessDeniedResponse(nullptr), 7u);
    CAuthRequest request;
    request.m_context.CoreServices = nullptr;
    request.m_context.ControlMessage = CM_NONE;
    EXPECT_EQ(CAuthCompleteHelper::SendAccessDeniedResponse(request.Record()), 7u);
    EXPECT_EQ(request.m_context.ControlMessage, CM_NONE);
    EXPECT_FALSE(request.m_bSent);
}
} // namespace
