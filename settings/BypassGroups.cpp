#include "common/CiString.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "platform/WinSecurity.h"
#include "platform/WinSync.h"
#include "settings/DLSettings.h"
#include "settings/SettingItemIDs.h"

namespace
{
// The text between the first start delimiter at or after nPos and the next end delimiter (or the end).
std::string GetTokenBetween(const std::string& sText, const char* pszStart, const char* pszEnd, size_t nPos)
{
    return FromCi(GetNextToken(ToCi(sText), pszStart, pszEnd, nPos));
}
} // namespace

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

    std::vector<std::string> vecGroups;
    const size_t nFirst = sList.find(';');
    const std::string sFirst = sList.substr(0, nFirst);
    if (!sFirst.empty())
        vecGroups.push_back(sFirst);
    if (nFirst != std::string::npos)
    {
        size_t nPos = nFirst;
        for (;;)
        {
            const std::string sGroup = GetTokenBetween(sList, ";", ";", nPos);
            if (sGroup.empty())
                break; // two ";" in a row, or one at the end, end the list
            vecGroups.push_back(sGroup);
            nPos += 1 + sGroup.size();
        }
    }
    for (const std::string& sGroup : vecGroups)
    {
        PSID pSid = nullptr;
        if (!ConvertStringSidToSidA(sGroup.c_str(), &pSid))
        {
            const DWORD dwError = GetLastError();
            TraceLogError(
                dwError,
                "Reading Groups from Global settings got an error %d . This group %s will be ignored",
                static_cast<int>(dwError), sGroup.c_str());
            continue;
        }
        m_vecBypassSids.push_back(CSidPtr(pSid));
    }
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
