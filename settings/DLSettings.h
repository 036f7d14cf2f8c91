// The service-worker settings file "SWSettings.xml" in memory: general items, settings sets with their
// engines, items and summaries, the high-speed extension lists and the bypass groups; its loader and the
// setting lookups. The settings holder guards every use with its lock.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "settings/BasicSettings.h"
#include "settings/SettingSetRecord.h"

#include <string>
#include <vector>

// A SID allocated by the platform's local heap, freed with LocalFree by its last holder.
using CSidPtr = CCountedPtr<void, CLocalFreeDelete>;

class CDLSettings : public CBasicSettings
{
public:
    // The loader's working copy, taken over only when the whole file was read.
    struct SettingsSnapshot
    {
        SettingItemMap m_mapGeneralItems;
        SettingSetMap m_mapSettingSets;
        std::vector<HighSpeedApp> m_vecDefaultHighSpeed;
        std::vector<HighSpeedApp> m_vecHighSpeed;
        ExtensionActionMap m_mapExtensionActions;
        int m_nCurrentSettingID = 0;
    };

    CDLSettings() = default;
    ~CDLSettings() override = default;

    HRESULT Load(const std::string& sPath) override { return LoadSettings(sPath); }
    HRESULT LoadSettings(const std::string& sPath);
    // Writes the settings in memory back to the file they were loaded from, whole or not at all.
    HRESULT Save() override;
    // Kind 1 is a setting item, 2 a high-speed row (NAME, Extension, ACTION), 3 a summary row (ID, DESCR,
    // VALUE, ON).
    HRESULT DipatchSaveItem(IXMLDOMDocument2* pDoc, IXMLDOMNode* pSectionNode,
                            const std::vector<std::string>& vecAttributeNames, const void* pItem,
                            const char* pszItemElement, int nKind) override;

    // Lookups: the engine's item, then the set's item, then the general item; an unknown set reads the
    // general items. False leaves the output as the caller set it.
    bool GetItemValue(int nID, int& nOut, int nSettingID, int nEngineID) const;
    bool GetItemValue(int nID, std::string& sOut, int nSettingID, int nEngineID) const;
    bool GetItemValue(int nID, ci_string& csOut, int nSettingID, int nEngineID) const;
    // An option of one engine of one set; no fall-through (note the order: engine before set).
    bool GetEngineOptionValue(int nID, int& nOut, int nEngineID, int nSettingID) const;
    // The high-speed action of an extension, when item 5 turns them on; nAction is written only when one
    // is found, and the answer tells whether it was (note the order: engine before set).
    bool GetHighSpeedAction(const ci_string& csExtension, int& nAction, int nEngineID, int nSettingID) const;
    // Whether the calling thread's token belongs to a bypass group; bMember is set when it does. 0, or the
    // Win32 error of the last failed membership test.
    DWORD CheckByPassList(BOOL& bMember) const;
    // Whether the address lies in a direct-access range of exactly that settings set.
    bool CheckClientIPAgainstDirectAccessIPRange(const IPAddressRecord& client, int nSettingID) const;

    // Reads the engine-option INI file into the engine-0 option arrays of every set. Virtual so that a
    // failing or throwing reader can stand in for it.
    virtual bool LoadEngineINI();
    // The engine-option file named by item 1: a name with a drive is taken as it is, any other lies below
    // the installation's "Engine\ini\" (the settings directory up to its first "\Settings"). False when
    // the directory has no "\Settings".
    static bool BuildEngineINIPath(const std::string& sName, const std::string& sSettingsDirectory,
                                   std::string& sPath);
    // Rebuilds the bypass SIDs from items 48 and 49.
    void LoadGroups();

    static bool SplitExtensions(const ci_string& csText, const ci_string& csDelimiter,
                                ExtensionActionMap& map, int nAction);

    const SettingItemMap& GetGeneralItems() const { return m_mapGeneralItems; }
    const SettingSetMap& GetSettingSets() const { return m_mapSettingSets; }
    const std::vector<HighSpeedApp>& GetDefaultHighSpeedList() const { return m_vecDefaultHighSpeed; }
    const std::vector<HighSpeedApp>& GetHighSpeedList() const { return m_vecHighSpeed; }
    const ExtensionActionMap& GetExtensionActions() const { return m_mapExtensionActions; }
    const std::vector<CSidPtr>& GetBypassSids() const { return m_vecBypassSids; }
    const std::string& GetSettingsDirectory() const { return m_sSettingsDirectory; }

private:
    HRESULT LoadSettingSets(IXMLDOMNode* pSettingsNode, SettingsSnapshot& snapshot);
    // One SETTING element: its set, engines, summary rows and items.
    void LoadSettingSet(IXMLDOMNode* pElement, const TagItems& items, SettingsSnapshot& snapshot);
    HRESULT LoadEngines(IXMLDOMNode* pEnginesNode, SettingSetRecord& set);
    CCountedPtr<EngineRecord> AddEngine(const TagItems& items, SettingSetRecord& set);
    HRESULT LoadEngine(IXMLDOMNode* pEngineNode, EngineRecord& engine);
    static void BuildOptionArray(EngineRecord& engine);
    static void BuildDerivedData(SettingSetRecord& set);
    HRESULT LoadHighSpeedList(IXMLDOMNode* pSectionNode, std::vector<HighSpeedApp>& vecList,
                              ExtensionActionMap& mapActions);

    // Element callbacks.
    void AddItemToMap(const TagItems& items, SettingItemMap& map);
    void AddSummaryInfo(const TagItems& items, SettingSetRecord& set);
    void AddHighSpeedApp(const TagItems& items, std::vector<HighSpeedApp>& vecList);

    // Converts one piece of the bypass list and keeps its SID; an invalid piece is traced and skipped.
    void AddBypassGroup(const std::string& sGroup);

    const SettingItem* FindItem(int nID, int nSettingID, int nEngineID, bool& bSetRecordMissing) const;

    std::vector<CSidPtr> m_vecBypassSids;
    SettingItemMap m_mapGeneralItems;
    SettingSetMap m_mapSettingSets;
    std::vector<HighSpeedApp> m_vecDefaultHighSpeed;
    std::vector<HighSpeedApp> m_vecHighSpeed;
    ExtensionActionMap m_mapExtensionActions;
    std::string m_sSettingsDirectory;
};
