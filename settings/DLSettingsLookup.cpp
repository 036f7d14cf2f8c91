#include "settings/DLSettings.h"
#include "settings/SettingItemIDs.h"

const SettingItem* CDLSettings::FindItem(int nID, int nSettingID, int nEngineID,
                                         bool& bSetRecordMissing) const
{
    bSetRecordMissing = false;
    const auto itSet = m_mapSettingSets.find(nSettingID);
    if (itSet != m_mapSettingSets.end())
    {
        if (!itSet->second)
        {
            bSetRecordMissing = true;
            return nullptr;
        }
        const SettingSetRecord& set = *itSet->second;
        const auto itEngine = set.m_mapEngines.find(nEngineID);
        if (itEngine != set.m_mapEngines.end() && itEngine->second)
        {
            const auto itItem = itEngine->second->m_mapItems.find(nID);
            if (itItem != itEngine->second->m_mapItems.end())
                return &itItem->second;
        }
        const auto itItem = set.m_mapItems.find(nID);
        if (itItem != set.m_mapItems.end())
            return &itItem->second;
    }
    const auto itGeneral = m_mapGeneralItems.find(nID);
    return itGeneral != m_mapGeneralItems.end() ? &itGeneral->second : nullptr;
}

bool CDLSettings::GetItemValue(int nID, int& nOut, int nSettingID, int nEngineID) const
{
    bool bMissing = false;
    const SettingItem* pItem = FindItem(nID, nSettingID, nEngineID, bMissing);
    return pItem != nullptr && VariantToInt(pItem->m_vValue, nOut);
}

bool CDLSettings::GetItemValue(int nID, std::string& sOut, int nSettingID, int nEngineID) const
{
    bool bMissing = false;
    const SettingItem* pItem = FindItem(nID, nSettingID, nEngineID, bMissing);
    return pItem != nullptr && VariantToString(pItem->m_vValue, sOut);
}

bool CDLSettings::GetItemValue(int nID, ci_string& csOut, int nSettingID, int nEngineID) const
{
    std::string sValue;
    if (!GetItemValue(nID, sValue, nSettingID, nEngineID))
        return false;
    csOut = ToCi(sValue);
    return true;
}

bool CDLSettings::GetEngineOptionValue(int nID, int& nOut, int nEngineID, int nSettingID) const
{
    const auto itSet = m_mapSettingSets.find(nSettingID);
    if (itSet == m_mapSettingSets.end() || !itSet->second)
        return false;
    const auto itEngine = itSet->second->m_mapEngines.find(nEngineID);
    if (itEngine == itSet->second->m_mapEngines.end() || !itEngine->second)
        return false;
    const auto itOption = itEngine->second->m_mapOptions.find(nID);
    if (itOption == itEngine->second->m_mapOptions.end())
        return false;
    return VariantToInt(itOption->second.m_vValue, nOut);
}

bool CDLSettings::CheckClientIPAgainstDirectAccessIPRange(const IPAddressRecord& client, int nSettingID) const
{
    const auto itSet = m_mapSettingSets.find(nSettingID);
    if (itSet == m_mapSettingSets.end() || !itSet->second)
        return false;
    for (const DirectAccessIPRange& range : itSet->second->m_vecIPRanges)
    {
        if (IsIPAddressInRange(client, range))
        {
            TraceDirectAccessRangeFound(range);
            return true;
        }
    }
    return false;
}
