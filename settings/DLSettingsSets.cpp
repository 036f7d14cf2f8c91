#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "settings/DLSettings.h"
#include "settings/LoadGuard.h"
#include "settings/SettingItemIDs.h"

#include <algorithm>
#include <climits>

namespace
{
CCountedPtr<SettingSetRecord>& SetFor(SettingSetMap& map, int nID)
{
    CCountedPtr<SettingSetRecord>& spSet = map[nID];
    if (!spSet)
    {
        spSet = CCountedPtr<SettingSetRecord>(new SettingSetRecord());
        spSet->m_nID = nID;
    }
    return spSet;
}

// The narrow text of a text item of the set, or false.
bool SetItemText(const SettingSetRecord& set, int nID, std::string& sOut)
{
    const auto it = set.m_mapItems.find(nID);
    if (it == set.m_mapItems.end())
        return false;
    return CBasicSettings::VariantToString(it->second.m_vValue, sOut);
}
} // namespace

HRESULT CDLSettings::LoadSettingSets(IXMLDOMNode* pSettingsNode, SettingsSnapshot& snapshot)
{
    if (pSettingsNode == nullptr)
        return S_OK;
    ForEachElement(pSettingsNode, "SETTING", {"ID", "DESCR"},
                   [&](IXMLDOMNode* pElement, const TagItems& items)
                   { LoadSettingSet(pElement, items, snapshot); });
    // Derived from each set's final items, once: a set spread over several SETTING elements gets the
    // banned extensions and ranges of the items in force, not of every value it ever had.
    for (auto& [nID, spSet] : snapshot.m_mapSettingSets)
    {
        if (spSet)
            BuildDerivedData(*spSet);
    }
    return S_OK;
}

void CDLSettings::LoadSettingSet(IXMLDOMNode* pElement, const TagItems& items, SettingsSnapshot& snapshot)
{
    int nID = 0;
    if (!ReadIntAttribute(items[0].m_vValue, nID))
    {
        // Its engines, rows and items belong to no set: they are skipped with it.
        TraceLog("LoadSettingSets skipped a SETTING element without a readable ID");
        return;
    }
    snapshot.m_nCurrentSettingID = nID;
    SettingSetRecord& set = *SetFor(snapshot.m_mapSettingSets, nID);
    std::string sDescr;
    if (VariantToString(items[1].m_vValue, sDescr))
        set.m_sDescr = sDescr;

    CComPtr<IXMLDOMNode> spEngines;
    ThrowIfFailed(pElement->selectSingleNode(_bstr_t("ENGINES"), &spEngines));
    ThrowIfFailed(LoadEngines(spEngines, set));

    CComPtr<IXMLDOMNode> spSummary;
    ThrowIfFailed(pElement->selectSingleNode(_bstr_t("SUMMARY"), &spSummary));
    ForEachChild(spSummary.Get(), "INFO", {"ID", "DESCR", "VALUE", "ON"},
                 _functTrans<CDLSettings, SettingSetRecord>{this, &CDLSettings::AddSummaryInfo}, set);

    CComPtr<IXMLDOMNode> spItems;
    ThrowIfFailed(pElement->selectSingleNode(_bstr_t("ITEMS"), &spItems));
    ForEachChild(spItems.Get(), "ITEM", {"ID", "DESCR", "VALUE"},
                 _functTrans<CDLSettings, SettingItemMap>{this, &CDLSettings::AddItemToMap}, set.m_mapItems);
}

void CDLSettings::BuildDerivedData(SettingSetRecord& set)
{
    set.m_setBannedExtensions.clear();
    set.m_vecIPRanges.clear();
    std::string sText;
    if (SetItemText(set, SETTING_BLOCKED_EXTENSIONS, sText))
    {
        SplitToCiStringSet(ToCi(sText), ";", set.m_setBannedExtensions);
        if (set.m_setBannedExtensions.empty())
            TraceLog("Empty banned list for criteria ");
    }
    if (SetItemText(set, SETTING_DIRECT_ACCESS_IP_RANGES, sText))
    {
        if (sText.empty())
            TraceLog(
                "[CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange] Direct access IP ranges "
                "setting is empty.");
        set.m_vecIPRanges = ParseDirectAccessIPRanges(sText);
    }
}

void CDLSettings::AddSummaryInfo(const TagItems& items, SettingSetRecord& set)
{
    if (items.size() != 4)
        return;
    SummaryInfo info;
    std::string sText;
    if (VariantToString(items[0].m_vValue, sText) && !ShortTextToInt(sText, 30, info.m_nID))
        info.m_nID = 0;
    VariantToString(items[1].m_vValue, info.m_sDescr);
    VariantToString(items[2].m_vValue, info.m_sValue);
    sText.clear();
    if (VariantToString(items[3].m_vValue, sText) && !ShortTextToInt(sText, 30, info.m_nOn))
        info.m_nOn = 0;
    set.m_vecSummary.erase(std::remove_if(set.m_vecSummary.begin(), set.m_vecSummary.end(),
                                          [&](const SummaryInfo& row) { return row.m_nID == info.m_nID; }),
                           set.m_vecSummary.end());
    if (info.m_nOn != 0)
        set.m_vecSummary.push_back(std::move(info));
}

HRESULT CDLSettings::LoadEngines(IXMLDOMNode* pEnginesNode, SettingSetRecord& set)
{
    ForEachElement(pEnginesNode, "ENGINE", {"ID", "DESCR"},
                   [&](IXMLDOMNode* pElement, const TagItems& items)
                   {
                       CCountedPtr<EngineRecord> spEngine = AddEngine(items, set);
                       if (!spEngine)
                           return; // its items and options belong to no engine
                       ThrowIfFailed(LoadEngine(pElement, *spEngine));
                   });
    return S_OK;
}

CCountedPtr<EngineRecord> CDLSettings::AddEngine(const TagItems& items, SettingSetRecord& set)
{
    if (items.size() != 2)
        return CCountedPtr<EngineRecord>();
    CCountedPtr<EngineRecord> spEngine(new EngineRecord());
    if (!ReadIntAttribute(items[0].m_vValue, spEngine->m_nID))
    {
        TraceLog("AddEngine failed to read ID");
        return CCountedPtr<EngineRecord>();
    }
    if (!VariantToString(items[1].m_vValue, spEngine->m_sName))
    {
        TraceLog("AddEngine failed to read EngineName");
        return CCountedPtr<EngineRecord>();
    }
    set.m_mapEngines[spEngine->m_nID] = spEngine;
    set.m_vecEngineIDs.push_back(spEngine->m_nID);
    return spEngine;
}

HRESULT CDLSettings::LoadEngine(IXMLDOMNode* pEngineNode, EngineRecord& engine)
{
    return GuardLoad(
        {"LoadEngine"},
        [&]
        {
            CComPtr<IXMLDOMNode> spGeneral;
            ThrowIfFailed(pEngineNode->selectSingleNode(_bstr_t("GENERAL"), &spGeneral));
            ForEachChild(spGeneral.Get(), "MEASURE", {"ID", "DESCR", "VALUE"},
                         _functTrans<CDLSettings, SettingItemMap>{this, &CDLSettings::AddItemToMap},
                         engine.m_mapItems);
            CComPtr<IXMLDOMNode> spOptions;
            ThrowIfFailed(pEngineNode->selectSingleNode(_bstr_t("OPTIONS"), &spOptions));
            const HRESULT hr =
                ForEachChild(spOptions.Get(), "OPTION", {"ID", "DESCR", "VALUE"},
                             _functTrans<CDLSettings, SettingItemMap>{this, &CDLSettings::AddItemToMap},
                             engine.m_mapOptions);
            BuildOptionArray(engine);
            return hr;
        });
}

void CDLSettings::BuildOptionArray(EngineRecord& engine)
{
    const size_t nOptions = engine.m_mapOptions.size();
    if (nOptions > static_cast<size_t>(INT_MAX))
        return;
    const auto n = static_cast<ULONG>(nOptions);
    // Dimension 1 holds the id and the value of a row: it has room for both even with one option.
    const SAFEARRAYBOUND bounds[2] = {{n < 2 ? 2 : n, 0}, {n, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (psa == nullptr)
        return;
    if (FAILED(SafeArrayLock(psa)))
    {
        SafeArrayDestroy(psa);
        return;
    }
    LONG nRow = 0;
    for (const auto& [nOptionID, option] : engine.m_mapOptions)
    {
        const LONG idIndex[2] = {0, nRow};
        const LONG valueIndex[2] = {1, nRow};
        _variant_t vID(static_cast<LONG>(nOptionID));
        SafeArrayPutElement(psa, idIndex, &vID);
        SafeArrayPutElement(psa, valueIndex, &option.m_vValue);
        ++nRow;
    }
    SAFEARRAY* pCopy = nullptr;
    VARTYPE vt = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(psa, &vt)) && vt == VT_VARIANT &&
        SUCCEEDED(SafeArrayCopy(psa, &pCopy)) && pCopy != nullptr)
    {
        if (SUCCEEDED(SafeArrayLock(pCopy)))
        {
            auto* pHolder = new COptionArray();
            pHolder->m_psa = pCopy;
            engine.m_spOptionArray = COptionArrayPtr(pHolder);
        }
        else
            SafeArrayDestroy(pCopy);
    }
    SafeArrayUnlock(psa);
    SafeArrayDestroy(psa);
}
