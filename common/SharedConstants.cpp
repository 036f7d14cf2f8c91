#include "common/SharedConstants.h"

const std::string g_sQUERY_STRING = "QUERY_STRING";
const std::string g_sURL = "URL";
const std::string g_sHTTP_URL = "HTTP_URL";
const std::string g_sINSTANCE_ID = "INSTANCE_ID";
const std::string g_sREMOTE_ADDR = "REMOTE_ADDR";
const std::string g_sREMOTE_USER = "REMOTE_USER";
const std::string g_sLOCAL_ADDR = "LOCAL_ADDR";
const std::string g_sAUTH_TYPE = "AUTH_TYPE";
const std::string g_sHTTP_USER_AGENT = "HTTP_USER_AGENT";
const std::string g_sHTTPS = "HTTPS";
const std::string g_sHTTP_HOST = "HTTP_HOST";
const std::string g_sX_KSRequest = "X-KSRequest";
const std::string g_sHTTP_METHOD = "HTTP_METHOD";
const std::string g_sHTTP_VERSION = "HTTP_VERSION";
const std::string g_sAPP_POOL_ID = "APP_POOL_ID";
const std::string g_sHTTP_ACCEPT_LANGUAGE = "HTTP_ACCEPT-LANGUAGE";
const std::string g_sHTTP_Front_End_HTTPS = "HTTP_Front-End-HTTPS";
const std::string g_sAUTH_USER = "AUTH_USER";
const std::string g_sLOGON_USER = "LOGON_USER";
const std::string g_sKS_User_Agent = "KS_User_Agent";
const std::string g_sHTTP_X_Remote_Client_IP = "HTTP_X_Remote_Client_IP";
const std::string g_sX_Remote_Client_IP = "X-Remote-Client-IP";
const std::string g_sKS_CRITERIA_HEADER = "KS_CRITERIA:";
const std::string g_sTransfer_Encoding_HEADER = "Transfer-Encoding:";
const std::string g_sLocation_HEADER = "Location:";
const std::string g_sWWW_Authenticate_HEADER = "WWW-Authenticate:";
const std::string g_sContent_Language_HEADER = "Content-Language:";
const std::string g_sContent_Type_HEADER = "Content-Type:";
const std::string g_sContent_Length_HEADER = "Content-Length:";
const std::string g_sSet_Cookie_HEADER = "Set-Cookie:";
const std::string g_sALL_RAW = "ALL_RAW";
const std::string g_sALL_HTTP = "ALL_HTTP";
const std::string g_sREMOTE_HOST = "REMOTE_HOST";
const std::string g_sSERVER_PORT = "SERVER_PORT";
const std::string g_sSERVER_PORT_SECURE = "SERVER_PORT_SECURE";
const std::string g_sHTTP_Authorization = "HTTP_Authorization";
const std::string g_sHTTP_COOKIE = "HTTP_COOKIE";
const std::string g_sHTTP_REFERER = "HTTP_REFERER";
const std::string g_sSERVER_PROTOCOL = "SERVER_PROTOCOL";
const std::string g_sSERVER_NAME = "SERVER_NAME";
const std::string g_sKSHTTP = "KSHTTP";
const std::string g_sX_OWA_ProxySid = "X-OWA-ProxySid";
const std::string g_sX_OWA_ProxySid_HEADER = "X-OWA-ProxySid:";
const std::string g_sKS_CRITERIA = "KS_CRITERIA";
const std::string g_sX_KSTz = "X-KSTz";
const std::string g_sX_KSTz_HEADER = "X-KSTz:";

const std::array<const std::string*, 46> g_ServerVariableNames = {
    &g_sQUERY_STRING,
    &g_sURL,
    &g_sHTTP_URL,
    &g_sINSTANCE_ID,
    &g_sREMOTE_ADDR,
    &g_sREMOTE_USER,
    &g_sLOCAL_ADDR,
    &g_sAUTH_TYPE,
    &g_sHTTP_USER_AGENT,
    &g_sHTTPS,
    &g_sHTTP_HOST,
    &g_sX_KSRequest,
    &g_sHTTP_METHOD,
    &g_sHTTP_VERSION,
    &g_sAPP_POOL_ID,
    &g_sHTTP_ACCEPT_LANGUAGE,
    &g_sHTTP_Front_End_HTTPS,
    &g_sAUTH_USER,
    &g_sLOGON_USER,
    &g_sKS_User_Agent,
    &g_sHTTP_X_Remote_Client_IP,
    &g_sX_Remote_Client_IP,
    &g_sKS_CRITERIA_HEADER,
    &g_sTransfer_Encoding_HEADER,
    &g_sLocation_HEADER,
    &g_sWWW_Authenticate_HEADER,
    &g_sContent_Language_HEADER,
    &g_sContent_Type_HEADER,
    &g_sContent_Length_HEADER,
    &g_sSet_Cookie_HEADER,
    &g_sALL_RAW,
    &g_sALL_HTTP,
    &g_sREMOTE_HOST,
    &g_sSERVER_PORT,
    &g_sSERVER_PORT_SECURE,
    &g_sHTTP_Authorization,
    &g_sHTTP_COOKIE,
    &g_sHTTP_REFERER,
    &g_sSERVER_PROTOCOL,
    &g_sSERVER_NAME,
    &g_sKSHTTP,
    &g_sX_OWA_ProxySid,
    &g_sX_OWA_ProxySid_HEADER,
    &g_sKS_CRITERIA,
    &g_sX_KSTz,
    &g_sX_KSTz_HEADER,
};

const std::string g_sAttrChecked = "checked";
const std::string g_sAttrClass = "class";
const std::string g_sAttrDisabled = "disabled";
const std::string g_sAttrId = "id";
const std::string g_sAttrMultiple = "multiple";
const std::string g_sAttrName = "name";
const std::string g_sAttrSelected = "selected";
const std::string g_sAttrStyle = "style";
const std::string g_sAttrType = "type";
const std::string g_sAttrValue = "value";

const std::string g_sDOMUndefinedObject = "Undefined DOM object.";
const std::string g_sDOMIllegalArgument = "Illegal argument.";

const std::array<NoCacheHeader, 9> g_NoCacheHeaders = {{
    {"X-KSProduct:", "DL_SW"},
    {"Pragma:", "no-cache"},
    {"Cache-control:", "no-cache"},
    {"Cache-control:", "must-revalidate"},
    {"Cache-control:", "max-age=0"},
    {"Cache-control:", "s-maxage=0"},
    {"Cache-control:", "no-store"},
    {"Cache-control:", "private"},
    {"Cache-control:", "proxy-revalidate"},
}};

const std::array<JSStringDeclaration, 16> g_JSStringDeclarations = {{
    {107, "var g_szOpenText = \""},
    {108, "var g_szSaveText = \""},
    {110, "var g_szRichText = \""},
    {109, "var g_szTextText = \""},
    {189, "var g_szDorvLoading = \""},
    {202, "var g_szLaunchJavaApplet = \""},
    {199, "var g_szEnableActiveX = \""},
    {104, "var g_szClose = \""},
    {171, "var g_szCancel = \""},
    {183, "var g_szSaving = \""},
    {181, "var g_szSaveNotSupp = \""},
    {193, "var g_szJavaNotSupp = \""},
    {188, "var g_szDownCancelled = \""},
    {187, "var g_szDownCompleted = \""},
    {211, "var g_szExtBlocked = \""},
    {197, "var g_szHelpText = \""},
}};
