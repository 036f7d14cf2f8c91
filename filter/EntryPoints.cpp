#include "filter/EntryPoints.h"

#include "common/StaticMemory.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "filter/HandlerGuard.h"
#include "filter/Notifications.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinDebug.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace
{
constexpr const char* PRODUCT_NAME = "Kestrune Dorvel";
constexpr const char* MODULE_NAME = "DL_ServiceWorker.dll";
constexpr const char* RESOURCE_LIBRARY_NAME = "DorvRes64.dll";
constexpr const char* REGISTRY_PATH = "Software\\Kestrune\\Dorvel";

constexpr DWORD SERVICE_WORKER_ID = 3;
constexpr GeneralSettingsEventID EVENT_INIT_SUCCEEDED = 0x60000065;
constexpr GeneralSettingsEventID EVENT_INIT_FAILED = 0x6000007E;
constexpr GeneralSettingsEventID EVENT_FAILURE_TEXT = 0x6000006F;

CDLSWGeneralSettings* GeneralSettings()
{
    return Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
}

DWORD Dispatch(CDLLContext* pContext)
{
    CDLSWGeneralSettings* pSettings = GeneralSettings();
    CNotifications notifications;
    switch (pContext->NotificationType)
    {
    case SF_NOTIFY_SEND_RESPONSE:
        return GuardHandler(pContext, "NotifySendResponse",
                            [&] { return notifications.CNotifications::NotifySendResponse(pContext); });
    case SF_NOTIFY_END_OF_REQUEST:
        return GuardHandler(pContext, "NotifyEndOfRequest",
                            [&] { return notifications.CNotifications::NotifyEndOfRequest(pContext); });
    case SF_NOTIFY_SEND_RAW_DATA:
        return GuardHandler(pContext, "NotifySendRawData",
                            [&] { return notifications.CNotifications::NotifySendRawData(pContext); });
    case SF_NOTIFY_PREPROC_HEADERS:
        return GuardHandler(pContext, "NotifyPreProcHeaders",
                            [&] { return notifications.CNotifications::NotifyPreProcHeaders(pContext); });
    case SF_NOTIFY_AUTH_COMPLETE:
    {
        // A failed reload keeps the settings in force; the request goes on either way.
        try
        {
            bool bRefreshed = false;
            pSettings->m_Settings.CheckForRefresh(&bRefreshed);
        }
        catch (const std::exception& e)
        {
            TraceLog("[HttpFilterProc] Exception <%s> in the settings reload check.", e.what());
        }
        catch (...)
        {
            TraceLog("[HttpFilterProc] Exception <%s> in the settings reload check.", "unknown");
        }
        return GuardHandler(pContext, "NotifyAuthComplete",
                            [&] { return notifications.CNotifications::NotifyAuthComplete(pContext); });
    }
    default:
        return ERROR_SUCCESS;
    }
}
} // namespace

BOOL DllMain(HINSTANCE /*hModule*/, DWORD dwReason, LPVOID /*pvReserved*/)
{
    if (dwReason == DLL_PROCESS_DETACH)
        OutputDebugStringA("\nDL_ServiceWorker DLL_PROCESS_DETACH\n");
    return TRUE;
}

BOOL GetFilterVersion(HTTP_FILTER_VERSION* pVer)
{
    if (pVer == nullptr)
        return FALSE;
    try
    {
        CDLSWGeneralSettings* pSettings = GeneralSettings();
        pSettings->SetServiceWorkerID(SERVICE_WORKER_ID);
        pSettings->SetEventIDs(EVENT_INIT_SUCCEEDED, EVENT_INIT_FAILED, EVENT_FAILURE_TEXT);
        if (!pSettings->Init(PRODUCT_NAME, MODULE_NAME, RESOURCE_LIBRARY_NAME, REGISTRY_PATH))
            return FALSE;
    }
    catch (...)
    {
        TraceLog("[GetFilterVersion] Exception while initialising the general settings.");
        return FALSE;
    }
    pVer->dwFilterVersion = DLSW_FILTER_REVISION;
    pVer->dwFlags = DLSW_FILTER_FLAGS;
    std::memset(pVer->lpszFilterDesc, 0, sizeof(pVer->lpszFilterDesc));
    std::strncpy(pVer->lpszFilterDesc, PRODUCT_NAME, sizeof(pVer->lpszFilterDesc) - 1);
    return TRUE;
}

DWORD HttpFilterProc(CDLLContext* pContext)
{
    if (pContext == nullptr)
        return ERROR_SUCCESS;
    try
    {
        return Dispatch(pContext);
    }
    catch (...)
    {
        // Only reaching the general settings can throw here; the handlers are guarded one by one.
        TraceLog("[HttpFilterProc] Exception while reaching the general settings. Ignore.");
        pContext->ControlMessage = CM_IGNORE;
        return ERROR_ARENA_TRASHED;
    }
}

DWORD TerminateFilter()
{
    try
    {
        CDLGeneralSettings* pSettings = GeneralSettings();
        return pSettings->Uninitialize();
    }
    catch (...)
    {
        TraceLog("[TerminateFilter] Exception while shutting the general settings down.");
        return ERROR_ARENA_TRASHED;
    }
}
