// The guard that gives a thread back its impersonation token when a scope that ran under the process's
// own identity ends, on every path.
#pragma once

#include "platform/ThreadTokenApi.h"
#include "platform/WinHandle.h"
#include "platform/WinTime.h"

struct RestoreThreadToken
{
    RestoreThreadToken() = default;
    RestoreThreadToken(const RestoreThreadToken&) = delete;
    RestoreThreadToken& operator=(const RestoreThreadToken&) = delete;
    ~RestoreThreadToken() { Restore(); }

    // Saves the thread's impersonation token and drops it (RevertToSelf). False when the thread has no
    // token to drop: nothing is restored then. A failed RevertToSelf still restores the saved token.
    bool Revert()
    {
        HANDLE hToken = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &hToken))
            return false;
        m_hToken = hToken;
        m_bReverted = true;
        RevertToSelf();
        return true;
    }

    // Puts the saved token back on the thread and closes it.
    void Restore()
    {
        if (!m_bReverted)
            return;
        SetThreadToken(nullptr, m_hToken);
        CloseHandle(m_hToken);
        m_hToken = nullptr;
        m_bReverted = false;
    }

    HANDLE m_hToken = nullptr;
    bool m_bReverted = false;
};
