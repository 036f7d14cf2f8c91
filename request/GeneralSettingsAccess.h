// The one process-wide general-settings object, as the request handlers reach it, and the few of its
// answers they ask for by request.
#pragma once

#include "common/CiString.h"
#include "common/StaticMemory.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinTypes.h"

#include <string>

inline CDLSWGeneralSettings* GeneralSettings()
{
    return Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
}

// A setting of the request's settings set; false (value untouched, the failure traced) when no set,
// engine or general item holds it.
bool GetRequestSetting(int nID, int& nValue, DWORD dwSettingID, int nEngineID);
bool GetRequestSetting(int nID, ci_string& csValue, DWORD dwSettingID, int nEngineID);

// OWA's file-access level of an extension (without its dot) for a public or a private client: 0, or
// the code of a level that could not be determined (the level is 0 then).
DWORD GetOWAFileAccessLevel(const ci_string& csExtension, bool bPublicClient, int& nLevel);

// The user's language from the directory, else from the Accept-Language value; true when a decision
// was reached.
bool DetectUserLanguageOf(const std::string& strUser, const std::string& strAcceptLanguage,
                          std::string& strLanguage, WORD& wLangID, const std::string& strCookie);

// The LANGID under which the resource library keeps a product language; false (and English) for a code
// it does not know.
bool DetectResourceLanguage(const std::string& strLanguage, WORD& wLangID);

// One localized string as UTF-8; false (text untouched) when the library has none in that language.
bool GetUTF8Resource(int nResourceID, std::string& strText, WORD wLangID);

// The viewer's virtual folder.
std::string GetVirtualFolderName();

// The settings set of the host's link criteria; false (setting untouched) when this worker has none.
bool GetSettingIDFromCriteriaID(DWORD dwCriteriaID, DWORD& dwSettingID);
