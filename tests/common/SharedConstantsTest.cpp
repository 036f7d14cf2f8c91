#include "common/SharedConstants.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

TEST(SharedConstants, NoCacheHeadersInOrder)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"X-KSProduct:", "DL_SW"},
        {"Pragma:", "no-cache"},
        {"Cache-control:", "no-cache"},
        {"Cache-control:", "must-revalidate"},
        {"Cache-control:", "max-age=0"},
        {"Cache-control:", "s-maxage=0"},
        {"Cache-control:", "no-store"},
        {"Cache-control:", "private"},
        {"Cache-control:", "proxy-revalidate"},
    };
    ASSERT_EQ(g_NoCacheHeaders.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(g_NoCacheHeaders[i].m_sName, expected[i].first) << "row " << i + 1;
        EXPECT_EQ(g_NoCacheHeaders[i].m_sValue, expected[i].second) << "row " << i + 1;
    }
}

TEST(SharedConstants, JavaScriptDeclarationsInOrder)
{
    const std::vector<std::pair<int, std::string>> expected = {
        {107, "var g_szOpenText = \""},      {108, "var g_szSaveText = \""},
        {110, "var g_szRichText = \""},      {109, "var g_szTextText = \""},
        {189, "var g_szDorvLoading = \""},   {202, "var g_szLaunchJavaApplet = \""},
        {199, "var g_szEnableActiveX = \""}, {104, "var g_szClose = \""},
        {171, "var g_szCancel = \""},        {183, "var g_szSaving = \""},
        {181, "var g_szSaveNotSupp = \""},   {193, "var g_szJavaNotSupp = \""},
        {188, "var g_szDownCancelled = \""}, {187, "var g_szDownCompleted = \""},
        {211, "var g_szExtBlocked = \""},    {197, "var g_szHelpText = \""},
    };
    ASSERT_EQ(g_JSStringDeclarations.size(), expected.size());
    std::set<int> ids;
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(g_JSStringDeclarations[i].m_nResourceId, expected[i].first) << "row " << i + 1;
        EXPECT_EQ(g_JSStringDeclarations[i].m_sPrefix, expected[i].second) << "row " << i + 1;
        ids.insert(g_JSStringDeclarations[i].m_nResourceId);
    }
    EXPECT_EQ(ids.size(), expected.size()); // a map keyed by id keeps every row
}

TEST(SharedConstants, ServerVariableNamesInOrder)
{
    const std::vector<std::string> expected = {"QUERY_STRING",
                                               "URL",
                                               "HTTP_URL",
                                               "INSTANCE_ID",
                                               "REMOTE_ADDR",
                                               "REMOTE_USER",
                                               "LOCAL_ADDR",
                                               "AUTH_TYPE",
                                               "HTTP_USER_AGENT",
                                               "HTTPS",
                                               "HTTP_HOST",
                                               "X-KSRequest",
                                               "HTTP_METHOD",
                                               "HTTP_VERSION",
                                               "APP_POOL_ID",
                                               "HTTP_ACCEPT-LANGUAGE",
                                               "HTTP_Front-End-HTTPS",
                                               "AUTH_USER",
                                               "LOGON_USER",
                                               "KS_User_Agent",
                                               "HTTP_X_Remote_Client_IP",
                                               "X-Remote-Client-IP",
                                               "KS_CRITERIA:",
                                               "Transfer-Encoding:",
                                               "Location:",
                                               "WWW-Authenticate:",
                                               "Content-Language:",
                                               "Content-Type:",
                                               "Content-Length:",
                                               "Set-Cookie:",
                                               "ALL_RAW",
                                               "ALL_HTTP",
                                               "REMOTE_HOST",
                                               "SERVER_PORT",
                                               "SERVER_PORT_SECURE",
                                               "HTTP_Authorization",
                                               "HTTP_COOKIE",
                                               "HTTP_REFERER",
                                               "SERVER_PROTOCOL",
                                               "SERVER_NAME",
                                               "KSHTTP",
                                               "X-OWA-ProxySid",
                                               "X-OWA-ProxySid:",
                                               "KS_CRITERIA",
                                               "X-KSTz",
                                               "X-KSTz:"};
    ASSERT_EQ(g_ServerVariableNames.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(*g_ServerVariableNames[i], expected[i]) << "name " << i + 1;
    EXPECT_EQ(g_sHTTP_ACCEPT_LANGUAGE, "HTTP_ACCEPT-LANGUAGE");
    EXPECT_EQ(g_sKS_CRITERIA_HEADER, "KS_CRITERIA:");
    EXPECT_EQ(g_sX_KSTz_HEADER, "X-KSTz:");
}

TEST(SharedConstants, AttributeNamesAndDomTexts)
{
    const std::vector<const std::string*> attrs = {
        &g_sAttrChecked, &g_sAttrClass,    &g_sAttrDisabled, &g_sAttrId,   &g_sAttrMultiple,
        &g_sAttrName,    &g_sAttrSelected, &g_sAttrStyle,    &g_sAttrType, &g_sAttrValue};
    const std::vector<std::string> expected = {"checked", "class",    "disabled", "id",   "multiple",
                                               "name",    "selected", "style",    "type", "value"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(*attrs[i], expected[i]);
    EXPECT_EQ(g_sDOMUndefinedObject, "Undefined DOM object.");
    EXPECT_EQ(g_sDOMIllegalArgument, "Illegal argument.");
}
