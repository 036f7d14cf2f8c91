#include "common/RestoreThreadToken.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
class CFakeToken : public CWinHandleObject
{
public:
    explicit CFakeToken(int* pnClosed) : m_pnClosed(pnClosed) {}
    ~CFakeToken() override { ++*m_pnClosed; }
    int* m_pnClosed;
};

// The thread's impersonation, as the security layer keeps it.
thread_local HANDLE t_hImpersonation = nullptr;
int g_nTokensClosed = 0;
int g_nReverts = 0;
} // namespace

// The security layer owns these; here they stand in with a per-thread token of their own.
BOOL OpenThreadToken(HANDLE hThread, DWORD dwDesiredAccess, BOOL bOpenAsSelf, PHANDLE phToken)
{
    EXPECT_EQ(hThread, GetCurrentThread());
    EXPECT_EQ(dwDesiredAccess, TOKEN_IMPERSONATE);
    EXPECT_TRUE(bOpenAsSelf);
    if (t_hImpersonation == nullptr)
    {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    *phToken = RegisterHandleObject(std::make_shared<CFakeToken>(&g_nTokensClosed));
    return TRUE;
}

BOOL RevertToSelf()
{
    ++g_nReverts;
    t_hImpersonation = nullptr;
    return TRUE;
}

BOOL SetThreadToken(PHANDLE phThread, HANDLE hToken)
{
    EXPECT_EQ(phThread, nullptr);
    t_hImpersonation = hToken;
    return TRUE;
}

TEST(RestoreThreadToken, GivesTheTokenBackOnEveryPath)
{
    g_nTokensClosed = 0;
    g_nReverts = 0;
    const HANDLE hUser = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x77));
    t_hImpersonation = hUser;
    HANDLE hSaved = nullptr;
    try
    {
        RestoreThreadToken guard;
        ASSERT_TRUE(guard.Revert());
        EXPECT_TRUE(guard.m_bReverted);
        EXPECT_EQ(t_hImpersonation, nullptr); // running as the process
        hSaved = guard.m_hToken;
        throw std::runtime_error("directory failure");
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_EQ(g_nReverts, 1);
    EXPECT_EQ(t_hImpersonation, hSaved); // the saved token is back on the thread
    EXPECT_EQ(g_nTokensClosed, 1);       // and its handle closed

    // Without an impersonation token there is nothing to drop or restore.
    t_hImpersonation = nullptr;
    {
        RestoreThreadToken guard;
        EXPECT_FALSE(guard.Revert());
        EXPECT_FALSE(guard.m_bReverted);
    }
    EXPECT_EQ(g_nReverts, 1);
    EXPECT_EQ(t_hImpersonation, nullptr);

    // Restoring twice restores once.
    t_hImpersonation = hUser;
    RestoreThreadToken guard;
    ASSERT_TRUE(guard.Revert());
    guard.Restore();
    guard.Restore();
    EXPECT_EQ(guard.m_hToken, nullptr);
    EXPECT_EQ(g_nTokensClosed, 2);
}
