// The one process-wide object: the worker's general settings with the JavaScript string prefixes and OWA's
// file-access decisions.
#pragma once

#include "general/DLGeneralSettings.h"

#include <map>
#include <string>

// 0 not determined, 1 blocked, 2 force-save, 3 allowed.
using OWAFileAccessLevel = int32_t;
constexpr OWAFileAccessLevel OWA_ACCESS_NOT_DETERMINED = 0;
constexpr OWAFileAccessLevel OWA_ACCESS_BLOCKED = 1;
constexpr OWAFileAccessLevel OWA_ACCESS_FORCE_SAVE = 2;
constexpr OWAFileAccessLevel OWA_ACCESS_ALLOWED = 3;

class CDLSWGeneralSettings : public CDLGeneralSettings
{
public:
    using CDLGeneralSettings::Init;
    bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
              const char* pszRegistryPath);

    // OWA's level for an extension given without its dot: 0, or 13 for an extension that begins with a
    // dot or an unusable default action (the level is then 0).
    DWORD GetOWAFileAccessLevel(const ci_string& csExtension, bool bPublicClient, OWAFileAccessLevel& nLevel);
    // Whether OWA lists the extension (given with its dot) or its content type.
    bool IsExtensionInOWAAllowList(const ci_string& csExtension);
    bool IsExtensionInOWABlockList(const ci_string& csExtension);
    bool IsExtensionInOWAForceSaveList(const ci_string& csExtension);

    // String-resource id -> JavaScript declaration prefix of the injected scripts.
    std::map<int, std::string> m_mapJSVariables;
};

// The word a level is printed with: "blocked", "force-save", "allowed" or "unknown".
const char* OWAFileAccessLevelName(OWAFileAccessLevel nLevel);
