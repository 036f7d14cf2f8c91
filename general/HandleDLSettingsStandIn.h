// Stand-in for the settings holder until the real one (settings/HandleDLSettings) joins the general
// settings: it keeps the service-worker id and answers the reload check without files to reload.
#pragma once

#include "platform/WinTypes.h"

#include <atomic>

class CHandleDLSettingsStandIn
{
public:
    void SetServiceWorkerID(int nID) { m_nServiceWorkerID = nID; }
    int GetServiceWorkerID() const { return m_nServiceWorkerID; }

    // Nothing is loaded, so nothing can have changed. Counts the checks so tests can see them run.
    HRESULT CheckForRefresh(bool* pbRefreshed)
    {
        m_nRefreshChecks.fetch_add(1, std::memory_order_relaxed);
        if (pbRefreshed != nullptr)
            *pbRefreshed = false;
        return S_OK;
    }
    long RefreshChecks() const { return m_nRefreshChecks.load(std::memory_order_relaxed); }

private:
    int m_nServiceWorkerID = 3;
    std::atomic<long> m_nRefreshChecks{0};
};
