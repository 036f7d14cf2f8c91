#include "settings/DLSettings.h"

#include "common/TraceLog.h"
#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "settings/LoadGuard.h"
#include "settings/SettingItemIDs.h"
#include "settings/XmlHelpers.h"

#include <new>

HRESULT CDLSettings::LoadSettings(const std::string& sPath)
{
    CLoadStart start;
    if (!BeginLoad(sPath, "LoadSettings", start))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const size_t nSlash = sPath.rfind('\\');
    if (nSlash == std::string::npos)
        TraceLog("Invaliud path format %s", sPath.c_str());
    else
        m_sSettingsDirectory = sPath.substr(0, nSlash + 1);

    SettingsSnapshot snapshot;
    HRESULT hr = GuardLoad(
        {"LoadSettings"},
        [&]
        {
            CComPtr<IXMLDOMDocument2> spDoc = OpenDocument(sPath, "SETTINGS");
            ThrowIfFailed(spDoc->setProperty(_bstr_t("SelectionLanguage"), _variant_t("XPath")));

            CComPtr<IXMLDOMNode> spGeneral;
            ThrowIfFailed(spDoc->selectSingleNode(_bstr_t("SETTINGS/GENERALSETTINGS"), &spGeneral));
            ForEachChild(spGeneral.Get(), "ITEM", {"ID", "DESCR", "VALUE"},
                         _functTrans<CDLSettings, SettingItemMap>{this, &CDLSettings::AddItemToMap},
                         snapshot.m_mapGeneralItems);

            // A section the file lacks is an empty one: nothing of the previous file survives a load.
            CComPtr<IXMLDOMNode> spDefaultHighSpeed;
            ThrowIfFailed(spDoc->selectSingleNode(_bstr_t("SETTINGS/DEFAULTHIGHSPEED"), &spDefaultHighSpeed));
            ThrowIfFailed(LoadHighSpeedList(spDefaultHighSpeed, snapshot.m_vecHighSpeed,
                                            snapshot.m_mapExtensionActions));
            snapshot.m_vecDefaultHighSpeed = snapshot.m_vecHighSpeed;
            CComPtr<IXMLDOMNode> spHighSpeed;
            ThrowIfFailed(spDoc->selectSingleNode(_bstr_t("SETTINGS/HIGHSPEED"), &spHighSpeed));
            ThrowIfFailed(
                LoadHighSpeedList(spHighSpeed, snapshot.m_vecHighSpeed, snapshot.m_mapExtensionActions));

            CComPtr<IXMLDOMNode> spSettings;
            ThrowIfFailed(spDoc->selectSingleNode(_bstr_t("SETTINGS"), &spSettings));
            const HRESULT hrSets = LoadSettingSets(spSettings, snapshot);
            ThrowIfFailed(hrSets);
            return hrSets;
        });
    // Any failure above keeps the settings in force; a partly read file is never taken over.
    if (hr == S_FALSE)
        hr = S_OK; // a missing section is no failure

    if (SUCCEEDED(hr))
    {
        m_mapGeneralItems.swap(snapshot.m_mapGeneralItems);
        m_mapSettingSets.swap(snapshot.m_mapSettingSets);
        m_vecDefaultHighSpeed.swap(snapshot.m_vecDefaultHighSpeed);
        m_vecHighSpeed.swap(snapshot.m_vecHighSpeed);
        m_mapExtensionActions.swap(snapshot.m_mapExtensionActions);
        RecordLoad(sPath, start.BeforeRead());
        LoadGroups();
        int nInterval = GetReloadInterval();
        if (GetItemValue(SETTING_RELOAD_INTERVAL, nInterval, -1, -1))
            SetReloadInterval(nInterval < 0 ? 0 : nInterval);
    }

    // The engine options are the engines' own business: their failure is traced, never thrown out of the
    // settings load. They are read into the sets just taken over: after a failed load the sets in force
    // already hold them, and reading them again would only repeat their rows.
    if (FAILED(hr))
        return hr;
    LoadFailureKind eKind = LoadFailureKind::None;
    const HRESULT hrEngines = CatchLoadFailure([&] { return LoadEngineINI() ? S_OK : E_FAIL; }, eKind);
    if (eKind == LoadFailureKind::General)
        TraceLog("LoadSettings failed to load the engine options General exception");
    else if (FAILED(hrEngines))
        TraceLogError(static_cast<DWORD>(hrEngines),
                      "LoadSettings failed to load the engine options HRESULT %x",
                      static_cast<unsigned>(hrEngines));
    return hr;
}

void CDLSettings::AddItemToMap(const TagItems& items, SettingItemMap& map)
{
    if (items.size() != 3)
        return;
    SettingItem item;
    if (!ReadSettingItem(items, item))
        return; // no readable ID: the element names no item
    map.erase(item.m_nID);
    map.emplace(item.m_nID, std::move(item));
}
