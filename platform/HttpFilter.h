// The web server's filter structures as the worker and its host exchange them: the version record filled
// at load, the filter context that reads server variables, and the notification structures whose
// call-backs read, set and add headers.
#pragma once

#include "platform/WinTypes.h"

// Notification types, which are also the flag bits a filter registers for.
constexpr DWORD SF_NOTIFY_SECURE_PORT = 0x00000001;
constexpr DWORD SF_NOTIFY_NONSECURE_PORT = 0x00000002;
constexpr DWORD SF_NOTIFY_SEND_RESPONSE = 0x00000040;
constexpr DWORD SF_NOTIFY_END_OF_REQUEST = 0x00000080;
constexpr DWORD SF_NOTIFY_SEND_RAW_DATA = 0x00000400;
constexpr DWORD SF_NOTIFY_AUTHENTICATION = 0x00002000;
constexpr DWORD SF_NOTIFY_PREPROC_HEADERS = 0x00004000;
constexpr DWORD SF_NOTIFY_ORDER_LOW = 0x00020000;
constexpr DWORD SF_NOTIFY_AUTH_COMPLETE = 0x04000000;

// Capacity of the description in the version record, terminator included.
constexpr size_t SF_MAX_FILTER_DESC_LEN = 257;

struct HTTP_FILTER_VERSION
{
    DWORD dwServerFilterVersion;
    DWORD dwFilterVersion;
    CHAR lpszFilterDesc[SF_MAX_FILTER_DESC_LEN];
    DWORD dwFlags;
};
using PHTTP_FILTER_VERSION = HTTP_FILTER_VERSION*;

struct HTTP_FILTER_CONTEXT;

// Reads a server variable. With a buffer too small (or none) it fails with ERROR_INSUFFICIENT_BUFFER and
// sets *lpdwSize to the size needed, terminator included.
using PFN_GET_SERVER_VARIABLE = BOOL (*)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                         DWORD* lpdwSize);

struct HTTP_FILTER_CONTEXT
{
    DWORD cbSize;
    DWORD Revision;
    PVOID ServerContext; // the server's own per-request data
    DWORD ulReserved;
    BOOL fIsSecurePort;
    PVOID pFilterContext; // the filter's own per-request data
    PFN_GET_SERVER_VARIABLE GetServerVariable;
};
using PHTTP_FILTER_CONTEXT = HTTP_FILTER_CONTEXT*;

using PFN_GET_HEADER = BOOL (*)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPVOID lpvBuffer, DWORD* lpdwSize);
// Header names carry their colon ("Cookie:"); the name "url" stands for the request URL. An empty value
// removes the header.
using PFN_SET_HEADER = BOOL (*)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPSTR lpszValue);
using PFN_ADD_HEADER = BOOL (*)(HTTP_FILTER_CONTEXT* pfc, LPSTR lpszName, LPSTR lpszValue);

// The three header structures share the layout of their first three call-backs.
struct HTTP_FILTER_PREPROC_HEADERS
{
    PFN_GET_HEADER GetHeader;
    PFN_SET_HEADER SetHeader;
    PFN_ADD_HEADER AddHeader;
    DWORD HttpStatus;
    DWORD dwReserved;
};
using PHTTP_FILTER_PREPROC_HEADERS = HTTP_FILTER_PREPROC_HEADERS*;

using HTTP_FILTER_SEND_RESPONSE = HTTP_FILTER_PREPROC_HEADERS;
using PHTTP_FILTER_SEND_RESPONSE = HTTP_FILTER_SEND_RESPONSE*;

struct HTTP_FILTER_AUTH_COMPLETE_INFO
{
    PFN_GET_HEADER GetHeader;
    PFN_SET_HEADER SetHeader;
    PFN_ADD_HEADER AddHeader;
    BOOL (*GetUserToken)(HTTP_FILTER_CONTEXT* pfc, HANDLE* phToken);
    DWORD HttpStatus;
    BOOL fResetAuth;
    DWORD dwReserved;
};
using PHTTP_FILTER_AUTH_COMPLETE_INFO = HTTP_FILTER_AUTH_COMPLETE_INFO*;

static_assert(offsetof(HTTP_FILTER_PREPROC_HEADERS, SetHeader) ==
              offsetof(HTTP_FILTER_AUTH_COMPLETE_INFO, SetHeader));
static_assert(offsetof(HTTP_FILTER_PREPROC_HEADERS, AddHeader) ==
              offsetof(HTTP_FILTER_AUTH_COMPLETE_INFO, AddHeader));
