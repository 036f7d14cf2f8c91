// The program-wide constant texts and tables: server-variable and header names, HTML attribute names,
// the DOM layer's error texts, the no-cache headers and the JavaScript string declarations. Built by the
// run-time's initialisers before any entry point runs; read without locks.
#pragma once

#include <array>
#include <string>

// Server-variable names for the host's lookups; the names ending in a colon are header names as the
// host's header calls take them.
extern const std::string g_sQUERY_STRING;             // "QUERY_STRING"
extern const std::string g_sURL;                      // "URL"
extern const std::string g_sHTTP_URL;                 // "HTTP_URL"
extern const std::string g_sINSTANCE_ID;              // "INSTANCE_ID"
extern const std::string g_sREMOTE_ADDR;              // "REMOTE_ADDR"
extern const std::string g_sREMOTE_USER;              // "REMOTE_USER"
extern const std::string g_sLOCAL_ADDR;               // "LOCAL_ADDR"
extern const std::string g_sAUTH_TYPE;                // "AUTH_TYPE"
extern const std::string g_sHTTP_USER_AGENT;          // "HTTP_USER_AGENT"
extern const std::string g_sHTTPS;                    // "HTTPS"
extern const std::string g_sHTTP_HOST;                // "HTTP_HOST"
extern const std::string g_sX_KSRequest;              // "X-KSRequest"
extern const std::string g_sHTTP_METHOD;              // "HTTP_METHOD"
extern const std::string g_sHTTP_VERSION;             // "HTTP_VERSION"
extern const std::string g_sAPP_POOL_ID;              // "APP_POOL_ID"
extern const std::string g_sHTTP_ACCEPT_LANGUAGE;     // "HTTP_ACCEPT-LANGUAGE"
extern const std::string g_sHTTP_Front_End_HTTPS;     // "HTTP_Front-End-HTTPS"
extern const std::string g_sAUTH_USER;                // "AUTH_USER"
extern const std::string g_sLOGON_USER;               // "LOGON_USER"
extern const std::string g_sKS_User_Agent;            // "KS_User_Agent"
extern const std::string g_sHTTP_X_Remote_Client_IP;  // "HTTP_X_Remote_Client_IP"
extern const std::string g_sX_Remote_Client_IP;       // "X-Remote-Client-IP"
extern const std::string g_sKS_CRITERIA_HEADER;       // "KS_CRITERIA:"
extern const std::string g_sTransfer_Encoding_HEADER; // "Transfer-Encoding:"
extern const std::string g_sLocation_HEADER;          // "Location:"
extern const std::string g_sWWW_Authenticate_HEADER;  // "WWW-Authenticate:"
extern const std::string g_sContent_Language_HEADER;  // "Content-Language:"
extern const std::string g_sContent_Type_HEADER;      // "Content-Type:"
extern const std::string g_sContent_Length_HEADER;    // "Content-Length:"
extern const std::string g_sSet_Cookie_HEADER;        // "Set-Cookie:"
extern const std::string g_sALL_RAW;                  // "ALL_RAW"
extern const std::string g_sALL_HTTP;                 // "ALL_HTTP"
extern const std::string g_sREMOTE_HOST;              // "REMOTE_HOST"
extern const std::string g_sSERVER_PORT;              // "SERVER_PORT"
extern const std::string g_sSERVER_PORT_SECURE;       // "SERVER_PORT_SECURE"
extern const std::string g_sHTTP_Authorization;       // "HTTP_Authorization"
extern const std::string g_sHTTP_COOKIE;              // "HTTP_COOKIE"
extern const std::string g_sHTTP_REFERER;             // "HTTP_REFERER"
extern const std::string g_sSERVER_PROTOCOL;          // "SERVER_PROTOCOL"
extern const std::string g_sSERVER_NAME;              // "SERVER_NAME"
extern const std::string g_sKSHTTP;                   // "KSHTTP"
extern const std::string g_sX_OWA_ProxySid;           // "X-OWA-ProxySid"
extern const std::string g_sX_OWA_ProxySid_HEADER;    // "X-OWA-ProxySid:"
extern const std::string g_sKS_CRITERIA;              // "KS_CRITERIA"
extern const std::string g_sX_KSTz;                   // "X-KSTz"
extern const std::string g_sX_KSTz_HEADER;            // "X-KSTz:"

// All 46 names above, in this order.
extern const std::array<const std::string*, 46> g_ServerVariableNames;

// HTML attribute names.
extern const std::string g_sAttrChecked;  // "checked"
extern const std::string g_sAttrClass;    // "class"
extern const std::string g_sAttrDisabled; // "disabled"
extern const std::string g_sAttrId;       // "id"
extern const std::string g_sAttrMultiple; // "multiple"
extern const std::string g_sAttrName;     // "name"
extern const std::string g_sAttrSelected; // "selected"
extern const std::string g_sAttrStyle;    // "style"
extern const std::string g_sAttrType;     // "type"
extern const std::string g_sAttrValue;    // "value"

// Messages of the DOM layer's two exception types.
extern const std::string g_sDOMUndefinedObject; // "Undefined DOM object."
extern const std::string g_sDOMIllegalArgument; // "Illegal argument."

struct NoCacheHeader
{
    std::string m_sName; // with its colon
    std::string m_sValue;
};

// Added in this order to every status-200 response the worker touches.
extern const std::array<NoCacheHeader, 9> g_NoCacheHeaders;

struct JSStringDeclaration
{
    int m_nResourceId;
    std::string m_sPrefix; // ends with the opening double quote
};

// The localized JavaScript strings the injected scripts declare, by string-resource id.
extern const std::array<JSStringDeclaration, 16> g_JSStringDeclarations;
