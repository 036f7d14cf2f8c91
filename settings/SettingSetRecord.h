// The in-memory records of "SWSettings.xml": a settings set with its engines, summary rows, banned
// extensions and direct-access ranges; the high-speed rows; the engine option arrays.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "platform/Com.h"
#include "settings/BasicSettings.h"
#include "settings/IPRange.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// A locked two-dimensional SAFEARRAY of VARIANT: row r holds the option id at {0, r} and its value at
// {1, r}.
struct COptionArray
{
    SAFEARRAY* m_psa = nullptr;
};

// The last holder unlocks and destroys the array, then frees the holder.
using COptionArrayPtr = CCountedPtr<COptionArray, CSafeArrayHolderDelete<COptionArray>>;

struct EngineRecord
{
    COptionArrayPtr m_spOptionArray;
    std::map<int, SettingItem> m_mapItems;   // GENERAL/MEASURE
    std::map<int, SettingItem> m_mapOptions; // OPTIONS/OPTION
    int m_nID = 0;
    std::string m_sName;
    // Made only to hold the engine options of a set whose file names no engine 0: not written back.
    bool m_bOptionsOnly = false;
};

struct SummaryInfo
{
    int m_nID = 0;
    std::string m_sDescr;
    std::string m_sValue;
    int m_nOn = 0;
};

struct SettingSetRecord
{
    std::map<int, SettingItem> m_mapItems;
    std::map<int, CCountedPtr<EngineRecord>> m_mapEngines;
    std::vector<SummaryInfo> m_vecSummary;
    std::set<ci_string> m_setBannedExtensions;
    std::vector<int> m_vecEngineIDs; // in the order added; an id added twice is listed twice
    std::vector<DirectAccessIPRange> m_vecIPRanges;
    int m_nID = 0;
    std::string m_sDescr;
};

// One APP row of a high-speed list.
struct HighSpeedApp
{
    std::string m_sName;
    ci_string m_csExtension; // one or more extensions separated by ";"
    int m_nAction = 0;
};

using SettingSetMap = std::map<int, CCountedPtr<SettingSetRecord>>;
using SettingItemMap = std::map<int, SettingItem>;
using ExtensionActionMap = std::map<ci_string, int>;
