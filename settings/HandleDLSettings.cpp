#include "settings/HandleDLSettings.h"

#include "common/TraceLog.h"
#include "settings/IPRange.h"
#include "settings/LoadGuard.h"
#include "settings/SettingItemIDs.h"

#include <new>

namespace
{
template <class TFn> HRESULT Guarded(TFn fn, const std::string& sPath)
{
    return GuardLoad({"CHandleDLSettings load of ", sPath.c_str()}, fn);
}
} // namespace

HRESULT CHandleDLSettings::GuardedLoad(CBasicSettings& settings, const std::string& sPath)
{
    return Guarded([&] { return settings.Load(sPath); }, sPath);
}

HRESULT CHandleDLSettings::GuardedRefresh(CBasicSettings& settings)
{
    return Guarded([&] { return settings.Refresh(); }, settings.GetPath());
}

std::string CHandleDLSettings::GetLinkCriteriaPath(const std::string& sFolder)
{
    std::string sPath = sFolder;
    if (!sPath.empty())
    {
        // The folder's last two components (the product and "Settings\") give way to the shared
        // "Common Files\Settings\"; a short folder keeps everything and gets it appended.
        size_t nPos = sPath.size() >= 11 ? sPath.rfind('\\', sPath.size() - 11) : sPath.rfind('\\');
        if (nPos == std::string::npos)
            nPos = sPath.rfind('/', 1);
        if (nPos != std::string::npos)
        {
            sPath.erase(nPos, sPath.size() - 1 - nPos);
            sPath += "Common Files\\Settings\\";
        }
    }
    return sPath + "LinkCriteriaSettings.xml";
}

HRESULT CHandleDLSettings::LoadSettings(std::string& sFolder)
{
    CAutoSync guard(&m_csLock);
    HRESULT hr = S_OK;
    if (sFolder.empty())
    {
        TraceLog("HandleSWSettings::LoadSettings got a NULL path to service worker settings");
        hr = E_FAIL;
    }
    else
    {
        const HRESULT hrLink = GuardedLoad(m_LinkCriteria, GetLinkCriteriaPath(sFolder));
        sFolder += "SWSettings.xml";
        if (SUCCEEDED(hrLink))
        {
            hr = GuardedLoad(m_DLSettings, sFolder);
            AfterServiceWorkerLoad();
            return hr;
        }
        hr = hrLink;
    }
    TraceLogError(static_cast<DWORD>(hr), "HandleSWSettings::LoadSettings failed to load SW settings %s",
                  sFolder.c_str());
    return hr;
}

std::string CHandleDLSettings::GetParseFailure() const
{
    const std::string sLinkCriteria = m_LinkCriteria.GetParseFailure();
    return sLinkCriteria.empty() ? m_DLSettings.GetParseFailure() : sLinkCriteria;
}

void CHandleDLSettings::AfterServiceWorkerLoad()
{
    if (m_bRefreshEnabled)
    {
        int nAutoReload = SettingDefaultInt(SETTING_AUTO_RELOAD);
        m_DLSettings.GetItemValue(SETTING_AUTO_RELOAD, nAutoReload, -1, -1);
        m_bRefreshEnabled = nAutoReload != 0;
    }
    m_LinkCriteria.SetReloadInterval(m_DLSettings.GetReloadInterval());
}

HRESULT CHandleDLSettings::CheckForRefresh(bool* pbRefreshed)
{
    if (!m_bRefreshEnabled)
        return S_OK;
    bool bServiceWorkerChanged = false;
    bool bLinkChanged = false;
    HRESULT hr = m_DLSettings.GetFileDate(bServiceWorkerChanged);
    if (FAILED(hr))
        TraceLogError(static_cast<DWORD>(hr), "CHandleDLSettings Check for SW  Refresh failed 0x%x",
                      static_cast<unsigned>(hr));
    // A change left over from a check that found the lock busy is reloaded now.
    const bool bServiceWorkerDue = bServiceWorkerChanged || m_bServiceWorkerPending.exchange(false);
    if (bServiceWorkerDue)
    {
        const HRESULT hrLink = m_LinkCriteria.GetFileDate(bLinkChanged);
        if (FAILED(hrLink))
        {
            hr = hrLink;
            TraceLogError(static_cast<DWORD>(hr),
                          "CHandleDLSettings Check for LinkSettings Refresh failed 0x%x",
                          static_cast<unsigned>(hr));
            // The service-worker change is not lost: it is seen again once the interval has passed.
            m_DLSettings.MarkStale();
        }
        else
        {
            const bool bLinkDue = bLinkChanged || m_bLinkCriteriaPending.exchange(false);
            if (!m_csLock.TryLock())
            {
                TraceLog(
                    "CHandleDLSettings Refresh was necessary but Critical Section was locked decided to skip "
                    "the Refresh");
                m_bServiceWorkerPending = true;
                if (bLinkDue)
                    m_bLinkCriteriaPending = true;
            }
            else
            {
                CAutoSync guard;
                guard.Adopt(&m_csLock);
                hr = GuardedRefresh(m_DLSettings);
                if (FAILED(hr))
                {
                    // Tried again when the interval has passed, and the link criteria with it.
                    m_DLSettings.MarkStale();
                    if (bLinkDue)
                        m_bLinkCriteriaPending = true;
                }
                else
                {
                    AfterServiceWorkerLoad();
                    if (bLinkDue)
                    {
                        hr = GuardedRefresh(m_LinkCriteria);
                        if (FAILED(hr))
                        {
                            m_bLinkCriteriaPending = true;
                            m_DLSettings.MarkStale();
                        }
                    }
                }
            }
        }
    }
    if (pbRefreshed != nullptr)
        *pbRefreshed = bLinkChanged || bServiceWorkerChanged;
    return hr;
}

HRESULT CHandleDLSettings::SaveSettings()
{
    CAutoSync guard(&m_csLock);
    const HRESULT hr = m_DLSettings.Save();
    if (FAILED(hr))
        return hr;
    return m_LinkCriteria.Save();
}

bool CHandleDLSettings::GetSettingFromID(int nID, int* pnValue, int nSettingID, int nEngineID)
{
    if (pnValue == nullptr)
        return false;
    CSharedAutoSync guard(m_csLock);
    return m_DLSettings.GetItemValue(nID, *pnValue, nSettingID, nEngineID);
}

bool CHandleDLSettings::GetSettingFromID(int nID, ci_string* pcsValue, int nSettingID, int nEngineID)
{
    if (pcsValue == nullptr)
        return false;
    CSharedAutoSync guard(m_csLock);
    return m_DLSettings.GetItemValue(nID, *pcsValue, nSettingID, nEngineID);
}

bool CHandleDLSettings::GetSettingFromID(int nID, std::string* psValue, int nSettingID, int nEngineID)
{
    if (psValue == nullptr)
        return false;
    CSharedAutoSync guard(m_csLock);
    return m_DLSettings.GetItemValue(nID, *psValue, nSettingID, nEngineID);
}

bool CHandleDLSettings::GetHighSpeedAction(const ci_string& csExtension, int* pnAction, int nSettingID,
                                           int nEngineID)
{
    if (pnAction == nullptr)
        return false;
    CSharedAutoSync guard(m_csLock);
    return m_DLSettings.GetHighSpeedAction(csExtension, *pnAction, nEngineID, nSettingID);
}

HRESULT CHandleDLSettings::CheckByPassList(BOOL* pbMember)
{
    if (pbMember == nullptr)
        return static_cast<HRESULT>(ERROR_INVALID_PARAMETER);
    CSharedAutoSync guard(m_csLock);
    return static_cast<HRESULT>(m_DLSettings.CheckByPassList(*pbMember));
}

bool CHandleDLSettings::CheckClientIPAgainstDirectAccessIPRange(const std::string& sClientIP, int nSettingID)
{
    IPAddressRecord client;
    ParseIPAddress(sClientIP, client);
    CSharedAutoSync guard(m_csLock);
    return m_DLSettings.CheckClientIPAgainstDirectAccessIPRange(client, nSettingID);
}

bool CHandleDLSettings::GetSettingIDFromCriteriaID(int nCriteriaID, int* pnSettingID)
{
    CSharedAutoSync guard(m_csLock);
    if (m_nServiceWorkerID == 0)
    {
        TraceLog("SW is not LinkCriteria settings %d", 0);
        return false;
    }
    const SWLinkMap& mapWorkers = m_LinkCriteria.GetServiceWorkers();
    const auto itWorker = mapWorkers.find(m_nServiceWorkerID);
    if (itWorker == mapWorkers.end() || !itWorker->second)
    {
        TraceLog("SW is not LinkCriteria settings %d", m_nServiceWorkerID);
        return false;
    }
    const auto itLink = itWorker->second->m_mapLinks.find(nCriteriaID);
    if (itLink == itWorker->second->m_mapLinks.end())
    {
        if (pnSettingID != nullptr)
            *pnSettingID = 0;
        TraceLog("Criteria %d for SW %d is not LinkCriteria settings", nCriteriaID, m_nServiceWorkerID);
        return false;
    }
    if (pnSettingID != nullptr)
        *pnSettingID = itLink->second;
    TraceLog("Criteria %d is SETTING ID %d for SW %d", nCriteriaID, itLink->second, m_nServiceWorkerID);
    return true;
}

void CHandleDLSettings::SetServiceWorkerID(int nID)
{
    CAutoSync guard(&m_csLock);
    m_nServiceWorkerID = nID;
}

int CHandleDLSettings::GetServiceWorkerID()
{
    CSharedAutoSync guard(m_csLock);
    return m_nServiceWorkerID;
}
