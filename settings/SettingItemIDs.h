// The setting item ids the worker reads, with the value each reader assumes when the item is absent.
// Every caller sets the default from this table before it asks: a lookup that answers false leaves the
// caller's value untouched.
#pragma once

#include "contract/ViewerFolder.h"

enum SettingItemID : int
{
    SETTING_ENGINE_INI_FILE = 1,          // text: file name of the engine-option INI file
    SETTING_OPEN_ALLOWED = 2,             // int: 0 turns the Open action off
    SETTING_SAVE_ALLOWED = 3,             // int: 0 turns the Save action off
    SETTING_RICH_VIEW_ALLOWED = 4,        // int: 0 turns the Rich action off
    SETTING_HIGH_SPEED_ACTIONS = 5,       // int: non-zero turns the high-speed extension actions on
    SETTING_VIRTUAL_FOLDER_NAME = 7,      // text: the viewer's virtual folder
    SETTING_LOG_DESTINATION = 12,         // int: 1 shared-memory log, 2 log file, else no sink
    SETTING_LOG_SIZE_KB = 13,             // int: log size in KB
    SETTING_LOG_KIND = 14,                // int: 1 or 10 switch tracing on, 10 with the event-log sink
    SETTING_TEMP_DIRECTORY = 17,          // text: temporary directory
    SETTING_BLOCKED_EXTENSIONS_ON = 22,   // int: non-zero enables the blocked-extension list
    SETTING_LOG_FILE_NAME = 23,           // text: log file name
    SETTING_DEFAULT_VISUALISATION = 24,   // int: default visualisation
    SETTING_LOG_DIRECTORY = 39,           // text: log directory
    SETTING_BLOCKED_EXTENSIONS = 42,      // text: blocked extensions, ";"-separated
    SETTING_DIRECT_ACCESS_LEVEL = 43,     // int: 0 blocked unless from a range, 1 allowed, 2 by hash
    SETTING_DIRECT_ACCESS_IP_RANGES = 45, // text: ";"-separated addresses in pairs, start then end
    SETTING_CACHE_MULTIMEDIA = 46,        // int: read from engine 7
    SETTING_SAFE_SSL_OPEN = 47,           // int: non-zero enables safe SSL open
    SETTING_BYPASS_GROUPS = 48,           // text: string SIDs, ";"-separated
    SETTING_BYPASS_GROUPS_MORE = 49,      // text: more string SIDs, appended to item 48
    SETTING_ATTACHMENT_BUTTONS = 51,      // int: 0 enabled, 1 disabled, 2 removed
    SETTING_WEBREADY_ENABLED = 71,        // int: OWA's WebReady enabled
    SETTING_SAVE_CONFIRMATION = 73,       // int: save confirmation
    SETTING_AUTO_RELOAD = 74,             // int: automatic reload of the settings files
    SETTING_OWN_LOG = 75,                 // int: non-zero, the module keeps a log of its own
    SETTING_LOG_MODULE_VALUE = 76,        // int: value handed to the log module
    SETTING_RELOAD_INTERVAL = 81,         // int: reload interval in minutes
};

// The engines whose items or options the worker reads by id.
enum SettingEngineID : int
{
    ENGINE_DEFAULT = 0,
    ENGINE_MULTIMEDIA = 7, // item 46
    ENGINE_EXPORT = 8,     // option 1
};

// The one engine option read by id: option 1 of engine 8.
constexpr int ENGINE_OPTION_EXPORT_FLAG = 1;
constexpr int ENGINE_OPTION_EXPORT_FLAG_DEFAULT = -1;

enum class SettingKind
{
    Int,
    Text,
};

struct SettingItemInfo
{
    SettingItemID m_id;
    SettingKind m_kind;
    int m_nDefault;           // for SettingKind::Int
    const char* m_pszDefault; // for SettingKind::Text; null: no default of its own (see the reader)
};

inline constexpr SettingItemInfo g_settingItems[] = {
    {SETTING_ENGINE_INI_FILE, SettingKind::Text, 0, nullptr},
    {SETTING_OPEN_ALLOWED, SettingKind::Int, 1, nullptr},
    {SETTING_SAVE_ALLOWED, SettingKind::Int, 1, nullptr},
    {SETTING_RICH_VIEW_ALLOWED, SettingKind::Int, 1, nullptr},
    {SETTING_HIGH_SPEED_ACTIONS, SettingKind::Int, 0, nullptr},
    {SETTING_VIRTUAL_FOLDER_NAME, SettingKind::Text, 0, DLSW_DEFAULT_VIRTUAL_FOLDER},
    {SETTING_LOG_DESTINATION, SettingKind::Int, 1, nullptr},
    {SETTING_LOG_SIZE_KB, SettingKind::Int, 1048576, nullptr},
    {SETTING_LOG_KIND, SettingKind::Int, 0, nullptr},
    {SETTING_TEMP_DIRECTORY, SettingKind::Text, 0, nullptr}, // the installation folder's "Temp"
    {SETTING_BLOCKED_EXTENSIONS_ON, SettingKind::Int, 0, nullptr},
    {SETTING_LOG_FILE_NAME, SettingKind::Text, 0, nullptr}, // chosen by the log set-up
    {SETTING_DEFAULT_VISUALISATION, SettingKind::Int, 2, nullptr},
    {SETTING_LOG_DIRECTORY, SettingKind::Text, 0, nullptr}, // chosen by the log set-up
    {SETTING_BLOCKED_EXTENSIONS, SettingKind::Text, 0, ""},
    {SETTING_DIRECT_ACCESS_LEVEL, SettingKind::Int, 1, nullptr},
    {SETTING_DIRECT_ACCESS_IP_RANGES, SettingKind::Text, 0, ""},
    {SETTING_CACHE_MULTIMEDIA, SettingKind::Int, 0, nullptr},
    {SETTING_SAFE_SSL_OPEN, SettingKind::Int, 0, nullptr},
    {SETTING_BYPASS_GROUPS, SettingKind::Text, 0, nullptr},
    {SETTING_BYPASS_GROUPS_MORE, SettingKind::Text, 0, nullptr},
    {SETTING_ATTACHMENT_BUTTONS, SettingKind::Int, 0, nullptr},
    {SETTING_WEBREADY_ENABLED, SettingKind::Int, 0, nullptr},
    {SETTING_SAVE_CONFIRMATION, SettingKind::Int, 0, nullptr},
    {SETTING_AUTO_RELOAD, SettingKind::Int, 1, nullptr},
    {SETTING_OWN_LOG, SettingKind::Int, 0, nullptr},
    {SETTING_LOG_MODULE_VALUE, SettingKind::Int, 1, nullptr},
    {SETTING_RELOAD_INTERVAL, SettingKind::Int, 15, nullptr},
};

// The table's row of an id, or null for an id the worker does not read.
constexpr const SettingItemInfo* FindSettingItemInfo(int nID)
{
    for (const SettingItemInfo& info : g_settingItems)
    {
        if (info.m_id == nID)
            return &info;
    }
    return nullptr;
}

// The default of an int item; 0 for an id that is not an int item of the table.
constexpr int SettingDefaultInt(SettingItemID id)
{
    const SettingItemInfo* pInfo = FindSettingItemInfo(id);
    return pInfo != nullptr && pInfo->m_kind == SettingKind::Int ? pInfo->m_nDefault : 0;
}

// The default of a text item; "" when it has none of its own.
constexpr const char* SettingDefaultText(SettingItemID id)
{
    const SettingItemInfo* pInfo = FindSettingItemInfo(id);
    return pInfo != nullptr && pInfo->m_kind == SettingKind::Text && pInfo->m_pszDefault != nullptr
               ? pInfo->m_pszDefault
               : "";
}
