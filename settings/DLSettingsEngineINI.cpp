#include "common/CiString.h"
#include "common/TraceLog.h"
#include "platform/WinFile.h"
#include "settings/DLSettings.h"
#include "settings/LoadGuard.h"
#include "settings/LoadInitINI.h"
#include "settings/SettingItemIDs.h"

#include <new>

namespace
{

// An option array without rows: the input of a set whose XML names no engine 0.
COptionArrayPtr EmptyOptionArray()
{
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {0, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (psa == nullptr)
        throw std::bad_alloc();
    if (FAILED(SafeArrayLock(psa)))
    {
        SafeArrayDestroy(psa);
        throw std::bad_alloc();
    }
    auto* pHolder = new COptionArray();
    pHolder->m_psa = psa;
    return COptionArrayPtr(pHolder);
}

} // namespace

bool CDLSettings::BuildEngineINIPath(const std::string& sName, const std::string& sSettingsDirectory,
                                     std::string& sPath)
{
    if (sName.find(":\\") != std::string::npos || sName.find(":/") != std::string::npos)
    {
        sPath = sName;
        return true;
    }
    std::string sRelative = sName;
    if (!sRelative.empty() && (sRelative.front() == '\\' || sRelative.front() == '/'))
        sRelative.erase(0, 1);
    // The engine folder sits beside the folder that holds the settings file: only that folder's own
    // name counts, so an installation below some other folder called "Settings" still finds its options.
    std::string sDirectory = sSettingsDirectory;
    while (!sDirectory.empty() && (sDirectory.back() == '\\' || sDirectory.back() == '/'))
        sDirectory.pop_back();
    const size_t nSeparator = sDirectory.find_last_of("\\/");
    if (nSeparator == std::string::npos || ToCi(sDirectory.substr(nSeparator + 1)) != "Settings")
        return false;
    sPath = sDirectory.substr(0, nSeparator) + "\\Engine\\ini\\" + sRelative;
    return true;
}

bool CDLSettings::LoadEngineINI()
{
    bool bResult = true;
    CLoadInitINI loader;
    ci_string csName;
    if (GetItemValue(SETTING_ENGINE_INI_FILE, csName, -1, ENGINE_DEFAULT) && !csName.empty())
    {
        std::string sPath;
        if (!BuildEngineINIPath(FromCi(csName), m_sSettingsDirectory, sPath))
        {
            TraceLog(
                "[CDLSettings::LoadEngineINI] The settings directory %s is no folder named Settings: the "
                "engine options of %s are not read",
                m_sSettingsDirectory.c_str(), FromCi(csName).c_str());
            return false;
        }
        if (sPath.size() >= MAX_PATH)
            TraceLog(
                "[CDLSettings::LoadEngineINI] The engine option file path %s is too long: no option is read",
                sPath.c_str());
        else if (const DWORD dwAttributes = GetFileAttributesA(sPath.c_str());
                 dwAttributes == INVALID_FILE_ATTRIBUTES)
            TraceLog("[CDLSettings::LoadEngineINI] The engine option file %s is missing: every option takes "
                     "its default",
                     sPath.c_str());
        else if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            TraceLog("[CDLSettings::LoadEngineINI] The engine option file %s is a folder: every option takes "
                     "its default",
                     sPath.c_str());
        else
            TraceLog("[CDLSettings::LoadEngineINI] Reading the engine options from %s", sPath.c_str());
        loader.SetPath(sPath.c_str());
    }

    for (auto& entry : m_mapSettingSets)
    {
        const int nSettingID = entry.first;
        if (!entry.second)
            continue;
        SettingSetRecord& set = *entry.second;
        const auto itEngine = set.m_mapEngines.find(ENGINE_DEFAULT);
        const bool bHasEngine = itEngine != set.m_mapEngines.end() && itEngine->second;
        // What the loader raises stops here: the set keeps its array, and the next set is read.
        const std::string sGuardName = "[CDLSettings::LoadEngineINI] Settings set " +
                                       std::to_string(nSettingID) + " keeps its engine options:";
        const HRESULT hrSet =
            GuardLoad({sGuardName.c_str()},
                      [&]() -> HRESULT
                      {
                          // Each set builds on its own engine's options: a set without them starts from none,
                          // never from another set's array.
                          COptionArrayPtr spCurrent =
                              bHasEngine ? itEngine->second->m_spOptionArray : COptionArrayPtr();
                          if (!spCurrent || spCurrent->m_psa == nullptr)
                              spCurrent = EmptyOptionArray();
                          int nExportOption = -1;
                          GetEngineOptionValue(1, nExportOption, ENGINE_EXPORT, nSettingID);
                          std::vector<CExtraOption> vecExtras(1);
                          vecExtras[0].m_nOptionID = OPTION_ID_ENGINE8_OPTION1;
                          vecExtras[0].m_vValue = _variant_t(static_cast<LONG>(nExportOption));
                          const bool bLoaded = loader.Load(*spCurrent, vecExtras) == 0;
                          if (bHasEngine)
                              itEngine->second->m_spOptionArray = spCurrent;
                          else
                          {
                              CCountedPtr<EngineRecord> spEngine(new EngineRecord());
                              spEngine->m_nID = ENGINE_DEFAULT;
                              spEngine->m_bOptionsOnly = true;
                              spEngine->m_spOptionArray = spCurrent;
                              set.m_mapEngines[ENGINE_DEFAULT] = spEngine;
                          }
                          return bLoaded ? S_OK : S_FALSE;
                      });
        bResult = hrSet == S_OK;
    }
    return bResult;
}
