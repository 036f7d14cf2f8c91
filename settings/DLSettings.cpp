#include "settings/DLSettings.h"

#include "common/TraceLog.h"
#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "settings/SettingItemIDs.h"
#include "settings/XmlHelpers.h"

#include <new>

HRESULT CDLSettings::LoadSettings(const std::string& sPath)
{
    if (!FindSettingsFile(sPath, "LoadSettings"))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    FILETIME ftBeforeRead = {0, 0};
    const bool bTimeRead = SUCCEEDED(ReadFileTime(sPath, ftBeforeRead));

    SetPath(sPath);
    const size_t nSlash = sPath.rfind('\\');
    if (nSlash == std::string::npos)
        TraceLog("Invaliud path format %s", sPath.c_str());
    else
        m_sSettingsDirectory = sPath.substr(0, nSlash + 1);

    SettingsSnapshot snapshot;
    HRESULT hr = S_OK;
    try
    {
        CComPtr<IXMLDOMDocument2> spDoc;
        hr = spDoc.CoCreateInstance(CLSID_DOMDocument);
        if (FAILED(hr))
            throw hr;
        hr = LoadXMLDocument(spDoc, sPath);
        if (FAILED(hr))
            throw hr;
        hr = spDoc->setProperty(_bstr_t("SelectionLanguage"), _variant_t("XPath"));
        if (FAILED(hr))
            throw hr;

        CComPtr<IXMLDOMNode> spGeneral;
        hr = spDoc->selectSingleNode(_bstr_t("SETTINGS/GENERALSETTINGS"), &spGeneral);
        if (FAILED(hr))
            throw hr;
        hr = ForEachChild(spGeneral.Get(), "ITEM", {"ID", "DESCR", "VALUE"},
                          _functTrans<CDLSettings, SettingItemMap>{this, &CDLSettings::AddItemToMap},
                          snapshot.m_mapGeneralItems);

        // A section the file lacks is an empty one: nothing of the previous file survives a load.
        CComPtr<IXMLDOMNode> spDefaultHighSpeed;
        hr = spDoc->selectSingleNode(_bstr_t("SETTINGS/DEFAULTHIGHSPEED"), &spDefaultHighSpeed);
        if (FAILED(hr))
            throw hr;
        hr = LoadHighSpeedList(spDefaultHighSpeed, snapshot.m_vecHighSpeed, snapshot.m_mapExtensionActions);
        if (FAILED(hr))
            throw hr;
        snapshot.m_vecDefaultHighSpeed = snapshot.m_vecHighSpeed;
        CComPtr<IXMLDOMNode> spHighSpeed;
        hr = spDoc->selectSingleNode(_bstr_t("SETTINGS/HIGHSPEED"), &spHighSpeed);
        if (FAILED(hr))
            throw hr;
        hr = LoadHighSpeedList(spHighSpeed, snapshot.m_vecHighSpeed, snapshot.m_mapExtensionActions);
        if (FAILED(hr))
            throw hr;

        CComPtr<IXMLDOMNode> spSettings;
        hr = spDoc->selectSingleNode(_bstr_t("SETTINGS"), &spSettings);
        if (FAILED(hr))
            throw hr;
        hr = LoadSettingSets(spSettings, snapshot);
        if (FAILED(hr))
            throw hr;
    }
    catch (HRESULT hrThrown)
    {
        hr = hrThrown;
        TraceLogError(static_cast<DWORD>(hr), "LoadSettings HRESULT exception %x", static_cast<unsigned>(hr));
    }
    catch (const _com_error& e)
    {
        hr = e.Error();
        TraceLogError(static_cast<DWORD>(hr), "LoadSettings com exception %x", static_cast<unsigned>(hr));
    }
    catch (...)
    {
        hr = E_FAIL;
        TraceLog("LoadSettings General exception");
    }
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
        RecordLoad(sPath, bTimeRead ? &ftBeforeRead : nullptr);
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
    try
    {
        if (!LoadEngineINI())
            TraceLogError(static_cast<DWORD>(E_FAIL),
                          "LoadSettings failed to load the engine options HRESULT %x",
                          static_cast<unsigned>(E_FAIL));
    }
    catch (HRESULT hrThrown)
    {
        TraceLogError(static_cast<DWORD>(hrThrown),
                      "LoadSettings failed to load the engine options HRESULT %x",
                      static_cast<unsigned>(hrThrown));
    }
    catch (const _com_error& e)
    {
        TraceLogError(static_cast<DWORD>(e.Error()),
                      "LoadSettings failed to load the engine options HRESULT %x",
                      static_cast<unsigned>(e.Error()));
    }
    catch (...)
    {
        TraceLog("LoadSettings failed to load the engine options General exception");
    }
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
