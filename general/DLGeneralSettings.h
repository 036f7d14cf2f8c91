#pragma once

#include "common/CiString.h"
#include "general/GeneralSettings.h"

class CDLGeneralSettings : public CGeneralSettings
{
public:
    bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
              const char* pszRegistryPath, int nLevels) override;
    DWORD Uninitialize() override;
    void InitLog(const char* pszModuleName, int nSettingID) override;

    // The viewer's virtual folder.
    ci_string m_csVirtualFolderName;
};
