// The holder of both settings files: one lock over them, every lookup under it (shared with other lookups),
// and the reload of a file that changed on disk.
#pragma once

#include "common/CiString.h"
#include "common/Sync.h"
#include "settings/DLSettings.h"
#include "settings/LinkCriteria.h"

#include <atomic>
#include <string>

class CHandleDLSettings
{
public:
    CHandleDLSettings() = default;
    virtual ~CHandleDLSettings() = default;
    CHandleDLSettings(const CHandleDLSettings&) = delete;
    CHandleDLSettings& operator=(const CHandleDLSettings&) = delete;

    // Loads "LinkCriteriaSettings.xml" from the common settings folder, then "SWSettings.xml" from the
    // folder given (which ends with a backslash); the folder argument becomes the file's path.
    HRESULT LoadSettings(std::string& sFolder);
    // Why the parser refused a settings file at the last load of either file (file, line, column, the
    // parser's message), or empty.
    std::string GetParseFailure() const;
    // The change check and reload, run before an authentication-complete notification is handled.
    HRESULT CheckForRefresh(bool* pbRefreshed);
    // Writes both files back from memory under the lock, "SWSettings.xml" first; the link criteria are not
    // written when it fails.
    HRESULT SaveSettings();

    bool GetSettingFromID(int nID, int* pnValue, int nSettingID, int nEngineID);
    bool GetSettingFromID(int nID, ci_string* pcsValue, int nSettingID, int nEngineID);
    bool GetSettingFromID(int nID, std::string* psValue, int nSettingID, int nEngineID);
    bool GetHighSpeedAction(const ci_string& csExtension, int* pnAction, int nSettingID, int nEngineID);
    // 0, or the Win32 error of a failed membership test; *pbMember tells whether the calling thread's
    // user belongs to a bypass group.
    HRESULT CheckByPassList(BOOL* pbMember);
    bool CheckClientIPAgainstDirectAccessIPRange(const std::string& sClientIP, int nSettingID);
    bool GetSettingIDFromCriteriaID(int nCriteriaID, int* pnSettingID);

    void SetServiceWorkerID(int nID);
    int GetServiceWorkerID();
    bool IsRefreshEnabled() const { return m_bRefreshEnabled.load(); }

    // Where "LinkCriteriaSettings.xml" is looked for, given the worker's settings folder.
    static std::string GetLinkCriteriaPath(const std::string& sFolder);

    // Run a load or a reload; an exception is traced and counts as a failure.
    static HRESULT GuardedLoad(CBasicSettings& settings, const std::string& sPath);
    static HRESULT GuardedRefresh(CBasicSettings& settings);

    // For tests: the lock, to hold it as a lookup would.
    CSync& Lock() { return m_csLock; }

private:
    // Reads setting 74 while refresh is on, and hands the reload interval to the link criteria.
    void AfterServiceWorkerLoad();

    CDLSettings m_DLSettings;
    CLinkCriteria m_LinkCriteria;
    int m_nServiceWorkerID = 3;
    // Lookups share it, so request threads never wait for each other; loads, reloads and saves hold it
    // alone.
    CSharedSync m_csLock;
    std::atomic<bool> m_bRefreshEnabled{true};
    // A change seen but not reloaded because the lock was busy: reloaded at the next check.
    std::atomic<bool> m_bServiceWorkerPending{false};
    std::atomic<bool> m_bLinkCriteriaPending{false};
};
