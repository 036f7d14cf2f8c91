#include "settings/DLSettings.h"
#include "settings/SettingItemIDs.h"

HRESULT CDLSettings::LoadHighSpeedList(IXMLDOMNode* pSectionNode, std::vector<HighSpeedApp>& vecList,
                                       ExtensionActionMap& mapActions)
{
    if (pSectionNode == nullptr)
        return S_FALSE;
    std::vector<HighSpeedApp> vecFresh;
    const HRESULT hr = ForEachChild(
        pSectionNode, "APP", {"NAME", "Extension", "ACTION"},
        _functTrans<CDLSettings, std::vector<HighSpeedApp>>{this, &CDLSettings::AddHighSpeedApp}, vecFresh);
    ExtensionActionMap mapFresh;
    for (const HighSpeedApp& app : vecFresh)
    {
        if (!app.m_csExtension.empty())
            SplitExtensions(app.m_csExtension, ";", mapFresh, app.m_nAction);
    }
    vecList.swap(vecFresh);
    mapActions.swap(mapFresh);
    return hr;
}

void CDLSettings::AddHighSpeedApp(const TagItems& items, std::vector<HighSpeedApp>& vecList)
{
    if (items.size() != 3)
        return;
    HighSpeedApp app;
    VariantToString(items[0].m_vValue, app.m_sName);
    std::string sExtension;
    if (VariantToString(items[1].m_vValue, sExtension))
        app.m_csExtension = ToCi(sExtension);
    const VARIANT& vAction = items[2].m_vValue;
    if (vAction.vt == VT_BSTR && vAction.bstrVal != nullptr)
        app.m_nAction = _wtoi(vAction.bstrVal);
    vecList.push_back(std::move(app));
}

bool CDLSettings::SplitExtensions(const ci_string& csText, const ci_string& csDelimiter,
                                  ExtensionActionMap& map, int nAction)
{
    if (csText.empty())
        return false;
    if (csDelimiter.empty() || csText.find(csDelimiter) == ci_string::npos)
    {
        map.emplace(csText, nAction); // an extension already listed keeps its first action
        return true;
    }
    size_t nPos = csText.find(csDelimiter);
    const ci_string csFirst = csText.substr(0, nPos);
    if (!csFirst.empty())
        map.emplace(csFirst, nAction);
    nPos += csDelimiter.size();
    while (nPos <= csText.size())
    {
        size_t nNext = csText.find(csDelimiter, nPos);
        if (nNext == ci_string::npos)
            nNext = csText.size();
        const ci_string csExtension = csText.substr(nPos, nNext - nPos);
        if (csExtension.empty())
            break; // two delimiters in a row, or one at the end, end the row
        map.emplace(csExtension, nAction);
        nPos = nNext + csDelimiter.size();
    }
    return true;
}

bool CDLSettings::GetHighSpeedAction(const ci_string& csExtension, int& nAction, int nEngineID,
                                     int nSettingID) const
{
    int nEnabled = SettingDefaultInt(SETTING_HIGH_SPEED_ACTIONS);
    if (!GetItemValue(SETTING_HIGH_SPEED_ACTIONS, nEnabled, nSettingID, nEngineID) || nEnabled == 0)
        return false;
    auto it = m_mapExtensionActions.find(csExtension);
    if (it == m_mapExtensionActions.end())
        it = m_mapExtensionActions.find("*");
    if (it == m_mapExtensionActions.end())
        return false;
    nAction = it->second;
    return true;
}
