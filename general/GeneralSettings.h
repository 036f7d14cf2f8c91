// The process-wide general settings, as far as the entry points need them today: the service-worker
// id, the event ids, initialisation from the module's own location and shutdown. The full object
// (resources, event log, directory, cache, log set-up) replaces these bodies under the same names.
#pragma once

#include "platform/WinTypes.h"
#include "settings/HandleDLSettings.h"

#include <string>

using GeneralSettingsEventID = DWORD;

class CGeneralSettings
{
public:
    CGeneralSettings() = default;
    CGeneralSettings(const CGeneralSettings&) = delete;
    CGeneralSettings& operator=(const CGeneralSettings&) = delete;
    virtual ~CGeneralSettings() = default;

    virtual bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
                      const char* pszRegistryPath, int nLevels);
    virtual DWORD Uninitialize();
    virtual void InitLog(const char* pszModuleName, int nSettingID) = 0;
    virtual bool LoadSettings(const char* pszModuleName, const char* pszResourceLibName,
                              std::string& strErrorText, int nLevels);

    void SetServiceWorkerID(DWORD dwID) { m_Settings.SetServiceWorkerID(static_cast<int>(dwID)); }
    void SetEventIDs(GeneralSettingsEventID idInitSucceeded, GeneralSettingsEventID idInitFailed,
                     GeneralSettingsEventID idFailureText)
    {
        m_idInitSucceeded = idInitSucceeded;
        m_idInitFailed = idInitFailed;
        m_idFailureText = idFailureText;
    }

    // The settings holder; every setting lookup and the reload check go through it.
    CHandleDLSettings m_Settings;
    std::string m_strRegistryPath;
    std::string m_strProductFolderName;
    std::string m_strCommonFilesDirectory;
    std::string m_strInstallDirectory;
    std::string m_strSettingsDirectory;
    bool m_bInitialized = false;
    GeneralSettingsEventID m_idInitSucceeded = 0;
    GeneralSettingsEventID m_idInitFailed = 0;
    GeneralSettingsEventID m_idFailureText = 0;
    std::string m_strModuleName;
};
