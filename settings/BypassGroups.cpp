#include "common/TraceLog.h"
#include "platform/WinSecurity.h"
#include "platform/WinSync.h"
#include "settings/DLSettings.h"
#include "settings/SettingItemIDs.h"

void CDLSettings::LoadGroups()
{
    m_vecBypassSids.clear();
    std::string sList;
    GetItemValue(SETTING_BYPASS_GROUPS, sList, 0, 0);
    std::string sMore;
    if (GetItemValue(SETTING_BYPASS_GROUPS_MORE, sMore, 0, 0))
    {
        if (!sList.empty() && sList.back() != ';')
            sList += ';';
        sList += sMore;
    }
    if (sList.empty())
        return;

    // One pass over the text: the piece before the first ";" counts when it is not empty; after it, every
    // piece up to the next ";" (or the end) counts until an empty one, from ";;" or a ";" at the end,
    // ends the list.
    size_t nEnd = sList.find(';');
    AddBypassGroup(sList.substr(0, nEnd));
    while (nEnd != std::string::npos)
    {
        const size_t nFrom = nEnd + 1;
        nEnd = sList.find(';', nFrom);
        const size_t nLength = (nEnd == std::string::npos ? sList.size() : nEnd) - nFrom;
        if (nLength == 0)
            break;
        AddBypassGroup(sList.substr(nFrom, nLength));
    }
}

void CDLSettings::AddBypassGroup(const std::string& sGroup)
{
    if (sGroup.empty())
        return;
    PSID pSid = nullptr;
    if (!ConvertStringSidToSidA(sGroup.c_str(), &pSid))
    {
        const DWORD dwError = GetLastError();
        TraceLogError(dwError,
                      "Reading Groups from Global settings got an error %d . This group %s will be ignored",
                      static_cast<int>(dwError), sGroup.c_str());
        return;
    }
    m_vecBypassSids.push_back(CSidPtr(pSid));
}

DWORD CDLSettings::CheckByPassList(BOOL& bMember) const
{
    TraceLog("CheckByPassList ");
    if (m_vecBypassSids.empty())
        return 0;
    DWORD dwResult = 0;
    for (const CSidPtr& spSid : m_vecBypassSids)
    {
        if (bMember)
        {
            TraceLog("CheckByPassList found a match user is excluded from DL");
            return dwResult;
        }
        if (!CheckTokenMembership(nullptr, spSid.Get(), &bMember))
        {
            dwResult = GetLastError();
            TraceLogError(dwResult, "CheckByPassList  CheckTokeMembership failed error %d for Criteria",
                          static_cast<int>(dwResult));
        }
    }
    if (!bMember)
        TraceLog("CheckByPassList didn't find a match user is allow to DL");
    else
        TraceLog("CheckByPassList found a match user is excluded from DL");
    return dwResult;
}
