#pragma once

#include "general/DLGeneralSettings.h"

class CDLSWGeneralSettings : public CDLGeneralSettings
{
public:
    using CDLGeneralSettings::Init;
    bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
              const char* pszRegistryPath);
};
