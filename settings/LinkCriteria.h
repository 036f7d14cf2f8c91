// The link criteria file "LinkCriteriaSettings.xml": for each service worker of the product, the settings
// set of "SWSettings.xml" that a request's criteria id selects.
#pragma once

#include "contract/CountedPtr.h"
#include "settings/BasicSettings.h"

#include <map>
#include <string>

struct SWLinkRecord
{
    int m_nID = 0;
    std::string m_sDescr;
    std::map<int, int> m_mapLinks; // CRITERIA_ID to SETTINGS_ID
};

using SWLinkMap = std::map<int, CCountedPtr<SWLinkRecord>>;

class CLinkCriteria : public CBasicSettings
{
public:
    HRESULT Load(const std::string& sPath) override { return LoadLinkCriteria(sPath); }
    HRESULT Save() override;
    // Reads the file and, when the whole file was read, replaces the map.
    HRESULT LoadLinkCriteria(const std::string& sPath);

    const SWLinkMap& GetServiceWorkers() const { return m_mapServiceWorkers; }

private:
    struct CReadState
    {
        SWLinkMap m_mapNew;
        CCountedPtr<SWLinkRecord> m_spCurrent;
    };
    // Element callbacks. ReadSW answers whether the element names a service worker.
    bool ReadSW(const TagItems& items, CReadState& state);
    void ReadLink(const TagItems& items, CReadState& state);

    SWLinkMap m_mapServiceWorkers;
};
