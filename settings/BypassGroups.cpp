#include "settings/DLSettings.h"

void CDLSettings::LoadGroups()
{
    m_vecBypassSids.clear();
}

DWORD CDLSettings::CheckByPassList(BOOL& /*bMember*/) const
{
    return 0;
}
