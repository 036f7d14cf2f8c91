// Makes every group-membership check of the process fail with a code while an instance lives: the paths
// a real server takes when it cannot tell whether a user belongs to a group.
#pragma once

#include "platform/WinSecurity.h"

class CMembershipFailure
{
public:
    explicit CMembershipFailure(DWORD dwError) { DlswSetMembershipCheckFailure(dwError); }
    ~CMembershipFailure() { DlswSetMembershipCheckFailure(0); }
    CMembershipFailure(const CMembershipFailure&) = delete;
    CMembershipFailure& operator=(const CMembershipFailure&) = delete;
};
